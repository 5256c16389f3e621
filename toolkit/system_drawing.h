#pragma once

// The platform's colours by role, its metrics, and its state drawing, as the
// self-drawn controls use them. On Windows the values are the system's own;
// elsewhere they come from the application palette, role for role.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QString>

class QPainter;

namespace velmoro::toolkit {

// Colour roles, numbered as on Windows.
enum SysColor {
    COLOR_MENU = 4,
    COLOR_WINDOW = 5,
    COLOR_MENUTEXT = 7,
    COLOR_WINDOWTEXT = 8,
    COLOR_HIGHLIGHT = 13,
    COLOR_HIGHLIGHTTEXT = 14,
    COLOR_BTNFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_GRAYTEXT = 17,
    COLOR_BTNTEXT = 18,
    COLOR_BTNHIGHLIGHT = 20,
    COLOR_3DDKSHADOW = 21,
    COLOR_3DLIGHT = 22,
};

QColor GetSysColor(int role);

// Metrics, numbered as on Windows.
enum SysMetric {
    SM_CXICON = 11,
    SM_CYICON = 12,
    SM_CYMENU = 15,
    SM_CXEDGE = 45,
    SM_CYEDGE = 46,
    SM_CXSMICON = 49,
    SM_CYSMICON = 50,
};

int GetSystemMetrics(int metric);

// The font a bare drawing surface starts with: the system font, not a
// dialog's.
QFont SystemFont();

// A one-pixel three-dimensional rectangle: top and left edges in one colour,
// bottom and right in the other, the corners shared as the platform draws
// them.
void Draw3dRect(QPainter& painter, const QRect& rect, const QColor& topLeft,
                const QColor& bottomRight);

// The dotted focus rectangle: every other pixel of the rectangle's edge
// inverted, so that drawing it twice restores the pixels.
void DrawFocusRect(QPainter& painter, const QRect& rect);

// Text with mnemonic markers: a single '&' is not drawn and underlines the
// next character, "&&" draws one '&'.
QString StripMnemonics(const QString& text);
// The size of the text as it stands, markers included, in this font.
QSize MeasureText(const QFont& font, const QString& text);

// Draws text with mnemonic processing at topLeft in colour; disabled draws
// it embossed (highlight colour one pixel right and down, then the shadow
// colour in place).
void DrawStateText(QPainter& painter, const QPoint& topLeft, const QFont& font, const QString& text,
                   const QColor& color, bool disabled);

// Draws the pixmap at topLeft; disabled draws its shape embossed in the two
// monochrome colours instead.
void DrawStatePixmap(QPainter& painter, const QPoint& topLeft, const QPixmap& pixmap,
                     bool disabled);

}  // namespace velmoro::toolkit
