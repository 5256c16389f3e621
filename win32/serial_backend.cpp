// CMSComm on the Win32 communications API.
//
// The port is opened for overlapped I/O. A thread of its own waits for the
// port (WaitCommEvent for EV_RXCHAR, the writes in flight) and for new
// output; it takes received bytes into the input buffer and posts one
// message to a message-only window of the thread that owns the CMSComm. That
// thread's message loop, whichever runs it (the command line's, a dialog's,
// a message box's), delivers the message, and OnComm runs there, as the
// rest of the program expects of it. SetOutput only queues the bytes and
// wakes the I/O thread: it never waits for the line.
//
// Where the driver cannot wait for events (WaitCommEvent ends at once,
// aborted, with nothing cancelled: Wine on a pseudo-terminal, which has no
// modem lines for it to watch), a read that waits for the first byte takes
// the place of the event. The split into a shared face and per-platform
// back-ends, and the event-driven overlapped I/O with a read after each
// EV_RXCHAR, follow the shape of well-kept portable serial libraries.

#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "faces.h"
#include "ms_comm.h"
#include "text.h"

namespace velmoro {

namespace {

constexpr UINT kNotifyMessage = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"VelmoroSerialNotify";
// The driver's receive queue; the program takes every byte at each event,
// and replies are a few dozen bytes.
constexpr DWORD kInQueueSize = 4096;
constexpr DWORD kReadChunk = 4096;

// An overlapped operation with its own manual-reset event.
struct Overlapped {
    OVERLAPPED data{};
    bool pending = false;

    Overlapped() { data.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() { CloseHandle(data.hEvent); }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;

    OVERLAPPED* Start() {
        const HANDLE event = data.hEvent;
        data = OVERLAPPED{};
        data.hEvent = event;
        ResetEvent(event);
        return &data;
    }
};

}  // namespace

struct CMSComm::Backend {
    explicit Backend(CMSComm& comm)
        : owner(comm),
          window(CreateNotifyWindow()),
          wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~Backend() {
        Close();
        if (window != nullptr) {
            DestroyWindow(window);
        }
        CloseHandle(wake);
    }

    HWND CreateNotifyWindow();
    static LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);
    bool Open(const std::wstring& name, const LineSettings& settings, DWORD outQueue,
              std::string& problem);
    void Close();
    // The I/O thread.
    void Run();
    bool TakeWaiting();
    bool Take(const std::uint8_t* bytes, DWORD count);
    bool ReadsWithoutEvents();
    bool ReadsWithInterval();
    void StartWriteLocked();
    bool FinishWrite();
    void Lose(DWORD error);
    void Notify();
    // On the owner's thread, from its message loop.
    void Deliver();

    CMSComm& owner;
    HWND window = nullptr;
    HANDLE port = INVALID_HANDLE_VALUE;
    HANDLE wake = nullptr;
    std::thread io;
    std::atomic<bool> stopping{false};
    std::atomic<bool> posted{false};

    std::mutex lock;  // guards what follows, shared with the I/O thread
    std::vector<std::uint8_t> input;
    std::vector<std::uint8_t> output;   // waiting for the write in flight
    std::vector<std::uint8_t> sending;  // the write in flight
    bool writing = false;
    Overlapped write;  // its event is signalled only while a write has ended
    bool lost = false;
    DWORD lostError = 0;
};

HWND CMSComm::Backend::CreateNotifyWindow() {
    static const ATOM windowClass = [] {
        WNDCLASSEXW description{};
        description.cbSize = sizeof description;
        description.lpfnWndProc = NotifyWindowProc;
        description.hInstance = GetModuleHandleW(nullptr);
        description.lpszClassName = kWindowClass;
        return RegisterClassExW(&description);
    }();
    if (windowClass == 0) {
        return nullptr;
    }
    HWND created = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
    if (created != nullptr) {
        SetWindowLongPtrW(created, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    return created;
}

LRESULT CALLBACK CMSComm::Backend::NotifyWindowProc(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
    if (message == kNotifyMessage) {
        // The window's user data holds the backend (CreateNotifyWindow).
        auto* backend = reinterpret_cast<Backend*>(  // NOLINT(performance-no-int-to-ptr)
            GetWindowLongPtrW(window, GWLP_USERDATA));
        if (backend != nullptr) {
            backend->Deliver();
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool CMSComm::Backend::Open(const std::wstring& name, const LineSettings& settings, DWORD outQueue,
                            std::string& problem) {
    port = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        problem = SystemMessage(error);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            problem +=
                " The port does not exist on this computer: check the cable, or choose "
                "another port.";
        } else if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
            problem += " Another program holds the port: close it, then try again.";
        }
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const bool configured = [&] {
        if (!SetupComm(port, kInQueueSize, outQueue) || !GetCommState(port, &dcb)) {
            return false;
        }
        dcb.BaudRate = static_cast<DWORD>(settings.baudRate);
        dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
        dcb.Parity = settings.parity == 'e'   ? EVENPARITY
                     : settings.parity == 'o' ? ODDPARITY
                     : settings.parity == 'm' ? MARKPARITY
                     : settings.parity == 's' ? SPACEPARITY
                                              : NOPARITY;
        dcb.StopBits = settings.stopTenths == 15   ? ONE5STOPBITS
                       : settings.stopTenths == 20 ? TWOSTOPBITS
                                                   : ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = dcb.Parity != NOPARITY;
        // No flow control of either kind; DTR and RTS stay raised, as a
        // terminal program leaves them.
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        if (!SetCommState(port, &dcb)) {
            return false;
        }
        // Received bytes are announced by EV_RXCHAR; a read then returns
        // at once with what has come. Writes have no time-out.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        return SetCommTimeouts(port, &timeouts) && SetCommMask(port, EV_RXCHAR | EV_ERR);
    }();
    if (!configured) {
        problem = SystemMessage(GetLastError()) + " The port cannot be set up for the transfer.";
        CloseHandle(port);
        port = INVALID_HANDLE_VALUE;
        return false;
    }
    input.clear();
    output.clear();
    sending.clear();
    writing = false;
    ResetEvent(write.data.hEvent);
    lost = false;
    stopping = false;
    io = std::thread([this] { Run(); });
    return true;
}

void CMSComm::Backend::Close() {
    if (port == INVALID_HANDLE_VALUE) {
        return;
    }
    stopping = true;
    SetEvent(wake);
    io.join();
    CloseHandle(port);
    port = INVALID_HANDLE_VALUE;
    const std::lock_guard<std::mutex> guard(lock);
    input.clear();
    output.clear();
    sending.clear();
}

void CMSComm::Backend::Run() {
    Overlapped receive;  // WaitCommEvent, or a waiting read without events
    DWORD events = 0;
    bool eventsWork = true;
    std::uint8_t received[kReadChunk];
    while (!stopping) {
        if (!receive.pending) {
            const BOOL done = eventsWork
                                  ? WaitCommEvent(port, &events, receive.Start())
                                  : ReadFile(port, received, kReadChunk, nullptr, receive.Start());
            if (!done && GetLastError() != ERROR_IO_PENDING) {
                Lose(GetLastError());
                break;
            }
            receive.pending = true;  // a result at once is also taken below
        }
        const HANDLE handles[3] = {wake, receive.data.hEvent, write.data.hEvent};
        const DWORD which = WaitForMultipleObjects(3, handles, FALSE, INFINITE);
        if (which == WAIT_OBJECT_0 + 1) {
            receive.pending = false;
            DWORD transferred = 0;
            const bool ok = GetOverlappedResult(port, &receive.data, &transferred, FALSE);
            if (eventsWork && !ok && GetLastError() == ERROR_OPERATION_ABORTED && !stopping &&
                ReadsWithoutEvents()) {
                // The driver ends every wait for events at once, nothing
                // cancelled it: Wine does so on a device without modem
                // lines, a pseudo-terminal. From now on a read waits
                // instead, ending once bytes have come.
                eventsWork = false;
                continue;
            }
            if (!ok) {
                Lose(GetLastError());
                break;
            }
            if (!eventsWork && transferred == 0 && !ReadsWithInterval()) {
                Lose(GetLastError());
                break;
            }
            if (eventsWork ? !TakeWaiting() : !Take(received, transferred)) {
                break;
            }
        } else if (which == WAIT_OBJECT_0 + 2) {
            if (!FinishWrite()) {
                break;
            }
        } else if (which == WAIT_FAILED) {
            Lose(GetLastError());
            break;
        }
    }
    // Everything still in flight, the writes the owner's thread started
    // included.
    CancelIoEx(port, nullptr);
    DWORD ignored = 0;
    if (receive.pending) {
        GetOverlappedResult(port, &receive.data, &ignored, TRUE);
    }
    const std::lock_guard<std::mutex> guard(lock);
    if (writing) {
        GetOverlappedResult(port, &write.data, &ignored, TRUE);
        writing = false;
    }
}

// With the lock held: sends what waits, unless a write is in flight. Called
// on the owner's thread by SetOutput, so that the bytes leave at once, and
// on the I/O thread when a write has ended. Never waits: the write is
// overlapped, and the I/O thread takes its end.
void CMSComm::Backend::StartWriteLocked() {
    if (writing || output.empty() || lost) {
        return;
    }
    sending.swap(output);
    output.clear();
    writing = true;
    if (!WriteFile(port, sending.data(), static_cast<DWORD>(sending.size()), nullptr,
                   write.Start()) &&
        GetLastError() != ERROR_IO_PENDING) {
        // Its event stays unsignalled: the failure is reported here.
        writing = false;
        lost = true;
        lostError = GetLastError();
        Notify();
    }
}

// On the I/O thread, once the write in flight has ended.
bool CMSComm::Backend::FinishWrite() {
    DWORD written = 0;
    std::unique_lock<std::mutex> guard(lock);
    if (!writing) {
        ResetEvent(write.data.hEvent);
        return true;
    }
    const bool ok = GetOverlappedResult(port, &write.data, &written, FALSE);
    const DWORD error = ok ? 0 : GetLastError();
    ResetEvent(write.data.hEvent);
    writing = false;
    if (!ok) {
        guard.unlock();
        Lose(error);
        return false;
    }
    // A write ends early only on a time-out, and none is set; what is left
    // goes out first all the same.
    sending.erase(sending.begin(),
                  sending.begin() +
                      static_cast<std::ptrdiff_t>(std::min<std::size_t>(written, sending.size())));
    output.insert(output.begin(), sending.begin(), sending.end());
    sending.clear();
    StartWriteLocked();
    return true;
}

// After a receive event: takes every byte the driver holds, no more (a read
// then never waits). False when the port has failed.
bool CMSComm::Backend::TakeWaiting() {
    DWORD errors = 0;
    COMSTAT status{};
    // Line errors (framing, overrun, parity) are cleared and otherwise
    // ignored; a port that cannot even report them has gone away.
    if (!ClearCommError(port, &errors, &status)) {
        Lose(GetLastError());
        return false;
    }
    Overlapped read;
    std::uint8_t chunk[kReadChunk];
    for (DWORD left = status.cbInQue; left > 0;) {
        DWORD got = 0;
        if ((!ReadFile(port, chunk, std::min(left, kReadChunk), nullptr, read.Start()) &&
             GetLastError() != ERROR_IO_PENDING) ||
            !GetOverlappedResult(port, &read.data, &got, TRUE)) {
            Lose(GetLastError());
            return false;
        }
        if (got == 0) {
            break;
        }
        Take(chunk, got);
        left -= std::min(left, got);
    }
    return true;
}

bool CMSComm::Backend::Take(const std::uint8_t* bytes, DWORD count) {
    if (count > 0) {
        {
            const std::lock_guard<std::mutex> guard(lock);
            input.insert(input.end(), bytes, bytes + count);
        }
        Notify();
    }
    return true;
}

// Reads without comm events. Wine makes a read with ReadIntervalTimeout
// MAXDWORD (and no total time-out) wait for the first byte and return with
// everything that has come, at once.
bool CMSComm::Backend::ReadsWithoutEvents() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    return SetCommTimeouts(port, &timeouts) != FALSE;
}

// Where such a read returns empty at once, as Windows documents it: reads
// that wait for the first byte without limit and end 1 ms after the last.
bool CMSComm::Backend::ReadsWithInterval() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 1;
    return SetCommTimeouts(port, &timeouts) != FALSE;
}

void CMSComm::Backend::Lose(DWORD error) {
    {
        const std::lock_guard<std::mutex> guard(lock);
        lost = true;
        lostError = error;
    }
    Notify();
}

// One message at a time: the owner takes everything that has come when it
// handles it.
void CMSComm::Backend::Notify() {
    if (!posted.exchange(true)) {
        PostMessageW(window, kNotifyMessage, 0, 0);
    }
}

void CMSComm::Backend::Deliver() {
    posted = false;
    if (port == INVALID_HANDLE_VALUE) {
        return;  // closed since the message was posted
    }
    std::size_t waiting = 0;
    bool failed = false;
    DWORD error = 0;
    {
        const std::lock_guard<std::mutex> guard(lock);
        waiting = input.size();
        failed = lost;
        error = lostError;
    }
    // Bytes that came before a failure are handed over first.
    if (owner.rThreshold_ > 0 && waiting >= static_cast<std::size_t>(owner.rThreshold_)) {
        owner.Raise(kCommEventReceive);
    }
    if (failed && port != INVALID_HANDLE_VALUE) {
        owner.errorText_ = "The port " + owner.deviceName_ +
                           " failed: the device went away, or the line was hung up (" +
                           SystemMessage(error) + ")";
        Close();
        owner.Raise(kCommEventPortLost);
    }
}

CMSComm::CMSComm() : backend_(std::make_unique<Backend>(*this)) {}

CMSComm::~CMSComm() = default;

bool CMSComm::GetPortOpen() const {
    return backend_->port != INVALID_HANDLE_VALUE;
}

bool CMSComm::SetPortOpen(bool open) {
    if (!open) {
        backend_->Close();
        return true;
    }
    if (GetPortOpen()) {
        return true;
    }
    const std::string label = devicePath_.empty() ? "COM" + std::to_string(commPort_) : devicePath_;
    deviceName_ = label;
    if (devicePath_.empty() && (commPort_ < 1 || commPort_ > 9)) {
        errorText_ = "Cannot open " + label + ": only COM1 to COM9 exist.";
        return false;
    }
    // The \\.\ form reaches every COM port, COM10 and above included.
    std::string path = label;
    if (!path.starts_with("\\\\.\\")) {
        path = "\\\\.\\" + path;
    }
    std::string problem;
    if (backend_->window == nullptr) {
        errorText_ = "Cannot open " + label + ": " + SystemMessage(GetLastError());
        return false;
    }
    if (!backend_->Open(Widen(path), settings_, static_cast<DWORD>(outBufferSize_), problem)) {
        errorText_ = "Cannot open " + label + ": " + problem;
        return false;
    }
    bytesSent_ = 0;
    return true;
}

void CMSComm::SetOutput(std::span<const std::uint8_t> bytes) {
    if (!GetPortOpen() || bytes.empty()) {
        return;
    }
    bytesSent_ += static_cast<long long>(bytes.size());
    const std::lock_guard<std::mutex> guard(backend_->lock);
    backend_->output.insert(backend_->output.end(), bytes.begin(), bytes.end());
    backend_->StartWriteLocked();
}

std::vector<std::uint8_t> CMSComm::GetInput() {
    std::vector<std::uint8_t> taken;
    const std::lock_guard<std::mutex> guard(backend_->lock);
    std::vector<std::uint8_t>& input = backend_->input;
    if (inputLen_ > 0 && input.size() > static_cast<std::size_t>(inputLen_)) {
        taken.assign(input.begin(), input.begin() + inputLen_);
        input.erase(input.begin(), input.begin() + inputLen_);
    } else {
        taken.swap(input);
    }
    return taken;
}

}  // namespace velmoro
