// Draws the main window and the About box into PNG files, for the README.
//   velmoro-screenshot MAIN.png ABOUT.png

#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "about_dialog.h"
#include "downloader_dialog.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: velmoro-screenshot MAIN.png ABOUT.png\n");
        return 2;
    }
    velmoro::CDownloaderDlg dialog;
    dialog.Create();
    dialog.show();
    QApplication::processEvents();
    bool saved = dialog.grab().save(QString::fromLocal8Bit(argv[1]));

    velmoro::CAboutDlg about(&dialog);
    about.Create();
    about.show();
    QApplication::processEvents();
    saved = about.grab().save(QString::fromLocal8Bit(argv[2])) && saved;
    return saved ? 0 : 1;
}
