#include "draw_list_player.h"

#include <emscripten.h>

#include <type_traits>
#include <variant>

namespace velmoro::web {

using namespace drawing;

namespace {

// The canvas side. Module.velmoroCanvas is the 2-D context of the control
// being painted, Module.velmoroFont(font) the CSS font of a drawing font,
// Module.velmoroIcons the images by number.

// clang-format off
EM_JS(void, JsFillRect, (int left, int top, int right, int bottom, int rgb), {
    const g = Module.velmoroCanvas;
    g.fillStyle = "#" + rgb.toString(16).padStart(6, "0");
    g.fillRect(left, top, right - left, bottom - top);
});

// One-pixel segments leave out their end points, as the platform's lines
// do; wider ones are stroked round, centred on the path.
EM_JS(void, JsPolyline, (const int* points, int count, int width, int rgb), {
    const g = Module.velmoroCanvas;
    const p = HEAP32.subarray(points >> 2, (points >> 2) + 2 * count);
    const colour = "#" + rgb.toString(16).padStart(6, "0");
    if (width <= 1) {
        g.fillStyle = colour;
        for (let i = 1; i < count; ++i) {
            const x0 = p[2 * i - 2], y0 = p[2 * i - 1], x1 = p[2 * i], y1 = p[2 * i + 1];
            if (y0 === y1 && x0 !== x1) {
                g.fillRect(Math.min(x0, x1 + 1), y0, Math.abs(x1 - x0), 1);
            } else if (x0 === x1 && y0 !== y1) {
                g.fillRect(x0, Math.min(y0, y1 + 1), 1, Math.abs(y1 - y0));
            } else if (x0 !== x1) {
                g.strokeStyle = colour;
                g.lineWidth = 1;
                g.beginPath();
                g.moveTo(x0 + 0.5, y0 + 0.5);
                g.lineTo(x1 + 0.5, y1 + 0.5);
                g.stroke();
            }
        }
        return;
    }
    g.strokeStyle = colour;
    g.lineWidth = width;
    g.lineCap = "round";
    g.lineJoin = "round";
    g.beginPath();
    for (let i = 0; i < count; ++i) {
        if (i === 0) g.moveTo(p[0], p[1]); else g.lineTo(p[2 * i], p[2 * i + 1]);
    }
    g.stroke();
});

// Text laid out in its box by the flags, with mnemonic processing: a single
// '&' underlines the next character, "&&" draws one '&'.
EM_JS(void, JsText, (const char* text, int left, int top, int right, int bottom, int font,
                     int rgb, int format, int clipped, int clipLeft, int clipTop, int clipRight,
                     int clipBottom), {
    const g = Module.velmoroCanvas;
    const raw = UTF8ToString(text);
    g.save();
    if (clipped) {
        g.beginPath();
        g.rect(clipLeft, clipTop, clipRight - clipLeft, clipBottom - clipTop);
        g.clip();
    }
    g.font = Module.velmoroFont(font);
    g.fillStyle = "#" + rgb.toString(16).padStart(6, "0");
    g.textBaseline = "top";
    const lines = Module.velmoroLayOut(g, raw, right - left, (format & 0x10) !== 0);
    const height = Module.velmoroLineHeight(g);
    let y = top;
    if ((format & 0x04) !== 0 && (format & 0x20) !== 0) {
        y = top + Math.floor((bottom - top - height) / 2);
    }
    for (const line of lines) {
        const width = g.measureText(line.text).width;
        let x = left;
        if ((format & 0x01) !== 0) x = left + Math.floor((right - left - width) / 2);
        else if ((format & 0x02) !== 0) x = right - Math.ceil(width);
        Module.velmoroDrawLine(g, line, x, y, height);
        y += height;
    }
    g.restore();
});

// The platform's state drawing: one line from the top-left of the box;
// embossed draws the highlight colour one pixel right and down and the
// shadow colour in place.
EM_JS(void, JsStateText, (const char* text, int left, int top, int font, int rgb, int embossed,
                          int highlight, int shadow), {
    const g = Module.velmoroCanvas;
    g.save();
    g.font = Module.velmoroFont(font);
    const line = Module.velmoroLayOut(g, UTF8ToString(text), 1e9, false)[0];
    const height = Module.velmoroLineHeight(g);
    const draw = (x, y, colour) => {
        g.fillStyle = "#" + colour.toString(16).padStart(6, "0");
        Module.velmoroDrawLine(g, line, x, y, height);
    };
    if (embossed) {
        draw(left + 1, top + 1, highlight);
        draw(left, top, shadow);
    } else {
        draw(left, top, rgb);
    }
    g.restore();
});

EM_JS(void, JsIcon, (int image, int left, int top, int embossed), {
    const g = Module.velmoroCanvas;
    const icon = Module.velmoroIcons[image];
    if (!icon || !icon.complete || icon.naturalWidth === 0) return;
    g.save();
    if (embossed) g.filter = "grayscale(1) opacity(0.5)";
    g.drawImage(icon, left, top, icon.naturalWidth, icon.naturalHeight);
    g.restore();
});

// Every other pixel of the rectangle's edge inverted against rgb: white by
// day; at night a red that no difference can take past the night's
// brightest.
EM_JS(void, JsFocusRect, (int left, int top, int right, int bottom, int rgb), {
    const g = Module.velmoroCanvas;
    g.save();
    g.globalCompositeOperation = "difference";
    g.fillStyle = "#" + rgb.toString(16).padStart(6, "0");
    let index = 0;
    const dot = (x, y) => { if (index++ % 2 === 0) g.fillRect(x, y, 1, 1); };
    const r = right - 1, b = bottom - 1;
    for (let x = left; x <= r; ++x) dot(x, top);
    for (let y = top + 1; y <= b; ++y) dot(r, y);
    for (let x = r - 1; x >= left && b > top; --x) dot(x, b);
    for (let y = b - 1; y > top && r > left; --y) dot(left, y);
    g.restore();
});

EM_JS(int, JsMeasure, (int font, const char* text, int width, int wrapped, int wantHeight), {
    const g = Module.velmoroMeasureContext();
    g.font = Module.velmoroFont(font);
    const lines = Module.velmoroLayOut(g, UTF8ToString(text), width, wrapped !== 0);
    if (wantHeight) return lines.length * Module.velmoroLineHeight(g);
    let widest = 0;
    for (const line of lines) widest = Math.max(widest, Math.ceil(g.measureText(line.text).width));
    return wrapped ? Math.max(width, widest) : widest;
});
// clang-format on

int Packed(const Colour& colour) {
    return (colour.rgb.red << 16) | (colour.rgb.green << 8) | colour.rgb.blue;
}

void PlayOne(const FillRectOp& op) {
    JsFillRect(op.rect.left, op.rect.top, op.rect.right, op.rect.bottom, Packed(op.colour));
}

void PlayOne(const Rect3dOp& op) {
    const Rect& r = op.rect;
    if (r.IsEmpty()) {
        return;
    }
    JsFillRect(r.left, r.top, r.right - 1, r.top + 1, Packed(op.topLeft));
    JsFillRect(r.left, r.top, r.left + 1, r.bottom - 1, Packed(op.topLeft));
    JsFillRect(r.right - 1, r.top, r.right, r.bottom, Packed(op.bottomRight));
    JsFillRect(r.left, r.bottom - 1, r.right, r.bottom, Packed(op.bottomRight));
}

void PlayOne(const PolylineOp& op) {
    std::vector<int> points;
    points.reserve(op.points.size() * 2);
    for (const Point& point : op.points) {
        points.push_back(point.x);
        points.push_back(point.y);
    }
    JsPolyline(points.data(), static_cast<int>(op.points.size()), op.pen.width,
               Packed(op.pen.colour));
}

// The outline as the Qt player draws it.
void PlayOne(const RoundRectOp& op) {
    if (op.rect.IsEmpty()) {
        return;
    }
    // Closed by its first point again.
    std::vector<int> points;
    const std::array<Point, 8> outline = RoundRectOutline(op);
    for (std::size_t i = 0; i <= outline.size(); ++i) {
        const Point& point = outline[i % outline.size()];
        points.push_back(point.x);
        points.push_back(point.y);
    }
    if (op.pen.width <= 1) {
        // The one-pixel path leaves out end points, so each corner is its
        // own point.
        for (std::size_t i = 0; i + 2 < points.size(); i += 2) {
            const int segment[4] = {points[i], points[i + 1], points[i + 2], points[i + 3]};
            JsPolyline(segment, 2, 1, Packed(op.pen.colour));
            JsFillRect(points[i], points[i + 1], points[i] + 1, points[i + 1] + 1,
                       Packed(op.pen.colour));
        }
        return;
    }
    JsPolyline(points.data(), static_cast<int>(points.size() / 2), op.pen.width,
               Packed(op.pen.colour));
}

void PlayOne(const TextOp& op) {
    const Rect clip = op.clip.value_or(Rect{});
    JsText(op.text.c_str(), op.box.left, op.box.top, op.box.right, op.box.bottom,
           static_cast<int>(op.font), Packed(op.colour), static_cast<int>(op.format),
           op.clip.has_value() ? 1 : 0, clip.left, clip.top, clip.right, clip.bottom);
}

void PlayOne(const StateTextOp& op) {
    const CSystemColors colors = SystemColors();
    JsStateText(op.text.c_str(), op.box.left, op.box.top, static_cast<int>(op.font),
                Packed(op.colour), op.embossed ? 1 : 0, Packed(colors[SysColor::kBtnHighlight]),
                Packed(colors[SysColor::kBtnShadow]));
}

void PlayOne(const IconOp& op) {
    JsIcon(op.image, op.rect.left, op.rect.top, op.embossed ? 1 : 0);
}

void PlayOne(const FocusRectOp& op) {
    if (!op.rect.IsEmpty()) {
        const CSystemColors colors = SystemColors();
        JsFocusRect(op.rect.left, op.rect.top, op.rect.right, op.rect.bottom,
                    colors.Night() ? Packed(colors[SysColor::kBtnText]) : 0xFFFFFF);
    }
}

}  // namespace

Size CCanvasTextMetrics::Measure(Font font, std::string_view text) const {
    const std::string copy(text);
    return Size{JsMeasure(static_cast<int>(font), copy.c_str(), 0, 0, 0),
                JsMeasure(static_cast<int>(font), copy.c_str(), 0, 0, 1)};
}

Size CCanvasTextMetrics::MeasureWrapped(Font font, std::string_view text, int width) const {
    const std::string copy(text);
    return Size{JsMeasure(static_cast<int>(font), copy.c_str(), width, 1, 0),
                JsMeasure(static_cast<int>(font), copy.c_str(), width, 1, 1)};
}

void Play(const DrawList& list) {
    for (const DrawOp& op : list) {
        std::visit([](const auto& one) { PlayOne(one); }, op);
    }
}

namespace {
Look pageLook = Look::kDay;
}  // namespace

void SetLook(Look look) {
    pageLook = look;
}

CSystemColors SystemColors() {
    if (pageLook == Look::kNight) {
        return NightColors();
    }
    CSystemColors colors;
    const struct {
        SysColor role;
        Rgb rgb;
    } table[] = {
        {SysColor::kMenu, {240, 240, 240}},         {SysColor::kWindow, {255, 255, 255}},
        {SysColor::kMenuText, {0, 0, 0}},           {SysColor::kWindowText, {0, 0, 0}},
        {SysColor::kHighlight, {0, 120, 215}},      {SysColor::kHighlightText, {255, 255, 255}},
        {SysColor::kBtnFace, {240, 240, 240}},      {SysColor::kBtnShadow, {160, 160, 160}},
        {SysColor::kGrayText, {109, 109, 109}},     {SysColor::kBtnText, {0, 0, 0}},
        {SysColor::kBtnHighlight, {255, 255, 255}}, {SysColor::k3dDkShadow, {105, 105, 105}},
        {SysColor::k3dLight, {227, 227, 227}},
    };
    for (const auto& entry : table) {
        colors.Set(entry.role, entry.rgb);
    }
    return colors;
}

}  // namespace velmoro::web
