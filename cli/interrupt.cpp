#include "interrupt.h"

#include <QMetaObject>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <csignal>
#endif

namespace velmoro {

namespace {
CInterruptNotifier* gInstance = nullptr;

#ifdef Q_OS_WIN
BOOL WINAPI ConsoleHandler(DWORD type) {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT || type == CTRL_CLOSE_EVENT) {
        // Runs on a thread of its own: a queued call reaches the event loop.
        QMetaObject::invokeMethod(gInstance, &CInterruptNotifier::Interrupted,
                                  Qt::QueuedConnection);
        return TRUE;
    }
    return FALSE;
}
#else
int gPipe[2] = {-1, -1};

void SignalHandler(int) {
    const char byte = 1;
    // Only an async-signal-safe write here; the notifier does the rest.
    [[maybe_unused]] const auto written = ::write(gPipe[1], &byte, 1);
}
#endif
}  // namespace

CInterruptNotifier::CInterruptNotifier(QObject* parent) : QObject(parent) {
    gInstance = this;
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(ConsoleHandler, TRUE);
#else
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        [[maybe_unused]] const auto got = ::read(gPipe[0], buffer, sizeof buffer);
        emit Interrupted();
    });
    struct sigaction action {};
    action.sa_handler = SignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

CInterruptNotifier::~CInterruptNotifier() {
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(ConsoleHandler, FALSE);
#else
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (gPipe[0] >= 0) {
        ::close(gPipe[0]);
        ::close(gPipe[1]);
        gPipe[0] = gPipe[1] = -1;
    }
#endif
    gInstance = nullptr;
}

}  // namespace velmoro
