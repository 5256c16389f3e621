// The owner-drawn menu on Qt: the QMenu measures through it; access keys and
// the registry.

#include "owner_draw_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>

namespace velmoro {
namespace {

COwnerDrawMenu::ItemRecord Item(const QString& text, unsigned flags) {
    COwnerDrawMenu::ItemRecord record;
    record.text = text;
    record.flags = flags;
    return record;
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
              menu.MeasureItem(Item(QString(), drawing::kMenuSeparator)).height());
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
        {'f', drawing::kMenuPopup, &popup, 0x20001},
        {'F', drawing::kMenuPopup, &popup, 0x20001},
        {'o', drawing::kMenuPopup, &popup, 0x20000},
        {'V', drawing::kMenuPopup, &popup, 0x20002},
        {'s', drawing::kMenuPopup, &popup, 0},  // no '&' before the s
        {'f', 0, &popup, 0},                    // not a popup
        {'f', drawing::kMenuPopup, nullptr, 0},
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

}  // namespace
}  // namespace velmoro
