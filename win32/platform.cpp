#include "platform.h"

#include <commdlg.h>
#include <shellapi.h>

#include <utility>
#include <vector>

namespace velmoro::win32 {

namespace {

std::function<void(const ShellOpenRequest&)>& ShellOpenHook() {
    static std::function<void(const ShellOpenRequest&)> hook;
    return hook;
}

std::function<std::optional<std::wstring>()>& FileOpenHook() {
    static std::function<std::optional<std::wstring>()> hook;
    return hook;
}

}  // namespace

void ShellOpen(const ShellOpenRequest& request) {
    if (ShellOpenHook()) {
        ShellOpenHook()(request);
        return;
    }
    ShellExecuteW(request.owner, request.verb.c_str(), request.file.c_str(), nullptr, nullptr,
                  request.show);
}

void SetShellOpenHook(std::function<void(const ShellOpenRequest&)> hook) {
    ShellOpenHook() = std::move(hook);
}

std::optional<std::wstring> FileOpenDialog(HWND owner) {
    if (FileOpenHook()) {
        return FileOpenHook()();
    }
    std::vector<wchar_t> path(32768, L'\0');
    OPENFILENAMEW open{};
    open.lStructSize = sizeof open;
    open.hwndOwner = owner;
    open.lpstrFile = path.data();
    open.nMaxFile = static_cast<DWORD>(path.size());
    // The chosen file does not have to exist: a missing one is reported at
    // Start. The working directory stays where it was, so the folder of the
    // file (a USB stick, say) is not held open and can be ejected.
    open.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&open)) {
        return std::nullopt;
    }
    return std::wstring(path.data());
}

void SetFileOpenHook(std::function<std::optional<std::wstring>()> hook) {
    FileOpenHook() = std::move(hook);
}

}  // namespace velmoro::win32
