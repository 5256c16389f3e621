// The progress bar painted into images and its pixels read back; repaints
// counted on a control shown in a parent window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QTest>
#include <cstring>
#include <utility>

#include "percent_progress_ctrl.h"
#include "system_drawing.h"
#include "window_text.h"

namespace velmoro {
namespace {

const QRgb kUntouched = qRgb(255, 0, 255);

QColor Highlight() {
    return toolkit::GetSysColor(toolkit::COLOR_HIGHLIGHT);
}
QColor Window() {
    return toolkit::GetSysColor(toolkit::COLOR_WINDOW);
}

class CountingProgress : public CPercentProgressCtrl {
public:
    using CPercentProgressCtrl::CPercentProgressCtrl;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        CPercentProgressCtrl::paintEvent(event);
    }
};

// Through the control's own paint handling, onto an image of a colour the
// control never uses, so that pixels it leaves alone stay recognisable.
QImage Render(QWidget& control, const QRect& area = QRect()) {
    QImage image(control.size(), QImage::Format_RGB32);
    image.fill(kUntouched);
    control.render(&image, area.topLeft(), QRegion(area), QWidget::RenderFlags());
    return image;
}

// The picture the control should show: bar and rest filled, the text
// centred in the system font, over-bar part in the window colour and the
// rest in the highlight colour.
QImage Expected(const QSize& size, int barWidth, const QString& text) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const QRect bar(0, 0, barWidth, size.height());
    const QRect rest(barWidth, 0, size.width() - barWidth, size.height());
    painter.fillRect(bar, Highlight());
    painter.fillRect(rest, Window());
    painter.setFont(toolkit::SystemFont());
    for (const auto& [clip, color] : {std::pair(bar, Window()), std::pair(rest, Highlight())}) {
        painter.setClipRect(clip);
        painter.setPen(color);
        painter.drawText(image.rect(), Qt::AlignCenter | Qt::TextSingleLine, text);
    }
    return image;
}

int InkPixels(const QImage& image, const QRect& area, const QColor& fill) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += image.pixel(x, y) != fill.rgb() ? 1 : 0;
        }
    }
    return count;
}

class PercentProgressCtrlTest : public ::testing::Test {
protected:
    PercentProgressCtrlTest() { bar->setGeometry(0, 0, 300, 40); }

    void Show() {
        dialog.resize(300, 60);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        QApplication::processEvents();
        bar->paints = 0;
    }
    int Paints() {
        QApplication::processEvents();
        return bar->paints;
    }

    QWidget dialog;
    CountingProgress* bar = new CountingProgress(&dialog);
};

TEST_F(PercentProgressCtrlTest, DrawsTruncatedBarAndPercentage) {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lower << ".." << c.upper << " at " << c.pos);
        bar->SetRange(c.lower, c.upper);
        bar->SetPos(c.pos);
        EXPECT_EQ(bar->TextToDraw(), QString::fromLatin1(c.text));
        const QImage image = Render(*bar);
        EXPECT_EQ(image, Expected(bar->size(), c.barWidth, QString::fromLatin1(c.text)));
        if (c.barWidth == 300) {
            // No background anywhere, and the text still shows against the bar.
            EXPECT_EQ(InkPixels(image, QRect(0, 0, 300, 1), Highlight()), 0);
            EXPECT_GT(InkPixels(image, image.rect(), Highlight()), 0);
        }
    }
}

TEST_F(PercentProgressCtrlTest, PartialRepaintMatchesWholePaint) {
    bar->SetRange(0, 7);
    bar->SetPos(3);
    const QImage whole = Render(*bar);
    const QRect area(110, 5, 60, 30);
    const QImage part = Render(*bar, area);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 300; ++x) {
            ASSERT_EQ(part.pixel(x, y), area.contains(x, y) ? whole.pixel(x, y) : kUntouched)
                << x << "," << y;
        }
    }
}

TEST_F(PercentProgressCtrlTest, EmptyOrInvertedRangeDrawsNothingButStoresPosition) {
    for (const auto& [lower, upper] : {std::pair(0, 0), std::pair(5, 2)}) {
        bar->SetRange(lower, upper);
        const int before = bar->Pos();
        EXPECT_EQ(bar->SetPos(before + 7), before);
        EXPECT_EQ(bar->Pos(), before + 7);
        const QImage image = Render(*bar);
        EXPECT_EQ(InkPixels(image, image.rect(), QColor(kUntouched)), 0);
        QImage target(300, 40, QImage::Format_RGB32);
        target.fill(kUntouched);
        QPainter painter(&target);
        bar->Draw(painter, target.rect());
        EXPECT_EQ(InkPixels(target, target.rect(), QColor(kUntouched)), 0);
    }
}

TEST_F(PercentProgressCtrlTest, RepaintsOnlyWhenTheBarWidthChanges) {
    Show();
    bar->SetRange(0, 1000);
    EXPECT_EQ(Paints(), 0);
    bar->SetPos(290);
    EXPECT_EQ(bar->paints, 1);
    EXPECT_EQ(bar->CachedBarWidth(), 87);
    // 29% now, but the bar is still 87 pixels wide: 28% stays on screen.
    EXPECT_EQ(bar->SetPos(291), 290);
    EXPECT_EQ(bar->TextToDraw(), "29%");
    EXPECT_EQ(Paints(), 1);
    bar->SetPos(294);
    EXPECT_EQ(bar->paints, 2);
    // A new range alone changes nothing; the same pixel width after it
    // neither.
    bar->SetRange(0, 500);
    bar->SetPos(147);
    EXPECT_EQ(Paints(), 2);
}

TEST_F(PercentProgressCtrlTest, RepaintsAfterResizeAtTheSameWidth) {
    Show();
    bar->SetPos(50);
    bar->resize(300, 50);
    EXPECT_EQ(bar->CachedBarWidth(), -1);
    const int before = Paints();
    bar->SetPos(50);
    EXPECT_EQ(bar->paints, before + 1);
}

TEST_F(PercentProgressCtrlTest, WindowTextReplacesPercentageSplitAtTheBarEdge) {
    Show();
    bar->SetRange(0, 2);
    bar->SetPos(1);
    const int before = Paints();
    EXPECT_TRUE(toolkit::SetWindowText(bar, "Catalogue"));
    EXPECT_EQ(Paints(), before + 1);
    EXPECT_EQ(toolkit::GetWindowText(bar), "Catalogue");
    EXPECT_EQ(bar->windowTitle(), "Catalogue");

    toolkit::SetWindowText(bar, "Catalogue");
    EXPECT_EQ(Paints(), before + 1);
    const QImage image = Render(*bar);
    EXPECT_EQ(image, Expected(bar->size(), 150, "Catalogue"));
    EXPECT_GT(InkPixels(image, QRect(0, 0, 150, 40), Highlight()), 0);
    EXPECT_GT(InkPixels(image, QRect(150, 0, 150, 40), Window()), 0);

    const int rendered = bar->paints;
    toolkit::SetWindowText(bar, nullptr);
    EXPECT_EQ(Paints(), rendered + 1);
    EXPECT_EQ(toolkit::GetWindowText(bar), "");
    EXPECT_EQ(Render(*bar), Expected(bar->size(), 150, "50%"));
}

TEST_F(PercentProgressCtrlTest, GetTextNeverOverrunsTheBuffer) {
    toolkit::SetWindowText(bar, "Catalogue");
    char buffer[12];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(toolkit::GetWindowText(bar, buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, sizeof buffer), "Cata########");
    EXPECT_EQ(toolkit::GetWindowText(bar, buffer, sizeof buffer), 9u);
    EXPECT_STREQ(buffer, "Catalogue");
}

TEST_F(PercentProgressCtrlTest, LayoutCaptionIsNeverShown) {
    bar->setWindowTitle("Progress1");
    EXPECT_EQ(toolkit::GetWindowText(bar), "");
    bar->SetPos(0);
    EXPECT_EQ(Render(*bar), Expected(bar->size(), 0, "0%"));
}

TEST(PercentProgressCtrl, SetPosWithoutWindowStoresNothing) {
    QWidget dialog;
    CPercentProgressCtrl control;
    EXPECT_EQ(control.SetPos(5), -1);
    EXPECT_EQ(control.Pos(), 0);
    control.setParent(&dialog);
    EXPECT_EQ(control.SetPos(5), 0);
    EXPECT_EQ(control.Pos(), 5);
}

}  // namespace
}  // namespace velmoro
