#pragma once

// The platform's colours by role, its metrics and its fonts, as the
// self-drawn controls use them. On Windows the values are the system's own;
// elsewhere they come from the application palette, role for role.

#include <QColor>
#include <QFont>

#include "draw_list.h"

namespace velmoro::toolkit {

QColor GetSysColor(drawing::SysColor role);
// Every role the drawing rules use, as they are now.
drawing::CSystemColors SystemColors();

// Metrics, numbered as on Windows.
enum class SysMetric : int {
    kCyMenu = 15,
    kCxEdge = 45,
    kCyEdge = 46,
    kCxSmIcon = 49,
    kCySmIcon = 50,
};

int GetSystemMetrics(SysMetric metric);

// The font a bare drawing surface starts with: the system font, not a
// dialog's.
QFont SystemFont();

}  // namespace velmoro::toolkit
