#include "keep_awake.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "text.h"

namespace velmoro {

// On Windows, the thread's execution state keeps the system from sleeping;
// the window's shutdown reason tells the user, when the session is to end,
// why the program asks to wait (the window refuses the question meanwhile).
struct CKeepAwake::Backend {};

CKeepAwake::CKeepAwake(IKeepAwakeTimer& timer, std::chrono::milliseconds silence)
    : timer_(timer), silence_(silence) {}

CKeepAwake::~CKeepAwake() {
    Follow(false);
}

void CKeepAwake::Hold() {
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    if (window_ != nullptr) {
        ShutdownBlockReasonCreate(static_cast<HWND>(window_), Widen(kKeepAwakeWhy).c_str());
    }
}

void CKeepAwake::Release() {
    if (window_ != nullptr) {
        ShutdownBlockReasonDestroy(static_cast<HWND>(window_));
    }
    SetThreadExecutionState(ES_CONTINUOUS);
}

}  // namespace velmoro
