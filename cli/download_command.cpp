// One transfer from the command line: the engine between the serial port and
// the terminal, ended by the controller, by Ctrl-C or by --timeout.

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

#include "cli_window.h"
#include "commands.h"
#include "interrupt.h"
#include "serial_port_face.h"
#include "transfer.h"

namespace velmoro {

namespace {

void PrintError(const QString& text) {
    std::fprintf(stderr, "velmoro-downloader-cli: %s\n", text.toLocal8Bit().constData());
}

bool StderrIsTerminal() {
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

class CDownloadSession {
public:
    explicit CDownloadSession(const DownloadOptions& options)
        : options_(options),
          port_(comm_),
          window_(
              options.dataFile, options.type, StderrIsTerminal(),
              [this] { return static_cast<long long>(comm_.BytesSent()); }, options.force),
          engine_(port_, window_) {
        if (options.devicePath.isEmpty()) {
            port_.SetPortNumber(options.portNumber);
        } else {
            comm_.SetDevicePath(options.devicePath);
        }
        QObject::connect(&window_, &CCliWindow::BeaconTick, [this] {
            engine_.OnBeaconTimer();
            CheckEnd();
        });
        QObject::connect(&comm_, &CMSComm::OnComm, [this] { HandleComm(); });
        QObject::connect(&interrupt_, &CInterruptNotifier::Interrupted,
                         [this] { EndByUser(kExitInterrupted); });
        silence_.setSingleShot(true);
        QObject::connect(&silence_, &QTimer::timeout, [this] {
            window_.ClearProgress();
            PrintError(QStringLiteral("no reply from the hand controller for %1 s; stopping.")
                           .arg(options_.timeoutSeconds));
            EndByUser(kExitTimeout);
        });
    }

    int Run() {
        engine_.OnStartStop();
        if (!engine_.State().busy) {
            if (!window_.PortFailure().empty()) {
                PrintError(QString::fromStdString(window_.PortFailure()));
                return kExitPortOpen;
            }
            if (window_.Declined()) {
                PrintError("not sent; give --force to send it anyway.");
            }
            return kExitDataFile;
        }
        RestartSilence();
        return QCoreApplication::exec();
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
        CheckEnd();
    }

    void RestartSilence() {
        if (options_.timeoutSeconds > 0) {
            silence_.start(options_.timeoutSeconds * 1000);
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
        window_.ClearProgress();
        silence_.stop();
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
        QCoreApplication::exit(code);
    }

    DownloadOptions options_;
    CMSComm comm_;
    CSerialPortFace port_;
    CCliWindow window_;
    CTransferEngine engine_;
    CInterruptNotifier interrupt_;
    QTimer silence_;
    int exitCode_ = -1;
    bool ended_ = false;
};

}  // namespace

int RunDownload(const DownloadOptions& options) {
    CDownloadSession session(options);
    return session.Run();
}

}  // namespace velmoro
