// The progress bar as a widget: when it repaints, what its window text is,
// what it shows on screen and what assistive technology reads.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QPainter>
#include <QTest>
#include <cstring>

#include "percent_progress_ctrl.h"
#include "system_drawing.h"
#include "window_text.h"

namespace velmoro {
namespace {

const QRgb kUntouched = qRgb(255, 0, 255);

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

// The bar and the text in the two colours, split at the bar's edge; an
// empty range leaves every pixel as it was.
TEST_F(PercentProgressCtrlTest, PaintsTheBarAndItsPercentageOrNothing) {
    bar->SetRange(0, 2);
    bar->SetPos(1);
    const QImage image = Render(*bar);
    const QRgb highlight = toolkit::GetSysColor(drawing::SysColor::kHighlight).rgb();
    const QRgb window = toolkit::GetSysColor(drawing::SysColor::kWindow).rgb();
    EXPECT_EQ(image.pixel(149, 0), highlight);
    EXPECT_EQ(image.pixel(150, 0), window);
    int inkOverBar = 0;
    int inkOverRest = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 300; ++x) {
            inkOverBar += x < 150 && image.pixel(x, y) != highlight;
            inkOverRest += x >= 150 && image.pixel(x, y) != window;
        }
    }
    EXPECT_GT(inkOverBar, 0);
    EXPECT_GT(inkOverRest, 0);

    bar->SetRange(5, 2);
    const QImage nothing = Render(*bar);
    EXPECT_EQ(nothing.pixel(0, 0), kUntouched);
    EXPECT_EQ(nothing.pixel(150, 20), kUntouched);
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

TEST_F(PercentProgressCtrlTest, RepaintsOnlyWhenTheBarWidthChanges) {
    Show();
    bar->SetRange(0, 1000);
    EXPECT_EQ(Paints(), 0);
    bar->SetPos(290);
    EXPECT_EQ(bar->paints, 1);
    bar->SetPos(291);
    EXPECT_EQ(Paints(), 1);
    bar->SetPos(294);
    EXPECT_EQ(bar->paints, 2);
    // After a resize the same width repaints.
    bar->resize(300, 50);
    const int before = Paints();
    bar->SetPos(294);
    EXPECT_EQ(bar->paints, before + 1);
}

TEST_F(PercentProgressCtrlTest, WindowTextReplacesPercentage) {
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
    toolkit::SetWindowText(bar, nullptr);
    EXPECT_EQ(Paints(), before + 2);
    EXPECT_EQ(toolkit::GetWindowText(bar), "");
    EXPECT_EQ(bar->Bar().TextToDraw(), "50%");
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
    EXPECT_EQ(bar->Bar().TextToDraw(), "0%");
}

TEST_F(PercentProgressCtrlTest, AssistiveTechnologyReadsTheBarsOwnValues) {
    bar->SetRange(0, 40);
    bar->SetPos(10);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(bar);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::ProgressBar);
    QAccessibleValueInterface* value = accessible->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->currentValue().toInt(), 10);
    EXPECT_EQ(value->maximumValue().toInt(), 40);
    EXPECT_EQ(accessible->text(QAccessible::Value), "25%");
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
