#include "about_dialog.h"

#include "dialog_ids.h"
#include "hover_button.h"

namespace velmoro {

CAboutDlg::CAboutDlg(QWidget* parent) : CDialog(ids::IDD_ABOUTBOX, parent) {}

QWidget* CAboutDlg::CreateControl(const toolkit::ControlTemplate& row) {
    return row.id == toolkit::IDOK ? new CHoverButton(this) : nullptr;
}

void CAboutDlg::DoDataExchange() {
    okButton = Item<CHoverButton>(toolkit::IDOK);
    connect(okButton, &QPushButton::clicked, this, [this] { OnOK(); });
}

}  // namespace velmoro
