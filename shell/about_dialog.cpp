#include "about_dialog.h"

#include <QPushButton>

namespace velmoro {

CAboutDlg::CAboutDlg(QWidget* parent) : CDialog(IDD, parent) {}

void CAboutDlg::DoDataExchange() {
    okButton = Item<QPushButton>(toolkit::IDOK);
    connect(okButton, &QPushButton::clicked, this, [this] { OnOK(); });
}

}  // namespace velmoro
