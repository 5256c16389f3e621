// The Windows desktop program: the application object runs the main window
// modally and the program ends with it.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "downloader_dialog.h"
#include "look.h"
#include "night_look.h"
#include "text.h"

namespace velmoro::win32 {

class CDownloaderApp {
public:
    // Returns false: the program ends when the main window closes.
    bool InitInstance() {
        // A single-threaded apartment, as the file dialog, the shell's verbs
        // and the screen readers' questions to the progress bar expect of
        // the thread that shows windows.
        const HRESULT com =
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        {
            CDownloaderDlg dialog;
            dialog.DoModal();
        }
        if (SUCCEEDED(com)) {
            CoUninitialize();
        }
        return false;
    }
};

}  // namespace velmoro::win32

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    // The look remembered, unless "--night" or "--day" says otherwise for
    // this start.
    std::vector<std::string> arguments;
    int count = 0;
    if (LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) {
            arguments.push_back(velmoro::Narrow(words[i]));
        }
        LocalFree(words);
    }
    velmoro::win32::ChangeLook(
        velmoro::window::StartingLook(velmoro::window::RememberedLook(), arguments));
    velmoro::win32::CDownloaderApp app;
    app.InitInstance();
    return 0;
}
