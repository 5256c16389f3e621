// velmoro-downloader-cli on Linux and macOS: Qt's event loop needs its
// application object before anything else; file names pass as they are.

#include <QCoreApplication>

#include "commands.h"

namespace velmoro {

// The system takes a file name's bytes as they come.
std::filesystem::path PathFromArgument(const std::string& argument) {
    return std::filesystem::path(argument);
}

}  // namespace velmoro

int main(int argc, char** argv) {
    const QCoreApplication app(argc, argv);
    return velmoro::RunCli(std::vector<std::string>(argv, argv + argc));
}
