#pragma once

namespace velmoro {

// The program's life: the main window, run modally; the program ends when it
// closes.
class CDownloaderApp {
public:
    // Returns false: there is nothing to run after the window.
    bool InitInstance();
};

}  // namespace velmoro
