#include "keep_awake.h"

namespace velmoro {

void CKeepAwake::Follow(bool transferRunning, bool bytesReceived) {
    if (!transferRunning) {
        if (running_) {
            running_ = false;
            timer_.StopKeepAwakeTimer();
        }
        SetHeld(false);
        return;
    }
    // Ticks of the beacon and clicks that change nothing leave the timer
    // alone: only the controller's bytes show that the line is alive.
    if (running_ && !bytesReceived) {
        return;
    }
    running_ = true;
    timer_.StartKeepAwakeTimer(silence_);
    SetHeld(true);
}

void CKeepAwake::OnSilence() {
    if (running_) {
        SetHeld(false);
    }
}

void CKeepAwake::SetHeld(bool hold) {
    if (hold == held_) {
        return;
    }
    held_ = hold;
    if (held_) {
        Hold();
    } else {
        Release();
    }
}

}  // namespace velmoro
