#include "due_timer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>

#ifdef __linux__
#include <sys/timerfd.h>
#endif

namespace velmoro::sim {

CDueTimer::CDueTimer(QObject* parent) : QObject(parent) {
    fallback_.setSingleShot(true);
    fallback_.setTimerType(Qt::PreciseTimer);
    connect(&fallback_, &QTimer::timeout, this, &CDueTimer::Due);
#ifdef __linux__
    // steady_clock is CLOCK_MONOTONIC here, so both count the same time.
    fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, &CDueTimer::OnExpired);
    }
#endif
}

CDueTimer::~CDueTimer() {
    notifier_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void CDueTimer::StartAt(Clock::time_point due) {
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(due - Clock::now());
#ifdef __linux__
    if (fd_ >= 0) {
        // A zero time would disarm the timer instead of firing it.
        const long long ns = std::max<long long>(1, wait.count());
        itimerspec spec{};
        spec.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
        spec.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        ::timerfd_settime(fd_, 0, &spec, nullptr);
        return;
    }
#endif
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    fallback_.start(static_cast<int>(std::max<decltype(ms)>(0, ms)));
}

void CDueTimer::Stop() {
    fallback_.stop();
#ifdef __linux__
    if (fd_ >= 0) {
        const itimerspec disarmed{};
        ::timerfd_settime(fd_, 0, &disarmed, nullptr);
    }
#endif
}

void CDueTimer::OnExpired() {
    // Setting the timer anew clears an expiry not yet read, so a failed read
    // means it was stopped or moved meanwhile.
    std::uint64_t expiries = 0;
    if (::read(fd_, &expiries, sizeof expiries) == static_cast<ssize_t>(sizeof expiries)) {
        emit Due();
    }
}

}  // namespace velmoro::sim
