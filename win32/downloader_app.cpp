// The Windows desktop program: the application object runs the main window
// modally and the program ends with it.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "downloader_dialog.h"

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
    velmoro::win32::CDownloaderApp app;
    app.InitInstance();
    return 0;
}
