// Prints the Windows program's main window and About box into BMP files,
// for the README; with a third file, also the main window as it looks during
// a transfer, and with a fourth the port list dropped down over the window.
// tools/screenshot.sh runs it under Wine and makes PNG files. With --night,
// the same in the night look, the fourth picture being a question asked
// during the transfer.
//   velmoro-screenshot [--night] MAIN.bmp ABOUT.bmp [TRANSFER.bmp [PORTS.bmp]]
//   velmoro-screenshot --night MAIN.bmp ABOUT.bmp TRANSFER.bmp QUESTION.bmp

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include <string_view>

#include "about_dialog.h"
#include "downloader_dialog.h"
#include "night_look.h"
#include "preflight.h"

namespace {

using velmoro::win32::CDownloaderDlg;

void Pump() {
    MSG message;
    for (int round = 0; round < 20; ++round) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(25);
    }
}

// The window as it is on the screen, frame and title bar included; with
// over, what lies over it there too (a dropped list).
bool SaveWindow(HWND hwnd, const wchar_t* path, HWND over = nullptr) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    RECT overRect{};
    if (over != nullptr && GetWindowRect(over, &overRect)) {
        UnionRect(&rect, &rect, &overRect);
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (over != nullptr) {
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    } else {
        HDC window = GetWindowDC(hwnd);
        BitBlt(memory, 0, 0, width, height, window, 0, 0, SRCCOPY);
        ReleaseDC(hwnd, window);
    }
    GdiFlush();
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + size);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), static_cast<std::streamsize>(size));
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return out.good();
}

// A Main Program transfer under way, with a file of this platform's.
void ShowTransferUnderWay(CDownloaderDlg& dialog) {
    dialog.dataFilePath = L"C:\\Users\\observer\\Downloads\\hand-controller-main.bin";
    SetDlgItemTextW(dialog.Handle(), velmoro::ids::IDC_FILE_PATH, dialog.dataFilePath.c_str());
    velmoro::window::ShowTransferUnderWay(dialog);
}

// The question a transfer asks, printed with the window under it once the
// box is up, then answered No.
const wchar_t* questionPath = nullptr;
bool questionSaved = false;
HWND questionOwner = nullptr;

void CALLBACK PrintQuestion(HWND box, UINT /*message*/, UINT_PTR timer, DWORD /*time*/) {
    KillTimer(box, timer);
    questionSaved = SaveWindow(questionOwner, questionPath, box);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
}

LRESULT CALLBACK WatchForTheBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && questionPath != nullptr) {
        auto* box = reinterpret_cast<HWND>(wParam);  // NOLINT(performance-no-int-to-ptr)
        if (GetDlgItem(box, 0xFFFF) != nullptr && box != questionOwner) {
            SetTimer(box, 1, 500, PrintQuestion);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const bool night = argc > 1 && std::wstring_view(argv[1]) == L"--night";
    if (night) {
        velmoro::win32::ChangeLook(velmoro::drawing::Look::kNight);
        --argc;
        ++argv;
    }
    if (argc < 3 || argc > 5) {
        std::fputs(
            "usage: velmoro-screenshot [--night] MAIN.bmp ABOUT.bmp [TRANSFER.bmp "
            "[PORTS.bmp|QUESTION.bmp]]\n",
            stderr);
        return 2;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    CDownloaderDlg dialog;
    if (!dialog.Create()) {
        return 1;
    }
    Pump();
    bool saved = SaveWindow(dialog.Handle(), argv[1]);

    velmoro::win32::CAboutDlg about(dialog.Handle());
    if (about.Create()) {
        Pump();
        saved = SaveWindow(about.Handle(), argv[2]) && saved;
        about.EndDialog(IDOK);
    }
    if (argc == 5 && !night) {
        HWND list = dialog.GetDlgItem(velmoro::ids::IDC_PORT_LIST);
        SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
        Pump();
        COMBOBOXINFO combo{};
        combo.cbSize = sizeof combo;
        GetComboBoxInfo(list, &combo);
        saved = SaveWindow(dialog.Handle(), argv[4], combo.hwndList) && saved;
        SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);
        Pump();
    }
    if (argc >= 4) {
        ShowTransferUnderWay(dialog);
        Pump();
        saved = SaveWindow(dialog.Handle(), argv[3]) && saved;
    }
    if (argc == 5 && night) {
        questionPath = argv[4];
        questionOwner = dialog.Handle();
        HHOOK hook = SetWindowsHookExW(WH_CBT, WatchForTheBox, nullptr, GetCurrentThreadId());
        dialog.AskQuestion(velmoro::texts::kNoObjectsQuestion);
        UnhookWindowsHookEx(hook);
        saved = questionSaved && saved;
    }
    return saved ? 0 : 1;
}
