#pragma once

// The canvas back-end of the drawing rules: plays a list of operations on
// the page's current 2-D canvas context, and measures text with the page's
// dialog font. The page names the canvas before a control is painted.

#include <string_view>

#include "draw_list.h"
#include "palette.h"

namespace velmoro::web {

class CCanvasTextMetrics : public drawing::ITextMetrics {
public:
    drawing::Size Measure(drawing::Font font, std::string_view text) const override;
    drawing::Size MeasureWrapped(drawing::Font font, std::string_view text,
                                 int width) const override;
};

// images: the control's own image numbers, which the page maps to its icons.
void Play(const drawing::DrawList& list);

// The system colours of the page: those of the classic desktop by day, the
// night palette at night.
drawing::CSystemColors SystemColors();
void SetLook(drawing::Look look);

}  // namespace velmoro::web
