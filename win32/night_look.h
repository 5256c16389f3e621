#pragma once

// The plain controls at night. The system draws edit boxes, static texts,
// the port list and the radio buttons with its own colours, asking the
// dialog for some of them (WM_CTLCOLOR*) and taking the rest (sunken edges,
// a radio button's circle, the combo box's button, a selection, the caret)
// from its table, where they would be light grey or white. Here the
// questions are answered from the night palette and the rest is drawn over
// in it, so that nothing in a night window is bright.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

#include "palette.h"

namespace velmoro::win32 {

// Makes look the whole program's (CurrentLook). The night palette's brushes
// are made when night begins and freed when day comes back.
void ChangeLook(drawing::Look look);

// A role of the night palette as a brush, owned here; null by day.
HBRUSH NightBrush(drawing::SysColor role);

// A dialog's answer to its controls' colour questions at night; false by
// day, which leaves the system's.
bool NightControlColour(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

// A copy of icon with every pixel, as 0xAARRGGBB, passed through pixel, for
// the caller to destroy; null when its pixels cannot be read.
HICON IconWithPixels(HICON icon, std::uint32_t (*pixel)(std::uint32_t));

// A copy of icon with every pixel as night allows (NightPicturePixel).
HICON NightIcon(HICON icon);

// Draws, at night, what the system would draw of control in its own
// colours: by day the control is left to the system. A port box's edit
// part also keeps no selection at night, whose colours are the system's.
void DrawPlainControlAtNight(HWND control, bool portBoxEdit = false);

}  // namespace velmoro::win32
