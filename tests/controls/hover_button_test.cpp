#include "hover_button.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <functional>

#include "system_drawing.h"
#include "window_text.h"

namespace velmoro {
namespace {

// A colour no part of the button is drawn in, so untouched pixels show.
const QRgb kPaper = qRgb(0, 160, 0);
// The item every drawing test uses; its inner rectangle runs from (2, 2) to
// (158, 21), right and bottom exclusive, 19 rows high.
const QSize kItem(160, 23);
const int kLeft = 2, kRight = 158, kTop = 2, kBottom = 21, kMidX = 80, kMidY = 11;

QImage Paper(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(kPaper);
    return image;
}

// A button whose caption pixels are exact colours, with no antialiased edges.
void UseCrispFont(CHoverButton& button) {
    QFont font(QStringLiteral("DejaVu Sans"), 9);
    font.setStyleStrategy(QFont::NoAntialias);
    button.setFont(font);
}

QImage Draw(CHoverButton& button, unsigned state, QSize size = kItem,
            const QColor& brush = Qt::white) {
    QImage image = Paper(size);
    QPainter painter(&image);
    painter.setBrush(brush);
    button.DrawItem(painter, QRect(QPoint(0, 0), size), state);
    return image;
}

// The platform's hover report arrives once the mouse has rested inside.
void MouseOver(CHoverButton& button) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&button, &enter);
    ASSERT_TRUE(QTest::qWaitFor([&button] { return button.Hover(); }, 1000));
}

void MouseLeave(CHoverButton& button) {
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&button, &leave);
}

QRect BoundingBox(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& ink) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (ink(image.pixel(x, y))) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

// Caption pixels: everything inside the frame that is dark.
QRect CaptionBox(const QImage& image) {
    return BoundingBox(image, QRect(kLeft + 2, kTop + 2, kRight - kLeft - 4, kBottom - kTop - 4),
                       [](QRgb pixel) { return qGray(pixel) < 100; });
}

QRgb Inverted(QRgb pixel) {
    return qRgb(255 - qRed(pixel), 255 - qGreen(pixel), 255 - qBlue(pixel));
}

TEST(HoverButton, GradientRowsInEveryLook) {
    struct Case {
        bool hover;
        unsigned state;  // sets the active flag or not
        QRgb rows[5];    // offsets 0, 1, 2, 18, 19: c[0], c[3], c[6], c[59], c[63]
    };
    const Case cases[] = {
        {false,
         0,
         {qRgb(255, 255, 255), qRgb(254, 254, 255), qRgb(253, 253, 254), qRgb(236, 236, 244),
          qRgb(234, 234, 243)}},
        {false,
         CHoverButton::ODS_SELECTED,
         {qRgb(255, 255, 255), qRgb(254, 254, 255), qRgb(253, 253, 254), qRgb(236, 236, 241),
          qRgb(234, 234, 240)}},
        {true,
         0,
         {qRgb(255, 255, 255), qRgb(255, 255, 255), qRgb(254, 254, 254), qRgb(241, 241, 244),
          qRgb(240, 240, 243)}},
        {true,
         CHoverButton::ODS_DEFAULT,
         {qRgb(255, 255, 255), qRgb(255, 255, 254), qRgb(254, 254, 253), qRgb(241, 241, 236),
          qRgb(240, 240, 234)}},
    };
    const int offsets[] = {0, 1, 2, 18, 19};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "hover " << c.hover << " state " << c.state);
        CHoverButton button;
        if (c.hover) {
            MouseOver(button);
        }
        Draw(button, c.state);
        EXPECT_EQ(button.Active(), c.state != 0);

        QImage image = Paper(QSize(16, 26));
        QPainter painter(&image);
        button.DrawBackground(painter, QRect(3, 4, 10, 19));
        painter.end();
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(image.pixel(3, 4 + offsets[i]), c.rows[i]) << "offset " << offsets[i];
            EXPECT_EQ(image.pixel(12, 4 + offsets[i]), c.rows[i]) << "offset " << offsets[i];
        }
        EXPECT_EQ(image.pixel(3, 3), kPaper);
        EXPECT_EQ(image.pixel(3, 24), kPaper);
        EXPECT_EQ(image.pixel(2, 10), kPaper);
        EXPECT_EQ(image.pixel(13, 10), kPaper);
    }
}

TEST(HoverButton, OutlineAndNoGradientWithoutHeight) {
    CHoverButton button;
    for (int height : {0, -3}) {
        QImage image = Paper(QSize(16, 16));
        QPainter painter(&image);
        button.DrawBackground(painter, QRect(3, 4, 10, height));
        painter.end();
        EXPECT_EQ(image, Paper(QSize(16, 16))) << "height " << height;
    }

    // The outline's corners are cut, and the ring between it and the
    // gradient takes the painter's brush.
    const QRgb brush = qRgb(10, 20, 30);
    const QRgb black = qRgb(0, 0, 0);
    QImage image = Draw(button, 0, kItem, brush);
    EXPECT_EQ(image.pixel(0, 0), kPaper);
    EXPECT_EQ(image.pixel(159, 22), kPaper);
    EXPECT_EQ(image.pixel(1, 1), black);
    EXPECT_EQ(image.pixel(158, 21), black);
    EXPECT_EQ(image.pixel(kMidX, 0), black);
    EXPECT_EQ(image.pixel(0, kMidY), black);
    EXPECT_EQ(image.pixel(1, kMidY), brush);

    // An inner rectangle of no height: outline and brush, no gradient.
    image = Draw(button, 0, QSize(30, 4), brush);
    EXPECT_EQ(image.pixel(15, 0), black);
    EXPECT_EQ(image.pixel(15, 3), black);
    EXPECT_EQ(image.pixel(15, 1), brush);
    EXPECT_EQ(image.pixel(15, 2), brush);
}

TEST(HoverButton, FrameColoursAndFocusRectangle) {
    const QRgb hoverSet[] = {qRgb(250, 196, 88), qRgb(251, 202, 106), qRgb(252, 210, 121),
                             qRgb(229, 151, 0)};
    const QRgb focusSet[] = {qRgb(153, 198, 252), qRgb(162, 189, 252), qRgb(162, 201, 255),
                             qRgb(162, 201, 255)};
    struct Case {
        bool hover;
        bool focus;
        bool focusRect;
        const QRgb* frame;  // left, right, top, bottom; null for none
    };
    const Case cases[] = {{false, false, false, nullptr},
                          {true, false, false, hoverSet},
                          {false, true, true, focusSet},
                          {true, true, false, hoverSet}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "hover " << c.hover << " focus " << c.focus);
        CHoverButton button(QStringLiteral("OK"));
        if (c.hover) {
            MouseOver(button);
        }
        const QImage image = Draw(button, c.focus ? CHoverButton::ODS_FOCUS : 0);
        EXPECT_EQ(button.Focus(), c.focus);

        // The 3-pixel side lines are centred on I's edges, so one pixel in
        // from each edge is theirs whichever look the dots give the edge.
        const QRgb left = image.pixel(kLeft + 1, kMidY);
        const QRgb right = image.pixel(kRight - 2, kMidY);
        int topFrame = 0;
        int topInverted = 0;
        for (int x = kLeft + 3; x < kRight - 3; ++x) {
            const QRgb pixel = image.pixel(x, kTop);
            topFrame += c.frame != nullptr && pixel == c.frame[2];
            topInverted += c.frame != nullptr && pixel == Inverted(c.frame[2]);
        }
        if (c.frame == nullptr) {
            EXPECT_EQ(left, image.pixel(kLeft + 5, kMidY));
            EXPECT_EQ(right, image.pixel(kRight - 5, kMidY));
            EXPECT_EQ(image.pixel(kMidX, kBottom), image.pixel(kLeft + 5, kBottom));
            continue;
        }
        EXPECT_EQ(left, c.frame[0]);
        EXPECT_EQ(right, c.frame[1]);
        EXPECT_EQ(image.pixel(kMidX, kBottom), c.frame[3]);
        EXPECT_EQ(topFrame + topInverted, kRight - kLeft - 6);
        if (c.focusRect) {
            EXPECT_NEAR(topInverted, topFrame, 1);
        } else {
            EXPECT_EQ(topInverted, 0);
        }
    }
}

TEST(HoverButton, PressedCaptionMovesRightAndDown) {
    CHoverButton button(QStringLiteral("Start Download(&D)"));
    UseCrispFont(button);
    const QRect resting = CaptionBox(Draw(button, 0));
    const QRect pressed = CaptionBox(Draw(button, CHoverButton::ODS_SELECTED));
    ASSERT_FALSE(resting.isEmpty());
    EXPECT_EQ(pressed, resting.translated(1, 1));
}

TEST(HoverButton, CaptionIsCentredAsMeasuredWithItsMarker) {
    CHoverButton button(QStringLiteral("Open Data File(O)"));
    UseCrispFont(button);
    const QRect plain = CaptionBox(Draw(button, 0));
    button.setText(QStringLiteral("Open Data File(&O)"));
    const QRect marked = CaptionBox(Draw(button, 0));
    const auto width = [&button](const char* text) {
        return toolkit::MeasureText(button.font(), QString::fromLatin1(text)).width();
    };
    ASSERT_GT(width("&"), 1);
    EXPECT_EQ(marked.left() - plain.left(),
              width("Open Data File(O)") / 2 - width("Open Data File(&O)") / 2);
}

TEST(HoverButton, DisabledCaptionIsEmbossed) {
    const QPalette saved = QApplication::palette();
    QPalette palette = saved;
    palette.setColor(QPalette::Light, QColor(255, 0, 0));
    palette.setColor(QPalette::Dark, QColor(0, 0, 255));
    QApplication::setPalette(palette);

    CHoverButton button(QStringLiteral("Open Data File(&O)"));
    UseCrispFont(button);
    button.resize(kItem);
    button.setEnabled(false);
    const QImage image = button.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QApplication::setPalette(saved);

    const QRect area(0, 0, kItem.width(), kItem.height());
    const QRect highlight = BoundingBox(image, area, [](QRgb p) { return p == qRgb(255, 0, 0); });
    const QRect shadow = BoundingBox(image, area, [](QRgb p) { return p == qRgb(0, 0, 255); });
    ASSERT_FALSE(shadow.isEmpty());
    EXPECT_EQ(highlight.bottomRight(), shadow.bottomRight() + QPoint(1, 1));
    const QRect inside(kLeft + 2, kTop + 2, kRight - kLeft - 4, kBottom - kTop - 4);
    EXPECT_TRUE(BoundingBox(image, inside, [](QRgb p) { return p == qRgb(0, 0, 0); }).isEmpty());
}

TEST(HoverButton, HoverFlagFollowsEnterAndLeave) {
    CHoverButton button(QStringLiteral("OK"));
    button.resize(kItem);
    const QRgb hoverLeft = qRgb(250, 196, 88);

    MouseOver(button);
    EXPECT_TRUE(button.Tracking());
    EXPECT_EQ(button.grab().toImage().pixel(kLeft + 1, kMidY), hoverLeft);

    MouseLeave(button);
    EXPECT_FALSE(button.Hover());
    EXPECT_FALSE(button.Tracking());
    EXPECT_NE(button.grab().toImage().pixel(kLeft + 1, kMidY), hoverLeft);

    // Leaving ends the request: a hover report still due must not come.
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&button, &enter);
    EXPECT_TRUE(button.Tracking());
    MouseLeave(button);
    QTest::qWait(20);
    EXPECT_FALSE(button.Hover());

    QMouseEvent move(QEvent::MouseMove, QPointF(6, 6), QPointF(6, 6), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&button, &move);
    EXPECT_TRUE(button.Tracking());
    EXPECT_TRUE(QTest::qWaitFor([&button] { return button.Hover(); }, 1000));

    // A disabled button takes no mouse input, so it never lights up: one
    // disabled under the mouse goes plain, and entering it asks for nothing.
    button.setEnabled(false);
    EXPECT_FALSE(button.Hover());
    EXPECT_NE(button.grab().toImage().pixel(kLeft + 1, kMidY), hoverLeft);
    MouseLeave(button);
    QCoreApplication::sendEvent(&button, &enter);
    EXPECT_FALSE(button.Tracking());
    QTest::qWait(20);
    EXPECT_FALSE(button.Hover());
}

TEST(HoverButton, NewCaptionKeepsTheLook) {
    CHoverButton button(QStringLiteral("Start Download(&D)"));
    UseCrispFont(button);
    MouseOver(button);
    const QImage before = Draw(button, CHoverButton::ODS_FOCUS);
    toolkit::SetWindowText(&button, "Stop Download(&D)");
    const QImage after = Draw(button, CHoverButton::ODS_FOCUS);

    EXPECT_EQ(after.pixel(kLeft + 1, kMidY), before.pixel(kLeft + 1, kMidY));
    for (int x = kLeft; x < kRight; ++x) {
        EXPECT_EQ(after.pixel(x, kTop), before.pixel(x, kTop));
    }
    const auto start = [&button](const char* text) {
        return (kLeft + kRight) / 2 -
               toolkit::MeasureText(button.font(), QString::fromLatin1(text)).width() / 2;
    };
    EXPECT_EQ(CaptionBox(after).left() - CaptionBox(before).left(),
              start("Stop Download(&D)") - start("Start Download(&D)"));
    EXPECT_EQ(CaptionBox(after).top(), CaptionBox(before).top());
}

TEST(HoverButton, CaptionIsCutAt259Bytes) {
    const QSize wide(1400, 23);
    CHoverButton button(QString(259, QLatin1Char('i')));
    const QImage cut = Draw(button, 0, wide);
    button.setText(QString(300, QLatin1Char('i')));
    EXPECT_EQ(Draw(button, 0, wide), cut);
    button.setText(QString(250, QLatin1Char('i')));
    EXPECT_NE(Draw(button, 0, wide), cut);
}

}  // namespace
}  // namespace velmoro
