// The hover button as a widget: its hover look follows the mouse, and its
// caption comes from the window text.

#include "hover_button.h"

#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QTest>
#include <algorithm>

#include "window_text.h"

namespace velmoro {
namespace {

using drawing::PolylineOp;
using drawing::StateTextOp;

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

// The orange frame is drawn: the button shows its hover look.
bool ShowsHoverFrame(const CHoverButton& button) {
    const drawing::DrawList list = button.Record(0);
    return std::any_of(list.begin(), list.end(), [](const drawing::DrawOp& op) {
        const auto* line = std::get_if<PolylineOp>(&op);
        return line != nullptr && line->pen.colour == drawing::Fixed(250, 196, 88);
    });
}

TEST(HoverButton, HoverFlagFollowsEnterAndLeave) {
    CHoverButton button;
    button.setText(QStringLiteral("OK"));
    button.resize(160, 23);

    MouseOver(button);
    EXPECT_TRUE(button.Tracking());
    EXPECT_TRUE(ShowsHoverFrame(button));

    MouseLeave(button);
    EXPECT_FALSE(button.Hover());
    EXPECT_FALSE(button.Tracking());
    EXPECT_FALSE(ShowsHoverFrame(button));

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
    EXPECT_FALSE(ShowsHoverFrame(button));
    MouseLeave(button);
    QCoreApplication::sendEvent(&button, &enter);
    EXPECT_FALSE(button.Tracking());
    QTest::qWait(20);
    EXPECT_FALSE(button.Hover());
}

TEST(HoverButton, CaptionIsTheWindowTextCutAt259Bytes) {
    CHoverButton button;
    button.resize(1400, 23);
    const auto caption = [&button] {
        for (const drawing::DrawOp& op : button.Record(0)) {
            if (const auto* text = std::get_if<StateTextOp>(&op)) {
                return text->text;
            }
        }
        return std::string();
    };
    toolkit::SetWindowText(&button, "Stop Download(&D)");
    EXPECT_EQ(caption(), "Stop Download(&D)");
    button.setText(QString(300, QLatin1Char('i')));
    EXPECT_EQ(caption(), std::string(259, 'i'));
}

}  // namespace
}  // namespace velmoro
