#pragma once

// What the windows ask of the shell and of the file dialog, through seams
// that tests can answer instead of the system.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace velmoro::win32 {

struct ShellOpenRequest {
    HWND owner = nullptr;
    std::wstring verb;
    std::wstring file;
    int show = SW_SHOW;
};

// The shell's verb on a file path or a web address. The result is not
// reported: a missing file or a missing browser is the shell's to tell.
void ShellOpen(const ShellOpenRequest& request);

// While set, answers in place of the shell.
void SetShellOpenHook(std::function<void(const ShellOpenRequest&)> hook);

// The file-open dialog owned by owner: default title, every file listed, the
// read-only box hidden; the chosen file need not exist. Empty when cancelled.
std::optional<std::wstring> FileOpenDialog(HWND owner);

// While set, answers in place of the file dialog.
void SetFileOpenHook(std::function<std::optional<std::wstring>()> hook);

}  // namespace velmoro::win32
