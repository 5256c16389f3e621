#pragma once

// What the controls ask of the shell, through a seam that tests can answer
// instead of the system.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
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

}  // namespace velmoro::win32
