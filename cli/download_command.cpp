// One transfer from the command line: the engine between the serial port and
// the terminal, ended by the controller, by Ctrl-C or by --timeout.

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli_window.h"
#include "commands.h"
#include "event_loop.h"
#include "keep_awake.h"
#include "serial_port_face.h"
#include "transfer.h"

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
          engine_(port_, window_),
          silence_(loop_.AddTimer([this] {
              window_.ClearProgress();
              PrintError("no reply from the hand controller for " +
                         std::to_string(options_.timeoutSeconds) + " s; stopping.");
              EndByUser(kExitTimeout);
          })),
          keepAwakeTimer_(loop_.AddTimer([this] { keepAwake_.OnSilence(); })),
          keepAwake_(*this, KeepAwakeSilence()) {
        if (options.devicePath.empty()) {
            port_.SetPortNumber(options.portNumber);
        } else {
            comm_.SetDevicePath(options.devicePath);
        }
        comm_.SetOnComm([this] { HandleComm(); });
        loop_.SetOnInterrupt([this] { EndByUser(kExitInterrupted); });
    }

    int Run() {
        engine_.OnStartStop();
        keepAwake_.Follow(engine_.State().busy);
        if (!engine_.State().busy) {
            if (!window_.PortFailure().empty()) {
                PrintError(window_.PortFailure());
                return kExitPortOpen;
            }
            if (window_.Declined()) {
                PrintError("not sent; give --force to send it anyway.");
            }
            return kExitDataFile;
        }
        RestartSilence();
        return loop_.Run();
    }

private:
    void HandleComm() {
        const bool lost = comm_.GetCommEvent() == kCommEventPortLost;
        if (lost && engine_.State().busy) {
            exitCode_ = kExitPortFailed;
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

    // Ctrl-C and --timeout press Stop, as a user at the window would.
    void EndByUser(int code) {
        if (!engine_.State().busy) {
            return;
        }
        exitCode_ = code;
        engine_.OnStartStop();
        CheckEnd();
    }

    void CheckEnd() {
        if (engine_.State().busy || ended_) {
            return;
        }
        ended_ = true;
        keepAwake_.Follow(false);
        window_.ClearProgress();
        loop_.StopTimer(silence_);
        int code = exitCode_;
        if (code < 0) {
            const std::string& last = window_.LastLog();
            if (last == texts::kFinished) {
                code = kExitFinished;
            } else if (last == texts::kErrorReply) {
                code = kExitErrorReply;
            } else {
                code = kExitDataFile;
            }
        }
        loop_.Exit(code);
    }

    DownloadOptions options_;
    CEventLoop loop_;
    CMSComm comm_;
    CSerialPortFace port_;
    CCliWindow window_;
    CTransferEngine engine_;
    CEventLoop::TimerId silence_;
    CEventLoop::TimerId keepAwakeTimer_;
    CKeepAwake keepAwake_;
    int exitCode_ = -1;
    bool ended_ = false;
};

}  // namespace

int RunDownload(const DownloadOptions& options) {
    CDownloadSession session(options);
    return session.Run();
}

}  // namespace velmoro
