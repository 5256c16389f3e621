#pragma once

// The program's one helper for Windows text: UTF-8 (the program's text) to
// and from the wide text of the Win32 API, a window's text, the system's
// own words for an error code, and the long form of a long path.

#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace velmoro {

inline std::wstring Widen(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    std::wstring wide(
        static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0)),
        L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

inline std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    std::string text(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), size,
                                                                  nullptr, 0, nullptr, nullptr)),
                     '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), static_cast<int>(text.size()),
                        nullptr, nullptr);
    return text;
}

// At most maxChars characters of a window's text.
inline std::string WindowText(HWND hwnd, int maxChars) {
    std::vector<wchar_t> text(static_cast<std::size_t>(maxChars) + 1, L'\0');
    const int length = GetWindowTextW(hwnd, text.data(), maxChars + 1);
    return Narrow(std::wstring_view(text.data(), static_cast<std::size_t>(std::max(length, 0))));
}

// FormatMessage's text for error, without its line break, ending in a full
// stop; the number where the system has no text for it.
inline std::string SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer != nullptr) {
        text = Narrow(std::wstring_view(buffer, length));
    }
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        text = "System error " + std::to_string(error);
    }
    if (text.back() != '.') {
        text += '.';
    }
    return text;
}

// A path too long for the system's 260-character limit in its
// extended-length form ("\\?\C:\...", "\\?\UNC\server\share\..."),
// which the file functions take whatever the system's long-path setting;
// the form bypasses the system's tidying of the path, so the full path is
// tidied first. Other paths as they are.
inline std::wstring ExtendedLengthPath(const std::wstring& path) {
    const std::wstring prefix = L"\\\\?\\";
    if (path.size() < MAX_PATH || path.rfind(prefix, 0) == 0) {
        return path;
    }
    std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) {
        return path;
    }
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0) {
        return prefix + L"UNC\\" + full.substr(2);
    }
    return prefix + full;
}

}  // namespace velmoro
