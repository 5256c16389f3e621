#pragma once

// A self-drawn control on Win32: it takes over a control of its dialog,
// collects its state, asks the drawing rules (drawing/) what to draw and
// plays it on the device context with the GDI back-end.

#include "dialog.h"

namespace velmoro::win32 {

// The flat push button with its gradient, its hover and focus frames.
class CHoverButton : public CSubclassedControl {
public:
    void DrawItem(const DRAWITEMSTRUCT& request) override;
    bool Hover() const { return hover_; }
    // The window moved to a monitor of this DPI: the edges follow it.
    void SetDpi(UINT dpi);

protected:
    void PreSubclassWindow() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void EndTracking();

    bool hover_ = false;
    bool tracking_ = false;
    UINT dpi_ = 0;  // the DPI the system last told of; 0: the window's own
};

}  // namespace velmoro::win32
