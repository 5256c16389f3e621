#include "pty_controller.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

namespace velmoro::sim {

namespace {

using namespace std::chrono_literals;

// Far enough apart that the host's serial layer reports each piece as an
// arrival of its own.
constexpr auto kPieceGap = 2ms;
// After the end the host may still close the port; after this much quiet it
// is not coming back.
constexpr int kGraceMs = 1000;
// The longest a hang-up waits for the host to take the last reply.
constexpr int kHangupDelayMs = 200;
constexpr std::size_t kReadChunk = 4096;

constexpr std::array<const char*, 7> kErrorReplies = {
    ":EI_ERR#", ":BI_ERR#", ":RB_ERR#", ":WI_ERR#", ":EX_ERR#", ":BX_ERR#", ":WE_ERR#"};

bool IsErrorReply(const std::string& reply) {
    return std::find(kErrorReplies.begin(), kErrorReplies.end(), reply) != kErrorReplies.end();
}

// The line of the controller, in the words of LineText().
constexpr const char* kControllerLine =
    "115200 baud, 8 data bits, no parity, 1 stop bit, no flow control";

// The settings a host gave its end of the line, in words. A pseudo-terminal
// keeps the rate, the stop bits and the flow control it is given. Linux
// forces 8 data bits without parity on it whatever the host asks, so there
// the data bits and the parity always read as the controller's.
std::string LineText(const termios& modes) {
    static constexpr std::pair<speed_t, int> kRates[] = {
        {B1200, 1200},     {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
        {B38400, 38400},   {B57600, 57600},   {B115200, 115200}, {B230400, 230400},
#ifdef B460800
        {B460800, 460800}, {B921600, 921600},
#endif
    };
    const speed_t speed = ::cfgetospeed(&modes);
    std::string text = "a non-standard rate (code " + std::to_string(speed) + ")";
    for (const auto& [code, baud] : kRates) {
        if (code == speed) {
            text = std::to_string(baud) + " baud";
        }
    }

    const tcflag_t size = modes.c_cflag & CSIZE;
    text += size == CS5 ? ", 5" : size == CS6 ? ", 6" : size == CS7 ? ", 7" : ", 8";
    text += " data bits, ";
    if ((modes.c_cflag & PARENB) == 0) {
        text += "no";
    } else {
        const bool odd = (modes.c_cflag & PARODD) != 0;
#ifdef CMSPAR
        if ((modes.c_cflag & CMSPAR) != 0) {
            text += odd ? "mark" : "space";
        } else
#endif
        {
            text += odd ? "odd" : "even";
        }
    }
    text += (modes.c_cflag & CSTOPB) != 0 ? " parity, 2 stop bits, " : " parity, 1 stop bit, ";

    const bool rtsCts = (modes.c_cflag & CRTSCTS) != 0;
    const bool xon = (modes.c_iflag & IXON) != 0;
    const bool xoff = (modes.c_iflag & IXOFF) != 0;
    if (!rtsCts && !xon && !xoff) {
        return text + "no flow control";
    }
    if (rtsCts) {
        text += "RTS/CTS flow control (CRTSCTS)";
    }
    if (xon || xoff) {
        text += rtsCts ? ", " : "";
        text += std::string("XON/XOFF flow control (") + (xon ? "IXON" : "") +
                (xon && xoff ? ", " : "") + (xoff ? "IXOFF" : "") + ")";
    }
    return text;
}

std::string Printable(const std::string& bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        }
    }
    return text;
}

}  // namespace

const char* OutcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Finished:
            return "finished";
        case Outcome::ErrorReplySent:
            return "error reply sent";
        case Outcome::HungUp:
            return "hung up";
        case Outcome::HostClosed:
            return "host closed the port";
        case Outcome::StoppedBySignal:
            return "stopped by signal";
    }
    return "?";
}

std::string ErrorReplyFor(const std::string& reply) {
    static constexpr std::array<std::pair<const char*, const char*>, 7> kPairs = {{
        {":EI_OK#", ":EI_ERR#"},
        {":BI_OK#", ":BI_ERR#"},
        {":RB_OK#", ":RB_ERR#"},
        {":WI_OK#", ":WI_ERR#"},
        {":EX_OK#", ":EX_ERR#"},
        {":BX_OK#", ":BX_ERR#"},
        {":WE_OK#", ":WE_ERR#"},
    }};
    for (const auto& [ok, error] : kPairs) {
        if (reply == ok) {
            return error;
        }
    }
    // The greeting, the version and the quit have no error of their own.
    return IsErrorReply(reply) ? reply : ":EI_ERR#";
}

CPtyController::CPtyController(SimOptions options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      model_(options_.beacons),
      random_(options_.seed) {
    if (options_.baud > 0) {
        // Ten bits a byte: start, eight data bits, stop.
        byteTime_ = std::chrono::duration_cast<Clock::duration>(
            std::chrono::nanoseconds(10'000'000'000LL / options_.baud));
    }
    connect(&dueTimer_, &CDueTimer::Due, this, &CPtyController::OnDue);
    graceTimer_.setSingleShot(true);
    graceTimer_.setInterval(kGraceMs);
    connect(&graceTimer_, &QTimer::timeout, this,
            [this] { End(hangupDue_ ? Outcome::HungUp : Outcome::Finished); });
}

CPtyController::~CPtyController() {
    CloseFds();
}

bool CPtyController::Open(std::string& errorText) {
    masterFd_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (masterFd_ < 0 || grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0) {
        errorText = std::string("cannot make a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    ::fcntl(masterFd_, F_SETFD, FD_CLOEXEC);
    ::fcntl(masterFd_, F_SETFL, ::fcntl(masterFd_, F_GETFL) | O_NONBLOCK);
    char name[128];
    if (ptsname_r(masterFd_, name, sizeof name) != 0) {
        errorText = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    slaveName_ = name;
    // Until the host opens the slave, this descriptor keeps the line up: with
    // no slave open, reads on the master fail, and that failure is how a
    // closed port shows later on.
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd_ < 0) {
        errorText = "cannot open " + slaveName_ + ": " + std::strerror(errno);
        return false;
    }
    // No echo, no line discipline: the replies must reach the host as they are
    // even before the host sets its own modes.
    termios modes{};
    if (::tcgetattr(masterFd_, &modes) != 0) {
        errorText = std::string("cannot read the terminal modes: ") + std::strerror(errno);
        return false;
    }
    ::cfmakeraw(&modes);
    if (::tcsetattr(masterFd_, TCSANOW, &modes) != 0) {
        errorText = std::string("cannot set raw mode: ") + std::strerror(errno);
        return false;
    }
    readNotifier_ = std::make_unique<QSocketNotifier>(masterFd_, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &CPtyController::OnReadable);
    writeNotifier_ = std::make_unique<QSocketNotifier>(masterFd_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &CPtyController::OnWritable);
    started_ = Clock::now();
    return true;
}

void CPtyController::OnReadable() {
    std::array<std::uint8_t, kReadChunk> buffer;
    const ssize_t count = ::read(masterFd_, buffer.data(), buffer.size());
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (count <= 0) {
        End(Outcome::HostClosed);
        return;
    }
    if (hangupDue_) {
        End(Outcome::HungUp);
        return;
    }
    if (slaveFd_ >= 0) {
        // The host's first bytes: it has set its end of the line up by now.
        ::close(slaveFd_);
        slaveFd_ = -1;
        CheckLine();
    }
    const Clock::time_point readAt = Clock::now();
    for (ssize_t i = 0; i < count; ++i) {
        const std::uint8_t byte = buffer[static_cast<std::size_t>(i)];
        if (greeted_ && !model_.Ended()) {
            ++stats_.bytesIn;
        }
        // Beacons still in flight are not the host's answer to the greeting.
        if (reactionDue_ && byte != kBeaconByteValue) {
            reactionDue_ = false;
            stats_.reactions.push_back(readAt - reactionFrom_);
        }
        Clock::time_point processedAt = readAt;
        if (options_.baud > 0) {
            lastArrival_ = std::max(lastArrival_, readAt) + byteTime_;
            processedAt = lastArrival_;
        }
        TakeByte(byte, processedAt);
    }
    if (quitSent_) {
        graceTimer_.start();
    }
    ArmDueTimer();
}

// Read when the host's first bytes arrive and with each of its commands,
// while it waits for the reply and so surely holds the line open with its
// own settings: a host that closes the port hands the line back with the
// settings it found.
void CPtyController::CheckLine() {
    termios modes{};
    if (::tcgetattr(masterFd_, &modes) != 0) {
        return;
    }
    std::string line = LineText(modes);
    if (line == line_) {
        return;
    }
    Log("line: " + line);
    if (line != kControllerLine) {
        lineViolations_.push_back("line set to " + line + "; the controller uses " +
                                  kControllerLine);
    }
    line_ = std::move(line);
}

std::vector<std::string> CPtyController::Violations() const {
    std::vector<std::string> all = lineViolations_;
    all.insert(all.end(), model_.Violations().begin(), model_.Violations().end());
    return all;
}

void CPtyController::TakeByte(std::uint8_t byte, Clock::time_point processedAt) {
    const std::size_t commandsBefore = model_.Commands().size();
    const std::string reply = model_.Receive(&byte, 1);
    if (model_.Commands().size() != commandsBefore) {
        Log("host: " + Printable(model_.Commands().back()));
        CheckLine();
    }
    // Only a complete block is answered with ":RB_...".
    if (reply == ":RB_OK#" || reply == ":RB_ERR#") {
        Log(std::string("host: <block ") + std::to_string(kDataBlockSize) + " bytes crc " +
            (reply == ":RB_OK#" ? "OK" : "BAD") + ">");
    }
    if (!reply.empty()) {
        ScheduleReply(reply, processedAt);
    }
}

void CPtyController::ScheduleReply(std::string reply, Clock::time_point processedAt) {
    const int number = ++repliesScheduled_;
    Clock::time_point start = processedAt;
    if (reply == ":WI_OK#" || reply == ":WE_OK#") {
        start += std::chrono::milliseconds(options_.writeDelayMs);
    }
    if (options_.latencyMs > 0) {
        // Replies are shorter than an adapter's buffer: they never fill it,
        // and go out at the timer's next tick, counted from the start.
        const Clock::duration period = std::chrono::milliseconds(options_.latencyMs);
        const Clock::duration since = start - started_;
        start = started_ + (since / period + 1) * period;
    }
    ReplyKind kind = ReplyKind::Normal;
    if (reply == ":OK#") {
        kind = ReplyKind::Greeting;
    } else if (reply == ":QUIT_OK#") {
        kind = ReplyKind::Quit;
    }
    if (number == options_.errorAt) {
        reply = options_.errorReply.empty() ? ErrorReplyFor(reply) : options_.errorReply;
        kind = ReplyKind::Error;
    } else if (IsErrorReply(reply)) {
        kind = ReplyKind::Error;
    }
    if (kind == ReplyKind::Error) {
        model_.Abort();
    }

    std::string bytes;
    if (number == options_.strayAt) {
        bytes += static_cast<char>(options_.strayByte);
    }
    if (options_.zeroBefore) {
        bytes += '\0';
    }
    bytes += reply;

    std::set<std::size_t> cuts;
    if (options_.pieces && bytes.size() > 1) {
        const int most = static_cast<int>(std::min<std::size_t>(3, bytes.size()));
        const int count = std::uniform_int_distribution<int>(1, most)(random_);
        std::uniform_int_distribution<std::size_t> cut(1, bytes.size() - 1);
        while (static_cast<int>(cuts.size()) < count - 1) {
            cuts.insert(cut(random_));
        }
    }
    const auto splitAt = static_cast<std::size_t>(options_.splitAt);
    if (splitAt > 0 && bytes.size() > splitAt) {
        cuts.insert(splitAt);
    }
    std::vector<std::size_t> ends(cuts.begin(), cuts.end());  // end offset of each piece
    ends.push_back(bytes.size());

    const bool paced = options_.baud > 0;
    if (paced) {
        start = std::max(start, lineFreeAt_);
    }
    std::size_t begin = 0;
    for (std::size_t k = 0; k < ends.size(); ++k) {
        // On a paced line a piece reaches the host when its last byte has
        // crossed the wire.
        Clock::time_point due = paced ? start + byteTime_ * static_cast<long>(ends[k]) : start;
        if (k > 0) {
            due = std::max(due, lastDue_ + kPieceGap);
        }
        due = std::max(due, lastDue_);
        const bool last = k + 1 == ends.size();
        pieces_.push_back(Piece{due, bytes.substr(begin, ends[k] - begin), last, kind,
                                last ? Printable(bytes) : std::string()});
        lastDue_ = due;
        begin = ends[k];
    }
    if (paced) {
        lineFreeAt_ = lastDue_;
    }
}

void CPtyController::ArmDueTimer() {
    if (ended_ || pieces_.empty()) {
        return;
    }
    dueTimer_.StartAt(pieces_.front().due);
}

void CPtyController::OnDue() {
    const Clock::time_point now = Clock::now();
    while (!ended_ && !pieces_.empty() && pieces_.front().due <= now) {
        Piece piece = std::move(pieces_.front());
        pieces_.pop_front();
        Write(piece.bytes);
        if (greeted_ && !stats_.finished) {
            stats_.bytesOut += piece.bytes.size();
        }
        if (piece.lastOfReply) {
            ReplyWritten(piece, now);
        } else if (!pieces_.empty()) {
            // A late timer must not let two pieces of one reply run together.
            pieces_.front().due = std::max(pieces_.front().due, now + kPieceGap);
        }
    }
    ArmDueTimer();
}

void CPtyController::Write(const std::string& bytes) {
    if (ended_) {
        return;
    }
    // The host reads every reply before it sends the next command, so what
    // waits here stays within one reply or two.
    unwritten_ += bytes;
    const ssize_t count = ::write(masterFd_, unwritten_.data(), unwritten_.size());
    if (count < 0 && errno != EAGAIN && errno != EINTR) {
        End(Outcome::HostClosed);
        return;
    }
    unwritten_.erase(0, static_cast<std::size_t>(std::max<ssize_t>(0, count)));
    writeNotifier_->setEnabled(!unwritten_.empty());
}

void CPtyController::OnWritable() {
    Write({});
}

void CPtyController::ReplyWritten(const Piece& piece, Clock::time_point writtenAt) {
    ++repliesSent_;
    Log("hc:   " + piece.logText);
    // On a paced line a reply is written when its last byte would reach the
    // host, so the host's reaction counts from here in both cases.
    reactionDue_ = piece.kind == ReplyKind::Greeting || piece.kind == ReplyKind::Normal;
    reactionFrom_ = writtenAt;
    if (piece.kind == ReplyKind::Greeting && !greeted_) {
        greeted_ = true;
        greetedAt_ = writtenAt;
    } else if (piece.kind == ReplyKind::Quit) {
        quitSent_ = true;
        stats_.finished = greeted_;
        stats_.transfer = writtenAt - greetedAt_;
        graceTimer_.start();
    } else if (piece.kind == ReplyKind::Error) {
        errorSent_ = true;
        graceTimer_.start();
    }
    if (repliesSent_ == options_.hangupAt) {
        // Closing the master at once would discard this reply from the host's
        // input queue. The host's next bytes show that it has read it.
        hangupDue_ = true;
        graceTimer_.start(kHangupDelayMs);
    }
}

void CPtyController::End(Outcome reason) {
    if (ended_) {
        return;
    }
    ended_ = true;
    // A hang-up is reported as such; otherwise what the controller last
    // said names the end.
    if (reason != Outcome::HungUp && quitSent_) {
        outcome_ = Outcome::Finished;
    } else if (reason != Outcome::HungUp && errorSent_) {
        outcome_ = Outcome::ErrorReplySent;
    } else {
        outcome_ = reason;
    }
    dueTimer_.Stop();
    graceTimer_.stop();
    CloseFds();
    Log(std::string("end:  ") + OutcomeText(outcome_));
    emit Ended();
}

void CPtyController::CloseFds() {
    readNotifier_.reset();
    writeNotifier_.reset();
    if (slaveFd_ >= 0) {
        ::close(slaveFd_);
        slaveFd_ = -1;
    }
    if (masterFd_ >= 0) {
        ::close(masterFd_);
        masterFd_ = -1;
    }
}

void CPtyController::Log(const std::string& line) const {
    if (options_.log == nullptr) {
        return;
    }
    const auto ms = std::chrono::duration<double, std::milli>(Clock::now() - started_).count();
    std::fprintf(options_.log, "[%10.3f ms] %s\n", ms, line.c_str());
    std::fflush(options_.log);
}

}  // namespace velmoro::sim
