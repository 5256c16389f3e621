#pragma once

// A self-drawn control on Win32: it takes over a control of its dialog,
// collects its state, asks the drawing rules (drawing/) what to draw and
// plays it on the device context with the GDI back-end.

#include <array>
#include <cstddef>

#include "dialog.h"
#include "draw_list.h"
#include "icon_button_drawing.h"
#include "icon_button_state.h"
#include "owner_draw_menu.h"

namespace velmoro::win32 {

// The push button with an icon beside its caption. It can also act as a
// toggle (check-box mode), light up under the mouse when flat and open a
// link address with the shell, showing the hand cursor while it has one.
class CIconButton : public CSubclassedControl, public drawing::CIconButtonState {
public:
    CIconButton();
    ~CIconButton() override;

    // The icons at the small icon size of the button's DPI.
    int LoadIcons(int activeId, int idleId);
    // The window moved to a monitor of this DPI: icons loaded by id are
    // loaded again at its size.
    void SetDpi(UINT dpi);
    // Colours and icons loaded by id in the look the program has now.
    void FollowLook();
    // Takes the icons over; returns 1, releasing both, when an icon's
    // information cannot be read.
    int AssignIcons(HICON active, HICON idle);
    void ReleaseImages(bool destroy);
    bool IsDefault() const { return isDefault_; }
    HICON Icon(int slot) const { return icons_[static_cast<std::size_t>(slot)].handle; }
    COwnerDrawMenu& Menu() { return menu_; }
    const COwnerDrawMenu& Menu() const { return menu_; }
    bool TooltipCreated() const { return tooltip_ != nullptr; }
    HWND Tooltip() const { return tooltip_; }

    void DrawItem(const DRAWITEMSTRUCT& request) override;
    void OnReflectedClick() override;

protected:
    void Repaint() override;
    drawing::CSystemColors CurrentSystemColors() const override;
    void PreSubclassWindow() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct IconSlot {
        HICON handle = nullptr;
        int width = 0;
        int height = 0;
    };

    HICON MakeGreyIcon(HICON icon) const;
    void EnsureTooltip();

    bool isDefault_ = false;
    std::array<IconSlot, 2> icons_{};
    // The ids LoadIcons was given (0: none), and the DPI the system last
    // told of (0: the window's own).
    int activeId_ = 0;
    int idleId_ = 0;
    UINT dpi_ = 0;
    COwnerDrawMenu menu_;
    HWND tooltip_ = nullptr;
};

}  // namespace velmoro::win32
