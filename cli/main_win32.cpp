// velmoro-downloader-cli on Windows: the arguments in UTF-8, whatever the
// console's code page, and output in UTF-8 as well.

#include <windows.h>

#include <shellapi.h>

#include "commands.h"
#include "win32_text.h"

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
