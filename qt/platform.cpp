#include "platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "dialog.h"
#include "system_drawing.h"

namespace velmoro::toolkit {

namespace {
std::function<int(const MessageRequest&)> messageHook;
std::function<std::optional<QString>()> fileOpenHook;
std::function<void(const QString&)> shellOpenHook;

QMessageBox::Icon ToQt(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Stop:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}
}  // namespace

int MessageBox(QWidget* owner, const MessageRequest& request) {
    if (messageHook) {
        return messageHook(request);
    }
    QMessageBox box(ToQt(request.icon), request.caption, request.text, QMessageBox::NoButton,
                    owner);
    // The style's icons are coloured pictures; at night they keep their
    // shapes in the night's red.
    if (CurrentLook() == drawing::Look::kNight) {
        box.setIconPixmap(PictureForLook(box.iconPixmap()));
    }
    if (request.buttons == MessageButtons::YesNo) {
        box.addButton(QMessageBox::Yes);
        box.addButton(QMessageBox::No);
        box.setDefaultButton(request.defaultButton == IDNO ? QMessageBox::No : QMessageBox::Yes);
    } else {
        box.addButton(QMessageBox::Ok);
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        case QMessageBox::Ok:
            return IDOK;
        default:
            return IDCANCEL;
    }
}

std::optional<QString> FileOpenDialog(QWidget* owner) {
    if (fileOpenHook) {
        return fileOpenHook();
    }
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first();
}

void ShellOpen(const QString& pathOrAddress) {
    if (shellOpenHook) {
        shellOpenHook(pathOrAddress);
        return;
    }
    const QUrl url = pathOrAddress.contains(QStringLiteral("://"))
                         ? QUrl(pathOrAddress)
                         : QUrl::fromLocalFile(pathOrAddress);
    QDesktopServices::openUrl(url);
}

QString ProgramFilePath() {
    return QCoreApplication::applicationFilePath();
}

void SetMessageBoxHook(std::function<int(const MessageRequest&)> hook) {
    messageHook = std::move(hook);
}

void SetFileOpenHook(std::function<std::optional<QString>()> hook) {
    fileOpenHook = std::move(hook);
}

void SetShellOpenHook(std::function<void(const QString&)> hook) {
    shellOpenHook = std::move(hook);
}

}  // namespace velmoro::toolkit
