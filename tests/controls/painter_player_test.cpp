// The QPainter back-end: recorded operations played into images and their
// pixels read back, one case for each way an operation reaches the pixels.

#include "draw_list_player.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>

#include "system_drawing.h"

namespace velmoro {
namespace {

using namespace drawing;

// A colour no operation draws in, so untouched pixels show.
const QRgb kPaper = qRgb(0, 160, 0);

QImage Play(const DrawList& list, QSize size = QSize(40, 24), const QColor& brush = Qt::white,
            std::span<const QPixmap> images = {}) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(kPaper);
    QPainter painter(&image);
    painter.setBrush(brush);
    QFont crisp(QStringLiteral("DejaVu Sans"), 9);
    crisp.setStyleStrategy(QFont::NoAntialias);
    toolkit::Play(painter, list, crisp, images);
    return image;
}

QRect BoundingBox(const QImage& image, QRgb colour) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == colour) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

// Emboss colours of their own for the tests that need them.
class PainterPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = QApplication::palette();
        QPalette palette = saved_;
        palette.setColor(QPalette::Light, QColor(255, 0, 0));
        palette.setColor(QPalette::Dark, QColor(0, 0, 255));
        QApplication::setPalette(palette);
    }
    void TearDown() override { QApplication::setPalette(saved_); }

    QPalette saved_;
};

TEST_F(PainterPlayerTest, ThinLinesLeaveOutTheirEndsAndFramesShareTheFarCorners) {
    const Colour a = Fixed(255, 0, 0);
    const Colour b = Fixed(0, 0, 255);
    const QImage image =
        Play({PolylineOp{{{2, 10}, {2, 2}, {12, 2}}, {1, a}}, Rect3dOp{{20, 2, 30, 10}, a, b}});
    EXPECT_EQ(image.pixel(2, 10), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(2, 11), kPaper);
    EXPECT_EQ(image.pixel(2, 2), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(11, 2), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(12, 2), kPaper);
    // Top and left in one colour; bottom and right, with both far corners,
    // in the other; the inside untouched.
    EXPECT_EQ(image.pixel(20, 2), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(28, 2), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(29, 2), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(20, 9), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(25, 5), kPaper);
}

TEST_F(PainterPlayerTest, RoundedOutlineCutsItsCornersAndTakesTheBrush) {
    const QRgb brush = qRgb(10, 20, 30);
    const QRgb black = qRgb(0, 0, 0);
    QImage image = Play({RoundRectOp{{0, 0, 40, 24}, {5, 5}, {1, Fixed(0, 0, 0)}}}, QSize(40, 24),
                        QColor(brush));
    EXPECT_EQ(image.pixel(0, 0), kPaper);
    EXPECT_EQ(image.pixel(39, 23), kPaper);
    EXPECT_EQ(image.pixel(1, 1), black);
    EXPECT_EQ(image.pixel(38, 22), black);
    EXPECT_EQ(image.pixel(20, 0), black);
    EXPECT_EQ(image.pixel(0, 12), black);
    EXPECT_EQ(image.pixel(1, 12), brush);
    EXPECT_EQ(image.pixel(20, 12), brush);
}

TEST_F(PainterPlayerTest, WideLinesAreCentredOnTheirPath) {
    const QImage image = Play({PolylineOp{{{10, 20}, {10, 3}}, {3, Fixed(250, 196, 88)}}});
    for (const int x : {9, 10, 11}) {
        EXPECT_EQ(image.pixel(x, 12), qRgb(250, 196, 88)) << x;
    }
    EXPECT_EQ(image.pixel(8, 12), kPaper);
    EXPECT_EQ(image.pixel(12, 12), kPaper);
}

TEST_F(PainterPlayerTest, FocusRectangleInvertsEveryOtherEdgePixelAndTwiceRestores) {
    const DrawList fill = {FillRectOp{{0, 0, 40, 24}, Fixed(200, 200, 200)}};
    DrawList once = fill;
    once.push_back(FocusRectOp{{4, 4, 36, 20}});
    const QImage image = Play(once);
    const QRgb inverted = qRgb(55, 55, 55);
    EXPECT_EQ(image.pixel(4, 4), inverted);
    EXPECT_EQ(image.pixel(5, 4), qRgb(200, 200, 200));
    EXPECT_EQ(image.pixel(6, 4), inverted);
    EXPECT_EQ(image.pixel(20, 12), qRgb(200, 200, 200));
    once.push_back(FocusRectOp{{4, 4, 36, 20}});
    EXPECT_EQ(Play(once), Play(fill));
}

TEST_F(PainterPlayerTest, ClippedTextSplitsAGlyphAtTheClipEdge) {
    // The same text twice, each half in its own colour: what the progress
    // bar draws across its edge.
    const Rect box{0, 0, 40, 24};
    const Rect left{0, 0, 20, 24};
    const Rect right{20, 0, 40, 24};
    constexpr unsigned kCentred = kTextCenter | kTextVCenter | kTextSingleLine;
    const QImage image =
        Play({TextOp{"MMM", box, Font::kControl, Fixed(255, 0, 0), kCentred, left},
              TextOp{"MMM", box, Font::kControl, Fixed(0, 0, 255), kCentred, right}});
    const QRect red = BoundingBox(image, qRgb(255, 0, 0));
    const QRect blue = BoundingBox(image, qRgb(0, 0, 255));
    ASSERT_FALSE(red.isEmpty());
    ASSERT_FALSE(blue.isEmpty());
    EXPECT_EQ(red.right(), 19);
    EXPECT_EQ(blue.left(), 20);
}

TEST_F(PainterPlayerTest, EmbossedTextAndImagesTakeTheSystemsTwoColours) {
    const StateTextOp text{"O&K", {4, 4, 40, 20}, Font::kControl, Fixed(0, 0, 0), true};
    QImage image = Play({text});
    const QRect highlight = BoundingBox(image, qRgb(255, 0, 0));
    const QRect shadow = BoundingBox(image, qRgb(0, 0, 255));
    ASSERT_FALSE(shadow.isEmpty());
    EXPECT_EQ(highlight.bottomRight(), shadow.bottomRight() + QPoint(1, 1));
    EXPECT_TRUE(BoundingBox(image, qRgb(0, 0, 0)).isEmpty());

    QPixmap icon(8, 8);
    icon.fill(Qt::yellow);
    const std::array<QPixmap, 1> images{icon};
    image = Play({IconOp{0, {4, 4, 12, 12}, true}}, QSize(40, 24), Qt::white, images);
    EXPECT_EQ(BoundingBox(image, qRgb(0, 0, 255)), QRect(4, 4, 8, 8));
    EXPECT_EQ(image.pixel(12, 12), qRgb(255, 0, 0));
    image = Play({IconOp{0, {4, 4, 12, 12}, false}}, QSize(40, 24), Qt::white, images);
    EXPECT_EQ(BoundingBox(image, QColor(Qt::yellow).rgb()), QRect(4, 4, 8, 8));
}

}  // namespace
}  // namespace velmoro
