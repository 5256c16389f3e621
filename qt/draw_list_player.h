#pragma once

// The Qt back-end of the controls' drawing rules: it measures text in a
// control's fonts while the rules record, and plays the recorded list on a
// QPainter, op for op as the platform's drawing calls would draw it.

#include <QFont>
#include <QFontMetrics>
#include <QPixmap>
#include <QRect>
#include <span>

#include "draw_list.h"

class QAbstractButton;
class QPainter;
class QPaintDevice;

namespace velmoro::toolkit {

QRect ToQRect(const drawing::Rect& rect);
drawing::Rect FromQRect(const QRect& rect);

// The item state of a button's draw request: focused, held down, the
// default button, disabled.
unsigned ItemStateOf(const QAbstractButton& button);

class CQtTextMetrics : public drawing::ITextMetrics {
public:
    // device, when given, is the surface the text goes to; otherwise the
    // text is measured for the screen.
    explicit CQtTextMetrics(const QFont& controlFont, const QPaintDevice* device = nullptr);

    drawing::Size Measure(drawing::Font font, std::string_view text) const override;
    drawing::Size MeasureWrapped(drawing::Font font, std::string_view text,
                                 int width) const override;

private:
    QFontMetrics Metrics(drawing::Font font) const;

    QFont controlFont_;
    const QPaintDevice* device_;
};

// The painter's brush is the surface's current brush that outlines take;
// images are the control's, by the numbers its icon ops give.
void Play(QPainter& painter, const drawing::DrawList& list, const QFont& controlFont,
          std::span<const QPixmap> images = {});

}  // namespace velmoro::toolkit
