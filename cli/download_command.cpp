// One transfer from the command line: the engine between the serial port and
// the terminal, ended by the controller, by Ctrl-C or by --timeout.

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "cli_window.h"
#include "commands.h"
#include "event_loop.h"
#include "keep_awake.h"
#include "report_facts.h"
#include "serial_port_face.h"
#include "transfer.h"
#include "transfer_report.h"
#include "velmoro_version.h"

namespace velmoro {

namespace {

void PrintError(const std::string& text) {
    std::fprintf(stderr, "velmoro-downloader-cli: %s\n", text.c_str());
}

// The silence after which the computer may sleep: tests of the program
// shorten it through VELMORO_KEEP_AWAKE_SILENCE_MS, in milliseconds.
std::chrono::milliseconds KeepAwakeSilence() {
    const char* text = std::getenv("VELMORO_KEEP_AWAKE_SILENCE_MS");
    int ms = 0;
    if (text == nullptr) {
        return kKeepAwakeSilence;
    }
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, ms);
    if (error != std::errc() || stop != end || ms <= 0) {
        return kKeepAwakeSilence;
    }
    return std::chrono::milliseconds(ms);
}

class CDownloadSession final : private IKeepAwakeTimer {
public:
    explicit CDownloadSession(const DownloadOptions& options)
        : options_(options),
          port_(comm_),
          window_(
              loop_, options.dataFile, options.type, StderrIsTerminal(),
              [this] { return comm_.BytesSent(); },
              [this] {
                  engine_.OnBeaconTimer();
                  CheckEnd();
              },
              options.force),
          reporter_(
              window_,
              [this] {
                  return MakeReportContext(
                      std::string("velmoro-downloader-cli ") + build::kVersionLine,
                      options_.devicePath.empty() ? "COM" + std::to_string(options_.portNumber)
                                                  : std::string(),
                      comm_.DeviceName(), kLineSettings);
              },
              [this](const std::string& report, const TransferEnd& end) {
                  KeepReport(report, end);
              }),
          engine_(port_, reporter_),
          silence_(loop_.AddTimer([this] {
              window_.ClearProgress();
              const std::string silence = "no reply from the hand controller for " +
                                          std::to_string(options_.timeoutSeconds) + " s";
              PrintError(silence + "; stopping.");
              engine_.OnTimeLimit(silence);
              CheckEnd();
          })),
          keepAwakeTimer_(loop_.AddTimer([this] { keepAwake_.OnSilence(); })),
          keepAwake_(*this, KeepAwakeSilence()) {
        if (options.devicePath.empty()) {
            port_.SetPortNumber(options.portNumber);
        } else {
            comm_.SetDevicePath(options.devicePath);
        }
        comm_.SetOnComm([this] { HandleComm(); });
        loop_.SetOnInterrupt([this] {
            // Ctrl-C presses Stop, as a user at the window would.
            if (engine_.State().busy) {
                engine_.OnStartStop();
                CheckEnd();
            }
        });
    }

    int Run() {
        engine_.OnStartStop();
        if (!end_ && !engine_.State().busy) {
            // Every Start ends in a value; a refusal without one is a fault.
            PrintError("the transfer ended without saying how.");
            return kExitDataFile;
        }
        keepAwake_.Follow(engine_.State().busy);
        if (!engine_.State().busy) {
            if (!window_.PortFailure().empty()) {
                PrintError(window_.PortFailure());
                return kExitPortOpen;
            }
            if (window_.Declined()) {
                PrintError("not sent; give --force to send it anyway.");
            }
            return ExitCode();
        }
        RestartSilence();
        return loop_.Run();
    }

private:
    void HandleComm() {
        const bool lost = comm_.GetCommEvent() == kCommEventPortLost;
        if (lost && engine_.State().busy) {
            window_.ClearProgress();
            PrintError(comm_.ErrorText());
        } else if (!lost) {
            RestartSilence();
        }
        engine_.OnCommEvent();
        keepAwake_.Follow(engine_.State().busy, comm_.GetCommEvent() == kCommEventReceive);
        CheckEnd();
    }

    // IKeepAwakeTimer
    void StartKeepAwakeTimer(std::chrono::milliseconds period) override {
        loop_.StartTimer(keepAwakeTimer_, static_cast<int>(period.count()), true);
    }
    void StopKeepAwakeTimer() override { loop_.StopTimer(keepAwakeTimer_); }

    void RestartSilence() {
        if (options_.timeoutSeconds > 0) {
            loop_.StartTimer(silence_, options_.timeoutSeconds * 1000, true);
        }
    }

    void CheckEnd() {
        if (engine_.State().busy || ended_) {
            return;
        }
        ended_ = true;
        keepAwake_.Follow(false);
        window_.ClearProgress();
        loop_.StopTimer(silence_);
        loop_.Exit(end_ ? ExitCode() : kExitDataFile);
    }

    // Every transfer's report is kept with the others; --report writes it
    // where the user asked, too.
    void KeepReport(const std::string& report, const TransferEnd& end) {
        end_ = end;
        std::string error;
        const std::string folder = ReportsFolder();
        if (!folder.empty() && velmoro::KeepReport(PathFromArgument(folder), report,
                                                   std::chrono::system_clock::now(), error)
                                   .empty()) {
            PrintError("cannot keep the report in " + folder + ": " + error);
        }
        // Whole or not at all: a full disk leaves an earlier report there
        // as it was.
        if (!options_.reportFile.empty() && !WriteWholeFile(options_.reportFile, report, error)) {
            reportNotWritten_ = true;
            PrintError("cannot write the report to " + options_.reportFile.string() + ": " + error +
                       ".");
        }
    }

    // A transfer that finished, but whose report could not be written where
    // the user asked, says so in its exit code too.
    int ExitCode() const {
        const int code = ExitCodeFor(*end_);
        return code == kExitFinished && reportNotWritten_ ? kExitReportNotWritten : code;
    }

    DownloadOptions options_;
    CEventLoop loop_;
    CMSComm comm_;
    CSerialPortFace port_;
    CCliWindow window_;
    CTransferReporter reporter_;
    CTransferEngine engine_;
    CEventLoop::TimerId silence_;
    CEventLoop::TimerId keepAwakeTimer_;
    CKeepAwake keepAwake_;
    std::optional<TransferEnd> end_;
    bool reportNotWritten_ = false;
    bool ended_ = false;
};

}  // namespace

int ExitCodeFor(const TransferEnd& end) {
    switch (end.ending) {
        case Ending::Finished:
            return kExitFinished;
        case Ending::Stopped:
            return kExitInterrupted;
        case Ending::TimeLimit:
            return kExitTimeout;
        case Ending::ErrorReply:
            return kExitErrorReply;
        case Ending::PortLost:
            return kExitPortFailed;
        case Ending::Refused:
            break;
    }
    return end.refusal == Refusal::PortOpen ? kExitPortOpen : kExitDataFile;
}

int RunDownload(const DownloadOptions& options) {
    CDownloadSession session(options);
    return session.Run();
}

}  // namespace velmoro
