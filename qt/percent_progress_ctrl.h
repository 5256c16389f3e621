#pragma once

// The progress bar at the foot of the main window: a solid bar growing from
// the left and, centred over it, the percentage reached (or a text the
// window gives it), in inverted colours. What it holds and draws is
// drawing::CPercentProgress; this widget paints it and answers the window's
// requests. Assistive technology reads the bar's own range and position.

#include <QWidget>
#include <cstddef>

#include "percent_progress.h"
#include "window_text.h"

class QPaintEvent;
class QResizeEvent;

namespace velmoro {

class CPercentProgressCtrl : public QWidget, public toolkit::IWindowTextHandler {
    Q_OBJECT

public:
    explicit CPercentProgressCtrl(QWidget* parent = nullptr);

    // Stores the bounds only: the caller follows with SetPos, which decides
    // whether anything needs repainting.
    void SetRange(int lower, int upper);
    // Returns the previous position, or -1 (storing nothing) while the
    // control has no window.
    int SetPos(int pos);

    // The window's look changed: the bar is drawn in these colours from
    // now on, keeping its range, position and text.
    void SetColors(const drawing::CSystemColors& colors);

    const drawing::CPercentProgress& Bar() const { return bar_; }
    int Pos() const { return bar_.Pos(); }

    bool OnSetText(const char* text) override;
    std::size_t OnGetText(char* buffer, std::size_t size) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool HasWindow() const;

    drawing::CPercentProgress bar_;
};

}  // namespace velmoro
