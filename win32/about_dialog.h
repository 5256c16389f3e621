#pragma once

// The About box (template 100): the program's icon, its name and version,
// and an OK button with the hover look.

#include "dialog.h"
#include "dialog_ids.h"
#include "hover_button.h"

namespace velmoro::win32 {

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(HWND owner) : CDialog(ids::IDD_ABOUTBOX, owner) {}
    ~CAboutDlg() override;
    CAboutDlg(const CAboutDlg&) = delete;
    CAboutDlg& operator=(const CAboutDlg&) = delete;

    CHoverButton okButton;

protected:
    void DoDataExchange() override { okButton.SubclassDlgItem(IDOK, *this); }
    // Opens centred over its owner.
    BOOL OnInitDialog() override;

private:
    // The program's icon tinted for the night look, while the box shows it.
    HICON nightIcon_ = nullptr;
};

}  // namespace velmoro::win32
