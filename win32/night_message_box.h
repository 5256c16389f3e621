#pragma once

// The program's message boxes. By day they are the system's own; at night
// the system's box would be bright, so the program draws its own in the
// night palette with what the system's has: the caption, the text, the
// icon the MB_ICON* flag asks for (the system's, tinted), the buttons with
// their texts and access keys, the default button, and the same keys
// (Enter, Escape where the system's box lets it end, Tab, the access
// letters) giving the same answers.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace velmoro::win32 {

// Every message box of the program, chosen by the look (CurrentLook).
int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

// The night box whatever the look: MB_OK, MB_OKCANCEL, MB_YESNO and
// MB_YESNOCANCEL, MB_DEFBUTTON1 to 3, any MB_ICON*. Returns IDOK, IDCANCEL,
// IDYES or IDNO.
int NightMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

// The MB_ICON* flag of a night box that is up (0 for any other window).
UINT NightMessageBoxIcon(HWND box);

}  // namespace velmoro::win32
