#include "percent_progress_ctrl.h"

#include <oleacc.h>

#include <algorithm>

#include "draw_list_player.h"

namespace velmoro::win32 {

namespace {

// A 32-bit bitmap of its own format, which every display copies from
// correctly, rather than one that follows the screen's.
HBITMAP CreateCompositionBitmap(HDC dc, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

drawing::Rect ClientRect(HWND hwnd) {
    RECT rect{};
    GetClientRect(hwnd, &rect);
    return FromRect(rect);
}

}  // namespace

// The bar as screen readers see it (Active Accessibility): a progress bar
// whose value is the text it shows. Everything else is the system's
// standard object for the window, where the system has one. The control lets go of it when its
// window goes; a reader that still holds it is then told so.
class CProgressAccessible final : public IAccessible {
public:
    CProgressAccessible(const drawing::CPercentProgress& bar, IAccessible* standard)
        : bar_(&bar), standard_(standard) {}
    CProgressAccessible(const CProgressAccessible&) = delete;
    CProgressAccessible& operator=(const CProgressAccessible&) = delete;

    void Disconnect() { bar_ = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAccessible) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            if (standard_ != nullptr) {
                standard_->Release();
            }
            delete this;
        }
        return left;
    }

    // What the bar says of itself.
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!IsSelf(child) || role == nullptr) {
            return E_INVALIDARG;
        }
        role->vt = VT_I4;
        role->lVal = ROLE_SYSTEM_PROGRESSBAR;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!IsSelf(child) || value == nullptr) {
            return E_INVALIDARG;
        }
        if (bar_ == nullptr) {
            return CO_E_OBJNOTCONNECTED;
        }
        *value = SysAllocString(Widen(bar_->TextToDraw()).c_str());
        return *value != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    // The rest is the system's standard object's, where it has one.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return standard_ == nullptr ? E_NOTIMPL
                                    : standard_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argument) override {
        return standard_ == nullptr
                   ? E_NOTIMPL
                   : standard_->Invoke(id, iid, locale, flags, params, result, exception, argument);
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->get_accChildCount(count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->get_accKeyboardShortcut(child, keys);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->get_accFocus(child);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override {
        return standard_ == nullptr ? E_NOTIMPL
                                    : standard_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG left, LONG top, VARIANT* child) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->accHitTest(left, top, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return standard_ == nullptr ? E_NOTIMPL : standard_->put_accValue(child, value);
    }

private:
    ~CProgressAccessible() = default;
    static bool IsSelf(const VARIANT& child) {
        return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
    }

    const drawing::CPercentProgress* bar_;
    IAccessible* standard_;
    ULONG references_ = 1;
};

CPercentProgressCtrl::CPercentProgressCtrl() : bar_(SystemColors()) {}

CPercentProgressCtrl::~CPercentProgressCtrl() {
    ForgetAccessible();
    if (systemFont_ != nullptr) {
        DeleteObject(systemFont_);
    }
}

void CPercentProgressCtrl::SetDpi(UINT dpi) {
    if (systemFont_ != nullptr) {
        DeleteObject(systemFont_);
        systemFont_ = nullptr;
    }
    // The stock font is made for the screen's DPI; elsewhere a copy of it
    // scaled to the monitor's.
    const UINT screen = WindowDpi(nullptr);
    LOGFONTW system{};
    if (dpi != screen && GetObjectW(GetStockObject(SYSTEM_FONT), sizeof system, &system) != 0) {
        system.lfHeight = MulDiv(system.lfHeight, static_cast<int>(dpi), static_cast<int>(screen));
        system.lfWidth = MulDiv(system.lfWidth, static_cast<int>(dpi), static_cast<int>(screen));
        systemFont_ = CreateFontIndirectW(&system);
    }
    if (Handle() != nullptr) {
        InvalidateRect(Handle(), nullptr, FALSE);
    }
}

void CPercentProgressCtrl::FollowLook() {
    drawing::CPercentProgress bar(SystemColors());
    bar.SetRange(bar_.Lower(), bar_.Upper());
    bar.SetDisplayText(bar_.DisplayText());
    bar.SetPos(bar_.Pos(), Handle() != nullptr ? ClientRect(Handle()).Width() : 0);
    // Assigned, not replaced: the screen readers' object keeps its address.
    bar_ = bar;
    if (Handle() != nullptr) {
        InvalidateRect(Handle(), nullptr, FALSE);
    }
}

IAccessible* CPercentProgressCtrl::AccessibleObject() {
    if (accessible_ == nullptr && Handle() != nullptr) {
        IAccessible* standard = nullptr;
        if (FAILED(CreateStdAccessibleObject(Handle(), OBJID_CLIENT, IID_IAccessible,
                                             reinterpret_cast<void**>(&standard)))) {
            standard = nullptr;
        }
        accessible_ = new CProgressAccessible(bar_, standard);
    }
    return accessible_;
}

void CPercentProgressCtrl::ForgetAccessible() {
    if (accessible_ != nullptr) {
        accessible_->Disconnect();
        accessible_->Release();
        accessible_ = nullptr;
    }
}

int CPercentProgressCtrl::SetPos(int pos) {
    if (Handle() == nullptr) {
        return -1;
    }
    const drawing::CPercentProgress::PosChange change =
        bar_.SetPos(pos, ClientRect(Handle()).Width());
    if (change.repaint) {
        RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    if (change.previous != pos) {
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, Handle(), OBJID_CLIENT, CHILDID_SELF);
    }
    return change.previous;
}

void CPercentProgressCtrl::PreSubclassWindow() {
    // The dialog manager gives the template's border as the sunken edge of
    // the edit boxes; the system's progress bar drops it when created, and
    // when themed draws a frame of its own inside the paint that this
    // control replaces. The bar keeps the sunken edge, drawn by the system
    // as around any other window.
    SetWindowLongPtrW(Handle(), GWL_STYLE,
                      GetWindowLongPtrW(Handle(), GWL_STYLE) & ~LONG_PTR{WS_BORDER});
    SetWindowLongPtrW(Handle(), GWL_EXSTYLE,
                      (GetWindowLongPtrW(Handle(), GWL_EXSTYLE) & ~LONG_PTR{WS_EX_STATICEDGE}) |
                          WS_EX_CLIENTEDGE);
    SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetDpi(WindowDpi(Handle()));
}

LRESULT CPercentProgressCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCALCSIZE:
        case WM_NCPAINT:
            return DefWindowProcW(Handle(), message, wParam, lParam);
        case WM_ERASEBKGND:
            return 1;
        case WM_GETOBJECT:
            if (static_cast<LONG>(lParam) == OBJID_CLIENT) {
                if (IAccessible* object = AccessibleObject()) {
                    return LresultFromObject(IID_IAccessible, wParam, object);
                }
            }
            break;
        case WM_NCDESTROY:
            ForgetAccessible();
            break;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_PRINTCLIENT: {
            // Drawn whole into the caller's device context (a window printed
            // into a picture).
            if (bar_.HasDrawableRange()) {
                drawing::DrawList list;
                bar_.Draw(list, ClientRect(Handle()));
                Play(FromParam<HDC>(wParam), list, nullptr, {}, systemFont_);
            }
            return 0;
        }
        case WM_SIZE: {
            const LRESULT result = Default(message, wParam, lParam);
            bar_.ForgetBarWidth();
            return result;
        }
        case WM_SETTEXT: {
            const LRESULT result = Default(message, wParam, lParam);
            const auto* text = FromParam<const wchar_t*>(lParam);
            if (bar_.SetDisplayText(text != nullptr ? Narrow(text) : std::string())) {
                InvalidateRect(Handle(), nullptr, TRUE);
            }
            return result;
        }
        case WM_GETTEXT: {
            // The display text, never more than the caller's buffer holds.
            const std::wstring text = Widen(bar_.DisplayText());
            auto* buffer = FromParam<wchar_t*>(lParam);
            const std::size_t size = static_cast<std::size_t>(wParam);
            if (buffer == nullptr || size == 0) {
                return 0;
            }
            const std::size_t count = std::min(size, text.size());
            std::copy_n(text.begin(), count, buffer);
            if (count < size) {
                buffer[count] = L'\0';
            }
            return static_cast<LRESULT>(count);
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(Widen(bar_.DisplayText()).size());
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

void CPercentProgressCtrl::Paint() {
    PAINTSTRUCT paint{};
    HDC screen = BeginPaint(Handle(), &paint);
    const drawing::Rect client = ClientRect(Handle());
    RECT area{};
    const RECT clientRect = ToRect(client);
    if (bar_.HasDrawableRange() && IntersectRect(&area, &paint.rcPaint, &clientRect)) {
        drawing::DrawList list;
        bar_.Draw(list, client);
        // Composed off-screen and copied in one step, so that the bar and
        // the text never appear on screen half drawn.
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap =
            CreateCompositionBitmap(screen, area.right - area.left, area.bottom - area.top);
        if (memory != nullptr && bitmap != nullptr) {
            HGDIOBJ previous = SelectObject(memory, bitmap);
            SetViewportOrgEx(memory, -area.left, -area.top, nullptr);
            Play(memory, list, nullptr, {}, systemFont_);
            SetViewportOrgEx(memory, 0, 0, nullptr);
            BitBlt(screen, area.left, area.top, area.right - area.left, area.bottom - area.top,
                   memory, 0, 0, SRCCOPY);
            SelectObject(memory, previous);
        }
        if (bitmap != nullptr) {
            DeleteObject(bitmap);
        }
        if (memory != nullptr) {
            DeleteDC(memory);
        }
    }
    EndPaint(Handle(), &paint);
}

}  // namespace velmoro::win32
