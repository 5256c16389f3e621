// The owner-drawn menu: measuring, access keys, the registry and the look.

#include "owner_draw_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QPainter>

#include "system_drawing.h"

namespace velmoro {
namespace {

COwnerDrawMenu::ItemRecord Item(const QString& text, unsigned flags) {
    COwnerDrawMenu::ItemRecord record;
    record.text = text;
    record.flags = flags;
    return record;
}

TEST(OwnerDrawMenu, MeasuresSeparatorsAndItems) {
    // Off Windows XP the standard look measures with a gap of 4 round the
    // 16 by 15 icon column.
    ASSERT_FALSE(COwnerDrawMenu::XpDrawing());
    const COwnerDrawMenu menu;
    const int menuBar = toolkit::GetSystemMetrics(toolkit::SM_CYMENU);

    const QSize separator = menu.MeasureItem(Item(QString(), COwnerDrawMenu::MF_SEPARATOR));
    EXPECT_EQ(separator, QSize(0, std::max(menuBar / 2, (15 + 4) / 2)));

    const QString text = QStringLiteral("&Open\tCtrl+O");
    const QSize item = menu.MeasureItem(Item(text, 0));
    EXPECT_EQ(item.width(), toolkit::MeasureText(toolkit::SystemFont(), text).width() + 2 * 16 + 1);
    EXPECT_EQ(item.height(), std::max(menuBar, 15 + 4));
}

TEST(OwnerDrawMenu, QMenuMeasuresThroughTheClass) {
    COwnerDrawMenu menu;
    auto top = std::make_unique<QMenu>();
    QMenu* popup = top->addMenu(QStringLiteral("Popup"));
    QAction* open = popup->addAction(QStringLiteral("&Open"));
    QAction* separator = popup->addSeparator();
    popup->addAction(QStringLiteral("&Close"));  // a trailing separator collapses
    ASSERT_TRUE(menu.LoadMenu(std::move(top)));
    EXPECT_EQ(popup->actionGeometry(open).height(),
              menu.MeasureItem(Item(QStringLiteral("&Open"), 0)).height());
    EXPECT_EQ(popup->actionGeometry(separator).height(),
              menu.MeasureItem(Item(QString(), COwnerDrawMenu::MF_SEPARATOR)).height());
}

TEST(OwnerDrawMenu, FindAccessKey) {
    QMenu popup;
    popup.addAction(QStringLiteral("&Open"));
    popup.addAction(QStringLiteral("&File\tCtrl+F"));
    popup.addAction(QStringLiteral("Sa&ve"));
    struct Case {
        QChar key;
        unsigned flags;
        const QMenu* menu;
        std::uint32_t result;
    };
    const Case cases[] = {
        {'f', COwnerDrawMenu::MF_POPUP, &popup, 0x20001},
        {'F', COwnerDrawMenu::MF_POPUP, &popup, 0x20001},
        {'o', COwnerDrawMenu::MF_POPUP, &popup, 0x20000},
        {'V', COwnerDrawMenu::MF_POPUP, &popup, 0x20002},
        {'s', COwnerDrawMenu::MF_POPUP, &popup, 0},  // no '&' before the s
        {'f', 0, &popup, 0},                         // not a popup
        {'f', COwnerDrawMenu::MF_POPUP, nullptr, 0},
    };
    COwnerDrawMenu menu;
    for (const Case& c : cases) {
        EXPECT_EQ(menu.FindAccessKey(c.key, c.flags, c.menu), c.result)
            << QString(c.key).toStdString() << " flags " << c.flags;
    }
}

TEST(OwnerDrawMenu, RegistryFollowsTheMenusLifetime) {
    const std::size_t before = COwnerDrawMenu::RegisteredMenuCount();
    EXPECT_EQ(before, 0u);
    {
        const COwnerDrawMenu empty;
        EXPECT_FALSE(COwnerDrawMenu::OwnsMenu(&empty));
        EXPECT_FALSE(COwnerDrawMenu::OwnsMenuHandle(nullptr));
    }
    EXPECT_EQ(COwnerDrawMenu::RegisteredMenuCount(), before);

    // A submenu that is not the menu's child outlives it and must leave the
    // registry and the menu's style behind.
    QMenu outsider(QStringLiteral("Outsider"));
    {
        COwnerDrawMenu menu;
        auto top = std::make_unique<QMenu>();
        QMenu* child = top->addMenu(QStringLiteral("Child"));
        top->addMenu(&outsider);
        const QMenu* topHandle = top.get();
        ASSERT_TRUE(menu.LoadMenu(std::move(top)));
        EXPECT_TRUE(COwnerDrawMenu::OwnsMenu(&menu));
        EXPECT_TRUE(COwnerDrawMenu::OwnsMenuHandle(topHandle));
        EXPECT_TRUE(COwnerDrawMenu::OwnsMenuHandle(child));
        EXPECT_TRUE(COwnerDrawMenu::OwnsMenuHandle(&outsider));
        EXPECT_EQ(menu.GetSubMenu(0), child);
        EXPECT_EQ(menu.GetSubMenu(2), nullptr);
        EXPECT_EQ(COwnerDrawMenu::RegisteredMenuCount(), before + 3);
    }
    EXPECT_EQ(COwnerDrawMenu::RegisteredMenuCount(), before);
    EXPECT_FALSE(COwnerDrawMenu::OwnsMenuHandle(&outsider));
    EXPECT_EQ(outsider.style(), QApplication::style());
}

TEST(OwnerDrawMenu, VersionCodes) {
    struct Case {
        bool nt;
        int major;
        int minor;
        int code;
    };
    const Case cases[] = {
        {false, 3, 10, 0}, {false, 4, 0, 2}, {false, 4, 10, 3}, {false, 4, 90, 4}, {true, 4, 0, 5},
        {true, 5, 0, 6},   {true, 5, 1, 7},  {true, 5, 2, 1},   {true, 10, 0, 1},  {true, 3, 51, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(COwnerDrawMenu::WindowsVersionCode(c.nt, c.major, c.minor), c.code)
            << c.nt << " " << c.major << "." << c.minor;
    }
}

TEST(OwnerDrawMenu, XpRoutineOnlyOnThemedXpWithoutPalette) {
    struct Case {
        int versionCode;
        const char* theme;
        bool paletteDisplay;
        bool xp;
    };
    const Case cases[] = {
        {7, "C:\\WINDOWS\\Resources\\Themes\\Luna.theme", false, true},
        {7, "C:\\WINDOWS\\Resources\\Themes\\WINDOWS CLASSIC.THEME", false, false},
        {7, "", false, true},
        {7, "C:\\WINDOWS\\Resources\\Themes\\Luna.theme", true, false},
        {6, "", false, false},
        {1, "", false, false},
    };
    for (const Case& c : cases) {
        const bool classic = COwnerDrawMenu::IsClassicThemeFile(QString::fromLatin1(c.theme));
        EXPECT_EQ(COwnerDrawMenu::UsesXpRoutine(c.versionCode, classic, c.paletteDisplay), c.xp)
            << c.versionCode << " '" << c.theme << "' palette " << c.paletteDisplay;
    }
}

TEST(OwnerDrawMenu, SelectedStandardItemLeavesTheIconColumnOfCheckedItems) {
    const COwnerDrawMenu menu;
    const QRgb highlight = toolkit::GetSysColor(toolkit::COLOR_HIGHLIGHT).rgb();
    struct Case {
        unsigned state;
        int firstHighlighted;
    };
    const Case cases[] = {
        {COwnerDrawMenu::ODS_SELECTED, 0},
        {COwnerDrawMenu::ODS_SELECTED | COwnerDrawMenu::ODS_CHECKED, 16 + 5},
        {0, -1},
    };
    for (const Case& c : cases) {
        QImage image(120, 20, QImage::Format_RGB32);
        QPainter painter(&image);
        menu.DrawItem(painter, image.rect(), Item(QString(), 0), c.state);
        painter.end();
        int first = -1;
        for (int x = 0; x < image.width() && first < 0; ++x) {
            if (image.pixel(x, 10) == highlight) {
                first = x;
            }
        }
        EXPECT_EQ(first, c.firstHighlighted) << "state " << c.state;
    }
}

TEST(OwnerDrawMenu, LightenColor) {
    EXPECT_EQ(COwnerDrawMenu::LightenColor(QColor(0, 100, 255), 0.5), QColor(127, 177, 255));
    EXPECT_EQ(COwnerDrawMenu::LightenColor(QColor(10, 20, 30), 1.0), QColor(255, 255, 255));
    EXPECT_EQ(COwnerDrawMenu::LightenColor(QColor(10, 20, 30), 0.0), QColor(10, 20, 30));
    EXPECT_EQ(COwnerDrawMenu::LightenColor(QColor(10, 20, 30), 1.5), QColor(10, 20, 30));
}

}  // namespace
}  // namespace velmoro
