#pragma once

// The percent progress bar as every platform's control holds and draws it: a
// solid bar growing from the left in proportion to the position within the
// range, and centred over it the percentage reached (or a text the window
// gives it) in inverted colours, so that it stays readable where the bar's
// edge passes under it.
//
// Nothing is clamped: the position may lie outside the range, and the range
// may be empty or inverted, which draws nothing at all.

#include <string>
#include <string_view>

#include "draw_list.h"

namespace velmoro::drawing {

class CPercentProgress {
public:
    // The colours are those of this moment; later changes of the system
    // colours do not reach the bar.
    explicit CPercentProgress(const CSystemColors& colors);

    // Stores the bounds only: the caller follows with SetPos.
    void SetRange(int lower, int upper);

    struct PosChange {
        int previous = 0;
        // The bar's width in pixels changed, so the control repaints now.
        bool repaint = false;
    };
    // Stores the position; the bar's width is reckoned on a client area
    // clientWidth pixels wide.
    PosChange SetPos(int pos, int clientWidth);
    // The bar's width means nothing at a new size: the next SetPos repaints.
    void ForgetBarWidth() { cachedBarWidth_ = -1; }

    // Returns whether the text changed; an empty text brings the percentage
    // back.
    bool SetDisplayText(std::string_view text);

    int Pos() const { return position_; }
    int Lower() const { return lower_; }
    int Upper() const { return upper_; }
    int CachedBarWidth() const { return cachedBarWidth_; }
    const std::string& DisplayText() const { return displayText_; }
    bool HasDrawableRange() const { return lower_ < upper_; }
    // The display text, or the percentage, "%d%%" of the truncated fraction.
    std::string TextToDraw() const;

    // The whole bar in client; nothing while the range is empty or inverted.
    void Draw(DrawList& list, const Rect& client) const;

private:
    double Fraction() const;

    int position_ = 0;
    int upper_ = 100;
    int lower_ = 0;
    std::string displayText_;
    int cachedBarWidth_ = -1;
    Colour barColor_;
    Colour backgroundColor_;
    Colour textOverBackgroundColor_;
    Colour textOverBarColor_;
};

}  // namespace velmoro::drawing
