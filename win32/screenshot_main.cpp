// Prints the Windows program's main window and About box into BMP files,
// for the README; with a third file, also the main window as it looks during
// a transfer. tools/screenshot.sh runs it under Wine and makes PNG files.
//   velmoro-screenshot MAIN.bmp ABOUT.bmp [TRANSFER.bmp]

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "about_dialog.h"
#include "downloader_dialog.h"

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

// The window as it is on the screen, frame and title bar included.
bool SaveWindow(HWND hwnd, const wchar_t* path) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    HDC window = GetWindowDC(hwnd);
    BitBlt(memory, 0, 0, width, height, window, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, window);
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

// A Main Program transfer under way: what the engine has shown through the
// window face by the time the controller has taken 42% of the image. No port
// is opened; the window only looks the part.
void ShowTransferUnderWay(CDownloaderDlg& dialog) {
    dialog.dataFilePath = L"C:\\Users\\observer\\Downloads\\hand-controller-main.bin";
    SetDlgItemTextW(dialog.Handle(), velmoro::ids::IDC_FILE_PATH, dialog.dataFilePath.c_str());
    dialog.ClearLog();
    dialog.AppendLog("Please reset the KARVELIN(MORDAVEX),Waiting for connection ... \r\n");
    dialog.AppendLog("Connected.\r\n");
    dialog.AppendLog("Processing ...   Please wait ...\r\n");
    dialog.SetProgressRange(0, 100);
    dialog.SetProgressPos(42);
    dialog.SetStartStopCaption("Stop Download(&D)");
    dialog.EnableOpenButton(false);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 && argc != 4) {
        std::fputs("usage: velmoro-screenshot MAIN.bmp ABOUT.bmp [TRANSFER.bmp]\n", stderr);
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
    if (argc == 4) {
        ShowTransferUnderWay(dialog);
        Pump();
        saved = SaveWindow(dialog.Handle(), argv[3]) && saved;
    }
    return saved ? 0 : 1;
}
