#pragma once

// What an icon button remembers between draws, the same on every platform:
// its look settings, hover, check-box state, colours and link address, with
// the setters the dialogs call. A front end derives from it, tells it how to
// repaint and where the system colours come from, and hands Look() to
// DrawIconButton.

#include <array>
#include <cstddef>
#include <cstdint>

#include "draw_list.h"
#include "icon_button_drawing.h"

namespace velmoro::drawing {

// The truncated luminance 0.299 R + 0.587 G + 0.114 B. The products are
// summed green, blue, red: another order rounds (1, 1, 1) down to 0.
std::uint8_t GreyLevel(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
// One pixel of a grey copy, 0xAARRGGBB: pure black stays black, any other
// colour becomes its grey level; alpha is kept.
std::uint32_t GreyPixel(std::uint32_t argb);

class CIconButtonState {
public:
    // The idle icon id that asks for a grey copy of the active icon.
    static constexpr int kGreyIdleIcon = -2;
    // The link address field, terminator included.
    static constexpr std::size_t kLinkAddressSize = 260;

    CIconButtonState();
    virtual ~CIconButtonState() = default;
    CIconButtonState(const CIconButtonState&) = delete;
    CIconButtonState& operator=(const CIconButtonState&) = delete;

    int SetFlatLook(bool flat, bool repaint);
    // Check-box mode only: any non-zero state checks the button.
    int SetChecked(int state, bool repaint);
    int IsChecked() const { return checkState_; }
    // Every background to the button-face colour, every text colour to the
    // button-text colour, as they are now. The front end's constructor calls
    // it: the colours come from the front end.
    int ResetColors(bool repaint);
    // At most kLinkAddressSize - 1 bytes of text are kept; null clears it.
    int SetLinkAddress(const char* text);
    const char* LinkAddress() const { return linkAddress_.data(); }
    bool HasLinkAddress() const { return linkAddress_[0] != '\0'; }

    bool IsFlatLook() const { return flatLook_; }
    bool Hover() const { return hover_; }
    bool CheckBoxMode() const { return checkBoxMode_; }

protected:
    // What a click asks of the front end once the state has taken it.
    enum class ClickResult { kToggled, kOpenLink, kNothing };

    // Asks the front end to draw the button again.
    virtual void Repaint() = 0;
    virtual CSystemColors CurrentSystemColors() const = 0;

    void SetCheckBoxMode(bool on) { checkBoxMode_ = on; }
    // A check-box button toggles; any other opens its link when it has one.
    ClickResult Click();
    // Whether the hover state changed; only flat buttons light up.
    bool StartHover();
    bool EndHover();
    // The state's part of the look; the front end adds the rest.
    IconButtonLook Look() const;

private:
    bool flatLook_ = true;
    bool hover_ = false;
    bool checkBoxMode_ = false;
    int checkState_ = 0;
    std::uint8_t alignment_ = kImageLeft;
    bool drawBorder_ = true;
    bool focusMarkOnFlat_ = false;
    IconButtonColors colors_{};
    std::array<char, kLinkAddressSize> linkAddress_{};
};

}  // namespace velmoro::drawing
