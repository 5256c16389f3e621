#pragma once

// A transfer broken off halfway leaves the hand controller without working
// firmware, so the computer is kept from sleeping, and on Windows the
// session from ending unasked, while a transfer runs. When to hold is
// decided here, once for every program (keep_awake.cpp beside this file);
// how is the platform's, in its keep_awake.cpp: a sleep inhibitor lock from
// logind over D-Bus (qt/), the thread's execution state and the shutdown
// reason of the window (win32/).

#include <chrono>
#include <memory>
#include <string_view>

namespace velmoro {

// What the system is told while it is kept awake.
inline constexpr std::string_view kKeepAwakeWho = "Velmoro Downloader";
inline constexpr std::string_view kKeepAwakeWhy =
    "A transfer is writing the hand controller; stopping it halfway leaves the controller "
    "without working firmware.";

// How long the controller may stay silent before the computer may sleep
// again. The window waits without end for a controller switched off in the
// middle of a transfer, so that the user can switch it on and go on; a lock
// held meanwhile would keep a laptop running, and the session from ending,
// until its battery is flat. The slowest reply, an erase or a flash write,
// comes within seconds: two minutes of silence means nobody is writing.
inline constexpr std::chrono::milliseconds kKeepAwakeSilence = std::chrono::minutes(2);

// A single-shot timer from the front end's own event loop; when it runs
// out, the front end calls CKeepAwake::OnSilence.
class IKeepAwakeTimer {
public:
    // Starts the timer, or starts it over when it runs.
    virtual void StartKeepAwakeTimer(std::chrono::milliseconds period) = 0;
    virtual void StopKeepAwakeTimer() = 0;

protected:
    ~IKeepAwakeTimer() = default;
};

class CKeepAwake {
public:
    // The period is shorter only in tests.
    explicit CKeepAwake(IKeepAwakeTimer& timer,
                        std::chrono::milliseconds silence = kKeepAwakeSilence);
    // Lets the system sleep again.
    ~CKeepAwake();
    CKeepAwake(const CKeepAwake&) = delete;
    CKeepAwake& operator=(const CKeepAwake&) = delete;

    // Told after each of the engine's entry points whether a transfer runs,
    // and whether that entry point brought bytes from the controller. Holds
    // from the transfer's start to its end, whichever way it ends, but not
    // while the controller has been silent for the whole period; its next
    // bytes take the hold again.
    void Follow(bool transferRunning, bool bytesReceived = false);
    // The timer ran out: nothing came from the controller for the period.
    void OnSilence();
    bool Held() const { return held_; }
    // The window that answers the system's question before the session
    // ends (its native handle; none for a command line).
    void SetWindow(void* window) { window_ = window; }

private:
    void SetHeld(bool hold);
    void Hold();
    void Release();

    struct Backend;
    std::unique_ptr<Backend> backend_;
    IKeepAwakeTimer& timer_;
    std::chrono::milliseconds silence_;
    void* window_ = nullptr;
    bool running_ = false;
    bool held_ = false;
};

}  // namespace velmoro
