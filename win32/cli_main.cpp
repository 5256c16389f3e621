// velmoro-downloader-cli on Windows: the arguments in UTF-8, whatever the
// console's code page, and output in UTF-8 as well.

#include <windows.h>

#include <shellapi.h>

#include "commands.h"
#include "text.h"

namespace velmoro {

// The arguments were made UTF-8 from the wide command line: the path takes
// them back as UTF-8, whatever the code page.
std::filesystem::path PathFromArgument(const std::string& argument) {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(argument.data()), argument.size()));
}

}  // namespace velmoro

int main() {
    SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        arguments.push_back(velmoro::Narrow(wide[i]));
    }
    LocalFree(wide);
    return velmoro::RunCli(arguments);
}
