#pragma once

// What the dialogs ask of the platform: message boxes, the file-open dialog,
// the shell's "open" and the program's own path. Each goes through a seam
// that tests can answer instead of a person.

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace velmoro::toolkit {

enum class MessageIcon { None, Stop, Question, Warning, Information };
enum class MessageButtons { Ok, YesNo };

struct MessageRequest {
    QString text;
    QString caption;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
    int defaultButton = 0;  // IDOK, IDYES or IDNO
};

// Shows a modal message box owned by owner; returns the button pressed
// (IDOK, IDYES, IDNO; IDCANCEL when closed otherwise).
int MessageBox(QWidget* owner, const MessageRequest& request);

// The file-open dialog: default title, every file listed, the chosen file
// need not exist. Empty when cancelled.
std::optional<QString> FileOpenDialog(QWidget* owner);

// The shell's "open" on a file path or a web address. The result is not
// reported: a missing file or a missing browser is the shell's to tell.
void ShellOpen(const QString& pathOrAddress);

// The full path of the program's own executable.
QString ProgramFilePath();

// Test seams: while set, they answer in place of the platform.
void SetMessageBoxHook(std::function<int(const MessageRequest&)> hook);
void SetFileOpenHook(std::function<std::optional<QString>()> hook);
void SetShellOpenHook(std::function<void(const QString&)> hook);

}  // namespace velmoro::toolkit
