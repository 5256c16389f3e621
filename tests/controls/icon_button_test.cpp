// The icon button painted into images and driven with mouse and keys.

#include "icon_button.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <string>
#include <vector>

#include "platform.h"
#include "system_drawing.h"

namespace velmoro {
namespace {

using toolkit::GetSysColor;

constexpr QRgb kRed = 0xFFFF0000;

// Every role the button paints with gets a colour of its own, so a pixel
// tells which role painted it.
class IconButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = QApplication::palette();
        QPalette palette = saved_;
        palette.setColor(QPalette::Button, QColor(200, 200, 200));
        palette.setColor(QPalette::ButtonText, QColor(0, 0, 0));
        palette.setColor(QPalette::Light, QColor(255, 255, 255));
        palette.setColor(QPalette::Midlight, QColor(230, 230, 210));
        palette.setColor(QPalette::Dark, QColor(120, 120, 140));
        palette.setColor(QPalette::Shadow, QColor(40, 40, 40));
        QApplication::setPalette(palette);
    }
    void TearDown() override { QApplication::setPalette(saved_); }

    static QImage Paint(CIconButton& button, unsigned state) {
        QImage image(button.size(), QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter painter(&image);
        button.DrawItem(painter, image.rect(), state);
        return image;
    }

    static QIcon SolidIcon(QRgb colour, int size) {
        QPixmap pixmap(size, size);
        pixmap.fill(QColor::fromRgba(colour));
        return QIcon(pixmap);
    }

    // The top-left corner of the pixels of this exact colour; (-1, -1) when
    // there are none.
    static QPoint FindColour(const QImage& image, QRgb colour) {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixel(x, y) == colour) {
                    return QPoint(x, y);
                }
            }
        }
        return QPoint(-1, -1);
    }

    // The leftmost column holding text ink inside the frame.
    static int InkLeft(const QImage& image) {
        for (int x = 3; x < image.width() - 3; ++x) {
            for (int y = 3; y < image.height() - 3; ++y) {
                const QRgb pixel = image.pixel(x, y);
                if (pixel != kRed && qGray(pixel) < 100) {
                    return x;
                }
            }
        }
        return -1;
    }

    static QRgb Rgb(int role) { return GetSysColor(role).rgb(); }

    QPalette saved_;
};

TEST_F(IconButtonTest, ThreeDimensionalBevelAndPressedFrame) {
    using namespace toolkit;
    CIconButton button;
    button.SetFlatLook(false, false);
    button.resize(40, 20);
    struct Case {
        unsigned state;
        QPoint at;
        int role;
    };
    const Case cases[] = {
        // Highlight along the top and left, the corner far right going to
        // the dark shadow that runs down the right and along the bottom.
        {0, {0, 0}, COLOR_BTNHIGHLIGHT},
        {0, {38, 0}, COLOR_BTNHIGHLIGHT},
        {0, {0, 18}, COLOR_BTNHIGHLIGHT},
        {0, {39, 0}, COLOR_3DDKSHADOW},
        {0, {0, 19}, COLOR_3DDKSHADOW},
        {0, {39, 19}, COLOR_3DDKSHADOW},
        {0, {20, 19}, COLOR_3DDKSHADOW},
        // Light one pixel in, shadow one pixel in from the bottom right.
        {0, {1, 1}, COLOR_3DLIGHT},
        {0, {37, 1}, COLOR_3DLIGHT},
        {0, {1, 17}, COLOR_3DLIGHT},
        {0, {38, 1}, COLOR_BTNSHADOW},
        {0, {1, 18}, COLOR_BTNSHADOW},
        {0, {20, 18}, COLOR_BTNSHADOW},
        {0, {38, 10}, COLOR_BTNSHADOW},
        {0, {20, 10}, COLOR_BTNFACE},
        // Pressed: one shadow frame in place of the bevel.
        {CIconButton::ODS_SELECTED, {0, 0}, COLOR_BTNSHADOW},
        {CIconButton::ODS_SELECTED, {39, 19}, COLOR_BTNSHADOW},
        {CIconButton::ODS_SELECTED, {1, 1}, COLOR_BTNFACE},
        {CIconButton::ODS_SELECTED, {38, 18}, COLOR_BTNFACE},
    };
    for (const Case& c : cases) {
        const QImage image = Paint(button, c.state);
        EXPECT_EQ(image.pixel(c.at), Rgb(c.role))
            << "state " << c.state << " at " << c.at.x() << "," << c.at.y();
    }
}

TEST_F(IconButtonTest, BlackFrameForFocusOrDefaultAndFocusRectangleForFocus) {
    using namespace toolkit;
    struct Case {
        bool flat;
        bool focus;
        bool isDefault;
        bool blackFrame;
        bool focusDots;
    };
    const Case cases[] = {
        {false, true, false, true, true},    {false, false, true, true, false},
        {false, false, false, false, false}, {true, true, false, false, false},
        {true, false, true, false, false},
    };
    const QRgb face = Rgb(COLOR_BTNFACE);
    for (const Case& c : cases) {
        CIconButton button;
        button.SetFlatLook(c.flat, false);
        button.setDefault(c.isDefault);
        button.resize(40, 20);
        const QImage image = Paint(button, c.focus ? CIconButton::ODS_FOCUS : 0);
        const std::string row = "flat " + std::to_string(c.flat) + " focus " +
                                std::to_string(c.focus) + " default " + std::to_string(c.isDefault);
        EXPECT_EQ(image.pixel(0, 0) == qRgb(0, 0, 0), c.blackFrame) << row;
        EXPECT_EQ(image.pixel(39, 19) == qRgb(0, 0, 0), c.blackFrame) << row;
        if (c.blackFrame) {
            EXPECT_EQ(image.pixel(1, 1), Rgb(COLOR_BTNHIGHLIGHT)) << row;
        }
        // The dotted rectangle starts 3 pixels inside the bevel's outer edge,
        // inverting every other pixel.
        EXPECT_EQ(image.pixel(4, 4) == (~face | 0xFF000000), c.focusDots) << row;
        EXPECT_EQ(image.pixel(5, 4), face) << row;
    }
}

TEST_F(IconButtonTest, ImagePlacement) {
    struct Case {
        std::uint8_t alignment;
        const char* caption;
        unsigned state;
        bool checkBox;
        QPoint topLeft;
    };
    // A 16-pixel icon on a 100 by 40 button.
    const Case cases[] = {
        {CIconButton::kImageLeft, "Help", 0, false, {3, 12}},
        {CIconButton::kImageLeft, "", 0, false, {42, 12}},
        {CIconButton::kImageLeft, "Help", CIconButton::ODS_SELECTED, false, {4, 13}},
        {CIconButton::kImageLeft, "Help", CIconButton::ODS_SELECTED, true, {3, 12}},
        {CIconButton::kImageAbove, "Help", 0, false, {42, 3}},
        {CIconButton::kImageAbove, "", 0, false, {42, 12}},
        {CIconButton::kImageRight, "Help", 0, false, {81, 12}},
        {CIconButton::kImageRight, "", 0, false, {42, 0}},
    };
    for (const Case& c : cases) {
        CIconButton button;
        if (c.checkBox) {
            button.setCheckable(true);
            button.Attach();
        }
        button.SetFlatLook(false, false);
        button.setText(QString::fromLatin1(c.caption));
        button.SetAlignment(c.alignment);
        button.resize(100, 40);
        ASSERT_EQ(button.AssignIcons(SolidIcon(kRed, 16)), 0);
        EXPECT_EQ(FindColour(Paint(button, c.state), kRed), c.topLeft)
            << "alignment " << int(c.alignment) << " caption '" << c.caption << "' state "
            << c.state << " check box " << c.checkBox;
    }
}

TEST_F(IconButtonTest, CaptionIsCentredInTheAreaRightOfTheIcon) {
    CIconButton button;
    button.SetFlatLook(false, false);
    button.setText(QStringLiteral("Help"));
    button.resize(100, 40);
    const int alone = InkLeft(Paint(button, 0));
    ASSERT_GE(alone, 0);
    // The area narrows from [0, 100) to [16 + 3, 100): its centre moves 9.5.
    button.AssignIcons(SolidIcon(kRed, 16));
    EXPECT_NEAR(InkLeft(Paint(button, 0)) - alone, 9.5, 1.0);
    // Pressed, the caption moves one pixel further.
    EXPECT_NEAR(InkLeft(Paint(button, CIconButton::ODS_SELECTED)) - alone, 10.5, 1.0);
}

TEST_F(IconButtonTest, DisabledDrawsTheIconEmbossed) {
    CIconButton button;
    button.SetFlatLook(false, false);
    button.resize(40, 40);
    button.AssignIcons(SolidIcon(kRed, 16));
    const QImage image = Paint(button, CIconButton::ODS_DISABLED);
    EXPECT_EQ(FindColour(image, kRed), QPoint(-1, -1));
    EXPECT_EQ(image.pixel(12, 12), Rgb(toolkit::COLOR_BTNSHADOW));
    EXPECT_EQ(image.pixel(28, 28), Rgb(toolkit::COLOR_BTNHIGHLIGHT));
}

TEST_F(IconButtonTest, GreyCopyUsesTruncatedLuminanceAndKeepsBlack) {
    struct Case {
        QRgb in;
        int grey;
    };
    // (1, 1, 1) stays 1 only when the products are summed green, blue, red.
    const Case cases[] = {
        {qRgb(0, 0, 0), 0},         {qRgb(255, 0, 0), 76},      {qRgb(10, 200, 30), 123},
        {qRgb(100, 150, 200), 140}, {qRgb(255, 255, 255), 255}, {qRgb(1, 1, 1), 1},
    };
    QImage source(std::size(cases), 1, QImage::Format_ARGB32);
    for (int x = 0; x < source.width(); ++x) {
        source.setPixel(x, 0, cases[x].in);
    }
    const QIcon grey = CIconButton::MakeGreyIcon(QIcon(QPixmap::fromImage(source)));
    ASSERT_FALSE(grey.isNull());
    const QImage out = grey.pixmap(source.size()).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(out.size(), source.size());
    for (int x = 0; x < source.width(); ++x) {
        const int g = cases[x].grey;
        EXPECT_EQ(out.pixel(x, 0), qRgba(g, g, g, 255)) << "pixel " << x;
    }
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

TEST_F(IconButtonTest, GreyIdleIconAtRestColouredWhenPressed) {
    const auto hasColour = [](const QImage& image) {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                if (qRed(p) != qGreen(p) || qGreen(p) != qBlue(p)) {
                    return true;
                }
            }
        }
        return false;
    };
    CIconButton button;
    button.resize(48, 48);
    ASSERT_EQ(button.LoadIcons(131, CIconButton::kGreyIdleIcon), 0);
    EXPECT_FALSE(hasColour(Paint(button, 0)));
    EXPECT_TRUE(hasColour(Paint(button, CIconButton::ODS_SELECTED)));
}

TEST_F(IconButtonTest, SetCheckedOnlyInCheckBoxMode) {
    struct Case {
        bool checkable;
        int state;
        int checked;
    };
    const Case cases[] = {{false, 1, 0}, {true, 1, 1}, {true, 5, 1}, {true, 0, 0}};
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

TEST_F(IconButtonTest, LinkAddressIsCutAndOpenedBeforeTheClickReachesTheDialog) {
    CIconButton button;
    const std::string longAddress(300, 'a');
    button.SetLinkAddress(longAddress.c_str());
    EXPECT_EQ(std::strlen(button.LinkAddress()), CIconButton::kLinkAddressSize - 1);
    button.SetLinkAddress(nullptr);
    EXPECT_STREQ(button.LinkAddress(), "");

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

TEST_F(IconButtonTest, TipWindowMadeOnFirstUseShowsOnlyOnceGivenText) {
    QWidget window;
    auto* button = new CIconButton(&window);
    button->setGeometry(0, 0, 60, 30);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(button->TooltipCreated());
    const auto ask = [button] {
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), button->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(button, &help);
    };
    ask();
    ASSERT_TRUE(button->TooltipCreated());
    const auto tipWindow = [button] { return button->findChild<QLabel*>(); };
    EXPECT_FALSE(tipWindow()->isVisible());
    button->SetTooltipText(QString(120, QLatin1Char('w')).replace(10, 1, QLatin1Char(' ')));
    ask();
    EXPECT_TRUE(tipWindow()->isVisible());
    EXPECT_LE(tipWindow()->width(), 400);
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

TEST_F(IconButtonTest, PopupMenuUnderTheButtonThenTheCommand) {
    QWidget window;
    window.resize(200, 120);
    auto* button = new CIconButton(&window);
    button->SetFlatLook(false, false);
    button->setGeometry(10, 10, 60, 30);
    auto menu = std::make_unique<QMenu>();
    QMenu* popup = menu->addMenu(QStringLiteral("Popup"));
    popup->addAction(QStringLiteral("&First"))->setData(7);
    ASSERT_TRUE(button->SetMenu(std::move(menu)));
    EXPECT_TRUE(COwnerDrawMenu::OwnsMenuHandle(popup));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    std::vector<QString> events;
    QObject::connect(button, &QAbstractButton::clicked,
                     [&events] { events.push_back(QStringLiteral("clicked")); });
    QObject::connect(button, &CIconButton::MenuCommand,
                     [&events](int id) { events.push_back(QStringLiteral("command %1").arg(id)); });
    QPoint shownAt;
    QRgb cornerWhileShown = 0;
    QTimer::singleShot(0, [&] {
        QWidget* shown = QApplication::activePopupWidget();
        if (shown == nullptr) {
            return;
        }
        shownAt = shown->pos();
        cornerWhileShown = Paint(*button, 0).pixel(0, 0);
        QTest::keyClick(shown, Qt::Key_Down);
        QTest::keyClick(shown, Qt::Key_Return);
    });
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(shownAt, button->mapToGlobal(QPoint(0, 30)));
    // The button looks pressed while its menu is open.
    EXPECT_EQ(cornerWhileShown, Rgb(toolkit::COLOR_BTNSHADOW));
    EXPECT_EQ(Paint(*button, 0).pixel(0, 0), Rgb(toolkit::COLOR_BTNHIGHLIGHT));
    QCoreApplication::processEvents();
    EXPECT_EQ(events,
              (std::vector<QString>{QStringLiteral("clicked"), QStringLiteral("command 7")}));
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
