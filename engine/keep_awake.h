#pragma once

// A transfer broken off halfway leaves the hand controller without working
// firmware, so the computer is kept from sleeping, and on Windows the
// session from ending unasked, while a transfer runs. When to hold is
// decided here, once for every program; how is the platform's, in its
// keep_awake.cpp: a sleep inhibitor lock from logind over D-Bus (qt/), the
// thread's execution state and the shutdown reason of the window (win32/).

#include <memory>
#include <string_view>

namespace velmoro {

// What the system is told while it is kept awake.
inline constexpr std::string_view kKeepAwakeWho = "Velmoro Downloader";
inline constexpr std::string_view kKeepAwakeWhy =
    "A transfer is writing the hand controller; stopping it halfway leaves the controller "
    "without working firmware.";

class CKeepAwake {
public:
    CKeepAwake();
    // Lets the system sleep again.
    ~CKeepAwake();
    CKeepAwake(const CKeepAwake&) = delete;
    CKeepAwake& operator=(const CKeepAwake&) = delete;

    // Told after each of the engine's entry points whether a transfer runs;
    // holds from its start to its end, whichever way it ends.
    void Follow(bool transferRunning) {
        if (transferRunning == held_) {
            return;
        }
        held_ = transferRunning;
        if (held_) {
            Hold();
        } else {
            Release();
        }
    }
    bool Held() const { return held_; }
    // The window that answers the system's question before the session
    // ends (its native handle; none for a command line).
    void SetWindow(void* window) { window_ = window; }

private:
    void Hold();
    void Release();

    struct Backend;
    std::unique_ptr<Backend> backend_;
    void* window_ = nullptr;
    bool held_ = false;
};

}  // namespace velmoro
