#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velmoro {

// The program's life: the main window, run modally, in the look remembered
// or the one its command line names; the program ends when it closes.
class CDownloaderApp {
public:
    explicit CDownloaderApp(std::vector<std::string> arguments = {})
        : arguments_(std::move(arguments)) {}

    // Returns false: there is nothing to run after the window.
    bool InitInstance();

private:
    std::vector<std::string> arguments_;
};

}  // namespace velmoro
