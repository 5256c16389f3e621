// The icon button as a widget, driven with mouse and keys; its icons.

#include "icon_button.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <vector>

#include "platform.h"

namespace velmoro {
namespace {

using IconButtonTest = ::testing::Test;

// The rule itself is the shared one's (drawing tests); here, that the icon's
// pixels reach it and come back with their alpha.
TEST_F(IconButtonTest, GreyCopyGoesThroughEveryPixel) {
    QImage source(2, 1, QImage::Format_ARGB32);
    source.setPixel(0, 0, qRgba(255, 0, 0, 255));
    source.setPixel(1, 0, qRgba(0, 0, 0, 255));
    const QIcon grey = CIconButton::MakeGreyIcon(QIcon(QPixmap::fromImage(source)));
    ASSERT_FALSE(grey.isNull());
    const QImage out = grey.pixmap(source.size()).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(out.size(), source.size());
    EXPECT_EQ(out.pixel(0, 0), qRgba(76, 76, 76, 255));
    EXPECT_EQ(out.pixel(1, 0), qRgba(0, 0, 0, 255));
    EXPECT_TRUE(CIconButton::MakeGreyIcon(QIcon()).isNull());
}

TEST_F(IconButtonTest, LoadIconsFromTheProgramsResources) {
    struct Case {
        int active;
        int idle;
        bool hasActive;
        bool hasIdle;
    };
    const Case cases[] = {
        {130, 0, true, false},
        {131, 0, true, false},
        {131, CIconButton::kGreyIdleIcon, true, true},
        {130, 131, true, true},
        {130 + 0x10000, 0, true, false},  // ids are 16 bits
        {999, 0, false, false},           // no such icon: caption only
    };
    for (const Case& c : cases) {
        CIconButton button;
        EXPECT_EQ(button.LoadIcons(c.active, c.idle), 0) << c.active << "," << c.idle;
        EXPECT_EQ(button.HasIcon(0), c.hasActive) << c.active << "," << c.idle;
        EXPECT_EQ(button.HasIcon(1), c.hasIdle) << c.active << "," << c.idle;
        if (c.hasActive) {
            EXPECT_EQ(button.IconSize(0), QSize(16, 16)) << "the small one of its sizes";
        }
    }
}

// The setter's own rule is the shared state's (drawing tests); here, that a
// checkable push button becomes a check-box button.
TEST_F(IconButtonTest, AttachTurnsACheckableButtonIntoCheckBoxMode) {
    struct Case {
        bool checkable;
        int state;
        int checked;
    };
    const Case cases[] = {{false, 1, 0}, {true, 1, 1}};
    for (const Case& c : cases) {
        CIconButton button;
        button.setCheckable(c.checkable);
        button.Attach();
        EXPECT_EQ(button.CheckBoxMode(), c.checkable);
        EXPECT_EQ(button.SetChecked(c.state, true), 0);
        EXPECT_EQ(button.IsChecked(), c.checked) << c.checkable << "," << c.state;
    }
}

TEST_F(IconButtonTest, CheckBoxModeClicksToggleAndStillReachTheDialog) {
    CIconButton button;
    button.setCheckable(true);
    button.Attach();
    button.resize(40, 20);
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(button.IsChecked(), 1);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(button.IsChecked(), 0);
    EXPECT_EQ(clicked.count(), 2);
    // The button keeps the state itself; the push button's stays clear.
    EXPECT_FALSE(button.isChecked());
}

TEST_F(IconButtonTest, DoubleClickGivesTwoClicks) {
    CIconButton button;
    button.resize(40, 20);
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    // As the platform reports it: the second press comes as a double click.
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseDClick(&button, Qt::LeftButton);
    QTest::mouseRelease(&button, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 2);
}

TEST_F(IconButtonTest, LinkAddressIsOpenedBeforeTheClickReachesTheDialog) {
    CIconButton button;
    button.SetLinkAddress("https://example.invalid/");
    std::vector<QString> events;
    toolkit::SetShellOpenHook([&events](const QString& address) { events.push_back(address); });
    QObject::connect(&button, &QAbstractButton::clicked,
                     [&events] { events.push_back(QStringLiteral("clicked")); });
    button.resize(40, 20);
    QTest::mouseClick(&button, Qt::LeftButton);
    toolkit::SetShellOpenHook(nullptr);
    EXPECT_EQ(events, (std::vector<QString>{QStringLiteral("https://example.invalid/"),
                                            QStringLiteral("clicked")}));
}

TEST_F(IconButtonTest, TipWindowIsMadeOnFirstUseAndStaysHidden) {
    QWidget window;
    auto* button = new CIconButton(&window);
    button->setGeometry(0, 0, 60, 30);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(button->TooltipCreated());
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), button->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(button, &help);
    ASSERT_TRUE(button->TooltipCreated());
    EXPECT_FALSE(button->findChild<QLabel*>()->isVisible());
}

TEST_F(IconButtonTest, HoverOnlyForFlatButtons) {
    for (const bool flat : {true, false}) {
        QWidget window;
        window.resize(120, 60);
        auto* button = new CIconButton(&window);
        button->SetFlatLook(flat, false);
        button->setGeometry(10, 10, 60, 30);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QTest::mouseMove(button, QPoint(30, 15));
        EXPECT_EQ(button->Hover(), flat);
        QTest::mouseMove(&window, QPoint(100, 50));
        EXPECT_FALSE(button->Hover());
    }
}

TEST_F(IconButtonTest, DisablingMovesTheFocusToTheNextTabStop) {
    QWidget window;
    auto* button = new CIconButton(&window);
    auto* next = new QPushButton(QStringLiteral("Next"), &window);
    button->setFocusPolicy(Qt::StrongFocus);
    next->setFocusPolicy(Qt::StrongFocus);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    button->setFocus();
    ASSERT_TRUE(button->hasFocus());
    button->setEnabled(false);
    EXPECT_TRUE(next->hasFocus());
}

}  // namespace
}  // namespace velmoro
