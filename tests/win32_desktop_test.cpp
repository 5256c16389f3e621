// The Windows desktop program in its own process, under Wine: its dialog as
// the system lays it out from the generated templates, its system menu and
// first state, and a few pixels of the GDI back-end and of each control drawn
// through it into a memory device context.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <oleacc.h>
// After the Windows headers, which it needs.
#include <dbt.h>

#include "about_dialog.h"
#include "dialog_data.h"
#include "downloader_dialog.h"
#include "draw_list_player.h"
#include "front_end.h"
#include "hover_button_drawing.h"
#include "icon_button.h"
#include "look.h"
#include "main_window.h"
#include "night_look.h"
#include "night_message_box.h"
#include "owner_draw_menu.h"
#include "platform.h"
#include "temp_file.h"
#include "text.h"
#include "window_scenarios.h"

namespace velmoro::win32 {
namespace {

using namespace drawing;

std::wstring Text(HWND hwnd) {
    std::array<wchar_t, 512> text{};
    GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()));
    return text.data();
}

// A 32-bit surface whose pixels the test reads back.
class CSurface {
public:
    CSurface(int width, int height) : width_(width) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                                   nullptr, 0);
        previous_ = SelectObject(dc_, bitmap_);
        Fill(kPaper);
    }
    ~CSurface() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    CSurface(const CSurface&) = delete;
    CSurface& operator=(const CSurface&) = delete;

    static constexpr COLORREF kPaper = RGB(0, 160, 0);

    HDC Dc() const { return dc_; }
    void Fill(COLORREF colour) {
        GdiFlush();
        const RECT all{0, 0, width_, 4096};
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
    }
    // A window's client area as it is shown, from its top left corner.
    void CopyShown(HWND hwnd, const RECT& client) {
        HDC window = GetDC(hwnd);
        BitBlt(dc_, 0, 0, client.right, client.bottom, window, 0, 0, SRCCOPY);
        ReleaseDC(hwnd, window);
    }
    COLORREF At(int x, int y) const {
        GdiFlush();
        const std::uint32_t pixel = bits_[y * width_ + x];
        return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
    }

private:
    int width_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    std::uint32_t* bits_ = nullptr;
};

// What the system sends a window of a class with double clicks when the
// mouse is pressed twice in quick succession.
void SendDoubleClick(HWND window) {
    const LPARAM at = MAKELPARAM(5, 5);
    for (const UINT press : {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}) {
        SendMessageW(window, press, MK_LBUTTON, at);
        SendMessageW(window, WM_LBUTTONUP, 0, at);
    }
}

COLORREF Ref(const Colour& colour) {
    return RGB(colour.rgb.red, colour.rgb.green, colour.rgb.blue);
}

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dialog.Create());
        ASSERT_NE(dialog.Handle(), nullptr);
    }
    // The modal loop's share of the work: the dialog manager's keys first.
    void Pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageW(dialog.Handle(), &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    void PressKeyOn(HWND control, WPARAM key) {
        SendMessageW(dialog.Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
        PostMessageW(control, WM_KEYDOWN, key, 0);
        Pump();
    }

    CDownloaderDlg dialog;
};

// The rectangles are the template's, in dialog units; the system maps them
// with the dialog's own font.
TEST_F(DesktopTest, ControlsSitAtTheirDialogUnitRectangles) {
    struct Row {
        int id;
        RECT units;  // left, top, width, height
    };
    const Row rows[] = {
        {1001, {177, 38, 64, 10}}, {1002, {245, 38, 72, 10}}, {1003, {7, 35, 100, 14}},
        {1004, {7, 71, 100, 14}},  {1005, {7, 53, 318, 14}},  {1006, {7, 89, 318, 84}},
        {1007, {7, 176, 318, 14}}, {1009, {225, 7, 42, 21}},  {1010, {283, 7, 42, 21}},
    };
    for (const Row& row : rows) {
        // The dialog manager maps a control's position and its size, each
        // of them as MapDialogRect maps a rectangle's four numbers.
        RECT expected = row.units;
        ASSERT_TRUE(MapDialogRect(dialog.Handle(), &expected));
        RECT actual{};
        GetWindowRect(dialog.GetDlgItem(row.id), &actual);
        MapWindowPoints(nullptr, dialog.Handle(), reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left) << row.id;
        EXPECT_EQ(actual.top, expected.top) << row.id;
        EXPECT_EQ(actual.right - actual.left, expected.right) << row.id;
        EXPECT_EQ(actual.bottom - actual.top, expected.bottom) << row.id;
    }
    RECT client{};
    GetClientRect(dialog.Handle(), &client);
    RECT size{0, 0, 332, 200};
    MapDialogRect(dialog.Handle(), &size);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    EXPECT_EQ(Text(dialog.Handle()), L"Velmoro Downloader V2.0");
}

// About keeps its command number after the separator, the night item
// beside it unchecked by day; the reports item comes last and opens the
// folder of the kept reports.
TEST_F(DesktopTest, SystemMenuEndsWithASeparatorAboutNightModeAndReports) {
    HMENU menu = GetSystemMenu(dialog.Handle(), FALSE);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 4);
    std::array<wchar_t, 128> text{};
    GetMenuStringW(menu, count - 3, text.data(), static_cast<int>(text.size()), MF_BYPOSITION);
    EXPECT_STREQ(text.data(), L"About Velmoro Downloader(&A)...");
    EXPECT_EQ(GetMenuItemID(menu, count - 3), 16u);
    GetMenuStringW(menu, count - 2, text.data(), static_cast<int>(text.size()), MF_BYPOSITION);
    EXPECT_STREQ(text.data(), L"Night Mode(&N)");
    EXPECT_EQ(GetMenuItemID(menu, count - 2), 48u);
    EXPECT_EQ(GetMenuState(menu, 48, MF_BYCOMMAND) & MF_CHECKED, 0u);
    GetMenuStringW(menu, count - 1, text.data(), static_cast<int>(text.size()), MF_BYPOSITION);
    EXPECT_STREQ(text.data(), L"Transfer Reports(&R)...");
    EXPECT_EQ(GetMenuItemID(menu, count - 1), 32u);
    MENUITEMINFOW separator{};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE;
    GetMenuItemInfoW(menu, count - 4, TRUE, &separator);
    EXPECT_NE(separator.fType & MFT_SEPARATOR, 0u);

    std::vector<ShellOpenRequest> opened;
    SetShellOpenHook([&opened](const ShellOpenRequest& request) { opened.push_back(request); });
    SendMessageW(dialog.Handle(), WM_SYSCOMMAND, 32, 0);
    SetShellOpenHook(nullptr);
    ASSERT_EQ(opened.size(), 1u);
    std::array<wchar_t, MAX_PATH> folder{};
    ASSERT_GT(GetEnvironmentVariableW(L"VELMORO_REPORTS_DIR", folder.data(), MAX_PATH), 0u);
    EXPECT_EQ(opened[0].file, folder.data());
    EXPECT_NE(GetFileAttributesW(folder.data()), INVALID_FILE_ATTRIBUTES) << "made if missing";
}

TEST_F(DesktopTest, StartsWithCom1MainProgramAndAnEmptyLog) {
    HWND ports = dialog.GetDlgItem(ids::IDC_PORT_LIST);
    EXPECT_EQ(SendMessageW(ports, CB_GETCOUNT, 0, 0), 9);
    EXPECT_EQ(Text(ports), L"COM1");
    // The box takes no typing: only a choice from the list sets the port.
    COMBOBOXINFO combo{};
    combo.cbSize = sizeof combo;
    ASSERT_TRUE(GetComboBoxInfo(ports, &combo));
    EXPECT_NE(GetWindowLongPtrW(combo.hwndItem, GWL_STYLE) & ES_READONLY, 0);
    EXPECT_EQ(IsDlgButtonChecked(dialog.Handle(), ids::IDC_MAIN_PROGRAM), BST_CHECKED);
    EXPECT_EQ(Text(dialog.logBox), L"");
    EXPECT_EQ(Text(dialog.startStopButton.Handle()), L"Start Download(&D)");
    // The layout's caption is never the bar's text.
    EXPECT_EQ(Text(dialog.progressBar.Handle()), L"");
    EXPECT_EQ(dialog.progressBar.Bar().TextToDraw(), "0%");

    SendMessageW(ports, CB_SETCURSEL, 8, 0);
    SendMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(ids::IDC_PORT_LIST, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(ports));
    EXPECT_EQ(dialog.portNumber, 9);
}

TEST_F(DesktopTest, LogLinesGoToTheEndWhateverTheSelection) {
    dialog.AppendLog("Connected.\r\n");
    SendMessageW(dialog.logBox, EM_SETSEL, 0, 3);
    dialog.AppendLog("Processing ...\r\n");
    EXPECT_EQ(Text(dialog.logBox), L"Connected.\r\nProcessing ...\r\n");
    dialog.ClearLog();
    EXPECT_EQ(Text(dialog.logBox), L"");
}

// A line longer than the log box is wide wraps inside it: every character
// of it, and of the lines after it, lies within the box's width.
TEST_F(DesktopTest, LongLogLinesWrapInsideTheBox) {
    const std::string line =
        "ERROR! The controller answered \"E7\" to the erase command at block 12 of 96; "
        "reset the hand controller, check the cable and the adapter, then start again.\r\n";
    // More lines than the box shows at once: the box keeps them all.
    std::string lines;
    for (int i = 0; i < 8; ++i) {
        dialog.AppendLog(line);
        lines += line;
    }
    EXPECT_EQ(WindowText(dialog.logBox, 4096), lines);
    RECT client{};
    GetClientRect(dialog.logBox, &client);
    const std::wstring text = Widen(lines);
    int outside = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' || text[i] == L'\n') {
            continue;
        }
        const LRESULT at = SendMessageW(dialog.logBox, EM_POSFROMCHAR, i, 0);
        const int x = static_cast<short>(LOWORD(at));
        outside += x < 0 || x >= client.right ? 1 : 0;
    }
    EXPECT_EQ(outside, 0) << "characters outside a box " << client.right << " pixels wide";
    EXPECT_GE(SendMessageW(dialog.logBox, EM_GETLINECOUNT, 0, 0), 16) << "each line wrapped";
}

// The icon buttons take Enter while they have the focus, as push buttons do,
// and each press of a double click is a click; the pages open shown.
TEST_F(DesktopTest, HelpAndHomeTakeEnterAndBothPressesOfADoubleClick) {
    std::vector<ShellOpenRequest> opened;
    SetShellOpenHook([&opened](const ShellOpenRequest& request) { opened.push_back(request); });
    PressKeyOn(dialog.helpButton.Handle(), VK_RETURN);
    PressKeyOn(dialog.homeButton.Handle(), VK_RETURN);
    SendDoubleClick(dialog.helpButton.Handle());
    SetShellOpenHook(nullptr);
    ASSERT_EQ(opened.size(), 4u);
    const std::wstring page = L"\\Help.htm";
    for (const std::size_t help : {0U, 2U, 3U}) {
        EXPECT_EQ(opened[help].file.substr(opened[help].file.size() - page.size()), page);
        EXPECT_EQ(opened[help].owner, nullptr);
    }
    EXPECT_EQ(opened[1].file, Widen(kHomeAddress));
    EXPECT_EQ(opened[1].owner, dialog.Handle());
    for (const ShellOpenRequest& request : opened) {
        EXPECT_EQ(request.verb, L"open");
        EXPECT_EQ(request.show, SW_SHOW);
    }
    // Enter went to the focused button, not to the hidden OK: no question.
    EXPECT_TRUE(IsWindowVisible(dialog.Handle()));
}

// The hover look begins with the first move over the button, as the hover
// time of 1 ms means, not once the pointer has come to rest; it ends when the
// pointer leaves and when the button is disabled. Both hover buttons.
TEST_F(DesktopTest, HoverLookBeginsWithTheFirstMove) {
    for (CHoverButton* button : {&dialog.startStopButton, &dialog.openButton}) {
        SendMessageW(button->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        EXPECT_TRUE(button->Hover());
        SendMessageW(button->Handle(), WM_MOUSELEAVE, 0, 0);
        EXPECT_FALSE(button->Hover()) << "the pointer left";
        SendMessageW(button->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        EXPECT_TRUE(button->Hover());
        SendMessageW(button->Handle(), WM_ENABLE, FALSE, 0);
        EXPECT_FALSE(button->Hover()) << "disabled";
        SendMessageW(button->Handle(), WM_ENABLE, TRUE, 0);
    }
}

// The bar keeps its sunken edge whatever the system's progress bar does with
// its frame, and tells screen readers what it shows.
TEST_F(DesktopTest, ProgressBarKeepsItsEdgeAndReadsAsItsText) {
    HWND bar = dialog.progressBar.Handle();
    RedrawWindow(bar, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    RECT outer{};
    GetWindowRect(bar, &outer);
    const int width = outer.right - outer.left;
    const int middle = (outer.bottom - outer.top) / 2;
    HDC dc = GetWindowDC(bar);
    const CSystemColors colors = SystemColors();
    EXPECT_EQ(GetPixel(dc, 0, middle), Ref(colors[SysColor::kBtnShadow]));
    EXPECT_EQ(GetPixel(dc, 1, middle), Ref(colors[SysColor::k3dDkShadow]));
    EXPECT_EQ(GetPixel(dc, width - 2, middle), Ref(colors[SysColor::k3dLight]));
    EXPECT_EQ(GetPixel(dc, width - 1, middle), Ref(colors[SysColor::kBtnHighlight]));
    EXPECT_EQ(GetPixel(dc, 2, middle), Ref(colors[SysColor::kWindow]));  // the empty bar
    ReleaseDC(bar, dc);

    // The object the window hands a screen reader. Wine 8 cannot marshal
    // the interface through LresultFromObject (no proxy for it in its
    // prefix), so the test asks the object the window would hand over.
    IAccessible* accessible = dialog.progressBar.AccessibleObject();
    ASSERT_NE(accessible, nullptr);
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT role{};
    EXPECT_EQ(accessible->get_accRole(self, &role), S_OK);
    EXPECT_EQ(role.lVal, ROLE_SYSTEM_PROGRESSBAR);
    dialog.SetProgressRange(0, 7);
    dialog.SetProgressPos(3);
    BSTR value = nullptr;
    ASSERT_EQ(accessible->get_accValue(self, &value), S_OK);
    EXPECT_STREQ(value, L"42%");
    SysFreeString(value);
}

// A bar of its own, beside the window's: a change of look repaints it, and a
// screen reader that still holds its object when the bar goes is told so,
// not handed what the bar left behind.
TEST_F(DesktopTest, ProgressBarRepaintsOnAChangeOfLookAndLetsItsReaderGo) {
    constexpr int kId = 2001;
    HWND hwnd = CreateWindowW(L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 120, 20, dialog.Handle(),
                              FromParam<HMENU>(INT_PTR{kId}), GetModuleHandleW(nullptr), nullptr);
    auto bar = std::make_unique<CPercentProgressCtrl>();
    ASSERT_TRUE(bar->SubclassDlgItem(kId, dialog));
    UpdateWindow(hwnd);
    ValidateRect(hwnd, nullptr);
    bar->FollowLook();
    EXPECT_TRUE(GetUpdateRect(hwnd, nullptr, FALSE));

    IAccessible* accessible = bar->AccessibleObject();
    ASSERT_NE(accessible, nullptr);
    accessible->AddRef();
    bar.reset();
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR value = nullptr;
    EXPECT_EQ(accessible->get_accValue(self, &value), CO_E_OBJNOTCONNECTED);
    accessible->Release();
    DestroyWindow(hwnd);
}

// The About box opens centred over the window it was asked from, wherever
// that window is.
TEST_F(DesktopTest, AboutBoxOpensCentredOverItsWindow) {
    for (const POINT at : {POINT{40, 30}, POINT{220, 140}}) {
        SetWindowPos(dialog.Handle(), nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        RECT window{};
        GetWindowRect(dialog.Handle(), &window);
        CAboutDlg about(dialog.Handle());
        ASSERT_TRUE(about.Create());
        RECT box{};
        GetWindowRect(about.Handle(), &box);
        EXPECT_NEAR(box.left + box.right, window.left + window.right, 2) << at.x;
        EXPECT_NEAR(box.top + box.bottom, window.top + window.bottom, 2) << at.x;
        about.EndDialog(IDOK);
    }
}

// A path past the system's 260 characters goes to the file functions in its
// extended-length form, tidied first; shorter ones as they are.
TEST(ExtendedLengthPath, OnlyForPathsPastTheLimit) {
    const std::wstring name(300, L'a');
    EXPECT_EQ(ExtendedLengthPath(L"C:\\data\\x.bin"), L"C:\\data\\x.bin");
    EXPECT_EQ(ExtendedLengthPath(L"C:\\data\\..\\" + name), L"\\\\?\\C:\\" + name);
    EXPECT_EQ(ExtendedLengthPath(L"C:/" + name), L"\\\\?\\C:\\" + name);
    EXPECT_EQ(ExtendedLengthPath(L"\\\\server\\share\\" + name),
              L"\\\\?\\UNC\\server\\share\\" + name);
    EXPECT_EQ(ExtendedLengthPath(L"\\\\?\\C:\\" + name), L"\\\\?\\C:\\" + name);
}

// A monitor with another scale: the icons, the hover buttons' edges and the
// percentage's font are drawn at the new DPI.
TEST_F(DesktopTest, DpiChangeRedrawsIconsEdgesAndThePercentage) {
    // The percentage's height, as the rows it inks, and its width.
    const auto percentInk = [this] {
        RECT client{};
        GetClientRect(dialog.progressBar.Handle(), &client);
        CSurface surface(client.right, client.bottom);
        SendMessageW(dialog.progressBar.Handle(), WM_PRINTCLIENT,
                     reinterpret_cast<WPARAM>(surface.Dc()), PRF_CLIENT);
        const COLORREF ink = Ref(SystemColors()[SysColor::kHighlight]);
        int rows = 0;
        int left = client.right;
        int right = 0;
        for (int y = 0; y < client.bottom; ++y) {
            bool inked = false;
            for (int x = 0; x < client.right; ++x) {
                if (surface.At(x, y) == ink) {
                    inked = true;
                    left = std::min(left, x);
                    right = std::max(right, x + 1);
                }
            }
            rows += inked ? 1 : 0;
        }
        return std::pair{rows, right - left};
    };
    // Every control that draws itself takes the new DPI: both icon buttons'
    // icons and both hover buttons' focus frames.
    const auto iconWidth = [](CIconButton& button) {
        ICONINFO info{};
        GetIconInfo(button.Icon(0), &info);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return static_cast<int>(info.xHotspot * 2);
    };
    CIconButton* const iconButtons[] = {&dialog.helpButton, &dialog.homeButton};
    CHoverButton* const hoverButtons[] = {&dialog.openButton, &dialog.startStopButton};
    const UINT before = WindowDpi(dialog.Handle());
    const auto [rowsBefore, widthBefore] = percentInk();
    ASSERT_GT(rowsBefore, 0);
    ASSERT_GT(widthBefore, 0);
    for (CIconButton* button : iconButtons) {
        EXPECT_EQ(iconWidth(*button), MetricForDpi(SM_CXSMICON, before));
    }

    const UINT after = before * 2;
    RECT rect{};
    GetWindowRect(dialog.Handle(), &rect);
    rect.right += rect.right - rect.left;
    rect.bottom += rect.bottom - rect.top;
    SendMessageW(dialog.Handle(), WM_DPICHANGED, MAKEWPARAM(after, after),
                 reinterpret_cast<LPARAM>(&rect));
    for (CIconButton* button : iconButtons) {
        EXPECT_EQ(iconWidth(*button), MetricForDpi(SM_CXSMICON, after)) << button->Handle();
    }
    EXPECT_GT(MetricForDpi(SM_CXSMICON, after), MetricForDpi(SM_CXSMICON, before));
    const auto [rowsAfter, widthAfter] = percentInk();
    EXPECT_GE(rowsAfter, rowsBefore * 3 / 2) << rowsBefore;
    EXPECT_GE(widthAfter, widthBefore * 3 / 2) << widthBefore;

    for (CHoverButton* button : hoverButtons) {
        CSurface surface(160, 40);
        SelectObject(surface.Dc(), GetStockObject(WHITE_BRUSH));
        DRAWITEMSTRUCT request{};
        request.CtlType = ODT_BUTTON;
        request.hDC = surface.Dc();
        request.rcItem = {0, 0, 160, 40};
        request.itemState = ODS_FOCUS;
        request.hwndItem = button->Handle();
        button->DrawItem(request);
        // The focus frame's left pen, 3 pixels wide, centred on the inner edge.
        EXPECT_EQ(surface.At(MetricForDpi(SM_CXEDGE, after) + 1, 20), RGB(153, 198, 252))
            << button->Handle();
    }
}

TEST(GdiPlayer, ThinLinesFramesAndTheFocusRectangle) {
    CSurface surface(40, 24);
    const Colour red = Fixed(255, 0, 0);
    const Colour blue = Fixed(0, 0, 255);
    Play(surface.Dc(),
         {PolylineOp{{{2, 10}, {2, 2}, {12, 2}}, {1, red}}, Rect3dOp{{20, 2, 30, 10}, red, blue}},
         nullptr);
    EXPECT_EQ(surface.At(2, 10), RGB(255, 0, 0));
    EXPECT_EQ(surface.At(11, 2), RGB(255, 0, 0));
    EXPECT_EQ(surface.At(12, 2), CSurface::kPaper);  // the end point is left out
    EXPECT_EQ(surface.At(28, 2), RGB(255, 0, 0));
    EXPECT_EQ(surface.At(29, 2), RGB(0, 0, 255));
    EXPECT_EQ(surface.At(20, 9), RGB(0, 0, 255));
    EXPECT_EQ(surface.At(25, 5), CSurface::kPaper);

    // Every other pixel of the edge inverted; twice restores them.
    surface.Fill(RGB(200, 200, 200));
    const auto invertedOnTop = [&surface] {
        int count = 0;
        for (int x = 4; x < 36; ++x) {
            count += surface.At(x, 4) == RGB(55, 55, 55) ? 1 : 0;
        }
        return count;
    };
    Play(surface.Dc(), {FocusRectOp{{4, 4, 36, 20}}}, nullptr);
    EXPECT_EQ(invertedOnTop(), 16);
    EXPECT_EQ(surface.At(20, 12), RGB(200, 200, 200));
    Play(surface.Dc(), {FocusRectOp{{4, 4, 36, 20}}}, nullptr);
    EXPECT_EQ(invertedOnTop(), 0);
}

TEST(GdiPlayer, ClippedTextSplitsAtTheClipEdge) {
    CSurface surface(40, 24);
    constexpr unsigned kCentred = kTextCenter | kTextVCenter | kTextSingleLine;
    Play(surface.Dc(),
         {TextOp{
              "MMM", {0, 0, 40, 24}, Font::kSystem, Fixed(255, 0, 0), kCentred, Rect{0, 0, 20, 24}},
          TextOp{"MMM",
                 {0, 0, 40, 24},
                 Font::kSystem,
                 Fixed(0, 0, 255),
                 kCentred,
                 Rect{20, 0, 40, 24}}},
         nullptr);
    int redRight = -1;
    int blueLeft = 40;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 40; ++x) {
            if (surface.At(x, y) == RGB(255, 0, 0)) {
                redRight = std::max(redRight, x);
            }
            if (surface.At(x, y) == RGB(0, 0, 255)) {
                blueLeft = std::min(blueLeft, x);
            }
        }
    }
    EXPECT_EQ(redRight, 19);
    EXPECT_EQ(blueLeft, 20);
}

// Each control's drawing through GDI: the hover button's outline, gradient
// and focus frame; the icon button's bevel; the progress bar's two fills.
TEST_F(DesktopTest, ControlsDrawThroughGdi) {
    CSurface surface(160, 40);
    SelectObject(surface.Dc(), GetStockObject(WHITE_BRUSH));
    DRAWITEMSTRUCT request{};
    request.CtlType = ODT_BUTTON;
    request.hDC = surface.Dc();
    request.rcItem = {0, 0, 160, 23};
    request.itemState = ODS_FOCUS;
    request.hwndItem = dialog.openButton.Handle();
    dialog.openButton.DrawItem(request);
    EXPECT_EQ(surface.At(0, 0), CSurface::kPaper);  // the corner is cut
    EXPECT_EQ(surface.At(80, 0), RGB(0, 0, 0));
    EXPECT_EQ(surface.At(3, 11), RGB(153, 198, 252));  // the focus frame's left pen
    // The active gradient's row 9 of 19: c[29].
    EXPECT_EQ(surface.At(10, 11), RGB(246, 246, 248));

    surface.Fill(CSurface::kPaper);
    request.rcItem = {0, 0, 63, 34};
    request.itemState = 0;
    request.hwndItem = dialog.helpButton.Handle();
    dialog.helpButton.DrawItem(request);
    const CSystemColors colors = SystemColors();
    EXPECT_EQ(surface.At(0, 0), Ref(colors[SysColor::kBtnHighlight]));
    EXPECT_EQ(surface.At(62, 33), Ref(colors[SysColor::k3dDkShadow]));
    EXPECT_EQ(surface.At(1, 1), Ref(colors[SysColor::k3dLight]));
    EXPECT_EQ(surface.At(61, 32), Ref(colors[SysColor::kBtnShadow]));

    surface.Fill(CSurface::kPaper);
    CPercentProgress bar(colors);
    bar.SetRange(0, 2);
    bar.SetPos(1, 160);
    DrawList list;
    bar.Draw(list, {0, 0, 160, 20});
    Play(surface.Dc(), list, nullptr);
    EXPECT_EQ(surface.At(0, 0), Ref(colors[SysColor::kHighlight]));
    EXPECT_EQ(surface.At(159, 0), Ref(colors[SysColor::kWindow]));
}

// A button of the dialog's made for one test and taken over by an icon
// button; the window goes before the object does.
class CTestButton {
public:
    CTestButton(CDialog& dialog, DWORD type) {
        hwnd_ = CreateWindowW(L"BUTTON", L"Test", WS_CHILD | WS_VISIBLE | type, 0, 0, 63, 34,
                              dialog.Handle(), FromParam<HMENU>(INT_PTR{kId}),
                              GetModuleHandleW(nullptr), nullptr);
        button.SubclassDlgItem(kId, dialog);
    }
    ~CTestButton() { DestroyWindow(hwnd_); }
    CTestButton(const CTestButton&) = delete;
    CTestButton& operator=(const CTestButton&) = delete;

    HWND Handle() const { return hwnd_; }
    void Draw(CSurface& surface, UINT state) {
        DRAWITEMSTRUCT request{};
        request.CtlType = ODT_BUTTON;
        request.hDC = surface.Dc();
        request.rcItem = {0, 0, 63, 34};
        request.itemState = state;
        request.hwndItem = hwnd_;
        button.DrawItem(request);
    }

    static constexpr int kId = 2000;
    CIconButton button;

private:
    HWND hwnd_ = nullptr;
};

TEST_F(DesktopTest, CheckBoxIconButtonTogglesOnClickAndDrawsCheckedAsPressed) {
    CTestButton test(dialog, BS_AUTOCHECKBOX);
    CIconButton& button = test.button;
    ASSERT_TRUE(button.CheckBoxMode());
    button.SetFlatLook(false, false);
    CSurface resting(63, 34);
    test.Draw(resting, 0);
    CSurface pressed(63, 34);
    test.Draw(pressed, ODS_SELECTED);

    SendMessageW(test.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(button.IsChecked(), 1);
    EXPECT_EQ(SendMessageW(test.Handle(), BM_GETCHECK, 0, 0), 1);
    CSurface checked(63, 34);
    test.Draw(checked, 0);
    for (const POINT corner : {POINT{0, 0}, POINT{62, 33}, POINT{1, 1}}) {
        EXPECT_EQ(checked.At(corner.x, corner.y), pressed.At(corner.x, corner.y)) << corner.x;
    }
    EXPECT_NE(checked.At(0, 0), resting.At(0, 0));

    SendMessageW(test.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(button.IsChecked(), 0);
}

TEST_F(DesktopTest, LinkIconButtonShowsTheHandAndOpensItsAddressOnClick) {
    CTestButton test(dialog, BS_PUSHBUTTON);
    CIconButton& button = test.button;
    std::vector<ShellOpenRequest> opened;
    SetShellOpenHook([&opened](const ShellOpenRequest& request) { opened.push_back(request); });
    const LPARAM overClient = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);

    SendMessageW(test.Handle(), BM_CLICK, 0, 0);
    SendMessageW(test.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(test.Handle()), overClient);
    EXPECT_TRUE(opened.empty());
    EXPECT_NE(GetCursor(), hand);

    button.SetLinkAddress("https://example.invalid/");
    SendMessageW(test.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(test.Handle()), overClient);
    EXPECT_EQ(GetCursor(), hand);
    SendMessageW(test.Handle(), BM_CLICK, 0, 0);
    SetShellOpenHook(nullptr);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].verb, L"open");
    EXPECT_EQ(opened[0].file, L"https://example.invalid/");
    EXPECT_EQ(opened[0].show, SW_SHOW);

    // The tip window comes with the first movement over the button, hidden.
    EXPECT_FALSE(button.TooltipCreated());
    SendMessageW(test.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    ASSERT_TRUE(button.TooltipCreated());
    EXPECT_FALSE(IsWindowVisible(button.Tooltip()));
}

// The idle copy of a program icon: every pixel grey, some of them not black.
TEST_F(DesktopTest, GreyIdleIconIsAGreyCopy) {
    CTestButton test(dialog, BS_PUSHBUTTON);
    ASSERT_EQ(test.button.LoadIcons(ids::IDI_HELP, CIconButton::kGreyIdleIcon), 0);
    ASSERT_NE(test.button.Icon(1), nullptr);
    CSurface surface(16, 16);
    surface.Fill(RGB(255, 255, 255));  // blending with white stays grey
    DrawIconEx(surface.Dc(), 0, 0, test.button.Icon(1), 16, 16, 0, nullptr, DI_NORMAL);
    int lit = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const COLORREF pixel = surface.At(x, y);
            EXPECT_TRUE(GetRValue(pixel) == GetGValue(pixel) &&
                        GetGValue(pixel) == GetBValue(pixel))
                << x << "," << y;
            lit += pixel != RGB(255, 255, 255) && pixel != RGB(0, 0, 0) ? 1 : 0;
        }
    }
    EXPECT_GT(lit, 0);
}

// The button takes over the icons it is given, also those it refuses: none
// is left behind, whichever of the two cannot be read; those it keeps it
// shows.
TEST_F(DesktopTest, AssignedIconsAreTakenOverAlsoWhenRefused) {
    CTestButton test(dialog, BS_PUSHBUTTON);
    const auto make = [] { return CopyIcon(LoadIconW(nullptr, IDI_APPLICATION)); };
    const auto gone = [](HICON icon) {
        ICONINFO info{};
        if (!GetIconInfo(icon, &info)) {
            return true;
        }
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return false;
    };
    // A handle that was an icon: the system does not hand the same value out
    // again at once, so the button's attempt to destroy it harms nothing.
    HICON dead = make();
    DestroyIcon(dead);
    const struct {
        const char* name;
        HICON active;
        HICON idle;
        int result;
    } rows[] = {{"no active icon", nullptr, make(), 0},
                {"the active icon unreadable", dead, make(), 1},
                {"the idle icon unreadable", make(), dead, 1}};
    for (const auto& row : rows) {
        EXPECT_EQ(test.button.AssignIcons(row.active, row.idle), row.result) << row.name;
        EXPECT_EQ(test.button.Icon(0), nullptr) << row.name;
        EXPECT_EQ(test.button.Icon(1), nullptr) << row.name;
        for (HICON given : {row.active, row.idle}) {
            EXPECT_TRUE(given == nullptr || given == dead || gone(given)) << row.name;
        }
    }
    // Icons it keeps are drawn at once.
    ValidateRect(test.Handle(), nullptr);
    HICON active = make();
    HICON idle = make();
    EXPECT_EQ(test.button.AssignIcons(active, idle), 0);
    EXPECT_EQ(test.button.Icon(0), active);
    EXPECT_EQ(test.button.Icon(1), idle);
    EXPECT_TRUE(GetUpdateRect(test.Handle(), nullptr, FALSE));
}

// The menu's items drawn as the owner window is asked to: a greyed item's
// text in the grey text colour over its embossed light copy, a checked item's
// mark in the icon column. Whole colours are counted, as the font's pixels
// are the system's.
TEST(OwnerDrawMenu, GreyedAndCheckedItemsDrawnThroughTheOwnerWindow) {
    HMENU popup = CreatePopupMenu();
    AppendMenuW(popup, MF_STRING, 1, L"&Open");
    AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(popup, MF_STRING | MF_GRAYED, 2, L"&Close");
    HMENU top = CreatePopupMenu();
    AppendMenuW(top, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), L"&File");
    const std::size_t before = COwnerDrawMenu::RegisteredMenuCount();
    {
        COwnerDrawMenu menu;
        ASSERT_TRUE(menu.LoadMenu(top));
        EXPECT_TRUE(COwnerDrawMenu::OwnsMenuHandle(popup));
        EXPECT_TRUE(COwnerDrawMenu::OwnsMenu(&menu));
        EXPECT_FALSE(COwnerDrawMenu::OwnsMenu(nullptr));
        EXPECT_FALSE(COwnerDrawMenu::OwnsMenuHandle(nullptr));
        EXPECT_EQ(COwnerDrawMenu::RegisteredMenuCount(), before + 2);
        ASSERT_EQ(menu.GetSubMenu(0), popup);

        const auto itemData = [popup](UINT position) {
            MENUITEMINFOW info{};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_DATA;
            GetMenuItemInfoW(popup, position, TRUE, &info);
            EXPECT_NE(info.fType & MFT_OWNERDRAW, 0u) << position;
            return info.dwItemData;
        };
        MEASUREITEMSTRUCT measure{};
        measure.CtlType = ODT_MENU;
        measure.itemID = 2;
        measure.itemData = itemData(2);
        LRESULT result = 0;
        ASSERT_TRUE(
            menu.OnOwnerMessage(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure), result));
        ASSERT_GT(measure.itemWidth, 0u);
        ASSERT_GT(measure.itemHeight, 0u);
        const int width = static_cast<int>(measure.itemWidth);
        const int height = static_cast<int>(measure.itemHeight);

        const CSystemColors colors = SystemColors();
        const COLORREF menuText = Ref(colors[SysColor::kMenuText]);
        const COLORREF grayText = Ref(colors[SysColor::kGrayText]);
        const auto draw = [&](UINT position, UINT state, CSurface& surface) {
            DRAWITEMSTRUCT request{};
            request.CtlType = ODT_MENU;
            request.itemID = GetMenuItemID(popup, static_cast<int>(position));
            request.itemState = state;
            request.hwndItem = reinterpret_cast<HWND>(popup);
            request.hDC = surface.Dc();
            request.rcItem = {0, 0, width, height};
            request.itemData = itemData(position);
            LRESULT drawn = 0;
            EXPECT_TRUE(
                menu.OnOwnerMessage(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&request), drawn));
        };
        const auto count = [width, height](const CSurface& surface, COLORREF colour, int right) {
            int n = 0;
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < std::min(width, right); ++x) {
                    n += surface.At(x, y) == colour ? 1 : 0;
                }
            }
            return n;
        };
        CSurface greyed(width, height);
        draw(2, ODS_GRAYED, greyed);
        EXPECT_GT(count(greyed, grayText, width), 0);
        EXPECT_EQ(count(greyed, menuText, width), 0);

        // The icon column ends where the text begins.
        const int column = COwnerDrawMenu::Look().icon.cx + 4;
        CSurface plain(width, height);
        draw(0, 0, plain);
        EXPECT_GT(count(plain, menuText, width), 0);
        EXPECT_EQ(count(plain, grayText, width), 0);
        EXPECT_EQ(count(plain, menuText, column), 0);
        CSurface checked(width, height);
        draw(0, ODS_CHECKED, checked);
        EXPECT_GT(count(checked, menuText, column), 0);

        // The access key of a popup's item executes it.
        EXPECT_TRUE(menu.OnOwnerMessage(WM_MENUCHAR, MAKEWPARAM(L'C', MF_POPUP),
                                        reinterpret_cast<LPARAM>(popup), result));
        EXPECT_EQ(result, MAKELRESULT(2, MNC_EXECUTE));
    }
    EXPECT_EQ(COwnerDrawMenu::RegisteredMenuCount(), before);
    EXPECT_FALSE(IsMenu(popup));
}

// The settings of one test, in a registry key of its own that goes with it.
class CTestSettings {
public:
    CTestSettings() {
        SetEnvironmentVariableW(L"VELMORO_SETTINGS_KEY", kKey);
        RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    }
    ~CTestSettings() {
        RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
        SetEnvironmentVariableW(L"VELMORO_SETTINGS_KEY", nullptr);
    }
    CTestSettings(const CTestSettings&) = delete;
    CTestSettings& operator=(const CTestSettings&) = delete;

private:
    static constexpr const wchar_t* kKey = L"Software\\Velmoro\\Velmoro Downloader Tests";
};

// Pixels of a window's client area, as shown, that are brighter than the
// night allows or white; the first few are named.
std::string BrightPixels(HWND hwnd) {
    RedrawWindow(hwnd, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT client{};
    GetClientRect(hwnd, &client);
    CSurface surface(client.right, client.bottom);
    surface.CopyShown(hwnd, client);
    int bright = 0;
    std::string named;
    for (int y = 0; y < client.bottom; ++y) {
        for (int x = 0; x < client.right; ++x) {
            const COLORREF pixel = surface.At(x, y);
            const Rgb rgb{GetRValue(pixel), GetGValue(pixel), GetBValue(pixel)};
            if (!IsNightSafe(rgb) || pixel == RGB(255, 255, 255)) {
                if (++bright <= 4) {
                    named += " (" + std::to_string(x) + "," + std::to_string(y) +
                             ")=" + std::to_string(rgb.red) + "," + std::to_string(rgb.green) +
                             "," + std::to_string(rgb.blue);
                }
            }
        }
    }
    return bright == 0 ? std::string() : std::to_string(bright) + " bright pixels:" + named;
}

class NightDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ChangeLook(Look::kNight);
        ASSERT_TRUE(dialog.Create());
    }
    void TearDown() override { ChangeLook(Look::kDay); }

    CDownloaderDlg dialog;
};

// A box that is up, looked at from its own message loop and answered.
class CBoxWatch {
public:
    explicit CBoxWatch(std::function<void(HWND)> look) : look_(std::move(look)) {
        current_ = this;
        hook_ = SetWindowsHookExW(WH_CBT, Watch, nullptr, GetCurrentThreadId());
    }
    ~CBoxWatch() {
        UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    CBoxWatch(const CBoxWatch&) = delete;
    CBoxWatch& operator=(const CBoxWatch&) = delete;

private:
    static LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam) {
        HWND window = FromParam<HWND>(wParam);
        if (code == HCBT_ACTIVATE && current_ != nullptr && GetDlgItem(window, 0xFFFF) != nullptr &&
            GetDlgItem(window, IDYES) != nullptr) {
            SetTimer(window, kTimer, 50, Look);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static void CALLBACK Look(HWND box, UINT /*message*/, UINT_PTR timer, DWORD /*time*/) {
        KillTimer(box, timer);
        if (current_ != nullptr) {
            current_->look_(box);
        }
    }
    static constexpr UINT_PTR kTimer = 0x5CF;
    static inline CBoxWatch* current_ = nullptr;
    std::function<void(HWND)> look_;
    HHOOK hook_ = nullptr;
};

// The whole window at night, idle, during a transfer and with a question
// open over it, and the About box: no pixel brighter than the night's limit,
// none white. The title bars are the system's.
TEST_F(NightDesktopTest, NoPixelBrighterThanTheNightAllows) {
    EXPECT_EQ(BrightPixels(dialog.Handle()), "") << "idle";
    HWND ports = dialog.GetDlgItem(ids::IDC_PORT_LIST);
    SendMessageW(ports, CB_SHOWDROPDOWN, TRUE, 0);
    COMBOBOXINFO combo{};
    combo.cbSize = sizeof combo;
    ASSERT_TRUE(GetComboBoxInfo(ports, &combo));
    EXPECT_EQ(BrightPixels(combo.hwndList), "") << "the port list dropped down";
    SendMessageW(ports, CB_SHOWDROPDOWN, FALSE, 0);
    {
        CAboutDlg about(dialog.Handle());
        ASSERT_TRUE(about.Create());
        EXPECT_EQ(BrightPixels(about.Handle()), "") << "About";
        about.EndDialog(IDOK);
    }
    dialog.dataFilePath = L"C:\\data\\hand-controller-main.bin";
    SetDlgItemTextW(dialog.Handle(), ids::IDC_FILE_PATH, dialog.dataFilePath.c_str());
    window::ShowTransferUnderWay(dialog);
    SetFocus(dialog.startStopButton.Handle());
    EXPECT_EQ(BrightPixels(dialog.Handle()), "") << "during a transfer";

    std::string box;
    std::string under;
    UINT icon = 0;
    const CBoxWatch watch([&](HWND up) {
        box = BrightPixels(up);
        under = BrightPixels(dialog.Handle());
        icon = NightMessageBoxIcon(up);
        PostMessageW(GetDlgItem(up, IDNO), BM_CLICK, 0, 0);
    });
    EXPECT_FALSE(dialog.AskQuestion("Send the empty catalogue anyway?"));
    EXPECT_EQ(icon, static_cast<UINT>(MB_ICONQUESTION)) << "the night box, not the system's";
    EXPECT_EQ(box, "") << "the question";
    EXPECT_EQ(under, "") << "the window under the question";
}

// A focused radio button at night: its dotted grey frame closes round the
// caption, not round the whole control, nor round nothing.
TEST_F(NightDesktopTest, FocusFrameHugsTheRadioButtonsCaption) {
    for (const int id : {ids::IDC_MAIN_PROGRAM, ids::IDC_OBJECT_CATALOG}) {
        HWND radio = dialog.GetDlgItem(id);
        SendMessageW(dialog.Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(radio), TRUE);
        ASSERT_EQ(GetFocus(), radio);
        RECT client{};
        GetClientRect(radio, &client);
        CSurface surface(client.right, client.bottom);
        SendMessageW(radio, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.Dc()), PRF_CLIENT);
        const COLORREF frame = Ref(NightColors()[SysColor::kGrayText]);
        const COLORREF ink = Ref(NightColors()[SysColor::kBtnText]);
        RECT framed{client.right, client.bottom, -1, -1};
        RECT inked = framed;
        // Past the circle, drawn in the caption's ink.
        const int circle = MulDiv(13, static_cast<int>(WindowDpi(radio)), USER_DEFAULT_SCREEN_DPI);
        for (int y = 0; y < client.bottom; ++y) {
            for (int x = circle; x < client.right; ++x) {
                RECT& box = surface.At(x, y) == frame ? framed : inked;
                if (surface.At(x, y) == frame || surface.At(x, y) == ink) {
                    box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y),
                           std::max<LONG>(box.right, x), std::max<LONG>(box.bottom, y)};
                }
            }
        }
        ASSERT_GE(inked.right, inked.left) << id << ": no caption";
        EXPECT_LT(framed.left, inked.left) << id;
        EXPECT_LT(framed.top, inked.top) << id;
        EXPECT_GT(framed.right, inked.right) << id;
        EXPECT_GT(framed.bottom, inked.bottom) << id;
        EXPECT_LE(framed.right - inked.right, 3) << id << ": the frame runs past the caption";
    }
}

// At night the edit boxes' sunken edges are drawn by the night look: one
// asked to draw its frame without having an edge draws none over itself.
TEST_F(NightDesktopTest, ControlsWithoutAnEdgeGetNoneAtNight) {
    for (const int id : {ids::IDC_MAIN_PROGRAM, ids::IDC_OBJECT_CATALOG}) {
        HWND radio = dialog.GetDlgItem(id);
        RedrawWindow(radio, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        SendMessageW(radio, WM_NCPAINT, 1, 0);
        HDC dc = GetDC(radio);
        EXPECT_EQ(GetPixel(dc, 0, 0), Ref(NightColors()[SysColor::kBtnFace])) << id;
        ReleaseDC(radio, dc);
    }
}

// The port list's arrow at night: a triangle pointing down, each row two
// pixels narrower than the one above it, down to a single pixel, as the
// system draws its own.
TEST_F(NightDesktopTest, PortListsArrowEndsInAPoint) {
    HWND ports = dialog.GetDlgItem(ids::IDC_PORT_LIST);
    COMBOBOXINFO combo{};
    combo.cbSize = sizeof combo;
    ASSERT_TRUE(GetComboBoxInfo(ports, &combo));
    RedrawWindow(ports, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RECT client{};
    GetClientRect(ports, &client);
    CSurface surface(client.right, client.bottom);
    surface.CopyShown(ports, client);
    const COLORREF ink = Ref(NightColors()[SysColor::kBtnText]);
    std::vector<int> widths;
    for (int y = combo.rcButton.top; y < combo.rcButton.bottom; ++y) {
        int width = 0;
        for (int x = combo.rcButton.left; x < combo.rcButton.right; ++x) {
            width += surface.At(x, y) == ink ? 1 : 0;
        }
        if (width > 0) {
            widths.push_back(width);
        }
    }
    std::string shown;
    for (const int width : widths) {
        shown += " " + std::to_string(width);
    }
    ASSERT_GE(widths.size(), 3u) << shown;
    EXPECT_EQ(widths.back(), 1) << shown;
    for (std::size_t row = 1; row < widths.size(); ++row) {
        EXPECT_EQ(widths[row], widths[row - 1] - 2) << shown;
    }
}

// Night Mode switches every window at once, is checked while night, and is
// remembered for the next start unless the command line says otherwise.
TEST_F(DesktopTest, NightModeSwitchesTheWindowAndIsRememberedForTheNextStart) {
    const CTestSettings settings;
    HMENU menu = GetSystemMenu(dialog.Handle(), FALSE);
    const auto background = [this] {
        RedrawWindow(dialog.Handle(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        HDC dc = GetDC(dialog.Handle());
        const COLORREF pixel = GetPixel(dc, 2, 2);
        ReleaseDC(dialog.Handle(), dc);
        return pixel;
    };
    const COLORREF day = background();
    EXPECT_EQ(day, GetSysColor(COLOR_BTNFACE));

    SendMessageW(dialog.Handle(), WM_SYSCOMMAND, 48, 0);
    EXPECT_EQ(CurrentLook(), Look::kNight);
    EXPECT_NE(GetMenuState(menu, 48, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_EQ(background(), Ref(NightColors()[SysColor::kBtnFace]));
    EXPECT_EQ(BrightPixels(dialog.Handle()), "");
    EXPECT_EQ(window::StartingLook(window::RememberedLook(), {}), Look::kNight);
    EXPECT_EQ(window::StartingLook(window::RememberedLook(), {"--day"}), Look::kDay);
    {
        // The next start: the window opens at night, its item checked.
        CDownloaderDlg next;
        ASSERT_TRUE(next.Create());
        EXPECT_NE(GetMenuState(GetSystemMenu(next.Handle(), FALSE), 48, MF_BYCOMMAND) & MF_CHECKED,
                  0u);
        EXPECT_EQ(BrightPixels(next.Handle()), "");
    }

    SendMessageW(dialog.Handle(), WM_SYSCOMMAND, 48, 0);
    EXPECT_EQ(CurrentLook(), Look::kDay);
    EXPECT_EQ(GetMenuState(menu, 48, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_EQ(background(), day);
    EXPECT_EQ(window::StartingLook(window::RememberedLook(), {}), Look::kDay);
    EXPECT_EQ(window::StartingLook(window::RememberedLook(), {"--night"}), Look::kNight);
}

// What the test touches of the user's: the variable that names a key, and
// the look under the program's own key. Put back as they were however the
// test ends; keys it made are removed.
class CUsersLook {
public:
    static constexpr const wchar_t* kVariable = L"VELMORO_SETTINGS_KEY";
    static constexpr const wchar_t* kParent = L"Software\\Velmoro";
    static constexpr const wchar_t* kOwn = L"Software\\Velmoro\\Velmoro Downloader";

    CUsersLook() {
        std::array<wchar_t, 32768> value{};
        const DWORD length =
            GetEnvironmentVariableW(kVariable, value.data(), static_cast<DWORD>(value.size()));
        if (length > 0 && length < value.size()) {
            variable_ = std::wstring(value.data(), length);
        }
        parentWas_ = Exists(kParent);
        ownWas_ = Exists(kOwn);
        look_ = Stored(kOwn);
    }
    ~CUsersLook() {
        SetEnvironmentVariableW(kVariable, variable_ ? variable_->c_str() : nullptr);
        if (!parentWas_) {
            RegDeleteTreeW(HKEY_CURRENT_USER, kParent);
        } else if (!ownWas_) {
            RegDeleteTreeW(HKEY_CURRENT_USER, kOwn);
        } else if (look_) {
            RegSetKeyValueW(HKEY_CURRENT_USER, kOwn, L"NightMode", REG_DWORD, &*look_,
                            sizeof *look_);
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kOwn, L"NightMode");
        }
    }
    CUsersLook(const CUsersLook&) = delete;
    CUsersLook& operator=(const CUsersLook&) = delete;

    static std::optional<DWORD> Stored(const std::wstring& key) {
        DWORD value = 0;
        DWORD size = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"NightMode", RRF_RT_REG_DWORD, nullptr,
                         &value, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return value;
    }

private:
    static bool Exists(const wchar_t* key) {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(opened);
        return true;
    }

    std::optional<std::wstring> variable_;
    bool parentWas_ = false;
    bool ownWas_ = false;
    std::optional<DWORD> look_;
};

// The look is kept under the program's own key, or under the one the
// environment names when the name fits.
TEST(LookStore, KeptUnderTheProgramsKeyOrTheOneNamed) {
    const CUsersLook users;
    const std::wstring own = CUsersLook::kOwn;
    const std::wstring named = L"Software\\Velmoro\\Velmoro Downloader Tests";
    const std::wstring tooLong = L"Software\\" + std::wstring(600, L'x');
    const struct {
        const char* name;
        const wchar_t* variable;
        const std::wstring& key;
    } rows[] = {{"no name", nullptr, own},
                {"a name", named.c_str(), named},
                {"a name too long", tooLong.c_str(), own}};
    for (const auto& row : rows) {
        SetEnvironmentVariableW(CUsersLook::kVariable, row.variable);
        for (const Look look : {Look::kNight, Look::kDay}) {
            window::RememberLook(look);
            EXPECT_EQ(CUsersLook::Stored(row.key).value_or(2), look == Look::kNight ? 1u : 0u)
                << row.name;
            EXPECT_EQ(window::RememberedLook(), look) << row.name;
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, named.c_str());
    }
}

// The answer a message box gives to keys typed into it: 0 while it stays up.
int AnswerToKeys(bool night, UINT type, const std::vector<std::pair<UINT, WPARAM>>& keys) {
    struct Typing {
        std::vector<std::pair<UINT, WPARAM>> keys;
        bool stayed = false;
        HHOOK hook = nullptr;
    };
    static Typing* typing = nullptr;
    Typing current{keys};
    typing = &current;
    const auto watch = [](int code, WPARAM wParam, LPARAM lParam) -> LRESULT {
        HWND window = FromParam<HWND>(wParam);
        if (code == HCBT_ACTIVATE && typing != nullptr && GetDlgItem(window, 0xFFFF) != nullptr) {
            SetTimer(window, 1, 50, [](HWND box, UINT, UINT_PTR timer, DWORD) {
                KillTimer(box, timer);
                for (const auto& [message, key] : typing->keys) {
                    PostMessageW(GetFocus(), message, key, 0);
                }
                // Still up once the keys are taken: the keys do not end it.
                SetTimer(box, 2, 400, [](HWND still, UINT, UINT_PTR, DWORD) {
                    typing->stayed = true;
                    const int first = GetDlgItem(still, IDYES) != nullptr ? IDYES : IDOK;
                    PostMessageW(GetDlgItem(still, first), BM_CLICK, 0, 0);
                });
            });
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    };
    current.hook = SetWindowsHookExW(WH_CBT, watch, nullptr, GetCurrentThreadId());
    const int answer = night ? NightMessageBox(nullptr, L"Text", L"Caption", type)
                             : MessageBoxW(nullptr, L"Text", L"Caption", type);
    UnhookWindowsHookEx(current.hook);
    typing = nullptr;
    return current.stayed ? 0 : answer;
}

// The night box answers every key as the system's box does: Enter the
// default button, Tab to the next, the access letters, Escape only where
// the system's lets it end the box.
TEST(NightMessageBox, AnswersEachKeyAsTheSystemsBox) {
    const std::pair<UINT, WPARAM> enter{WM_KEYDOWN, VK_RETURN};
    const std::pair<UINT, WPARAM> escape{WM_KEYDOWN, VK_ESCAPE};
    const std::pair<UINT, WPARAM> tab{WM_KEYDOWN, VK_TAB};
    // Wine's box answers Escape with IDCANCEL whatever its buttons; the
    // answers here are Windows' own: nothing without a Cancel button,
    // IDOK from a box of OK alone. Those rows are not asked of Wine's box.
    enum class Wine { kAsWindows, kDiffers };
    struct Row {
        const char* what;
        UINT type;
        std::vector<std::pair<UINT, WPARAM>> keys;
        int answer;
        Wine wine = Wine::kAsWindows;
    };
    constexpr UINT kQuestion = MB_YESNO | MB_ICONQUESTION;
    const Row rows[] = {
        {"question, No default: Enter", kQuestion | MB_DEFBUTTON2, {enter}, IDNO},
        {"question, No default: Tab, Enter", kQuestion | MB_DEFBUTTON2, {tab, enter}, IDYES},
        {"question: Enter", kQuestion, {enter}, IDYES},
        {"question: Y", kQuestion | MB_DEFBUTTON2, {{WM_CHAR, 'y'}}, IDYES},
        {"question: N", kQuestion, {{WM_CHAR, 'n'}}, IDNO},
        {"question: Escape", kQuestion, {escape}, 0, Wine::kDiffers},
        {"stop: Enter", MB_OK | MB_ICONSTOP, {enter}, IDOK},
        {"stop: Escape", MB_OK | MB_ICONSTOP, {escape}, IDOK, Wine::kDiffers},
        {"OK/Cancel: Escape", MB_OKCANCEL | MB_ICONEXCLAMATION, {escape}, IDCANCEL},
        {"OK/Cancel: Tab, Enter", MB_OKCANCEL | MB_ICONASTERISK, {tab, enter}, IDCANCEL},
    };
    for (const Row& row : rows) {
        if (row.wine == Wine::kAsWindows) {
            EXPECT_EQ(AnswerToKeys(false, row.type, row.keys), row.answer)
                << "system: " << row.what;
        }
        EXPECT_EQ(AnswerToKeys(true, row.type, row.keys), row.answer) << "night: " << row.what;
    }
}

// The night box shows its whole text, wrapped: as many pixels of ink where
// it shows its text as the same text has drawn in the same font, unwrapped
// and uncut. A short question keeps its question mark; a long one is wrapped.
TEST(NightMessageBox, ShowsItsWholeText) {
    const std::wstring texts[] = {
        Widen(window::kQuitQuestion),
        Widen(window::kQuitDuringTransferQuestion),
    };
    const COLORREF ink = Ref(NightColors()[SysColor::kBtnText]);
    for (const std::wstring& text : texts) {
        int shown = -1;
        int whole = -1;
        const CBoxWatch watch([&](HWND box) {
            RedrawWindow(box, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            RECT client{};
            GetClientRect(box, &client);
            CSurface box_pixels(client.right, client.bottom);
            box_pixels.CopyShown(box, client);
            HWND item = GetDlgItem(box, 0xFFFF);
            RECT at{};
            GetWindowRect(item, &at);
            MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&at), 2);
            shown = 0;
            for (int y = std::max(0L, at.top); y < std::min(at.bottom, client.bottom); ++y) {
                for (int x = std::max(0L, at.left); x < client.right; ++x) {
                    shown += box_pixels.At(x, y) == ink ? 1 : 0;
                }
            }
            constexpr int kWide = 2000;
            constexpr int kHigh = 200;
            CSurface unwrapped(kWide, kHigh);
            SelectObject(unwrapped.Dc(), FromParam<HFONT>(SendMessageW(item, WM_GETFONT, 0, 0)));
            SetTextColor(unwrapped.Dc(), ink);
            SetBkMode(unwrapped.Dc(), TRANSPARENT);
            RECT all{0, 0, kWide, kHigh};
            DrawTextW(unwrapped.Dc(), text.c_str(), -1, &all, DT_NOPREFIX | DT_EXPANDTABS);
            whole = 0;
            for (int y = 0; y < kHigh; ++y) {
                for (int x = 0; x < kWide; ++x) {
                    whole += unwrapped.At(x, y) == ink ? 1 : 0;
                }
            }
            PostMessageW(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(NightMessageBox(nullptr, text, L"Message", MB_YESNO | MB_ICONQUESTION), IDNO);
        EXPECT_GT(whole, 0);
        EXPECT_EQ(shown, whole) << Narrow(text);
    }
}

// The shared window scenarios, played on this window in this process: clicks
// as the button's own click message, Escape through the dialog manager's
// keyboard handling, the file dialog through its seam, and the system's
// message boxes looked at and answered from a hook once they are up.
class CWin32WindowDriver : public scenarios::IWindowDriver {
public:
    explicit CWin32WindowDriver(CDownloaderDlg& dialog) : dialog_(dialog) {
        current_ = this;
        hook_ = SetWindowsHookExW(WH_CBT, WatchBoxes, nullptr, GetCurrentThreadId());
    }
    ~CWin32WindowDriver() override {
        UnhookWindowsHookEx(hook_);
        SetFileOpenHook(nullptr);
        current_ = nullptr;
    }
    CWin32WindowDriver(const CWin32WindowDriver&) = delete;
    CWin32WindowDriver& operator=(const CWin32WindowDriver&) = delete;

    void ChooseFile(const std::filesystem::path& path) override {
        SetFileOpenHook([path] { return std::optional<std::wstring>(path.wstring()); });
        Click(dialog_.openButton.Handle());
    }
    void ClickRadio(int id) override { Click(dialog_.GetDlgItem(id)); }
    void ClickStartStop() override { Click(dialog_.startStopButton.Handle()); }
    void DoubleClickStartStop() override { DoubleClick(dialog_.startStopButton.Handle()); }
    void PressEscape() override {
        HWND focus = GetFocus();
        PostMessageW(focus != nullptr ? focus : dialog_.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
        Pump();
    }
    void AnswerQuestions(bool yes) override {
        yes_ = yes;
        enter_ = false;
    }
    void AnswerWithEnter() override { enter_ = true; }
    void WhenAsked(std::function<void()> act) override { whenAsked_ = std::move(act); }
    bool WaitFor(const std::function<bool()>& condition) override {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            Pump();
        }
        return true;
    }
    std::string LogText() override { return Narrow(Text(dialog_.logBox)); }
    std::string StartStopCaption() override {
        return Narrow(Text(dialog_.startStopButton.Handle()));
    }
    bool OpenEnabled() override { return IsWindowEnabled(dialog_.openButton.Handle()) != FALSE; }
    std::string ProgressText() override { return dialog_.progressBar.Bar().TextToDraw(); }
    bool WindowShown() override {
        return dialog_.Handle() != nullptr && IsWindowVisible(dialog_.Handle()) != FALSE;
    }
    std::vector<scenarios::Question> Questions() override { return questions_; }
    // The thread's execution state, as the setting before this one: a
    // transfer asks for the system to stay up until further notice.
    std::optional<bool> KeptAwake() override {
        constexpr EXECUTION_STATE kAwake = ES_CONTINUOUS | ES_SYSTEM_REQUIRED;
        const bool awake = (SetThreadExecutionState(kAwake) & kAwake) == kAwake;
        if (!awake) {
            SetThreadExecutionState(ES_CONTINUOUS);
        }
        return awake;
    }
    std::optional<bool> SessionMayEnd() override {
        return SendMessageW(dialog_.Handle(), WM_QUERYENDSESSION, 0, 0) != FALSE;
    }
    void ChoosePort(int n) override {
        HWND list = dialog_.GetDlgItem(ids::IDC_PORT_LIST);
        const std::wstring name = L"COM" + std::to_wstring(n);
        const LRESULT index = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>(name.c_str()));
        SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(dialog_.Handle(), WM_COMMAND, MAKEWPARAM(ids::IDC_PORT_LIST, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
        Pump();
    }
    // The system's notice to every top-level window that a port arrived.
    void PlugIn(int n) override {
        const std::wstring name = L"COM" + std::to_wstring(n);
        std::vector<BYTE> notice(sizeof(DEV_BROADCAST_PORT_W) + name.size() * sizeof(wchar_t));
        auto* port = reinterpret_cast<DEV_BROADCAST_PORT_W*>(notice.data());
        port->dbcp_size = static_cast<DWORD>(notice.size());
        port->dbcp_devicetype = DBT_DEVTYP_PORT;
        std::copy(name.begin(), name.end(), port->dbcp_name);
        port->dbcp_name[name.size()] = L'\0';
        SendMessageW(dialog_.Handle(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                     reinterpret_cast<LPARAM>(port));
        Pump();
    }
    std::vector<std::string> DroppedPortList() override {
        HWND list = dialog_.GetDlgItem(ids::IDC_PORT_LIST);
        SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
        Pump();
        std::vector<std::string> items;
        const auto count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            std::array<wchar_t, 256> text{};
            if (SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) <
                static_cast<LRESULT>(text.size())) {
                SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i),
                             reinterpret_cast<LPARAM>(text.data()));
            }
            items.push_back(Narrow(text.data()));
        }
        SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);
        Pump();
        return items;
    }
    std::string PortBox() override { return Narrow(Text(dialog_.GetDlgItem(ids::IDC_PORT_LIST))); }

private:
    // The button's own click: pressed and released over it.
    void Click(HWND button) {
        SendMessageW(button, BM_CLICK, 0, 0);
        Pump();
    }
    void DoubleClick(HWND button) {
        SendDoubleClick(button);
        Pump();
    }
    // The modal loop's share of the work: the dialog manager's keys first.
    void Pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (dialog_.Handle() == nullptr || !IsDialogMessageW(dialog_.Handle(), &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }

    static LRESULT CALLBACK WatchBoxes(int code, WPARAM wParam, LPARAM lParam) {
        // A message box holds its text as item 0xFFFF; the main window,
        // activated again once a box has gone, is no box.
        HWND window = FromParam<HWND>(wParam);
        if (code == HCBT_ACTIVATE && current_ != nullptr && GetDlgItem(window, 0xFFFF) != nullptr) {
            SetTimer(window, kLookTimer, 50, LookAtBox);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    // Once the box has set itself up, from its own message loop.
    static void CALLBACK LookAtBox(HWND box, UINT /*message*/, UINT_PTR timer, DWORD /*time*/) {
        KillTimer(box, timer);
        scenarios::Question seen;
        seen.caption = Narrow(Text(box));
        std::array<wchar_t, 1024> text{};
        GetDlgItemTextW(box, 0xFFFF, text.data(), static_cast<int>(text.size()));
        seen.text = Narrow(text.data());
        HICON icon = nullptr;
        EnumChildWindows(
            box,
            [](HWND child, LPARAM found) -> BOOL {
                if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                    *FromParam<HICON*>(found) =
                        FromParam<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&icon));
        // The night box shows the system's icon tinted, and says which.
        const bool stop = icon == LoadIconW(nullptr, IDI_HAND) ||
                          NightMessageBoxIcon(box) == static_cast<UINT>(MB_ICONHAND);
        seen.icon = stop ? scenarios::Icon::Stop : scenarios::Icon::Question;
        // Enter presses the push button that has the focus.
        seen.defaultYes = GetDlgCtrlID(GetFocus()) == IDYES;
        current_->questions_.push_back(seen);
        if (current_->whenAsked_) {
            std::exchange(current_->whenAsked_, nullptr)();
        }
        if (current_->enter_) {
            // The key itself, to the button that has the focus, through the
            // box's own message loop.
            HWND focus = GetFocus();
            PostMessageW(focus != nullptr ? focus : box, WM_KEYDOWN, VK_RETURN, 0);
            PostMessageW(focus != nullptr ? focus : box, WM_KEYUP, VK_RETURN, 0);
            return;
        }
        const bool yesNo = GetDlgItem(box, IDYES) != nullptr;
        const int answer = !yesNo ? IDOK : current_->yes_ ? IDYES : IDNO;
        PostMessageW(GetDlgItem(box, answer), BM_CLICK, 0, 0);
    }

    static constexpr UINT_PTR kLookTimer = 0x5CE;
    static inline CWin32WindowDriver* current_ = nullptr;
    CDownloaderDlg& dialog_;
    HHOOK hook_ = nullptr;
    std::vector<scenarios::Question> questions_;
    bool yes_ = false;
    bool enter_ = false;
    std::function<void()> whenAsked_;
};

// Played once each by tests/desktop_wine_test.cpp, which puts the
// scenario's controller behind COM1 first.
class WindowScenario : public ::testing::TestWithParam<scenarios::Scenario> {
protected:
    void SetUp() override {
        if (std::getenv("VELMORO_SCENARIO_ON_COM1") == nullptr) {
            GTEST_SKIP() << "desktop_wine_test.cpp plays these with a controller on COM1";
        }
        // The program as started with --night, its boxes the night ones.
        if (const char* look = std::getenv("VELMORO_SCENARIO_LOOK")) {
            ChangeLook(window::StartingLook(Look::kDay, {look}));
        }
    }
    void TearDown() override { ChangeLook(Look::kDay); }
};

// A port above COM9 in the system's device map while a scenario needs it;
// tests/desktop_wine_test.cpp links its device to the controller.
class CListedPort {
public:
    explicit CListedPort(int n) : name_(L"COM" + std::to_wstring(n)) {
        if (n > 9 && RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                                     nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key_,
                                     nullptr) == ERROR_SUCCESS) {
            RegSetValueExW(key_, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(name_.c_str()),
                           static_cast<DWORD>((name_.size() + 1) * sizeof(wchar_t)));
        }
    }
    ~CListedPort() {
        if (key_ != nullptr) {
            RegDeleteValueW(key_, kValue);
            RegCloseKey(key_);
        }
    }
    CListedPort(const CListedPort&) = delete;
    CListedPort& operator=(const CListedPort&) = delete;

private:
    static constexpr const wchar_t* kValue = L"\\Device\\VelmoroTestSerial";
    std::wstring name_;
    HKEY key_ = nullptr;
};

TEST_P(WindowScenario, PlaysAsWritten) {
    updateType = UpdateType::MainProgram;
    const CListedPort listed(GetParam().simPort);
    CDownloaderDlg dialog(GetParam().keepAwakeSilence);
    ASSERT_TRUE(dialog.Create());
    velmoro::testing::TempFile file(scenarios::FileContents(GetParam().file));
    CWin32WindowDriver window(dialog);
    scenarios::Play(GetParam(), window, file.Path());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, WindowScenario, ::testing::ValuesIn(scenarios::All()),
                         scenarios::ScenarioName());

}  // namespace
}  // namespace velmoro::win32
