#include "downloader_dialog_win32.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <array>
#include <vector>

#include "about_dialog_win32.h"
#include "dialog_data.h"
#include "gdi_player_win32.h"

namespace velmoro {

UpdateType updateType = UpdateType::MainProgram;

namespace win32 {

namespace {

const wchar_t kQuitQuestion[] = L"Are you sure you want to quit Velmoro Downloader V2.0?";

// The engine's texts are 8-bit; each byte is the character of that code.
std::wstring FromLatin1(std::string_view text) {
    return std::wstring(text.begin(), text.end());
}

}  // namespace

std::wstring HelpPagePath(const std::wstring& programPath) {
    const std::size_t cut = programPath.rfind(L'\\');
    const std::wstring directory =
        cut == std::wstring::npos ? std::wstring() : programPath.substr(0, cut);
    return directory + L"\\Help.htm";
}

CDownloaderDlg::CDownloaderDlg()
    : CDialog(IDD, nullptr), portFace_(serialControl, portNumber), engine_(portFace_, *this) {
    windowIcon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kProgramIcon), IMAGE_ICON,
                   GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    serialControl.SetOnComm([this] { engine_.OnCommEvent(); });
}

CDownloaderDlg::~CDownloaderDlg() {
    if (windowIcon != nullptr) {
        DestroyIcon(windowIcon);
    }
}

void CDownloaderDlg::DoDataExchange() {
    logBox = GetDlgItem(kLog);
    progressBar.SubclassDlgItem(kProgress, *this);
    startStopButton.SubclassDlgItem(kStartStop, *this);
    openButton.SubclassDlgItem(kOpen, *this);
}

BOOL CDownloaderDlg::OnInitDialog() {
    std::array<wchar_t, 256> about{};
    if (LoadStringW(GetModuleHandleW(nullptr), kAboutString, about.data(),
                    static_cast<int>(about.size())) > 0) {
        HMENU menu = GetSystemMenu(Handle(), FALSE);
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, kAboutCommand, about.data());
    }
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(windowIcon));
    HICON small = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kProgramIcon), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

    HWND portList = GetDlgItem(kPortList);
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
    CheckRadioButton(Handle(), kMainProgram, kObjectCatalog, kMainProgram);

    helpButton.SubclassDlgItem(kHelp, *this);
    helpButton.LoadIcons(130, 0);
    helpButton.SetFlatLook(false, true);
    homeButton.SubclassDlgItem(kHome, *this);
    homeButton.LoadIcons(131, 0);
    homeButton.SetFlatLook(false, true);

    SetFocus(portList);
    return FALSE;
}

void CDownloaderDlg::OnCommand(int id, int code) {
    switch (id) {
        case kPortList:
            if (code == CBN_SELCHANGE) {
                const auto index = SendMessageW(GetDlgItem(kPortList), CB_GETCURSEL, 0, 0);
                if (index >= 0) {
                    portNumber = static_cast<int>(index) + 1;
                }
            }
            break;
        case kMainProgram:
            if (code == BN_CLICKED) {
                updateType = UpdateType::MainProgram;
            }
            break;
        case kObjectCatalog:
            if (code == BN_CLICKED) {
                updateType = UpdateType::ObjectCatalog;
            }
            break;
        case kOpen:
            if (code == BN_CLICKED) {
                OnOpenDataFile();
            }
            break;
        case kStartStop:
            if (code == BN_CLICKED) {
                engine_.OnStartStop();
            }
            break;
        case kHelp:
            if (code == BN_CLICKED) {
                OnHelp();
            }
            break;
        case kHome:
            if (code == BN_CLICKED) {
                OnHome();
            }
            break;
        default:
            break;
    }
}

void CDownloaderDlg::OnOpenDataFile() {
    std::vector<wchar_t> path(32768, L'\0');
    OPENFILENAMEW open{};
    open.lStructSize = sizeof open;
    open.hwndOwner = Handle();
    open.lpstrFile = path.data();
    open.nMaxFile = static_cast<DWORD>(path.size());
    // The chosen file does not have to exist: a missing one is reported at
    // Start.
    open.Flags = OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!GetOpenFileNameW(&open)) {
        return;
    }
    dataFilePath = path.data();
    SetDlgItemTextW(Handle(), kFilePath, dataFilePath.c_str());
}

void CDownloaderDlg::OnHelp() {
    std::array<wchar_t, MAX_PATH> program{};
    GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size() - 1));
    const std::wstring page = HelpPagePath(program.data());
    ShellExecuteW(nullptr, L"open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CDownloaderDlg::OnHome() {
    ShellExecuteW(Handle(), L"open", Widen(kHomeAddress).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CDownloaderDlg::OnCancel() {
    if (MessageBoxW(Handle(), kQuitQuestion, L"Message", MB_YESNO | MB_ICONQUESTION) == IDYES) {
        EndDialog(IDCANCEL);
    }
}

void CDownloaderDlg::OnTimer(UINT_PTR /*id*/) {
    // The engine starts no timer but the beacon's, so every tick is its.
    engine_.OnBeaconTimer();
}

bool CDownloaderDlg::OnSysCommand(WPARAM id, LPARAM /*param*/) {
    if ((id & 0xFFF0) != kAboutCommand) {
        return false;
    }
    CAboutDlg about(Handle());
    about.DoModal();
    return true;
}

bool CDownloaderDlg::OnMessage(UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/,
                               INT_PTR& result) {
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

void CDownloaderDlg::ClearLog() {
    SendMessageW(logBox, EM_SETSEL, 0, -1);
    SendMessageW(logBox, EM_SCROLLCARET, 0, 0);
    SendMessageW(logBox, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

void CDownloaderDlg::AppendLog(std::string_view text) {
    const std::wstring line = FromLatin1(text);
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
    return MessageBoxW(Handle(), Widen(question).c_str(), Title().c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void CDownloaderDlg::ReportPortFailure(std::string_view errorText) {
    MessageBoxW(Handle(), Widen(errorText).c_str(), Title().c_str(), MB_OK | MB_ICONSTOP);
}

}  // namespace win32
}  // namespace velmoro
