#include <QApplication>

#include "downloader_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmoro Downloader"));
    QApplication::setApplicationVersion(QStringLiteral("2.0"));
    // Matches the window to its desktop entry, and so to its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("velmoro-downloader"));
    velmoro::CDownloaderApp app;
    app.InitInstance();
    return 0;
}
