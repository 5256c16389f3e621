#pragma once

// The command line's event loop: timers, Ctrl-C, and the loop itself. The
// serial port's receive event reaches the same thread through the port's own
// back-end. One face, a back-end per platform: Qt's event loop on Linux and
// macOS (qt/event_loop.cpp, with a QCoreApplication made by main), a Win32
// message loop on Windows (win32/event_loop.cpp).

#include <functional>
#include <memory>

namespace velmoro {

class CEventLoop {
public:
    using TimerId = int;

    CEventLoop();
    ~CEventLoop();
    CEventLoop(const CEventLoop&) = delete;
    CEventLoop& operator=(const CEventLoop&) = delete;

    // A timer whose handler runs from the loop; stopped until started.
    TimerId AddTimer(std::function<void()> handler);
    // Starts (or restarts) the timer: every periodMs, or once.
    void StartTimer(TimerId timer, int periodMs, bool singleShot = false);
    void StopTimer(TimerId timer);

    // Ctrl-C (SIGINT and SIGTERM on Unix; the console's Ctrl-C, Ctrl-Break
    // and close on Windows), delivered by the loop like any other event.
    void SetOnInterrupt(std::function<void()> handler);

    // Runs until Exit; returns Exit's code.
    int Run();
    void Exit(int code);

private:
    struct Backend;
    std::unique_ptr<Backend> backend_;
};

// Whether the standard error stream is a terminal, where the progress bar
// may redraw itself in place.
bool StderrIsTerminal();

}  // namespace velmoro
