#pragma once

// The GDI back-end of the controls' drawing rules: it measures text in a
// device context while the rules record, and plays the recorded list on the
// device context with the system's own drawing calls (FillRect's solid
// fills, Polyline, RoundRect, DrawText, DrawState, DrawFocusRect).

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <span>
#include <string>
#include <string_view>

#include "draw_list.h"
#include "palette.h"
#include "text.h"

namespace velmoro::win32 {

RECT ToRect(const drawing::Rect& rect);
drawing::Rect FromRect(const RECT& rect);

// The look the whole program draws in now: the system menu switches it for
// every window at once, so it is the process's, not a window's.
drawing::Look CurrentLook();
void SetCurrentLook(drawing::Look look);

// Every role the drawing rules use: as the system has them now by day, the
// night palette at night.
drawing::CSystemColors SystemColors();

class CGdiTextMetrics : public drawing::ITextMetrics {
public:
    // controlFont is the font the control reports (WM_GETFONT); null is the
    // device context's own.
    CGdiTextMetrics(HDC dc, HFONT controlFont);

    drawing::Size Measure(drawing::Font font, std::string_view text) const override;
    drawing::Size MeasureWrapped(drawing::Font font, std::string_view text,
                                 int width) const override;

private:
    HDC dc_;
    HFONT controlFont_;
};

// Plays list on dc, whose current brush is the surface brush that outlines
// take; icons are the control's, by the numbers its icon ops give;
// systemFont, where given, stands for the stock system font. The device
// context's state is the same afterwards.
void Play(HDC dc, const drawing::DrawList& list, HFONT controlFont,
          std::span<const HICON> icons = {}, HFONT systemFont = nullptr);

}  // namespace velmoro::win32
