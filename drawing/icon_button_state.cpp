#include "icon_button_state.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace velmoro::drawing {

std::uint8_t GreyLevel(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint8_t>(0.587 * green + 0.114 * blue + 0.299 * red);
}

std::uint32_t GreyPixel(std::uint32_t argb) {
    if ((argb & 0x00FFFFFFU) == 0) {
        return argb;
    }
    const std::uint32_t grey =
        GreyLevel(static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 8),
                  static_cast<std::uint8_t>(argb));
    return (argb & 0xFF000000U) | (grey << 16) | (grey << 8) | grey;
}

CIconButtonState::CIconButtonState() = default;

int CIconButtonState::SetFlatLook(bool flat, bool repaint) {
    flatLook_ = flat;
    if (repaint) {
        Repaint();
    }
    return 0;
}

int CIconButtonState::SetChecked(int state, bool repaint) {
    if (!checkBoxMode_) {
        return 0;
    }
    checkState_ = state != 0 ? 1 : 0;
    if (repaint) {
        Repaint();
    }
    return 0;
}

int CIconButtonState::ResetColors(bool repaint) {
    colors_ = DefaultIconButtonColors(CurrentSystemColors());
    if (repaint) {
        Repaint();
    }
    return 0;
}

int CIconButtonState::SetLinkAddress(const char* text) {
    linkAddress_.fill('\0');
    if (text != nullptr) {
        const std::string_view address(text);
        std::memcpy(linkAddress_.data(), address.data(),
                    std::min(address.size(), kLinkAddressSize - 1));
    }
    return 0;
}

CIconButtonState::ClickResult CIconButtonState::Click() {
    if (checkBoxMode_) {
        checkState_ = checkState_ == 0 ? 1 : 0;
        Repaint();
        return ClickResult::kToggled;
    }
    return HasLinkAddress() ? ClickResult::kOpenLink : ClickResult::kNothing;
}

bool CIconButtonState::StartHover() {
    if (!flatLook_ || hover_) {
        return false;
    }
    hover_ = true;
    Repaint();
    return true;
}

bool CIconButtonState::EndHover() {
    if (!flatLook_ || !hover_) {
        return false;
    }
    hover_ = false;
    Repaint();
    return true;
}

IconButtonLook CIconButtonState::Look() const {
    IconButtonLook look;
    look.flat = flatLook_;
    look.hover = hover_;
    look.checkBoxMode = checkBoxMode_;
    look.checkState = checkState_;
    look.alignment = alignment_;
    look.drawBorder = drawBorder_;
    look.focusMarkOnFlat = focusMarkOnFlat_;
    look.colours = colors_;
    return look;
}

}  // namespace velmoro::drawing
