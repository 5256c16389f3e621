#!/usr/bin/python3
"""Draws the window's icons into resources/icons/.

    icon128-<size>.png   the program's icon (16, 32, 48, 64; 192 for the browser
                         page's manifest, which an installed page needs)
    icon130-<size>.png   the Help button's icon (16, 24, 32, 48, 64, 72, 96, 128)
    icon131-<size>.png   the Home button's icon (same sizes)
    mark-stop-<size>.png the browser page's message box mark of a failure (32),
                         where the desktop programs show the system's; its
                         question mark is the Help button's icon

Each image is drawn on a canvas many times larger than the result and then
reduced with an area-averaging filter, which gives clean anti-aliased edges.
Stroke widths are chosen per size in whole pixels so that straight parts
land on pixel boundaries and stay sharp at 16 px.

Needs Pillow (Debian: apt-get install python3-pil). The build does not run
this script; run it by hand after changing a drawing, then check the PNGs in:

    /usr/bin/python3 tools/make_icons.py [--preview /tmp/icons-preview.png]
"""

import argparse
import math
import os
import sys

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
OUT_DIR = os.path.join(HERE, os.pardir, "resources", "icons")

PROGRAM_SIZES = (16, 32, 48, 64, 192)
BUTTON_SIZES = (16, 24, 32, 48, 64, 72, 96, 128)
MARK_SIZES = (32,)


# ---------------------------------------------------------------------------
# Drawing helpers. All coordinates are in pixels of the final image (floats);
# the canvas scales them by its supersampling factor.


def hex_rgba(text, alpha=255):
    text = text.lstrip("#")
    return (int(text[0:2], 16), int(text[2:4], 16), int(text[4:6], 16), alpha)


class Canvas:
    def __init__(self, size):
        self.size = size
        # At least 1024 supersampled pixels across, and a whole factor.
        self.ss = max(8, -(-1024 // size))
        self.full = size * self.ss
        self.image = Image.new("RGBA", (self.full, self.full), (0, 0, 0, 0))

    # -- coordinates
    def p(self, x, y):
        return (x * self.ss, y * self.ss)

    def pts(self, points):
        return [self.p(x, y) for x, y in points]

    # -- masks
    def new_mask(self):
        return Image.new("L", (self.full, self.full), 0)

    def mask_polygon(self, points, mask=None):
        mask = mask or self.new_mask()
        ImageDraw.Draw(mask).polygon(self.pts(points), fill=255)
        return mask

    def mask_ellipse(self, cx, cy, rx, ry=None, mask=None):
        ry = rx if ry is None else ry
        mask = mask or self.new_mask()
        box = [self.p(cx - rx, cy - ry), self.p(cx + rx, cy + ry)]
        ImageDraw.Draw(mask).ellipse(box, fill=255)
        return mask

    def mask_rect(self, x0, y0, x1, y1, radius=0.0, mask=None):
        mask = mask or self.new_mask()
        box = [self.p(x0, y0), self.p(x1, y1)]
        draw = ImageDraw.Draw(mask)
        if radius > 0:
            draw.rounded_rectangle(box, radius=radius * self.ss, fill=255)
        else:
            draw.rectangle(box, fill=255)
        return mask

    def mask_stroke(self, points, width, closed=False, mask=None):
        """A polyline of the given width with round joins and round caps."""
        mask = mask or self.new_mask()
        draw = ImageDraw.Draw(mask)
        pts = self.pts(points)
        if closed:
            pts = pts + [pts[0]]
        w = width * self.ss
        r = w / 2.0
        for a, b in zip(pts, pts[1:]):
            draw.line([a, b], fill=255, width=max(1, int(round(w))))
        for x, y in pts:
            draw.ellipse([x - r, y - r, x + r, y + r], fill=255)
        return mask

    # -- painting
    def fill(self, mask, colour):
        layer = Image.new("RGBA", (self.full, self.full), colour)
        self._paint(layer, mask)

    def fill_vertical_gradient(self, mask, top_colour, bottom_colour, y0, y1):
        """Linear gradient between y0 and y1 (final pixels), clamped outside."""
        strip = Image.new("RGBA", (1, self.full))
        a0, a1 = y0 * self.ss, y1 * self.ss
        for y in range(self.full):
            t = 0.0 if a1 == a0 else min(1.0, max(0.0, (y + 0.5 - a0) / (a1 - a0)))
            strip.putpixel(
                (0, y), tuple(int(round(c0 + (c1 - c0) * t)) for c0, c1 in zip(top_colour, bottom_colour))
            )
        layer = strip.resize((self.full, self.full), Image.NEAREST)
        self._paint(layer, mask)

    def _paint(self, layer, mask):
        alpha = layer.getchannel("A")
        alpha = Image.composite(alpha, Image.new("L", alpha.size, 0), mask)
        layer.putalpha(alpha)
        self.image.alpha_composite(layer)

    def result(self):
        # Pillow reduces RGBA with premultiplied alpha, so transparent pixels
        # do not bleed dark fringes into the edges.
        return self.image.resize((self.size, self.size), Image.BOX)


def whole(size, fraction, minimum=1, even=False):
    """A width in whole pixels: fraction of the icon size, at least minimum."""
    value = size * fraction
    if even:
        value = 2 * round(value / 2)
    else:
        value = round(value)
    return max(minimum, value)


def sample_arc(cx, cy, r, start_deg, end_deg, steps=48):
    """Points on a circle; angles in degrees, 0 = right, increasing clockwise on screen."""
    out = []
    for i in range(steps + 1):
        a = math.radians(start_deg + (end_deg - start_deg) * i / steps)
        out.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return out


def sample_quad(p0, p1, p2, steps=24):
    out = []
    for i in range(steps + 1):
        t = i / steps
        u = 1 - t
        out.append(
            (
                u * u * p0[0] + 2 * u * t * p1[0] + t * t * p2[0],
                u * u * p0[1] + 2 * u * t * p1[1] + t * t * p2[1],
            )
        )
    return out


def star_points(cx, cy, r_outer, r_inner, points=4, rotation_deg=-90):
    out = []
    for i in range(points * 2):
        r = r_outer if i % 2 == 0 else r_inner
        a = math.radians(rotation_deg + i * 180.0 / points)
        out.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return out


# ---------------------------------------------------------------------------
# Icon 130: a white question mark on a round blue badge.


def draw_badge(size, rim_colour, top_colour, bottom_colour):
    """A round badge: a darker rim, then the lighter face inside it (a soft
    top-lit gradient), with a faint gloss over its upper half from 32 px.
    Returns the canvas, its size as a float and the badge's centre."""
    c = Canvas(size)
    s = float(size)
    centre = s / 2.0
    radius = s / 2.0 - (0.25 if size <= 24 else s * 0.02)
    rim = max(1.0, s * 0.045)
    c.fill(c.mask_ellipse(centre, centre, radius), hex_rgba(rim_colour))
    c.fill_vertical_gradient(
        c.mask_ellipse(centre, centre, radius - rim),
        hex_rgba(top_colour),
        hex_rgba(bottom_colour),
        centre - radius,
        centre + radius,
    )
    if size >= 32:
        gloss = c.mask_ellipse(centre, centre - radius * 0.42, radius * 0.72, radius * 0.46)
        c.fill(gloss, (255, 255, 255, 38))
    return c, s, centre


def draw_help(size):
    c, s, centre = draw_badge(size, "1F4E9E", "5FA2F0", "2566C8")

    # The question mark, built from strokes so that no font is needed.
    # Stroke width in whole pixels. An odd width moves the mark half a pixel
    # to the right so that its stem still covers whole pixel columns.
    w = 3 if size == 24 else whole(size, 0.115, minimum=2, even=True)
    mx = centre + (0.5 if w % 2 else 0.0)
    hook_r = s * 0.15
    hook_cx = mx
    hook_cy = s * 0.385
    hook = sample_arc(hook_cx, hook_cy, hook_r, 172, 400)
    end = hook[-1]
    # The stem's round end and the dot keep at least one clear pixel row
    # between them at every size.
    stem_y, stem_end_y, dot_y, dot_r = s * 0.58, s * 0.60, s * 0.77, max(w * 0.6, 1.2)
    if size == 16:
        stem_y, stem_end_y, dot_y, dot_r = 9.0, 9.0, 12.0, 1.05
    stem_top = (mx, stem_y)
    bend = sample_quad(end, (mx, s * 0.525), stem_top)
    stem = [stem_top, (mx, stem_end_y)]
    path = hook + bend[1:] + stem[1:]
    white = hex_rgba("FFFFFF")

    if size >= 32:
        # A soft shadow under the mark gives it depth on the bright face.
        shadow_dy = s * 0.025
        shadow = c.mask_stroke([(x, y + shadow_dy) for x, y in path], w)
        c.mask_ellipse(mx, dot_y + shadow_dy, dot_r, mask=shadow)
        c.fill(shadow, hex_rgba("123A7A", 110))

    mark = c.mask_stroke(path, w)
    c.mask_ellipse(mx, dot_y, dot_r, mask=mark)
    c.fill(mark, white)
    return c.result()


# ---------------------------------------------------------------------------
# The failure mark: a white cross on a round red badge, lit as the Help
# badge is.


def draw_stop(size):
    c, s, centre = draw_badge(size, "8E1414", "F06A5F", "C62323")
    # The cross: two strokes of whole pixels through the centre.
    w = whole(size, 0.115, minimum=2, even=True)
    arm = s * 0.21
    cross = c.mask_stroke([(centre - arm, centre - arm), (centre + arm, centre + arm)], w)
    c.mask_stroke([(centre - arm, centre + arm), (centre + arm, centre - arm)], w, mask=cross)
    if size >= 32:
        dy = s * 0.025
        shadow = c.mask_stroke([(centre - arm, centre - arm + dy), (centre + arm, centre + arm + dy)], w)
        c.mask_stroke([(centre - arm, centre + arm + dy), (centre + arm, centre - arm + dy)], w, mask=shadow)
        c.fill(shadow, hex_rgba("6A0E0E", 110))
    c.fill(cross, hex_rgba("FFFFFF"))
    return c.result()


# ---------------------------------------------------------------------------
# Icon 131: a house with a red roof, a chimney, light walls and a door.


def draw_home(size):
    c = Canvas(size)
    s = float(size)
    ol = max(1.0, round(s * 0.045))  # outline width in whole pixels
    outline = hex_rgba("3B2A22")

    # Geometry, snapped so that the walls and the floor fall on pixel edges.
    left = round(s * 0.19)
    right = size - left
    floor = size - round(s * 0.07)
    eave_y = round(s * 0.50)
    apex = (s / 2.0, s * 0.09)
    overhang = max(1.0, round(s * 0.14))
    eave_l = (left - overhang, eave_y)
    eave_r = (right + overhang, eave_y)
    roof = [eave_l, apex, eave_r]

    # Chimney behind the roof.
    ch_x0 = round(s * 0.66)
    ch_x1 = ch_x0 + max(2, round(s * 0.12))
    ch_top = round(s * 0.14)
    if size >= 24:
        c.fill(c.mask_rect(ch_x0 - ol, ch_top - ol, ch_x1 + ol, eave_y), outline)
        c.fill(c.mask_rect(ch_x0, ch_top, ch_x1, eave_y), hex_rgba("9C5A3C"))

    # Walls.
    wall_top = eave_y - s * 0.10
    c.fill(c.mask_rect(left - ol, wall_top, right + ol, floor + ol), outline)
    c.fill_vertical_gradient(
        c.mask_rect(left, wall_top, right, floor), hex_rgba("FFF8E8"), hex_rgba("EADBB8"), wall_top, floor
    )

    # Roof: the outline is the roof's edge stroked twice as wide, the red
    # face covers its inner half.
    roof_mask = c.mask_polygon(roof)
    c.fill(c.mask_stroke(roof, 2 * ol, closed=True, mask=c.mask_polygon(roof)), outline)
    c.fill_vertical_gradient(roof_mask, hex_rgba("E8553F"), hex_rgba("B8322A"), apex[1], eave_y)

    # Door, on whole pixels, standing on the floor.
    door_w = max(2, round(s * 0.18))
    if (size - door_w) % 2:
        door_w += 1
    door_x0 = (size - door_w) / 2.0
    door_top = round(s * 0.62)
    door = c.mask_rect(door_x0, door_top, door_x0 + door_w, floor, radius=(door_w * 0.25 if size >= 48 else 0))
    c.fill(door, hex_rgba("6B3F22"))
    if size >= 48:
        knob_r = max(0.8, s * 0.018)
        c.fill(c.mask_ellipse(door_x0 + door_w * 0.74, (door_top + floor) / 2.0, knob_r), hex_rgba("F3C24A"))

    # Windows left and right of the door from 32 px on.
    if size >= 32:
        win = max(3, round(s * 0.13))
        gap = max(1, round(s * 0.06))
        wy0 = round(s * 0.60)
        for wx0 in (door_x0 - gap - win, door_x0 + door_w + gap):
            frame = max(1.0, round(s * 0.02))
            c.fill(c.mask_rect(wx0 - frame, wy0 - frame, wx0 + win + frame, wy0 + win + frame), hex_rgba("7A5A40"))
            c.fill_vertical_gradient(
                c.mask_rect(wx0, wy0, wx0 + win, wy0 + win), hex_rgba("CFEAFF"), hex_rgba("7FB7E8"), wy0, wy0 + win
            )
            if size >= 64:
                bar = max(1.0, round(s * 0.012))
                mid_x = wx0 + win / 2.0
                mid_y = wy0 + win / 2.0
                c.fill(c.mask_rect(mid_x - bar / 2, wy0, mid_x + bar / 2, wy0 + win), hex_rgba("7A5A40"))
                c.fill(c.mask_rect(wx0, mid_y - bar / 2, wx0 + win, mid_y + bar / 2), hex_rgba("7A5A40"))
    return c.result()


# ---------------------------------------------------------------------------
# Icon 128: a small telescope on a tripod against a round night sky.


def draw_program(size):
    c = Canvas(size)
    s = float(size)
    small = size < 32  # the 16 px image is laid out on its own pixel grid
    centre = s / 2.0
    radius = s / 2.0 - (0.25 if small else s * 0.015)

    # Night disc: a light rim, then the sky, darkest at the zenith.
    rim = max(1.0, s * 0.035)
    c.fill(c.mask_ellipse(centre, centre, radius), hex_rgba("7FA2E6"))
    c.fill_vertical_gradient(
        c.mask_ellipse(centre, centre, radius - rim),
        hex_rgba("081640"),
        hex_rgba("17357A" if small else "2150A8"),
        centre - radius,
        centre + radius,
    )

    # Stars: one bright star at the upper left, a few small ones from 32 px.
    star_yellow = hex_rgba("FFE58A")
    if small:
        # A crisp plus of five whole pixels.
        star = c.mask_rect(3, 4, 6, 5)
        c.mask_rect(4, 3, 5, 6, mask=star)
        c.fill(star, star_yellow)
    else:
        r_out = s * 0.14
        c.fill(c.mask_polygon(star_points(s * 0.285, s * 0.29, r_out, r_out * 0.30)), star_yellow)
        for fx, fy, fr in ((0.58, 0.14, 0.022), (0.86, 0.44, 0.020), (0.15, 0.72, 0.018), (0.46, 0.36, 0.015)):
            c.fill(c.mask_ellipse(s * fx, s * fy, max(0.75, s * fr)), hex_rgba("FFFFFF", 235))

    # Tripod: legs from the mount head down to the horizon, in brass.
    head = (s * 0.50, s * (0.625 if small else 0.57))
    if small:
        feet, leg_w = [(4.5, 14.0), (11.5, 14.0)], 1.1
    else:
        feet, leg_w = [(s * 0.28, s * 0.90), (s * 0.52, s * 0.93), (s * 0.72, s * 0.90)], s * 0.05
    legs = c.new_mask()
    for foot in feet:
        c.mask_stroke([head, foot], leg_w, mask=legs)
    c.fill(legs, hex_rgba("E8A93C"))
    if not small:
        c.fill(c.mask_ellipse(head[0], head[1], s * 0.06), hex_rgba("C98A22"))

    # Telescope tube, pointing up to the right, front end a little wider.
    angle = math.radians(-40 if small else -32)
    ax, ay = math.cos(angle), math.sin(angle)
    nx, ny = -ay, ax
    lift = 1.2 if small else s * 0.06
    mid = (head[0] - nx * lift, head[1] - ny * lift)
    back_len, front_len = (4.2, 4.6) if small else (s * 0.27, s * 0.30)
    back = (mid[0] - ax * back_len, mid[1] - ay * back_len)
    front = (mid[0] + ax * front_len, mid[1] + ay * front_len)
    hb, hf = (1.1, 1.5) if small else (s * 0.065, s * 0.09)

    def quad(p0, p1, h0, h1):
        return [
            (p0[0] + nx * h0, p0[1] + ny * h0),
            (p1[0] + nx * h1, p1[1] + ny * h1),
            (p1[0] - nx * h1, p1[1] - ny * h1),
            (p0[0] - nx * h0, p0[1] - ny * h0),
        ]

    def along(t):
        return (back[0] + (front[0] - back[0]) * t, back[1] + (front[1] - back[1]) * t)

    if not small:
        # A dark edge keeps the white tube apart from the legs and the rim.
        edge = max(1.0, s * 0.025)
        c.fill(c.mask_polygon(quad(along(-0.03), along(1.02), hb + edge, hf + edge)), hex_rgba("061030", 200))
        # A small eyepiece at the back.
        eye_base = along(0.10)
        eye_tip = (eye_base[0] - nx * (hb + s * 0.07), eye_base[1] - ny * (hb + s * 0.07))
        c.fill(c.mask_stroke([eye_base, eye_tip], max(1.5, s * 0.05)), hex_rgba("C9D3E8"))
    c.fill_vertical_gradient(
        c.mask_polygon(quad(back, front, hb, hf)),
        hex_rgba("FFFFFF"),
        hex_rgba("F4F6FA" if small else "C8D0DE"),
        front[1] - hf,
        back[1] + hb,
    )
    # Gold band at the front: the dew shield.
    band_t0 = 0.80
    grow = 0.15 if small else s * 0.012
    band = quad(along(band_t0), front, hb + (hf - hb) * band_t0 + grow, hf + grow)
    c.fill(c.mask_polygon(band), hex_rgba("F2B134"))
    return c.result()


# ---------------------------------------------------------------------------


def save(image, name):
    path = os.path.normpath(os.path.join(OUT_DIR, name))
    image.save(path, "PNG", optimize=True)
    return path


def preview(images, path):
    """One row per icon: each size enlarged over a checkerboard (to at least
    128 px, whole-pixel zoom), and below it at 1:1 on a light and a dark
    background."""
    pad = 8
    rows = []
    for _, sizes in images:
        cells = []
        for size, image in sizes:
            zoom = max(1, -(-128 // size))
            cells.append((image, image.resize((size * zoom, size * zoom), Image.NEAREST)))
        rows.append(cells)

    def cell_width(img, big):
        return max(big.width, img.width * 2 + pad + 8)

    def row_height(cells):
        return max(big.height for _, big in cells) + pad + max(img.height for img, _ in cells) + 4

    width = max(pad + sum(cell_width(img, big) + pad for img, big in cells) for cells in rows)
    height = pad + sum(row_height(cells) + 2 * pad for cells in rows)
    sheet = Image.new("RGBA", (width, height), (255, 255, 255, 255))
    draw = ImageDraw.Draw(sheet)
    y = pad
    for cells in rows:
        big_h = max(big.height for _, big in cells)
        x = pad
        for img, big in cells:
            for cy in range(0, big.height, 8):
                for cx in range(0, big.width, 8):
                    shade = 204 if (cx // 8 + cy // 8) % 2 else 240
                    draw.rectangle([x + cx, y + cy, x + cx + 7, y + cy + 7], fill=(shade, shade, shade, 255))
            sheet.alpha_composite(big, (x, y))
            small_y = y + big_h + pad
            draw.rectangle([x, small_y, x + img.width + 3, small_y + img.height + 3], fill=(240, 240, 240, 255))
            sheet.alpha_composite(img, (x + 2, small_y + 2))
            dx = x + img.width + pad + 4
            draw.rectangle([dx, small_y, dx + img.width + 3, small_y + img.height + 3], fill=(40, 44, 52, 255))
            sheet.alpha_composite(img, (dx + 2, small_y + 2))
            x += cell_width(img, big) + pad
        y += row_height(cells) + 2 * pad
    sheet.save(path)


def main():
    parser = argparse.ArgumentParser(description="Draw the program's icons.")
    parser.add_argument("--preview", metavar="PNG", help="also write an enlarged preview sheet")
    args = parser.parse_args()

    os.makedirs(OUT_DIR, exist_ok=True)
    sets = [
        ("icon128", PROGRAM_SIZES, draw_program),
        ("icon130", BUTTON_SIZES, draw_help),
        ("icon131", BUTTON_SIZES, draw_home),
        ("mark-stop", MARK_SIZES, draw_stop),
    ]
    drawn = []
    for stem, sizes, draw in sets:
        images = []
        for size in sizes:
            image = draw(size)
            assert image.mode == "RGBA" and image.size == (size, size)
            path = save(image, "%s-%d.png" % (stem, size))
            print("%-40s %6d bytes" % (os.path.relpath(path), os.path.getsize(path)))
            images.append((size, image))
        drawn.append((stem, images))
    if args.preview:
        preview(drawn, args.preview)
        print("preview:", args.preview)
    return 0


if __name__ == "__main__":
    sys.exit(main())
