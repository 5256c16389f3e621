#include "percent_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace velmoro::drawing {

namespace {

// Differences wrap as in 32-bit arithmetic, so that bounds far apart give
// the same fraction on every compiler instead of undefined behaviour.
int Difference32(int a, int b) {
    return static_cast<int>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// Truncates toward zero. Results beyond int saturate. NaN, which a position
// on the bound of an empty range gives, becomes the lowest int: no real bar
// width equals it, so the first SetPos after a proper range repaints.
int TruncateToInt(double value) {
    if (std::isnan(value)) {
        return std::numeric_limits<int>::min();
    }
    if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    if (value <= static_cast<double>(std::numeric_limits<int>::min())) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(value);
}

}  // namespace

CPercentProgress::CPercentProgress(const CSystemColors& colors)
    : barColor_(colors[SysColor::kHighlight]),
      backgroundColor_(colors[SysColor::kWindow]),
      textOverBackgroundColor_(colors[SysColor::kHighlight]),
      textOverBarColor_(colors[SysColor::kWindow]) {}

void CPercentProgress::SetRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
}

CPercentProgress::PosChange CPercentProgress::SetPos(int pos, int clientWidth) {
    PosChange change{position_, false};
    position_ = pos;
    // A transfer of thousands of blocks moves the bar by a pixel only now
    // and then; repainting on every block would cost far more than the
    // transfer's own work.
    const int barWidth = TruncateToInt(Fraction() * static_cast<double>(clientWidth));
    if (barWidth != cachedBarWidth_) {
        cachedBarWidth_ = barWidth;
        change.repaint = true;
    }
    return change;
}

bool CPercentProgress::SetDisplayText(std::string_view text) {
    if (text == displayText_) {
        return false;
    }
    displayText_ = text;
    return true;
}

std::string CPercentProgress::TextToDraw() const {
    if (!displayText_.empty()) {
        return displayText_;
    }
    char percent[16];
    std::snprintf(percent, sizeof percent, "%d%%", TruncateToInt(Fraction() * 100.0));
    return percent;
}

void CPercentProgress::Draw(DrawList& list, const Rect& client) const {
    if (!HasDrawableRange()) {
        return;
    }
    // The edge is held inside the client rectangle: a position beyond the
    // range then fills everything with the bar, one below it with the
    // background, and neither rectangle ever turns inside out.
    const std::int64_t left = client.left;
    const std::int64_t right = client.right;
    const int edge = static_cast<int>(std::clamp(
        left + TruncateToInt(static_cast<double>(client.Width()) * Fraction()), left, right));
    const Rect bar{client.left, client.top, edge, client.bottom};
    const Rect rest{edge, client.top, client.right, client.bottom};
    list.push_back(FillRectOp{bar, barColor_});
    list.push_back(FillRectOp{rest, backgroundColor_});

    // Twice at the same place, each clipped to one of the two fills, so a
    // glyph the edge crosses is split between the two colours. The bare
    // surface's font, not the dialog's.
    const std::string text = TextToDraw();
    constexpr unsigned kFormat = kTextCenter | kTextVCenter | kTextSingleLine;
    list.push_back(TextOp{text, client, Font::kSystem, textOverBarColor_, kFormat, bar});
    list.push_back(TextOp{text, client, Font::kSystem, textOverBackgroundColor_, kFormat, rest});
}

double CPercentProgress::Fraction() const {
    return static_cast<double>(Difference32(position_, lower_)) /
           static_cast<double>(Difference32(upper_, lower_));
}

}  // namespace velmoro::drawing
