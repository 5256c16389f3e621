// velmoro-downloader-cli on Linux and macOS: Qt's event loop needs its
// application object before anything else.

#include <QCoreApplication>

#include "commands.h"

int main(int argc, char** argv) {
    const QCoreApplication app(argc, argv);
    return velmoro::RunCli(std::vector<std::string>(argv, argv + argc));
}
