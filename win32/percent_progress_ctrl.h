#pragma once

// A self-drawn control on Win32: it takes over a control of its dialog,
// collects its state, asks the drawing rules (drawing/) what to draw and
// plays it on the device context with the GDI back-end.

#include <oleacc.h>

#include <cstdint>

#include "dialog.h"
#include "draw_list.h"
#include "percent_progress.h"

namespace velmoro::win32 {

class CProgressAccessible;
// The progress bar with its percentage, on the system's progress-bar
// control, whose own range and position are never set or read.
class CPercentProgressCtrl : public CSubclassedControl {
public:
    CPercentProgressCtrl();
    ~CPercentProgressCtrl() override;
    CPercentProgressCtrl(const CPercentProgressCtrl&) = delete;
    CPercentProgressCtrl& operator=(const CPercentProgressCtrl&) = delete;

    void SetRange(int lower, int upper) { bar_.SetRange(lower, upper); }
    // The previous position, or -1 (storing nothing) without a window.
    int SetPos(int pos);
    const drawing::CPercentProgress& Bar() const { return bar_; }
    // What the window answers a screen reader's question for its client
    // object with: a progress bar whose value is the text it shows. Owned by
    // the control.
    IAccessible* AccessibleObject();
    // The window moved to a monitor of this DPI: the percentage's font, the
    // system font, follows it.
    void SetDpi(UINT dpi);
    // The bar's colours are those of the look the program has now; the
    // range, position and text stay.
    void FollowLook();

protected:
    void PreSubclassWindow() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint();
    void ForgetAccessible();

    drawing::CPercentProgress bar_;
    // What screen readers read, made at their first question.
    CProgressAccessible* accessible_ = nullptr;
    // The system font at a DPI other than the screen's; null: the stock one.
    HFONT systemFont_ = nullptr;
};

}  // namespace velmoro::win32
