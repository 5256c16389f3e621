#include <QApplication>

#include "downloader_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmoro Downloader"));
    QApplication::setApplicationVersion(QStringLiteral("2.0"));
    velmoro::CDownloaderApp app;
    app.InitInstance();
    return 0;
}
