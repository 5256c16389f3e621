#pragma once

// What a self-drawn control draws, apart from how it reaches the screen. A
// control's drawing rules record a list of operations (fills, lines, the
// platform's 3-D rectangles and focus rectangles, text with mnemonics, icons),
// each with its colour and, where the colour is the system's, its role; a
// small back-end per platform plays the list on its own drawing surface. The
// rules ask the platform only for what they must know before drawing: the
// system colours and the size of a text.
//
// Plain C++: neither Qt nor Win32 is seen here.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velmoro::drawing {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int cx = 0;
    int cy = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// Right and bottom are exclusive, as the platform's rectangles are.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    Rect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    // Moved inward by dx on the left and right and dy at top and bottom.
    Rect Deflated(int dx, int dy) const { return {left + dx, top + dy, right - dx, bottom - dy}; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// System colour roles, numbered as on Windows, so a back-end there can ask
// for a role by its number.
enum class SysColor : int {
    kNone = -1,  // a colour of the control's own
    kMenu = 4,
    kWindow = 5,
    kMenuText = 7,
    kWindowText = 8,
    kHighlight = 13,
    kHighlightText = 14,
    kBtnFace = 15,
    kBtnShadow = 16,
    kGrayText = 17,
    kBtnText = 18,
    kBtnHighlight = 20,
    k3dDkShadow = 21,
    k3dLight = 22,
};

// A colour as drawn, with the system role it was read from.
struct Colour {
    Rgb rgb;
    SysColor role = SysColor::kNone;
    friend bool operator==(const Colour&, const Colour&) = default;
};

constexpr Colour Fixed(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return Colour{Rgb{red, green, blue}, SysColor::kNone};
}

// The system colours at one moment. A control that must keep the colours of
// its construction keeps a copy.
class CSystemColors {
public:
    Colour operator[](SysColor role) const;
    void Set(SysColor role, Rgb rgb);
    // Every role the rules use, for a back-end that fills the table.
    static const std::array<SysColor, 13> kRoles;

    // A night table (palette.h) turns a control's own colours as well; a
    // table read from the system gives them as they are.
    bool Night() const { return night_; }
    void SetNight(bool night) { night_ = night; }
    Colour Own(Rgb day) const;

private:
    std::array<Rgb, 32> table_{};
    bool night_ = false;
};

// Item state bits of an owner-draw request, valued as the platform's.
inline constexpr unsigned kStateSelected = 0x0001;
inline constexpr unsigned kStateGrayed = 0x0002;
inline constexpr unsigned kStateDisabled = 0x0004;
inline constexpr unsigned kStateChecked = 0x0008;
inline constexpr unsigned kStateFocus = 0x0010;
inline constexpr unsigned kStateDefault = 0x0020;

// The fonts a rule can name; the back-end knows what each is on its platform.
enum class Font {
    kControl,  // the font the control reports, as a dialog gives it
    kSystem,   // the font a bare drawing surface starts with
    kMenu,     // the system's menu font
};

// Text layout flags, valued as the platform's text-drawing flags. Text is
// always drawn with mnemonic processing: a single '&' is not drawn and
// underlines the next character, "&&" draws one '&'.
inline constexpr unsigned kTextLeft = 0x0000;
inline constexpr unsigned kTextCenter = 0x0001;
inline constexpr unsigned kTextRight = 0x0002;
inline constexpr unsigned kTextVCenter = 0x0004;
inline constexpr unsigned kTextWordBreak = 0x0010;
inline constexpr unsigned kTextSingleLine = 0x0020;

// Solid. One pixel wide: each segment from its start up to, not including,
// its end. Wider: centred on the path, with round ends and joins.
struct Pen {
    int width = 1;
    Colour colour;
    friend bool operator==(const Pen&, const Pen&) = default;
};

struct FillRectOp {
    Rect rect;
    Colour colour;
    friend bool operator==(const FillRectOp&, const FillRectOp&) = default;
};

// A one-pixel frame along the inside of rect: top and left edges in one
// colour, bottom and right in the other, which also takes the two far
// corners. With one colour it is the plain frame.
struct Rect3dOp {
    Rect rect;
    Colour topLeft;
    Colour bottomRight;
    friend bool operator==(const Rect3dOp&, const Rect3dOp&) = default;
};

struct PolylineOp {
    std::vector<Point> points;
    Pen pen;
    friend bool operator==(const PolylineOp&, const PolylineOp&) = default;
};

// A rounded rectangle outline with a corner ellipse of the given size, the
// pen inside rect; its interior takes the surface's current brush, which the
// rule does not choose.
struct RoundRectOp {
    Rect rect;
    Size corner;
    Pen pen;
    friend bool operator==(const RoundRectOp&, const RoundRectOp&) = default;
};

// The players that draw a rounded rectangle as a polygon take its corners
// from here: the outline on the rectangle's outermost pixels, clockwise from
// the top edge's left end, each corner one diagonal step (at the controls'
// sizes the corner ellipse's quarter is a single step). Small rectangles get
// a smaller step, kept diagonal so the corners match. An empty rectangle has
// no outline; the caller draws nothing for it.
std::array<Point, 8> RoundRectOutline(const RoundRectOp& op);

// Text laid out in box by the flags, with a transparent background,
// optionally clipped. The text is UTF-8.
struct TextOp {
    std::string text;
    Rect box;
    Font font = Font::kControl;
    Colour colour;
    unsigned format = kTextLeft;
    std::optional<Rect> clip;
    friend bool operator==(const TextOp&, const TextOp&) = default;
};

// The platform's state drawing of a text: one line from the top-left of box,
// with mnemonic processing; embossed is the platform's look of disabled text
// (the highlight colour one pixel right and down, the shadow colour in
// place) instead of colour.
struct StateTextOp {
    std::string text;
    Rect box;
    Font font = Font::kControl;
    Colour colour;
    bool embossed = false;
    friend bool operator==(const StateTextOp&, const StateTextOp&) = default;
};

// The control's image number `image` (its own numbering, which the control
// hands to the back-end with the list) at its own size, top-left at rect's;
// embossed is the platform's disabled look of an image.
struct IconOp {
    int image = 0;
    Rect rect;
    bool embossed = false;
    friend bool operator==(const IconOp&, const IconOp&) = default;
};

// The platform's dotted focus rectangle, which inverts the pixels it covers.
struct FocusRectOp {
    Rect rect;
    friend bool operator==(const FocusRectOp&, const FocusRectOp&) = default;
};

using DrawOp = std::variant<FillRectOp, Rect3dOp, PolylineOp, RoundRectOp, TextOp, StateTextOp,
                            IconOp, FocusRectOp>;
using DrawList = std::vector<DrawOp>;

// What a rule must know of text before drawing it; each back-end answers
// with its fonts.
class ITextMetrics {
public:
    virtual ~ITextMetrics() = default;
    // One line as it stands, '&' markers included.
    virtual Size Measure(Font font, std::string_view text) const = 0;
    // Word-wrapped into width with mnemonic processing: the width stays
    // unless a single word is wider, the height is the wrapped text's.
    virtual Size MeasureWrapped(Font font, std::string_view text, int width) const = 0;
};

}  // namespace velmoro::drawing
