// The self-drawn controls' drawing rules, read as the operations they record:
// no platform, no fonts, no pixels. Text is measured by a fake that gives
// every character 6 pixels and every line 13.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "draw_list.h"
#include "hover_button_drawing.h"
#include "icon_button_drawing.h"
#include "icon_button_state.h"
#include "owner_draw_menu_drawing.h"
#include "palette.h"
#include "percent_progress.h"

namespace velmoro::drawing {

// Readable failures: ops print as what they draw.
std::ostream& operator<<(std::ostream& out, const Rect& r) {
    return out << "[" << r.left << "," << r.top << " " << r.right << "," << r.bottom << ")";
}
std::ostream& operator<<(std::ostream& out, const Colour& c) {
    return out << "rgb(" << int(c.rgb.red) << "," << int(c.rgb.green) << "," << int(c.rgb.blue)
               << ")#" << static_cast<int>(c.role);
}
std::ostream& operator<<(std::ostream& out, const DrawOp& op) {
    std::visit(
        [&out](const auto& o) {
            using T = std::decay_t<decltype(o)>;
            if constexpr (std::is_same_v<T, FillRectOp>) {
                out << "Fill " << o.rect << " " << o.colour;
            } else if constexpr (std::is_same_v<T, Rect3dOp>) {
                out << "Rect3d " << o.rect << " " << o.topLeft << " " << o.bottomRight;
            } else if constexpr (std::is_same_v<T, PolylineOp>) {
                out << "Polyline w" << o.pen.width << " " << o.pen.colour;
                for (const Point& p : o.points) {
                    out << " (" << p.x << "," << p.y << ")";
                }
            } else if constexpr (std::is_same_v<T, RoundRectOp>) {
                out << "RoundRect " << o.rect;
            } else if constexpr (std::is_same_v<T, TextOp>) {
                out << "Text '" << o.text << "' " << o.box << " " << o.colour;
            } else if constexpr (std::is_same_v<T, StateTextOp>) {
                out << "StateText '" << o.text << "' " << o.box << (o.embossed ? " embossed" : "");
            } else if constexpr (std::is_same_v<T, IconOp>) {
                out << "Icon " << o.image << " " << o.rect << (o.embossed ? " embossed" : "");
            } else if constexpr (std::is_same_v<T, FocusRectOp>) {
                out << "FocusRect " << o.rect;
            }
        },
        op);
    return out;
}

namespace {

class CFakeMetrics : public ITextMetrics {
public:
    Size Measure(Font /*font*/, std::string_view text) const override {
        return {6 * static_cast<int>(text.size()), 13};
    }
    Size MeasureWrapped(Font font, std::string_view text, int width) const override {
        return {std::max(width, Measure(font, text).cx), 13};
    }
};

const CFakeMetrics kMetrics;

// Every role its own colour, so a colour tells which role it came from.
CSystemColors Palette() {
    CSystemColors colors;
    for (const SysColor role : CSystemColors::kRoles) {
        const auto n = static_cast<std::uint8_t>(role);
        colors.Set(role,
                   {n, static_cast<std::uint8_t>(100 + n), static_cast<std::uint8_t>(200 + n)});
    }
    return colors;
}

const CSystemColors kColors = Palette();

template <class Op>
std::vector<Op> OpsOf(const DrawList& list) {
    std::vector<Op> ops;
    for (const DrawOp& op : list) {
        if (const auto* match = std::get_if<Op>(&op)) {
            ops.push_back(*match);
        }
    }
    return ops;
}

// ---- the percent progress bar ----

TEST(PercentProgressDrawing, TruncatedBarAndPercentageInInvertedColours) {
    struct Case {
        int lower, upper, pos, barWidth;
        const char* text;
    };
    const Case cases[] = {
        {0, 100, 0, 0, "0%"},     {0, 100, 29, 87, "28%"},    {0, 100, 57, 170, "56%"},
        {0, 100, 58, 174, "57%"}, {0, 100, 100, 300, "100%"}, {0, 3, 1, 100, "33%"},
        {0, 3, 2, 200, "66%"},    {0, 7, 3, 128, "42%"},      {0, 20, 21, 300, "105%"},
        {0, 40, -1, 0, "-2%"},
    };
    const Rect client{2, 2, 302, 42};
    const Colour highlight = kColors[SysColor::kHighlight];
    const Colour window = kColors[SysColor::kWindow];
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lower << ".." << c.upper << " at " << c.pos);
        CPercentProgress bar(kColors);
        bar.SetRange(c.lower, c.upper);
        bar.SetPos(c.pos, client.Width());
        DrawList list;
        bar.Draw(list, client);
        const Rect barRect{2, 2, 2 + c.barWidth, 42};
        const Rect rest{2 + c.barWidth, 2, 302, 42};
        constexpr unsigned kCentred = kTextCenter | kTextVCenter | kTextSingleLine;
        const DrawList expected = {
            FillRectOp{barRect, highlight},
            FillRectOp{rest, window},
            TextOp{c.text, client, Font::kSystem, window, kCentred, barRect},
            TextOp{c.text, client, Font::kSystem, highlight, kCentred, rest},
        };
        EXPECT_EQ(list, expected);
    }
}

TEST(PercentProgressDrawing, EmptyOrInvertedRangeDrawsNothingButStoresThePosition) {
    for (const auto& [lower, upper] : {std::pair(0, 0), std::pair(5, 2)}) {
        CPercentProgress bar(kColors);
        bar.SetPos(4, 300);
        bar.SetRange(lower, upper);
        EXPECT_EQ(bar.SetPos(11, 300).previous, 4);
        EXPECT_EQ(bar.Pos(), 11);
        DrawList list;
        bar.Draw(list, {0, 0, 300, 40});
        EXPECT_TRUE(list.empty());
    }
}

TEST(PercentProgressDrawing, RepaintsOnlyWhenTheBarWidthChanges) {
    CPercentProgress bar(kColors);
    bar.SetRange(0, 1000);
    EXPECT_TRUE(bar.SetPos(290, 300).repaint);
    EXPECT_EQ(bar.CachedBarWidth(), 87);
    // 29% now, but the bar is still 87 pixels wide: 28% stays on screen.
    const CPercentProgress::PosChange same = bar.SetPos(291, 300);
    EXPECT_EQ(same.previous, 290);
    EXPECT_FALSE(same.repaint);
    EXPECT_EQ(bar.TextToDraw(), "29%");
    EXPECT_TRUE(bar.SetPos(294, 300).repaint);
    // A new range alone changes nothing; the same pixel width after it
    // neither; after a resize the same width repaints.
    bar.SetRange(0, 500);
    EXPECT_FALSE(bar.SetPos(147, 300).repaint);
    bar.ForgetBarWidth();
    EXPECT_TRUE(bar.SetPos(147, 300).repaint);
}

TEST(PercentProgressDrawing, DisplayTextReplacesThePercentage) {
    CPercentProgress bar(kColors);
    bar.SetRange(0, 2);
    bar.SetPos(1, 300);
    EXPECT_TRUE(bar.SetDisplayText("Catalogue"));
    EXPECT_FALSE(bar.SetDisplayText("Catalogue"));
    DrawList list;
    bar.Draw(list, {0, 0, 300, 40});
    for (const TextOp& text : OpsOf<TextOp>(list)) {
        EXPECT_EQ(text.text, "Catalogue");
    }
    EXPECT_TRUE(bar.SetDisplayText(""));
    EXPECT_EQ(bar.TextToDraw(), "50%");
}

// ---- the hover button ----

// Its inner rectangle runs from (2, 2) to (158, 21), 19 rows high.
HoverButtonLook HoverLook(unsigned state, bool hover = false,
                          const std::string& caption = "Open Data File(&O)") {
    HoverButtonLook look;
    look.item = {0, 0, 160, 23};
    look.caption = caption;
    look.hover = hover;
    look.state = state;
    return look;
}

DrawList DrawHover(const HoverButtonLook& look) {
    DrawList list;
    DrawHoverButton(list, kMetrics, kColors, look);
    return list;
}

TEST(HoverButtonDrawing, GradientRowsInEveryLook) {
    struct Case {
        bool hover;
        unsigned state;  // sets the active flag or not
        Rgb rows[5];     // offsets 0, 1, 2, 18, 19: c[0], c[3], c[6], c[59], c[63]
    };
    const Case cases[] = {
        {false,
         0,
         {{255, 255, 255}, {254, 254, 255}, {253, 253, 254}, {236, 236, 244}, {234, 234, 243}}},
        {false,
         kStateSelected,
         {{255, 255, 255}, {254, 254, 255}, {253, 253, 254}, {236, 236, 241}, {234, 234, 240}}},
        {true,
         0,
         {{255, 255, 255}, {255, 255, 255}, {254, 254, 254}, {241, 241, 244}, {240, 240, 243}}},
        {true,
         kStateDefault,
         {{255, 255, 255}, {255, 255, 254}, {254, 254, 253}, {241, 241, 236}, {240, 240, 234}}},
    };
    const int offsets[] = {0, 1, 2, 18, 19};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "hover " << c.hover << " state " << c.state);
        std::vector<FillRectOp> rows = OpsOf<FillRectOp>(DrawHover(HoverLook(c.state, c.hover)));
        // One row more than the inner rectangle holds.
        ASSERT_EQ(rows.size(), 20u);
        for (int i = 0; i < 5; ++i) {
            const FillRectOp& row = rows[static_cast<std::size_t>(offsets[i])];
            EXPECT_EQ(row.rect, (Rect{2, 2 + offsets[i], 158, 3 + offsets[i]}));
            EXPECT_EQ(row.colour.rgb, c.rows[i]) << "offset " << offsets[i];
        }
    }
}

TEST(HoverButtonDrawing, OutlineAlwaysGradientOnlyWithHeight) {
    HoverButtonLook flat = HoverLook(0);
    flat.item = {0, 0, 30, 4};
    const DrawList list = DrawHover(flat);
    EXPECT_EQ(list.front(), DrawOp(RoundRectOp{{0, 0, 30, 4}, {5, 5}, {1, Fixed(0, 0, 0)}}));
    EXPECT_TRUE(OpsOf<FillRectOp>(list).empty());
    EXPECT_EQ(OpsOf<StateTextOp>(list).size(), 1u);
}

// All four corners, at every corner size against every rectangle: each
// corner cuts the same diagonal step, half the corner ellipse's size (odd
// sizes round down), no step at zero or below, and where the rectangle is
// too small for it the largest step at which a side's two cuts still meet.
TEST(RoundRectOutline, EveryCornerCutsTheSameDiagonalStep) {
    for (const int width : {1, 2, 3, 4, 5, 6, 9, 10, 31}) {
        for (const int height : {1, 2, 3, 4, 5, 6, 9, 10, 31}) {
            for (const int size : {-3, 0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 40}) {
                const Rect rect{3, 7, 3 + width, 7 + height};
                const int step = std::clamp(size / 2, 0, (std::min(width, height) - 1) / 2);
                const int left = rect.left;
                const int top = rect.top;
                const int right = rect.right - 1;
                const int bottom = rect.bottom - 1;
                // Clockwise from the top edge's left end: the corner each
                // pair of points leaves and the one it reaches.
                const std::array<Point, 8> expected = {
                    Point{left + step, top},     Point{right - step, top},
                    Point{right, top + step},    Point{right, bottom - step},
                    Point{right - step, bottom}, Point{left + step, bottom},
                    Point{left, bottom - step},  Point{left, top + step}};
                const std::array<Point, 8> outline =
                    RoundRectOutline(RoundRectOp{rect, {size, size}, {1, Fixed(0, 0, 0)}});
                for (std::size_t i = 0; i < outline.size(); ++i) {
                    EXPECT_EQ(outline[i], expected[i])
                        << rect << " corner " << size << " point " << i << " is (" << outline[i].x
                        << "," << outline[i].y << ")";
                }
            }
        }
    }
}

TEST(HoverButtonDrawing, FramePensAndFocusRectangle) {
    const std::vector<Pen> hoverSet = {{3, Fixed(250, 196, 88)},
                                       {3, Fixed(251, 202, 106)},
                                       {2, Fixed(252, 210, 121)},
                                       {2, Fixed(229, 151, 0)}};
    const std::vector<Pen> focusSet = {{3, Fixed(153, 198, 252)},
                                       {3, Fixed(162, 189, 252)},
                                       {2, Fixed(162, 201, 255)},
                                       {2, Fixed(162, 201, 255)}};
    struct Case {
        bool hover;
        unsigned state;
        const std::vector<Pen>* frame;  // left, right, top, bottom; null for none
        bool focusRect;
    };
    const Case cases[] = {{false, 0, nullptr, false},
                          {false, kStateSelected, nullptr, false},
                          {true, 0, &hoverSet, false},
                          {false, kStateFocus, &focusSet, true},
                          {true, kStateFocus, &hoverSet, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "hover " << c.hover << " state " << c.state);
        const DrawList list = DrawHover(HoverLook(c.state, c.hover));
        const std::vector<PolylineOp> lines = OpsOf<PolylineOp>(list);
        if (c.frame == nullptr) {
            EXPECT_TRUE(lines.empty());
        } else {
            const std::vector<PolylineOp> expected = {
                {{{2, 20}, {2, 3}}, (*c.frame)[0]},
                {{{157, 20}, {157, 2}}, (*c.frame)[1]},
                {{{1, 2}, {157, 2}}, (*c.frame)[2]},
                {{{2, 21}, {157, 21}}, (*c.frame)[3]},
            };
            EXPECT_EQ(lines, expected);
        }
        const std::vector<FocusRectOp> focus = OpsOf<FocusRectOp>(list);
        EXPECT_EQ(focus.size(), c.focusRect ? 1u : 0u);
        if (c.focusRect) {
            EXPECT_EQ(focus[0].rect, (Rect{2, 2, 158, 21}));
        }
    }
}

TEST(HoverButtonDrawing, CaptionCentredAsMeasuredWithItsMarkers) {
    struct Case {
        unsigned state;
        const char* caption;
        Rect box;
        bool embossed;
    };
    // Centre (80, 11); 18 characters with the '&' are 108 wide, 13 high.
    const Case cases[] = {
        {0, "Open Data File(&O)", {26, 5, 134, 18}, false},
        {kStateSelected, "Open Data File(&O)", {27, 6, 135, 19}, false},
        {kStateDisabled, "Open Data File(&O)", {26, 5, 134, 18}, true},
        {kStateFocus, "Stop Download(&D)", {29, 5, 131, 18}, false},
    };
    for (const Case& c : cases) {
        const std::vector<StateTextOp> text =
            OpsOf<StateTextOp>(DrawHover(HoverLook(c.state, false, c.caption)));
        ASSERT_EQ(text.size(), 1u);
        EXPECT_EQ(text[0], (StateTextOp{c.caption, c.box, Font::kControl,
                                        kColors[SysColor::kWindowText], c.embossed}))
            << c.caption << " state " << c.state;
    }
}

// ---- the icon button ----

// A three-dimensional button, 40 by 20, with no caption and no icon.
IconButtonLook IconLook(unsigned state) {
    IconButtonLook look;
    look.item = {0, 0, 40, 20};
    look.clientWidth = 40;
    look.flat = false;
    look.state = state;
    look.colours = DefaultIconButtonColors(kColors);
    return look;
}

DrawList DrawIcon(const IconButtonLook& look) {
    DrawList list;
    DrawIconButton(list, kMetrics, kColors, look);
    return list;
}

TEST(IconButtonDrawing, ThreeDimensionalBevelAndPressedFrame) {
    const DrawList resting = DrawIcon(IconLook(0));
    const DrawList expected = {
        FillRectOp{{0, 0, 40, 20}, kColors[SysColor::kBtnFace]},
        PolylineOp{{{0, 19}, {0, 0}, {40, 0}}, {1, kColors[SysColor::kBtnHighlight]}},
        PolylineOp{{{1, 19}, {1, 1}, {40, 1}}, {1, kColors[SysColor::k3dLight]}},
        PolylineOp{{{0, 19}, {39, 19}, {39, -1}}, {1, kColors[SysColor::k3dDkShadow]}},
        PolylineOp{{{1, 18}, {38, 18}, {38, 0}}, {1, kColors[SysColor::kBtnShadow]}},
    };
    EXPECT_EQ(resting, expected);

    const DrawList pressed = DrawIcon(IconLook(kStateSelected));
    const Colour shadow = kColors[SysColor::kBtnShadow];
    EXPECT_EQ(pressed, (DrawList{FillRectOp{{0, 0, 40, 20}, kColors[SysColor::kBtnFace]},
                                 Rect3dOp{{0, 0, 40, 20}, shadow, shadow}}));
}

TEST(IconButtonDrawing, BlackFrameForFocusOrDefaultAndFocusRectangleForFocus) {
    struct Case {
        bool flat;
        bool focus;
        bool isDefault;
        bool blackFrame;
        bool focusRect;
    };
    const Case cases[] = {
        {false, true, false, true, true},    {false, false, true, true, false},
        {false, false, false, false, false}, {true, true, false, false, false},
        {true, false, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "flat " << c.flat << " focus " << c.focus << " default " << c.isDefault);
        IconButtonLook look = IconLook(c.focus ? kStateFocus : 0);
        look.flat = c.flat;
        look.isDefault = c.isDefault;
        const DrawList list = DrawIcon(look);
        const Colour black = Fixed(0, 0, 0);
        EXPECT_EQ(list.front() == DrawOp(Rect3dOp{{0, 0, 40, 20}, black, black}), c.blackFrame);
        const std::vector<FocusRectOp> focus = OpsOf<FocusRectOp>(list);
        ASSERT_EQ(focus.size(), c.focusRect ? 1u : 0u);
        if (c.focusRect) {
            // 3 pixels inside the bevel, which the black frame moved inward.
            EXPECT_EQ(focus[0].rect, (Rect{4, 4, 36, 16}));
            EXPECT_EQ(OpsOf<PolylineOp>(list)[0].points[0], (Point{1, 18}));
        }
    }
}

TEST(IconButtonDrawing, FlatBorderRaisedWhenHoveredSunkenWhenPressed) {
    const Colour light = kColors[SysColor::kBtnHighlight];
    const Colour shadow = kColors[SysColor::kBtnShadow];
    struct Case {
        bool hover;
        unsigned state;
        std::vector<Rect3dOp> border;
        IconButtonColor face;
    };
    const Case cases[] = {
        {false, 0, {}, kNormalBackground},
        {true, 0, {{{0, 0, 40, 20}, light, shadow}}, kHoverBackground},
        {false, kStateSelected, {{{0, 0, 40, 20}, shadow, light}}, kHoverBackground},
        {false, kStateFocus, {}, kFocusBackground},
    };
    for (const Case& c : cases) {
        IconButtonLook look = IconLook(c.state);
        look.flat = true;
        look.hover = c.hover;
        // Distinct faces, so the fill tells which pair it took.
        look.colours[kHoverBackground] = Fixed(1, 0, 0);
        look.colours[kFocusBackground] = Fixed(2, 0, 0);
        const DrawList list = DrawIcon(look);
        EXPECT_EQ(OpsOf<Rect3dOp>(list), c.border) << "hover " << c.hover << " state " << c.state;
        EXPECT_EQ(OpsOf<FillRectOp>(list)[0].colour, look.colours[c.face]);
    }
}

TEST(IconButtonDrawing, ImagePlacement) {
    struct Case {
        std::uint8_t alignment;
        const char* caption;
        unsigned state;
        bool checkBox;
        Rect image;
        Rect captionBox;  // where the caption's text goes; empty without one
    };
    // A 16-pixel icon on a 100 by 40 button; "Help" is 24 wide, 13 high.
    const Case cases[] = {
        {kImageLeft, "Help", 0, false, {3, 12, 19, 28}, {19, 13, 100, 26}},
        {kImageLeft, "", 0, false, {42, 12, 58, 28}, {}},
        {kImageLeft, "Help", kStateSelected, false, {4, 13, 20, 29}, {20, 14, 101, 27}},
        {kImageLeft, "Help", kStateSelected, true, {3, 12, 19, 28}, {19, 13, 100, 26}},
        {kImageAbove, "Help", 0, false, {42, 3, 58, 19}, {0, 21, 100, 34}},
        {kImageAbove, "", 0, false, {42, 12, 58, 28}, {}},
        {kImageRight, "Help", 0, false, {81, 12, 97, 28}, {3, 13, 81, 26}},
        {kImageRight, "", 0, false, {42, 0, 58, 16}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "alignment " << int(c.alignment) << " caption '"
                                        << c.caption << "' state " << c.state);
        IconButtonLook look = IconLook(c.state);
        look.item = {0, 0, 100, 40};
        look.clientWidth = 100;
        look.caption = c.caption;
        look.alignment = c.alignment;
        look.checkBoxMode = c.checkBox;
        look.icons[0] = Size{16, 16};
        const DrawList list = DrawIcon(look);
        EXPECT_EQ(OpsOf<IconOp>(list), (std::vector<IconOp>{{0, c.image, false}}));
        const std::vector<TextOp> text = OpsOf<TextOp>(list);
        ASSERT_EQ(text.size(), c.captionBox.IsEmpty() ? 0u : 1u);
        if (!text.empty()) {
            EXPECT_EQ(text[0].box, c.captionBox);
            EXPECT_EQ(text[0].format, kTextCenter | kTextWordBreak);
        }
    }
}

TEST(IconButtonDrawing, DisabledEmbossesTheIconAndDrawsTheCaptionTwice) {
    IconButtonLook look = IconLook(kStateDisabled);
    look.caption = "Help(&H)";
    look.icons[0] = Size{16, 16};
    const DrawList list = DrawIcon(look);
    EXPECT_TRUE(OpsOf<IconOp>(list)[0].embossed);
    const std::vector<TextOp> text = OpsOf<TextOp>(list);
    ASSERT_EQ(text.size(), 2u);
    EXPECT_EQ(text[0].colour, kColors[SysColor::kBtnHighlight]);
    EXPECT_EQ(text[1].colour, kColors[SysColor::kBtnShadow]);
    EXPECT_EQ(text[0].box, text[1].box.Offset(1, 1));
}

TEST(IconButtonDrawing, IdleIconAtRestActiveIconWhenPressedOrHovered) {
    struct Case {
        bool flat;
        bool hover;
        unsigned state;
        bool checkBox;
        int slot;
    };
    const Case cases[] = {
        {false, false, 0, false, 1},
        {false, false, kStateSelected, false, 0},
        {true, true, 0, false, 0},
        {true, true, 0, true, 1},
        {false, false, kStateSelected, true, 0},
    };
    for (const Case& c : cases) {
        IconButtonLook look = IconLook(c.state);
        look.flat = c.flat;
        look.hover = c.hover;
        look.checkBoxMode = c.checkBox;
        look.icons = {Size{16, 16}, Size{16, 16}};
        EXPECT_EQ(OpsOf<IconOp>(DrawIcon(look))[0].image, c.slot)
            << "flat " << c.flat << " hover " << c.hover << " state " << c.state;
    }
}

// ---- the icon button's state, as both front ends keep it ----

TEST(IconButtonState, GreyCopyUsesTruncatedLuminanceKeepsBlackAndAlpha) {
    struct Case {
        std::uint32_t in;
        std::uint32_t out;
    };
    // (1, 1, 1) stays 1 only when the products are summed green, blue, red.
    const Case cases[] = {
        {0xFF000000, 0xFF000000}, {0x00000000, 0x00000000}, {0xFFFF0000, 0xFF4C4C4C},
        {0xFF0AC81E, 0xFF7B7B7B}, {0x806496C8, 0x808C8C8C}, {0xFFFFFFFF, 0xFFFFFFFF},
        {0xFF010101, 0xFF010101},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GreyPixel(c.in), c.out) << std::hex << c.in;
    }
}

// The button a front end makes: repaints counted, the user's click and the
// drawing of its look.
class CTestIconButton : public CIconButtonState {
public:
    CTestIconButton() { ResetColors(false); }
    using CIconButtonState::Click;
    using CIconButtonState::ClickResult;
    using CIconButtonState::EndHover;
    using CIconButtonState::SetCheckBoxMode;
    using CIconButtonState::StartHover;
    DrawList Draw(unsigned state) const {
        IconButtonLook look = Look();
        look.item = {0, 0, 40, 20};
        look.clientWidth = 40;
        look.state = state;
        return DrawIcon(look);
    }
    int repaints = 0;

protected:
    void Repaint() override { ++repaints; }
    CSystemColors CurrentSystemColors() const override { return kColors; }
};

TEST(IconButtonState, CheckBoxModeTogglesOnClickAndDrawsCheckedAsPressed) {
    CTestIconButton button;
    button.SetFlatLook(false, false);
    button.SetChecked(1, true);
    EXPECT_EQ(button.IsChecked(), 0) << "not in check-box mode";
    EXPECT_EQ(button.repaints, 0);
    EXPECT_EQ(button.Click(), CTestIconButton::ClickResult::kNothing);
    EXPECT_EQ(button.IsChecked(), 0);

    button.SetCheckBoxMode(true);
    button.SetLinkAddress("https://example.invalid/");
    const DrawList unchecked = button.Draw(0);
    EXPECT_EQ(button.Click(), CTestIconButton::ClickResult::kToggled) << "the link waits";
    EXPECT_EQ(button.IsChecked(), 1);
    EXPECT_EQ(button.repaints, 1);
    EXPECT_EQ(button.Draw(0), button.Draw(kStateSelected));
    EXPECT_NE(button.Draw(0), unchecked);
    button.Click();
    EXPECT_EQ(button.IsChecked(), 0);
    button.SetChecked(5, false);
    EXPECT_EQ(button.IsChecked(), 1);
}

// Each change of look repaints exactly when asked, or when the hover changes;
// the setters answer 0, as the control's messages do.
TEST(IconButtonState, EveryChangeOfLookRepaintsOnceWhenItShould) {
    CTestIconButton button;
    button.SetCheckBoxMode(true);
    const struct {
        const char* what;
        std::function<int()> change;
        int repaints;
    } kRows[] = {
        {"flat, asked", [&] { return button.SetFlatLook(true, true); }, 1},
        {"flat, quietly", [&] { return button.SetFlatLook(true, false); }, 0},
        {"checked, asked", [&] { return button.SetChecked(1, true); }, 1},
        {"checked, quietly", [&] { return button.SetChecked(0, false); }, 0},
        {"colours, asked", [&] { return button.ResetColors(true); }, 1},
        {"colours, quietly", [&] { return button.ResetColors(false); }, 0},
        {"link", [&] { return button.SetLinkAddress("https://example.invalid/"); }, 0},
        {"hover starts", [&] { return button.StartHover() ? 0 : -1; }, 1},
        {"hover again", [&] { return button.StartHover() ? -1 : 0; }, 0},
        {"hover ends", [&] { return button.EndHover() ? 0 : -1; }, 1},
        {"hover ends again", [&] { return button.EndHover() ? -1 : 0; }, 0},
    };
    for (const auto& row : kRows) {
        const int before = button.repaints;
        EXPECT_EQ(row.change(), 0) << row.what;
        EXPECT_EQ(button.repaints - before, row.repaints) << row.what;
    }
    button.SetFlatLook(false, false);
    EXPECT_FALSE(button.StartHover()) << "only a flat button lights up";
    EXPECT_FALSE(button.Hover());
}

TEST(IconButtonState, LinkAddressIsCutToItsFieldAndOpenedOnClick) {
    CTestIconButton button;
    const std::string longAddress(300, 'a');
    button.SetLinkAddress(longAddress.c_str());
    EXPECT_EQ(std::string(button.LinkAddress()).size(), CIconButtonState::kLinkAddressSize - 1);
    EXPECT_EQ(button.Click(), CTestIconButton::ClickResult::kOpenLink);
    button.SetLinkAddress(nullptr);
    EXPECT_STREQ(button.LinkAddress(), "");
    EXPECT_EQ(button.Click(), CTestIconButton::ClickResult::kNothing);
}

// ---- the owner-drawn menu ----

TEST(OwnerDrawMenuDrawing, MeasuresSeparatorsAndItems) {
    struct Case {
        MenuLook look;
        unsigned flags;
        int menuBar;
        Size size;
    };
    const MenuLook standard;
    const MenuLook xp{.versionCode = 7};
    // "&Open\tCtrl+O" is 12 characters, 72 pixels.
    const Case cases[] = {
        {standard, kMenuSeparator, 20, {0, 10}},
        {standard, kMenuSeparator, 10, {0, 9}},  // (15 + 4) / 2
        {xp, kMenuSeparator, 10, {0, 11}},       // (15 + 7) / 2
        {standard, 0, 20, {72 + 2 * 16 + 1, 20}},
        {standard, 0, 10, {72 + 2 * 16 + 1, 19}},
        {xp, 0, 10, {72 + 16 + 7 + 8, 22}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MeasureMenuItem(kMetrics, c.look, {"&Open\tCtrl+O", c.flags, false}, c.menuBar),
                  c.size)
            << "version " << c.look.versionCode << " flags " << c.flags << " bar " << c.menuBar;
    }
}

TEST(OwnerDrawMenuDrawing, VersionCodes) {
    struct Case {
        bool nt;
        int major;
        int minor;
        int code;
    };
    const Case cases[] = {
        {false, 3, 10, 0}, {false, 4, 0, 2}, {false, 4, 10, 3}, {false, 4, 90, 4}, {true, 4, 0, 5},
        {true, 5, 0, 6},   {true, 5, 1, 7},  {true, 5, 2, 1},   {true, 10, 0, 1},  {true, 3, 51, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WindowsVersionCode(c.nt, c.major, c.minor), c.code)
            << c.nt << " " << c.major << "." << c.minor;
    }
}

TEST(OwnerDrawMenuDrawing, XpRoutineOnlyOnThemedXpWithoutPalette) {
    struct Case {
        int versionCode;
        const char* theme;
        bool paletteDisplay;
        bool xp;
    };
    const Case cases[] = {
        {7, "C:\\WINDOWS\\Resources\\Themes\\Luna.theme", false, true},
        {7, "C:\\WINDOWS\\Resources\\Themes\\WINDOWS CLASSIC.THEME", false, false},
        {7, "", false, true},
        {7, "C:\\WINDOWS\\Resources\\Themes\\Luna.theme", true, false},
        {6, "", false, false},
        {1, "", false, false},
    };
    for (const Case& c : cases) {
        const MenuLook look{.versionCode = c.versionCode,
                            .classicTheme = IsClassicThemeFile(c.theme)};
        EXPECT_EQ(UsesXpRoutine(look, c.paletteDisplay), c.xp)
            << c.versionCode << " '" << c.theme << "' palette " << c.paletteDisplay;
    }
}

TEST(OwnerDrawMenuDrawing, SelectedStandardItemLeavesTheIconColumnOfCheckedItems) {
    struct Case {
        unsigned state;
        int highlightLeft;  // -1: no highlight
    };
    const Case cases[] = {
        {kStateSelected, 0},
        {kStateSelected | kStateChecked, 16 + 5},
        {0, -1},
    };
    for (const Case& c : cases) {
        DrawList list;
        DrawMenuItem(list, kColors, MenuLook{}, false, {0, 0, 120, 20}, {"Item", 0, false},
                     c.state);
        int left = -1;
        for (const FillRectOp& fill : OpsOf<FillRectOp>(list)) {
            if (fill.colour == kColors[SysColor::kHighlight]) {
                left = fill.rect.left;
            }
        }
        EXPECT_EQ(left, c.highlightLeft) << "state " << c.state;
    }
}

// Each kind of item in both drawing routines, as the operations it draws on a
// 120 x 20 row: separators, a check mark without an image, an image checked
// with and without the frames of its generation, greyed text embossed or
// highlighted, a shortcut after a tab.
TEST(OwnerDrawMenuDrawing, EachKindOfItemDrawsItsParts) {
    const Rect row{0, 0, 120, 20};
    const Colour menu = kColors[SysColor::kMenu];
    const Colour face = kColors[SysColor::kBtnFace];
    const Colour shadow = kColors[SysColor::kBtnShadow];
    const Colour light = kColors[SysColor::kBtnHighlight];
    const Colour ink = kColors[SysColor::kMenuText];
    const Colour highlight = kColors[SysColor::kHighlight];
    const auto text = [](const std::string& words, Rect box, Colour colour,
                         unsigned align = kTextLeft) {
        return TextOp{words,       box, Font::kMenu, colour, kTextVCenter | kTextSingleLine | align,
                      std::nullopt};
    };
    const MenuLook standard;
    const MenuLook framed{.versionCode = 2};
    const MenuLook xp{.versionCode = 7};
    const MenuLook xpPlainDisabled{.versionCode = 7, .highlightDisabled = false};
    // Standard: the icon cell at (2, 2), 16 x 15; the text from 25, a pixel
    // taller than the row. XP: a column of 16 + 7, the cell centred in it,
    // the text from 31.
    const Rect cell{2, 2, 18, 17};
    const Rect textBox{25, 0, 120, 21};
    const Rect xpText{31, 0, 120, 20};
    const struct {
        const char* what;
        MenuLook look;
        MenuItem item;
        unsigned state;
        DrawList ops;
    } kRows[] = {
        {"separator",
         standard,
         {"", kMenuSeparator, false},
         0,
         {FillRectOp{row, menu}, FillRectOp{{0, 9, 120, 10}, shadow},
          FillRectOp{{0, 10, 120, 11}, light}}},
        {"checked",
         standard,
         {"Item", 0, false},
         kStateChecked,
         {FillRectOp{row, menu}, PolylineOp{{{6, 9}, {8, 12}, {13, 6}}, {2, ink}},
          text("Item", textBox, ink)}},
        {"greyed",
         standard,
         {"Item", 0, false},
         kStateGrayed,
         {FillRectOp{row, menu}, text("Item", textBox.Offset(1, 1), light),
          text("Item", textBox, kColors[SysColor::kGrayText])}},
        {"greyed, selected",
         standard,
         {"Item", 0, false},
         kStateGrayed | kStateSelected,
         {FillRectOp{row, menu}, FillRectOp{row, highlight}, text("Item", textBox, menu)}},
        {"shortcut",
         standard,
         {"Open\tCtrl+O", 0, false},
         0,
         {FillRectOp{row, menu}, text("Open", textBox, ink),
          text("Ctrl+O", {25, 0, 104, 21}, ink, kTextRight)}},
        {"image checked, no frames",
         standard,
         {"Item", 0, true},
         kStateChecked,
         {FillRectOp{row, menu}, IconOp{0, cell, false}, text("Item", textBox, ink)}},
        {"image checked, framed",
         framed,
         {"Item", 0, true},
         kStateChecked,
         {FillRectOp{row, menu}, FillRectOp{{1, 1, 19, 18}, LightenColor(menu, 0.6)},
          Rect3dOp{{1, 1, 19, 18}, shadow, light}, IconOp{0, cell, false},
          text("Item", textBox, ink)}},
        {"image greyed, selected, framed",
         framed,
         {"Item", 0, true},
         kStateGrayed | kStateSelected,
         {FillRectOp{row, menu}, FillRectOp{{21, 0, 120, 20}, highlight}, IconOp{0, cell, true},
          Rect3dOp{{1, 1, 19, 18}, light, shadow}, text("Item", textBox, menu)}},
        {"XP separator",
         xp,
         {"", kMenuSeparator, false},
         0,
         {FillRectOp{row, kColors[SysColor::kWindow]},
          FillRectOp{{0, 0, 23, 20}, LightenColor(face, 0.25)},
          FillRectOp{{31, 10, 120, 11}, face}}},
        {"XP checked",
         xp,
         {"Item", 0, false},
         kStateChecked,
         {FillRectOp{row, kColors[SysColor::kWindow]},
          FillRectOp{{0, 0, 23, 20}, LightenColor(face, 0.25)},
          FillRectOp{{1, 0, 21, 19}, LightenColor(highlight, 0.85)},
          Rect3dOp{{1, 0, 21, 19}, highlight, highlight},
          PolylineOp{{{7, 9}, {9, 12}, {14, 6}}, {2, ink}}, text("Item", xpText, ink)}},
        {"XP greyed, selected",
         xp,
         {"Item", 0, false},
         kStateGrayed | kStateSelected,
         {FillRectOp{row, kColors[SysColor::kWindow]},
          FillRectOp{{0, 0, 23, 20}, LightenColor(face, 0.25)},
          FillRectOp{{1, 0, 119, 20}, LightenColor(face, 0.85)},
          Rect3dOp{{1, 0, 119, 20}, highlight, highlight},
          text("Item", xpText, LightenColor(kColors[SysColor::kGrayText], 0.4))}},
        {"XP greyed, selected, not highlighted",
         xpPlainDisabled,
         {"Item", 0, false},
         kStateGrayed | kStateSelected,
         {FillRectOp{row, kColors[SysColor::kWindow]},
          FillRectOp{{0, 0, 23, 20}, LightenColor(face, 0.25)},
          text("Item", xpText, LightenColor(kColors[SysColor::kGrayText], 0.4))}},
    };
    for (const auto& c : kRows) {
        DrawList list;
        DrawMenuItem(list, kColors, c.look, false, row, c.item, c.state);
        EXPECT_EQ(list, c.ops) << c.what;
    }
}

TEST(OwnerDrawMenuDrawing, LightenColor) {
    struct Case {
        Rgb in;
        double factor;
        Rgb out;
    };
    const Case cases[] = {
        {{0, 100, 255}, 0.5, {127, 177, 255}},
        {{10, 20, 30}, 1.0, {255, 255, 255}},
        {{10, 20, 30}, 0.0, {10, 20, 30}},
        {{10, 20, 30}, 1.5, {10, 20, 30}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LightenColor(Colour{c.in}, c.factor).rgb, c.out) << c.factor;
    }
}

// ---- the night look ----

std::vector<Colour> ColoursOf(const DrawList& list) {
    std::vector<Colour> colours;
    for (const DrawOp& op : list) {
        std::visit(
            [&colours](const auto& o) {
                using T = std::decay_t<decltype(o)>;
                if constexpr (std::is_same_v<T, FillRectOp> || std::is_same_v<T, TextOp> ||
                              std::is_same_v<T, StateTextOp>) {
                    colours.push_back(o.colour);
                } else if constexpr (std::is_same_v<T, Rect3dOp>) {
                    colours.push_back(o.topLeft);
                    colours.push_back(o.bottomRight);
                } else if constexpr (std::is_same_v<T, PolylineOp> ||
                                     std::is_same_v<T, RoundRectOp>) {
                    colours.push_back(o.pen.colour);
                }
            },
            op);
    }
    return colours;
}

// Every control in every state it can be drawn in, with the night table:
// no colour any rule draws may pass the night limit, its own colours
// (gradients, frame pens, lightened menu cells) included.
TEST(NightLook, EveryControlInEveryStateStaysWithinTheNightLimit) {
    const CSystemColors night = NightColors();
    std::vector<std::pair<std::string, DrawList>> drawn;
    for (const int pos : {0, 42, 100}) {
        CPercentProgress bar(night);
        bar.SetPos(pos, 300);
        DrawList list;
        bar.Draw(list, {0, 0, 300, 20});
        drawn.emplace_back("bar " + std::to_string(pos), list);
    }
    for (unsigned state = 0; state <= 0x3F; ++state) {
        for (const bool hover : {false, true}) {
            DrawList hoverList;
            DrawHoverButton(hoverList, kMetrics, night, HoverLook(state, hover));
            drawn.emplace_back("hover " + std::to_string(state) + (hover ? " hovered" : ""),
                               hoverList);
            for (const bool flat : {false, true}) {
                IconButtonLook look = IconLook(state);
                look.hover = hover;
                look.flat = flat;
                look.isDefault = (state & kStateDefault) != 0;
                look.colours = DefaultIconButtonColors(night);
                DrawList iconList;
                DrawIconButton(iconList, kMetrics, night, look);
                drawn.emplace_back("icon " + std::to_string(state) + (flat ? " flat" : ""),
                                   iconList);
            }
        }
        for (const MenuLook& look : {MenuLook{}, MenuLook{.versionCode = 7}}) {
            for (const unsigned flags : {0U, kMenuSeparator}) {
                DrawList menuList;
                DrawMenuItem(menuList, night, look, false, {0, 0, 120, 20}, {"&Item", flags, false},
                             state);
                drawn.emplace_back("menu " + std::to_string(state), menuList);
            }
        }
    }
    for (const auto& [name, list] : drawn) {
        for (const Colour& colour : ColoursOf(list)) {
            EXPECT_TRUE(IsNightSafe(colour.rgb)) << name << ": " << colour;
        }
    }
    // Pictures and any own colour, from black to white.
    for (int level = 0; level <= 255; level += 5) {
        const auto v = static_cast<std::uint8_t>(level);
        const std::uint32_t grey = 0xFF000000U | (std::uint32_t{v} * 0x010101U);
        const std::uint32_t pixel = NightPicturePixel(grey);
        EXPECT_TRUE(
            IsNightSafe({static_cast<std::uint8_t>(pixel >> 16),
                         static_cast<std::uint8_t>(pixel >> 8), static_cast<std::uint8_t>(pixel)}))
            << level;
        EXPECT_TRUE(IsNightSafe(NightOwn({v, v, v}))) << level;
    }
}

// A night look still shows what the day look shows: a hovered button's face
// differs from its frame and its caption, and the day look is untouched.
TEST(NightLook, DayTableDrawsAsBeforeAndNightKeepsContrast) {
    const CSystemColors day = kColors;
    EXPECT_EQ(day.Own({250, 196, 88}), Fixed(250, 196, 88));
    const CSystemColors night = NightColors();
    EXPECT_TRUE(night.Night());
    EXPECT_FALSE(day.Night());
    const Colour outline = night.Own({0, 0, 0});
    const Colour face = night.Own({255, 255, 255});
    EXPECT_GT(outline.rgb.red, face.rgb.red + 100);
    EXPECT_GT(night[SysColor::kBtnText].rgb.red, night[SysColor::kBtnFace].rgb.red + 100);
    Look look = Look::kDay;
    EXPECT_TRUE(LookFromArgument("--night", look));
    EXPECT_EQ(look, Look::kNight);
    EXPECT_TRUE(LookFromArgument("--day", look));
    EXPECT_EQ(look, Look::kDay);
    EXPECT_FALSE(LookFromArgument("--nightly", look));
    EXPECT_FALSE(LookFromArgument("-night", look));
    EXPECT_EQ(look, Look::kDay);
}

// A picture's pixel turns into its luma (BT.601 weights, rounded down) scaled
// into the night's reds (rounded down), its alpha kept; an own colour into the
// inverse. The rows sit where a weight or a scale one off shows.
TEST(NightLook, PicturesTakeTheirLumaScaledIntoTheNightsReds) {
    const struct {
        std::uint32_t argb;
        std::uint8_t red;
    } kRows[] = {
        {0xFFFFFFFFU, 200}, {0x80000000U, 0}, {0xFFFF0000U, 59}, {0xFF6B0000U, 24},
        {0x40001D00U, 13},  {0xFF000035U, 4}, {0xFF2F0000U, 10}, {0x00FFFFFFU, 200},
    };
    for (const auto& row : kRows) {
        EXPECT_EQ(NightPicturePixel(row.argb),
                  (row.argb & 0xFF000000U) | (std::uint32_t{row.red} << 16))
            << std::hex << row.argb;
    }
    EXPECT_EQ(NightOwn({255, 255, 255}), (Rgb{0, 0, 0}));
    EXPECT_EQ(NightOwn({0, 0, 0}), (Rgb{200, 0, 0}));
    // The limit itself is safe; one step past it on any channel is not.
    EXPECT_TRUE(IsNightSafe(kNightBrightest));
    EXPECT_FALSE(IsNightSafe({201, 40, 40}));
    EXPECT_FALSE(IsNightSafe({200, 41, 40}));
    EXPECT_FALSE(IsNightSafe({200, 40, 41}));
}

}  // namespace
}  // namespace velmoro::drawing
