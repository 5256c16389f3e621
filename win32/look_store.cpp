// The look remembered across starts, in the registry under the user's key.
// VELMORO_SETTINGS_KEY names another key below HKEY_CURRENT_USER, so that
// tests keep their own and never touch the user's.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <array>
#include <string>

#include "look.h"

namespace velmoro::window {

namespace {

constexpr const wchar_t* kUserKey = L"Software\\Velmoro\\Velmoro Downloader";
constexpr const wchar_t* kNightValue = L"NightMode";

std::wstring SettingsKey() {
    std::array<wchar_t, 512> key{};
    const DWORD length = GetEnvironmentVariableW(L"VELMORO_SETTINGS_KEY", key.data(),
                                                 static_cast<DWORD>(key.size()));
    if (length > 0 && length < key.size()) {
        return key.data();
    }
    return kUserKey;
}

}  // namespace

drawing::Look RememberedLook() {
    DWORD night = 0;
    DWORD size = sizeof night;
    if (RegGetValueW(HKEY_CURRENT_USER, SettingsKey().c_str(), kNightValue, RRF_RT_REG_DWORD,
                     nullptr, &night, &size) != ERROR_SUCCESS) {
        return drawing::Look::kDay;
    }
    return night != 0 ? drawing::Look::kNight : drawing::Look::kDay;
}

void RememberLook(drawing::Look look) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKey().c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    const DWORD night = look == drawing::Look::kNight ? 1 : 0;
    RegSetValueExW(key, kNightValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&night),
                   sizeof night);
    RegCloseKey(key);
}

}  // namespace velmoro::window
