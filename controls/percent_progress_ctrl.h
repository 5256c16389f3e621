#pragma once

// The progress bar at the foot of the main window: a solid bar growing from
// the left and, centred over it, the percentage reached (or a text the
// window gives it), drawn in inverted colours so that it stays readable
// where the bar's edge passes under it.

#include <QColor>
#include <QProgressBar>
#include <QString>
#include <cstddef>
#include <string>

#include "window_text.h"

class QPainter;
class QPaintEvent;
class QResizeEvent;

namespace velmoro {

class CPercentProgressCtrl : public QProgressBar, public toolkit::IWindowTextHandler {
    Q_OBJECT

public:
    explicit CPercentProgressCtrl(QWidget* parent = nullptr);

    // Stores the bounds only: the caller follows with SetPos, which decides
    // whether anything needs repainting.
    void SetRange(int lower, int upper);
    // Returns the previous position, or -1 (storing nothing) while the
    // control has no window.
    int SetPos(int pos);

    int Pos() const { return position_; }
    int Lower() const { return lower_; }
    int Upper() const { return upper_; }
    int CachedBarWidth() const { return cachedBarWidth_; }
    std::string DisplayText() const { return displayText_; }

    // The text the next paint draws: the display text, or the percentage.
    QString TextToDraw() const;
    // Draws the whole control as it looks for client; draws nothing at all
    // while the range is empty or inverted.
    void Draw(QPainter& painter, const QRect& client) const;

    bool OnSetText(const char* text) override;
    std::size_t OnGetText(char* buffer, std::size_t size) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool HasWindow() const;
    bool HasDrawableRange() const { return lower_ < upper_; }
    double Fraction() const;

    int position_ = 0;
    int upper_ = 100;
    int lower_ = 0;
    std::string displayText_;
    int cachedBarWidth_ = -1;
    QColor barColor_;
    QColor backgroundColor_;
    QColor textOverBackgroundColor_;
    QColor textOverBarColor_;
};

}  // namespace velmoro
