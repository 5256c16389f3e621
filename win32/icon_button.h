#pragma once

// A self-drawn control on Win32: it takes over a control of its dialog,
// collects its state, asks the drawing rules (drawing/) what to draw and
// plays it on the device context with the GDI back-end.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "dialog.h"
#include "draw_list.h"
#include "icon_button_drawing.h"

namespace velmoro::win32 {

// The push button with an icon beside its caption.
class CIconButton : public CSubclassedControl {
public:
    static constexpr int kGreyIdleIcon = -2;
    static constexpr std::size_t kLinkAddressSize = 260;

    CIconButton();
    ~CIconButton() override;

    int LoadIcons(int activeId, int idleId);
    int SetFlatLook(bool flat, bool repaint);
    // Takes the icons over; returns 1, releasing both, when an icon's
    // information cannot be read.
    int AssignIcons(HICON active, HICON idle);
    int SetChecked(int state, bool repaint);
    int IsChecked() const { return checkState_; }
    int ResetColors(bool repaint);
    int SetLinkAddress(const char* text);
    void ReleaseImages(bool destroy);
    bool IsFlatLook() const { return flatLook_; }
    bool IsDefault() const { return isDefault_; }
    bool CheckBoxMode() const { return checkBoxMode_; }
    HICON Icon(int slot) const { return icons_[static_cast<std::size_t>(slot)].handle; }

    void DrawItem(const DRAWITEMSTRUCT& request) override;
    void OnReflectedClick() override;

protected:
    void PreSubclassWindow() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct IconSlot {
        HICON handle = nullptr;
        int width = 0;
        int height = 0;
    };

    HICON MakeGreyIcon(HICON icon) const;
    void Repaint(bool erase);
    void EndHover();

    bool flatLook_ = true;
    bool hover_ = false;
    bool isDefault_ = false;
    bool checkBoxMode_ = false;
    int checkState_ = 0;
    std::uint8_t alignment_ = drawing::kImageLeft;
    bool drawBorder_ = true;
    bool focusMarkOnFlat_ = false;
    drawing::IconButtonColors colors_{};
    std::array<IconSlot, 2> icons_{};
    std::array<char, kLinkAddressSize> linkAddress_{};
};

}  // namespace velmoro::win32
