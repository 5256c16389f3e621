// Draws the main window and the About box into PNG files, for the README;
// with a third file, also the main window as it looks during a transfer,
// with a fourth the port list dropped down over the window, and with a fifth
// the window during the transfer in the night look.
//   velmoro-screenshot MAIN.png ABOUT.png [TRANSFER.png [PORTS.png [NIGHT.png]]]
// With --convert, makes a PNG file of a picture of the Windows program.
//   velmoro-screenshot --convert PICTURE.bmp PICTURE.png

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <cstdio>
#include <string_view>

#include "about_dialog.h"
#include "downloader_dialog.h"

namespace {

// A Main Program transfer under way, with a file of this platform's.
void ShowTransferUnderWay(velmoro::CDownloaderDlg& dialog) {
    dialog.dataFilePath = QStringLiteral("/home/observer/Downloads/hand-controller-main.bin");
    dialog.Item<QLineEdit>(velmoro::ids::IDC_FILE_PATH)->setText(dialog.dataFilePath);
    velmoro::window::ShowTransferUnderWay(dialog);
}

// The window with its port list dropped down: the list is a window of its
// own, drawn over the window's picture where it stands.
bool SavePortList(velmoro::CDownloaderDlg& dialog, const QString& path) {
    auto* list = dialog.Item<QComboBox>(velmoro::ids::IDC_PORT_LIST);
    list->showPopup();
    QApplication::processEvents();
    QWidget* popup = list->view()->window();
    const QPoint at = popup->mapToGlobal(QPoint(0, 0)) - dialog.mapToGlobal(QPoint(0, 0));
    const QPixmap window = dialog.grab();
    const QRect whole = QRect(QPoint(0, 0), window.size()).united(QRect(at, popup->size()));
    QPixmap picture(whole.size());
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.drawPixmap(-whole.topLeft(), window);
    painter.drawPixmap(at - whole.topLeft(), popup->grab());
    painter.end();
    list->hidePopup();
    return picture.save(path);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc == 4 && std::string_view(argv[1]) == "--convert") {
        return QImage(QString::fromLocal8Bit(argv[2])).save(QString::fromLocal8Bit(argv[3])) ? 0
                                                                                             : 1;
    }
    if (argc < 3 || argc > 6) {
        std::fprintf(stderr,
                     "usage: velmoro-screenshot MAIN.png ABOUT.png [TRANSFER.png "
                     "[PORTS.png [NIGHT.png]]]\n");
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
    about.hide();

    if (argc >= 5) {
        saved = SavePortList(dialog, QString::fromLocal8Bit(argv[4])) && saved;
    }
    if (argc >= 4) {
        ShowTransferUnderWay(dialog);
        QApplication::processEvents();
        saved = dialog.grab().save(QString::fromLocal8Bit(argv[3])) && saved;
    }
    if (argc == 6) {
        dialog.ShowLook(velmoro::drawing::Look::kNight);
        QApplication::processEvents();
        saved = dialog.grab().save(QString::fromLocal8Bit(argv[5])) && saved;
    }
    return saved ? 0 : 1;
}
