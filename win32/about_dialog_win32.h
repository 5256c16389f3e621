#pragma once

// The About box (template 100): the program's icon, its name and version,
// and an OK button with the hover look.

#include "controls_win32.h"
#include "dialog_win32.h"

namespace velmoro::win32 {

class CAboutDlg : public CDialog {
public:
    static constexpr int IDD = 100;

    explicit CAboutDlg(HWND owner) : CDialog(IDD, owner) {}

    CHoverButton okButton;

protected:
    void DoDataExchange() override { okButton.SubclassDlgItem(IDOK, *this); }
    // Opens centred over its owner.
    BOOL OnInitDialog() override;
};

}  // namespace velmoro::win32
