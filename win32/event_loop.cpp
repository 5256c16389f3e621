// The command line's event loop on Windows: a message loop on the main
// thread with a message-only window that receives the timers (SetTimer) and
// Ctrl-C. The console calls its handler on a thread of its own; the handler
// only posts a message, so Ctrl-C is handled by the loop like every other
// event. The serial port posts to a window of its own on this thread, and
// the same loop delivers that too.

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <vector>

#include "event_loop.h"

namespace velmoro {

namespace {
constexpr UINT kInterruptMessage = WM_APP + 2;
constexpr wchar_t kWindowClass[] = L"VelmoroCliLoop";
HWND gLoopWindow = nullptr;

BOOL WINAPI ConsoleHandler(DWORD type) {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT || type == CTRL_CLOSE_EVENT) {
        PostMessageW(gLoopWindow, kInterruptMessage, 0, 0);
        return TRUE;
    }
    return FALSE;
}
}  // namespace

struct CEventLoop::Backend {
    struct Timer {
        std::function<void()> handler;
        bool singleShot = false;
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        // The window's user data holds the backend (SetWindowLongPtrW below).
        auto* backend = reinterpret_cast<Backend*>(  // NOLINT(performance-no-int-to-ptr)
            GetWindowLongPtrW(window, GWLP_USERDATA));
        if (backend != nullptr && message == WM_TIMER) {
            const std::size_t index = static_cast<std::size_t>(wParam) - 1;
            if (index < backend->timers.size()) {
                Timer& timer = backend->timers[index];
                if (timer.singleShot) {
                    KillTimer(window, wParam);
                }
                timer.handler();
            }
            return 0;
        }
        if (backend != nullptr && message == kInterruptMessage) {
            if (backend->onInterrupt) {
                backend->onInterrupt();
            }
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window = nullptr;
    std::vector<Timer> timers;
    std::function<void()> onInterrupt;
};

CEventLoop::CEventLoop() : backend_(std::make_unique<Backend>()) {
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.lpfnWndProc = Backend::WindowProc;
    description.hInstance = GetModuleHandleW(nullptr);
    description.lpszClassName = kWindowClass;
    RegisterClassExW(&description);
    backend_->window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(backend_->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(backend_.get()));
    gLoopWindow = backend_->window;
    SetConsoleCtrlHandler(ConsoleHandler, TRUE);
}

CEventLoop::~CEventLoop() {
    SetConsoleCtrlHandler(ConsoleHandler, FALSE);
    gLoopWindow = nullptr;
    DestroyWindow(backend_->window);
}

CEventLoop::TimerId CEventLoop::AddTimer(std::function<void()> handler) {
    backend_->timers.push_back({std::move(handler), false});
    return static_cast<TimerId>(backend_->timers.size() - 1);
}

void CEventLoop::StartTimer(TimerId timer, int periodMs, bool singleShot) {
    backend_->timers.at(static_cast<std::size_t>(timer)).singleShot = singleShot;
    SetTimer(backend_->window, static_cast<UINT_PTR>(timer) + 1, static_cast<UINT>(periodMs),
             nullptr);
}

void CEventLoop::StopTimer(TimerId timer) {
    KillTimer(backend_->window, static_cast<UINT_PTR>(timer) + 1);
}

void CEventLoop::SetOnInterrupt(std::function<void()> handler) {
    backend_->onInterrupt = std::move(handler);
}

int CEventLoop::Run() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

void CEventLoop::Exit(int code) {
    PostQuitMessage(code);
}

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

}  // namespace velmoro
