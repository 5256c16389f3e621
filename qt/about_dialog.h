#pragma once

#include "dialog.h"

namespace velmoro {

class CHoverButton;

// The About box: the program's icon, its name and version, and OK.
class CAboutDlg : public toolkit::CDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    CHoverButton* okButton = nullptr;

protected:
    void DoDataExchange() override;
    QWidget* CreateControl(const toolkit::ControlTemplate& row) override;
};

}  // namespace velmoro
