#pragma once

// A self-drawn control on Win32: it takes over a control of its dialog,
// collects its state, asks the drawing rules (drawing/) what to draw and
// plays it on the device context with the GDI back-end.

#include <cstdint>

#include "dialog.h"
#include "draw_list.h"
#include "percent_progress.h"

namespace velmoro::win32 {

// The progress bar with its percentage, on the system's progress-bar
// control, whose own range and position are never set or read.
class CPercentProgressCtrl : public CSubclassedControl {
public:
    CPercentProgressCtrl();

    void SetRange(int lower, int upper) { bar_.SetRange(lower, upper); }
    // The previous position, or -1 (storing nothing) without a window.
    int SetPos(int pos);
    const drawing::CPercentProgress& Bar() const { return bar_; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint();

    drawing::CPercentProgress bar_;
};

}  // namespace velmoro::win32
