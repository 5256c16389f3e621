#pragma once

// A single-shot timer that fires at a moment on the steady clock. QTimer
// counts whole milliseconds, and a paced line at 115200 baud moves a byte in
// 87 us: every reply would go out up to a millisecond late, and the host
// would be blamed for the gap. On Linux a timerfd fires within microseconds
// of its moment; elsewhere the timer falls back to QTimer.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <memory>

namespace velmoro::sim {

class CDueTimer : public QObject {
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    explicit CDueTimer(QObject* parent = nullptr);
    ~CDueTimer() override;

    // Fires once at `due`, at once when it has passed; replaces an earlier start.
    void StartAt(Clock::time_point due);
    void Stop();

signals:
    void Due();

private:
    void OnExpired();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer fallback_;
};

}  // namespace velmoro::sim
