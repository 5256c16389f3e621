#pragma once

#include "dialog.h"

class QPushButton;

namespace velmoro {

// The About box: the program's icon, its name and version, and OK.
class CAboutDlg : public toolkit::CDialog {
    Q_OBJECT

public:
    static constexpr int IDD = 100;
    explicit CAboutDlg(QWidget* parent = nullptr);

    QPushButton* okButton = nullptr;

protected:
    void DoDataExchange() override;
};

}  // namespace velmoro
