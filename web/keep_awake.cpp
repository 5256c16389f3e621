#include "keep_awake.h"

#include <emscripten.h>

namespace velmoro {

namespace {
// clang-format off
EM_JS(void, JsKeepScreenOn, (int on), { Module.velmoroPage.keepScreenOn(on !== 0); });
// clang-format on
}  // namespace

// In the browser, the screen's wake lock, which the page asks for and gives
// back (page.js); the browser drops it while the page is hidden, and the
// page asks again when it is shown.
struct CKeepAwake::Backend {};

CKeepAwake::CKeepAwake(IKeepAwakeTimer& timer, std::chrono::milliseconds silence)
    : backend_(std::make_unique<Backend>()), timer_(timer), silence_(silence) {}

CKeepAwake::~CKeepAwake() {
    Follow(false);
}

void CKeepAwake::Hold() {
    JsKeepScreenOn(1);
}

void CKeepAwake::Release() {
    JsKeepScreenOn(0);
}

}  // namespace velmoro
