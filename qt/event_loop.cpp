// The command line's event loop on Qt. Signals reach it through a socket
// pair: the handler only writes a byte, and a socket notifier turns it into
// an event of the loop, where handlers may do anything.

#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <vector>

#include "event_loop.h"

namespace velmoro {

namespace {
int gSignalPipe[2] = {-1, -1};

void SignalHandler(int) {
    const char byte = 1;
    // Only an async-signal-safe write here; the notifier does the rest.
    [[maybe_unused]] const auto written = ::write(gSignalPipe[1], &byte, 1);
}
}  // namespace

struct CEventLoop::Backend {
    std::vector<std::unique_ptr<QTimer>> timers;
    std::unique_ptr<QSocketNotifier> signalNotifier;
    std::function<void()> onInterrupt;
};

CEventLoop::CEventLoop() : backend_(std::make_unique<Backend>()) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0) {
        return;
    }
    backend_->signalNotifier =
        std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(backend_->signalNotifier.get(), &QSocketNotifier::activated, [this] {
        char buffer[16];
        [[maybe_unused]] const auto got = ::read(gSignalPipe[0], buffer, sizeof buffer);
        if (backend_->onInterrupt) {
            backend_->onInterrupt();
        }
    });
    struct sigaction action {};
    action.sa_handler = SignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

CEventLoop::~CEventLoop() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    backend_->signalNotifier.reset();
    if (gSignalPipe[0] >= 0) {
        ::close(gSignalPipe[0]);
        ::close(gSignalPipe[1]);
        gSignalPipe[0] = gSignalPipe[1] = -1;
    }
}

CEventLoop::TimerId CEventLoop::AddTimer(std::function<void()> handler) {
    auto timer = std::make_unique<QTimer>();
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer.get(), &QTimer::timeout, std::move(handler));
    backend_->timers.push_back(std::move(timer));
    return static_cast<TimerId>(backend_->timers.size() - 1);
}

void CEventLoop::StartTimer(TimerId timer, int periodMs, bool singleShot) {
    QTimer& qtTimer = *backend_->timers.at(static_cast<std::size_t>(timer));
    qtTimer.setSingleShot(singleShot);
    qtTimer.start(periodMs);
}

void CEventLoop::StopTimer(TimerId timer) {
    backend_->timers.at(static_cast<std::size_t>(timer))->stop();
}

void CEventLoop::SetOnInterrupt(std::function<void()> handler) {
    backend_->onInterrupt = std::move(handler);
}

int CEventLoop::Run() {
    return QCoreApplication::exec();
}

void CEventLoop::Exit(int code) {
    QCoreApplication::exit(code);
}

bool StderrIsTerminal() {
    return isatty(fileno(stderr)) != 0;
}

}  // namespace velmoro
