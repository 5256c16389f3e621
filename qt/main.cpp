#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "downloader_app.h"
#include "velmoro_version.h"

namespace {

const char kDescription[] =
    "Loads a firmware image (Main Program) or an object catalogue (Object Catalog) into the\n"
    "hand controller of a telescope mount over a serial line: the desktop program, one\n"
    "window. Its Help button opens the full help. velmoro-downloader-cli makes the same\n"
    "transfers without a window; `velmoro-downloader-cli ports` shows which device each\n"
    "of COM1..COM9 reaches, and `velmoro-downloader-cli doctor` why a port will not open.";

// --help and --version are answered before the window system is reached, so
// that they work without a display: over ssh, and where the build makes the
// manual page from them.
bool AsksForText(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0) {
                return true;
            }
        }
    }
    return false;
}

int PrintText(int argc, char** argv) {
    const QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Displays version information."));
    const QCommandLineOption night(
        QStringLiteral("night"),
        QStringLiteral("Starts in the night look, dim red on black, whatever look was chosen "
                       "last (the system menu's Night Mode chooses it)."));
    const QCommandLineOption day(QStringLiteral("day"),
                                 QStringLiteral("Starts in the day look, whatever look was "
                                                "chosen last."));
    parser.addOptions({help, version, night, day});
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "velmoro-downloader: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(version)) {
        std::printf("velmoro-downloader %s\n", velmoro::build::kVersionLine);
    } else {
        std::fputs(qPrintable(parser.helpText()), stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (AsksForText(argc, argv)) {
        return PrintText(argc, argv);
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmoro Downloader"));
    QApplication::setApplicationVersion(QString::fromLatin1(velmoro::build::kVersion));
    // Matches the window to its desktop entry, and so to its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("velmoro-downloader"));
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments()) {
        arguments.push_back(argument.toStdString());
    }
    velmoro::CDownloaderApp app(arguments);
    app.InitInstance();
    return 0;
}
