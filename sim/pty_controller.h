#pragma once

// The simulated hand controller on a pseudo-terminal: the host opens the
// slave side like any serial port, and this front end carries its bytes to
// CHandControllerModel and the model's replies back, with the faults and the
// timing of a real wire that tests ask for.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "due_timer.h"
#include "hc_model.h"

namespace velmoro::sim {

struct SimOptions {
    int beacons = 1;
    bool pieces = false;
    std::uint32_t seed = 1;
    // 0: no fixed cut. K: a reply longer than K bytes goes out as its first
    // K bytes and, a piece gap later, the rest.
    int splitAt = 0;
    bool zeroBefore = false;
    int errorAt = 0;         // 0: every reply as the model gives it
    std::string errorReply;  // empty: the error that answers the command
    int strayAt = 0;
    std::uint8_t strayByte = '?';
    int writeDelayMs = 0;
    // 0: none. MS: each reply waits for the next tick of an MS-ms timer, as
    // the bytes a USB-serial adapter receives wait for its latency timer.
    int latencyMs = 0;
    int baud = 0;  // 0: no pacing, replies go out at once
    int hangupAt = 0;
    std::FILE* log = nullptr;  // not owned; every command and reply goes here
};

enum class Outcome { Finished, ErrorReplySent, HungUp, HostClosed, StoppedBySignal };

// How one transfer used the line, from the greeting written to ":QUIT_OK#"
// written: what shows whether the host keeps the line busy.
struct TransferStats {
    using Duration = std::chrono::steady_clock::duration;
    bool finished = false;  // ":QUIT_OK#" was written; the rest is valid only then
    Duration transfer{};
    // Bytes read after the greeting, up to ":QUIT_COMM#" (beacons in flight
    // included), and bytes written after it, up to ":QUIT_OK#".
    std::size_t bytesIn = 0;
    std::size_t bytesOut = 0;
    // For each reply but the quit and the errors: from its last byte written
    // to the first byte of the host's next command read.
    std::vector<Duration> reactions;
};

const char* OutcomeText(Outcome outcome);

// The error reply that answers the command whose normal reply is `reply`.
std::string ErrorReplyFor(const std::string& reply);

class CPtyController : public QObject {
    Q_OBJECT

public:
    explicit CPtyController(SimOptions options, QObject* parent = nullptr);
    ~CPtyController() override;

    // Makes the pseudo-terminal; false, with the reason, when it cannot.
    bool Open(std::string& errorText);
    const std::string& SlaveName() const { return slaveName_; }

    // Ends the session from outside (a signal).
    void Stop() { End(Outcome::StoppedBySignal); }

    const CHandControllerModel& Model() const { return model_; }
    // Everything the host did that a controller would not accept: line
    // settings other than the controller's, then the model's findings.
    std::vector<std::string> Violations() const;
    Outcome GetOutcome() const { return outcome_; }
    const TransferStats& Stats() const { return stats_; }

signals:
    void Ended();

private:
    using Clock = std::chrono::steady_clock;
    enum class ReplyKind { Greeting, Normal, Quit, Error };

    // One separately written piece of a reply, due at a moment on the clock.
    struct Piece {
        Clock::time_point due;
        std::string bytes;
        bool lastOfReply = false;
        ReplyKind kind = ReplyKind::Normal;
        std::string logText;
    };

    void OnReadable();
    void OnWritable();
    void OnDue();
    void CheckLine();
    void TakeByte(std::uint8_t byte, Clock::time_point processedAt);
    void ScheduleReply(std::string reply, Clock::time_point processedAt);
    void ArmDueTimer();
    void Write(const std::string& bytes);
    void ReplyWritten(const Piece& piece, Clock::time_point writtenAt);
    void End(Outcome reason);
    void CloseFds();
    void Log(const std::string& line) const;

    SimOptions options_;
    CHandControllerModel model_;
    std::mt19937 random_;
    int masterFd_ = -1;
    int slaveFd_ = -1;  // held until the host's first byte, see Open()
    std::string slaveName_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::string unwritten_;  // what the pty did not take yet
    std::deque<Piece> pieces_;
    CDueTimer dueTimer_;
    QTimer graceTimer_;
    Clock::duration byteTime_{};
    Clock::time_point lastArrival_{};
    Clock::time_point lineFreeAt_{};
    Clock::time_point lastDue_{};
    Clock::time_point started_ = Clock::now();
    int repliesScheduled_ = 0;
    int repliesSent_ = 0;
    bool quitSent_ = false;
    bool errorSent_ = false;
    bool hangupDue_ = false;
    bool ended_ = false;
    Outcome outcome_ = Outcome::HostClosed;
    TransferStats stats_;
    std::string line_;  // the line settings as last read, in words
    std::vector<std::string> lineViolations_;
    bool greeted_ = false;
    Clock::time_point greetedAt_{};
    bool reactionDue_ = false;  // a reply went out and the host's next command has not begun
    Clock::time_point reactionFrom_{};
};

}  // namespace velmoro::sim
