#include "downloader_dialog.h"

#include <commctrl.h>
#include <dbt.h>
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "about_dialog.h"
#include "dialog_data.h"
#include "draw_list_player.h"
#include "look.h"
#include "night_look.h"
#include "night_message_box.h"
#include "no_port.h"
#include "platform.h"

namespace velmoro::win32 {

using namespace ids;

namespace {

// The engine's texts are 8-bit; each byte is the character of that code.
std::wstring FromLatin1(std::string_view text) {
    return std::wstring(text.begin(), text.end());
}

}  // namespace

CDownloaderDlg::CDownloaderDlg(std::chrono::milliseconds keepAwakeSilence)
    : CDialog(IDD_DOWNLOADER_DIALOG, nullptr),
      windowIcon(static_cast<HICON>(
          LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                     GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR))),
      wiring_(serialControl, portNumber, *this),
      keepAwake_(*this, keepAwakeSilence) {
    wiring_.SetOnTransferRunning(
        [this](bool running, bool bytesReceived) { keepAwake_.Follow(running, bytesReceived); });
}

CDownloaderDlg::~CDownloaderDlg() {
    if (windowIcon != nullptr) {
        DestroyIcon(windowIcon);
    }
}

void CDownloaderDlg::DoDataExchange() {
    logBox = GetDlgItem(IDC_LOG);
    progressBar.SubclassDlgItem(IDC_PROGRESS, *this);
    startStopButton.SubclassDlgItem(IDC_START_STOP, *this);
    openButton.SubclassDlgItem(IDC_OPEN, *this);
}

BOOL CDownloaderDlg::OnInitDialog() {
    std::array<wchar_t, 256> about{};
    if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, about.data(),
                    static_cast<int>(about.size())) > 0) {
        HMENU menu = GetSystemMenu(Handle(), FALSE);
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about.data());
    }
    std::array<wchar_t, 256> night{};
    if (LoadStringW(GetModuleHandleW(nullptr), IDS_NIGHT, night.data(),
                    static_cast<int>(night.size())) > 0) {
        AppendMenuW(GetSystemMenu(Handle(), FALSE),
                    MF_STRING | (CurrentLook() == drawing::Look::kNight ? MF_CHECKED : 0),
                    IDM_NIGHT, night.data());
    }
    std::array<wchar_t, 256> reports{};
    if (LoadStringW(GetModuleHandleW(nullptr), IDS_REPORTS, reports.data(),
                    static_cast<int>(reports.size())) > 0) {
        AppendMenuW(GetSystemMenu(Handle(), FALSE), MF_STRING, IDM_REPORTS, reports.data());
    }
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(windowIcon));
    HICON small = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

    HWND portList = GetDlgItem(IDC_PORT_LIST);
    for (const char* port : kListItems1000) {
        SendMessageW(portList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(port).c_str()));
    }
    SendMessageW(portList, CB_SETCURSEL, 0, 0);
    // Only a choice from the list sets the port, so the box takes no typing:
    // typed text could show one port while another is used.
    COMBOBOXINFO combo{};
    combo.cbSize = sizeof combo;
    if (GetComboBoxInfo(portList, &combo) && combo.hwndItem != nullptr) {
        SendMessageW(combo.hwndItem, EM_SETREADONLY, TRUE, 0);
    }
    CheckRadioButton(Handle(), IDC_MAIN_PROGRAM, IDC_OBJECT_CATALOG, IDC_MAIN_PROGRAM);

    helpButton.SubclassDlgItem(IDC_HELP_BUTTON, *this);
    helpButton.LoadIcons(IDI_HELP, 0);
    helpButton.SetFlatLook(false, true);
    homeButton.SubclassDlgItem(IDC_HOME_BUTTON, *this);
    homeButton.LoadIcons(IDI_HOME, 0);
    homeButton.SetFlatLook(false, true);

    // What the system draws of the plain controls in its own colours.
    for (const int id : {IDC_PORT_LIST, IDC_MAIN_PROGRAM, IDC_OBJECT_CATALOG, IDC_FILE_PATH,
                         IDC_LOG, IDC_PROGRESS}) {
        DrawPlainControlAtNight(GetDlgItem(id));
    }
    if (combo.hwndItem != nullptr) {
        DrawPlainControlAtNight(combo.hwndItem, true);
    }
    DrawPlainControlAtNight(combo.hwndList);
    FollowLook();

    keepAwake_.SetWindow(Handle());
    SetFocus(portList);
    return FALSE;
}

void CDownloaderDlg::OnCommand(int id, int code) {
    switch (id) {
        case IDC_PORT_LIST:
            if (code == CBN_DROPDOWN) {
                wiring_.RefreshPortList();
                ShowPortList(true);
            } else if (code == CBN_CLOSEUP) {
                ShowPortList(false);
            } else if (code == CBN_SELCHANGE) {
                wiring_.OnSelChangePortList(
                    static_cast<int>(SendMessageW(GetDlgItem(IDC_PORT_LIST), CB_GETCURSEL, 0, 0)));
            }
            break;
        case IDC_MAIN_PROGRAM:
        case IDC_OBJECT_CATALOG:
            if (code == BN_CLICKED) {
                window::CDownloaderWiring::OnUpdateTypeClicked(id);
            }
            break;
        case IDC_OPEN:
            if (code == BN_CLICKED) {
                OnOpenDataFile();
            }
            break;
        case IDC_START_STOP:
            if (code == BN_CLICKED) {
                wiring_.OnStartStop();
            }
            break;
        case IDC_HELP_BUTTON:
            if (code == BN_CLICKED) {
                OnHelp();
            }
            break;
        case IDC_HOME_BUTTON:
            if (code == BN_CLICKED) {
                OnHome();
            }
            break;
        default:
            break;
    }
}

void CDownloaderDlg::OnOpenDataFile() {
    const std::optional<std::wstring> chosen = FileOpenDialog(Handle());
    if (!chosen) {
        return;
    }
    dataFilePath = *chosen;
    SetDlgItemTextW(Handle(), IDC_FILE_PATH, dataFilePath.c_str());
}

void CDownloaderDlg::OnHelp() {
    std::array<wchar_t, MAX_PATH> program{};
    GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size() - 1));
    const std::wstring page = Widen(window::HelpPagePath(Narrow(program.data())));
    ShellOpen({nullptr, L"open", page, SW_SHOW});
}

void CDownloaderDlg::OnHome() {
    ShellOpen({Handle(), L"open", Widen(kHomeAddress), SW_SHOW});
}

void CDownloaderDlg::OnCancel() {
    const window::QuitQuestion question = wiring_.QuitQuestionNow();
    if (ShowMessageBox(Handle(), Widen(question.text), Widen(window::kQuitCaption),
                       MB_YESNO | MB_ICONQUESTION |
                           (question.defaultYes ? MB_DEFBUTTON1 : MB_DEFBUTTON2)) == IDYES) {
        wiring_.OnClosing();
        EndDialog(IDCANCEL);
    }
}

void CDownloaderDlg::OnTimer(UINT_PTR id) {
    if (id == kKeepAwakeTimer) {
        KillTimer(kKeepAwakeTimer);  // it runs out once
        keepAwake_.OnSilence();
        return;
    }
    wiring_.OnTimer();
}

bool CDownloaderDlg::OnSysCommand(WPARAM id, LPARAM /*param*/) {
    if ((id & 0xFFF0) == static_cast<WPARAM>(IDM_NIGHT)) {
        ChangeLook(window::ChooseOtherLook(CurrentLook()));
        FollowLook();
        return true;
    }
    if ((id & 0xFFF0) == static_cast<WPARAM>(IDM_REPORTS)) {
        const std::filesystem::path folder = window::CDownloaderWiring::PrepareReportsFolder();
        if (!folder.empty()) {
            ShellOpen({Handle(), L"open", folder.wstring(), SW_SHOW});
        }
        return true;
    }
    if ((id & 0xFFF0) != static_cast<WPARAM>(IDM_ABOUTBOX)) {
        return false;
    }
    CAboutDlg about(Handle());
    about.DoModal();
    return true;
}

bool CDownloaderDlg::IsPortListEdit(HWND hwnd) const {
    COMBOBOXINFO combo{};
    combo.cbSize = sizeof combo;
    return hwnd != nullptr && GetComboBoxInfo(GetDlgItem(IDC_PORT_LIST), &combo) &&
           combo.hwndItem == hwnd;
}

bool CDownloaderDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    if (message == WM_DEVICECHANGE) {
        OnDeviceChange(wParam, lParam);
        return false;
    }
    if (message == WM_CTLCOLORSTATIC && IsPortListEdit(FromParam<HWND>(lParam)) &&
        CurrentLook() == drawing::Look::kNight) {
        return NightControlColour(WM_CTLCOLOREDIT, wParam, lParam, result);
    }
    if (message == WM_CTLCOLORSTATIC && IsPortListEdit(FromParam<HWND>(lParam))) {
        // The port box takes no typing but is no less a working list: it
        // keeps the colours of an editable box rather than the grey of a
        // read-only one.
        auto* dc = FromParam<HDC>(wParam);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        result = reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
        return true;
    }
    if (message == WM_QUERYENDSESSION && keepAwake_.Held()) {
        // Not while a transfer runs and the controller answers: the quit
        // question would not end one either without the user's Yes. The
        // system shows the reason given when the hold was taken.
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, FALSE);
        result = TRUE;
        return true;
    }
    if (message == WM_DPICHANGED) {
        // A monitor with another scale: the system resizes the dialog's
        // font and layout; the self-drawn controls take the new DPI.
        const auto* suggested = FromParam<const RECT*>(lParam);
        SetWindowPos(Handle(), nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        const UINT dpi = HIWORD(wParam);
        progressBar.SetDpi(dpi);
        startStopButton.SetDpi(dpi);
        openButton.SetDpi(dpi);
        helpButton.SetDpi(dpi);
        homeButton.SetDpi(dpi);
        InvalidateRect(Handle(), nullptr, TRUE);
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        result = TRUE;
        return true;
    }
    if (message == WM_QUERYDRAGICON) {
        result = reinterpret_cast<INT_PTR>(windowIcon);
        return true;
    }
    if (message == WM_PAINT && IsIconic(Handle())) {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(Handle(), &paint);
        SendMessageW(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT client{};
        GetClientRect(Handle(), &client);
        const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
        DrawIcon(dc, x, y, windowIcon);
        EndPaint(Handle(), &paint);
        result = TRUE;
        return true;
    }
    return false;
}

// The system's word that a serial port went away (an adapter pulled out):
// the port in use is lost at once, even where its driver goes on answering.
// An adapter plugged in while no transfer runs becomes the chosen port.
void CDownloaderDlg::OnDeviceChange(WPARAM event, LPARAM data) {
    if ((event != DBT_DEVICEREMOVECOMPLETE && event != DBT_DEVICEARRIVAL) || data == 0) {
        return;
    }
    // The message's data is the address of the device's description.
    const auto* header =
        reinterpret_cast<const DEV_BROADCAST_HDR*>(  // NOLINT(performance-no-int-to-ptr)
            data);
    if (header->dbch_devicetype != DBT_DEVTYP_PORT) {
        return;
    }
    const auto* port = reinterpret_cast<const DEV_BROADCAST_PORT_W*>(header);
    const std::string name = Narrow(port->dbcp_name);
    if (event == DBT_DEVICEREMOVECOMPLETE) {
        serialControl.DeviceRemoved(name);
        return;
    }
    const int index = wiring_.OnDeviceArrived(name);
    if (index >= 0) {
        ShowPortList(false);
        SendMessageW(GetDlgItem(IDC_PORT_LIST), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
}

void CDownloaderDlg::ShowPortList(bool dropped) {
    HWND portList = GetDlgItem(IDC_PORT_LIST);
    const std::vector<PortListItem>& items = wiring_.PortList();
    if (items.empty()) {
        return;  // not dropped down yet: the template's COM1 to COM9
    }
    const LRESULT selected = SendMessageW(portList, CB_GETCURSEL, 0, 0);
    SendMessageW(portList, WM_SETREDRAW, FALSE, 0);
    SendMessageW(portList, CB_RESETCONTENT, 0, 0);
    HDC dc = GetDC(portList);
    auto* font = FromParam<HFONT>(SendMessageW(portList, WM_GETFONT, 0, 0));
    HGDIOBJ oldFont = SelectObject(dc, font);
    LONG widest = 0;
    for (const PortListItem& item : items) {
        // Inserted, not added: the list's sort style would put COM12
        // between COM1 and COM2, and the order is the ports' numbers.
        const std::wstring text = Widen(dropped ? item.text : "COM" + std::to_string(item.number));
        SendMessageW(portList, CB_INSERTSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(text.c_str()));
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        widest = std::max(widest, size.cx);
    }
    SelectObject(dc, oldFont);
    ReleaseDC(portList, dc);
    if (dropped) {
        RECT box{};
        GetWindowRect(portList, &box);
        const LONG width =
            widest + GetSystemMetrics(SM_CXVSCROLL) + 4 * GetSystemMetrics(SM_CXEDGE);
        SendMessageW(portList, CB_SETDROPPEDWIDTH,
                     static_cast<WPARAM>(std::max(width, box.right - box.left)), 0);
    }
    SendMessageW(portList, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    SendMessageW(portList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(portList, nullptr, TRUE);
}

void CDownloaderDlg::FollowLook() {
    const bool night = CurrentLook() == drawing::Look::kNight;
    COMBOBOXINFO combo{};
    combo.cbSize = sizeof combo;
    GetComboBoxInfo(GetDlgItem(IDC_PORT_LIST), &combo);
    if (night && combo.hwndItem != nullptr) {
        // A selection made by day would show in the system's highlight.
        SendMessageW(combo.hwndItem, EM_SETSEL, 0, 0);
    }
    // The caret inverts what is under it, white over black: none at night.
    HWND focus = GetFocus();
    if (focus != nullptr &&
        (focus == combo.hwndItem || focus == logBox || focus == GetDlgItem(IDC_FILE_PATH))) {
        if (night) {
            HideCaret(focus);
        } else {
            ShowCaret(focus);
        }
    }
    CheckMenuItem(GetSystemMenu(Handle(), FALSE), IDM_NIGHT,
                  MF_BYCOMMAND | (night ? MF_CHECKED : MF_UNCHECKED));
    progressBar.FollowLook();
    helpButton.FollowLook();
    homeButton.FollowLook();
    // The whole window at once, frames of the edit boxes included.
    RedrawWindow(Handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void CDownloaderDlg::ClearLog() {
    SendMessageW(logBox, EM_SETSEL, 0, -1);
    SendMessageW(logBox, EM_SCROLLCARET, 0, 0);
    SendMessageW(logBox, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

void CDownloaderDlg::AppendLog(std::string_view text) {
    // UTF-8, like every engine text: a finding quotes the catalogue's own
    // characters.
    const std::wstring line = Widen(text);
    const int end = GetWindowTextLengthW(logBox);
    SendMessageW(logBox, EM_SETSEL, end, end);
    SendMessageW(logBox, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageW(logBox, EM_SCROLLCARET, 0, 0);
}

void CDownloaderDlg::SetStartStopCaption(std::string_view caption) {
    SetWindowTextW(startStopButton.Handle(), FromLatin1(caption).c_str());
}

void CDownloaderDlg::EnableOpenButton(bool enable) {
    EnableWindow(openButton.Handle(), enable ? TRUE : FALSE);
}

std::wstring CDownloaderDlg::Title() const {
    std::array<wchar_t, 256> title{};
    GetWindowTextW(Handle(), title.data(), static_cast<int>(title.size()));
    return title.data();
}

bool CDownloaderDlg::AskQuestion(std::string_view question) {
    return ShowMessageBox(Handle(), Widen(question), Title(),
                          MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void CDownloaderDlg::ReportPortFailure(std::string_view errorText) {
    ShowMessageBox(Handle(), Widen(PortFailureMessage(errorText, SurveyUsbSerial())), Title(),
                   MB_OK | MB_ICONSTOP);
}

}  // namespace velmoro::win32
