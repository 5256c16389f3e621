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
// the place of the event. A driver that cancels the wait because its device
// went away (an adapter pulled out) fails the port's status queries too;
// that is a lost port, not a driver without events.
//
// Nothing the owner's thread does waits without limit: Close cancels the
// port's I/O itself, so that an I/O thread inside a wait that the stop does
// not reach (the result of a read, a status query) comes back, then gives
// the thread a bounded time to end, and leaves it behind, with the port and
// everything else it uses, when a driver never ends the I/O that was
// cancelled. Only that port is then said to be held by its driver; another
// port that cannot be opened is another program's. A new event mask ends a
// pending wait for events first, as some drivers (Wine's among them) do not
// end it on a cancel. The calls go
// through one table (comm_api.h), where tests put in a driver that
// misbehaves. The split into a shared face and per-platform back-ends, and
// the event-driven overlapped I/O with a read after each EV_RXCHAR, follow
// the shape of well-kept portable serial libraries.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comm_api.h"
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
// How long Close waits for the I/O thread to end: a driver that does not end
// cancelled I/O in this time is left to it, and the window goes on.
constexpr DWORD kCloseWaitMs = 500;

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

// What one opening of the port shares between the owner's thread and its I/O
// thread. Both hold it: when Close leaves the thread behind, the thread frees
// it, and closes the port, once its driver lets it end.
struct Session {
    Session()
        : wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Session() {
        if (port != INVALID_HANDLE_VALUE) {
            api.closeHandle(port);
        }
        CloseHandle(wake);
        CloseHandle(ended);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const CommApi& api = Comm();  // the table at the opening, for the whole session
    HANDLE port = INVALID_HANDLE_VALUE;
    std::wstring name;  // the port's path, as opened
    HANDLE wake;        // stopping, for the I/O thread
    HANDLE ended;       // set by the I/O thread as it ends
    HWND window = nullptr;
    std::atomic<bool> stopping{false};
    std::atomic<bool> posted{false};

    std::mutex lock;  // guards what follows
    std::vector<std::uint8_t> input;
    std::vector<std::uint8_t> output;   // waiting for the write in flight
    std::vector<std::uint8_t> sending;  // the write in flight
    bool writing = false;
    Overlapped write;  // its event is signalled only while a write has ended
    bool lost = false;
    DWORD lostError = 0;
};

// The I/O thread's work on a session.
class IoThread {
public:
    explicit IoThread(std::shared_ptr<Session> session) : s_(std::move(session)) {}
    void Run();

private:
    bool TakeWaiting();
    bool Take(const std::uint8_t* bytes, DWORD count);
    bool FinishWrite();
    void Finish(Overlapped& receive);

    std::shared_ptr<Session> s_;
};

// With the lock held: sends what waits, unless a write is in flight. Called
// on the owner's thread by SetOutput, so that the bytes leave at once, and
// on the I/O thread when a write has ended. Never waits: the write is
// overlapped, and the I/O thread takes its end.
void StartWriteLocked(Session& s) {
    if (s.writing || s.output.empty() || s.lost) {
        return;
    }
    s.sending.swap(s.output);
    s.output.clear();
    s.writing = true;
    if (!s.api.writeFile(s.port, s.sending.data(), static_cast<DWORD>(s.sending.size()), nullptr,
                         s.write.Start()) &&
        GetLastError() != ERROR_IO_PENDING) {
        // Its event stays unsignalled: the failure is reported here.
        s.writing = false;
        s.lost = true;
        s.lostError = GetLastError();
        if (!s.posted.exchange(true)) {
            PostMessageW(s.window, kNotifyMessage, 0, 0);
        }
    }
}

// One message at a time: the owner takes everything that has come when it
// handles it. Nothing once Close has begun.
void Notify(Session& s) {
    if (!s.stopping && !s.posted.exchange(true)) {
        PostMessageW(s.window, kNotifyMessage, 0, 0);
    }
}

void Lose(Session& s, DWORD error) {
    {
        const std::lock_guard<std::mutex> guard(s.lock);
        s.lost = true;
        s.lostError = error;
    }
    Notify(s);
}

// After a wait for events that ended aborted with nothing cancelling it:
// 0 when the device still answers for its queues (the driver cannot wait
// for events), else what the system reports (the device went away).
DWORD DeviceGone(const Session& s) {
    DWORD errors = 0;
    COMSTAT status{};
    if (s.api.clearCommError(s.port, &errors, &status)) {
        return 0;
    }
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_DEVICE_NOT_CONNECTED;
}

// Reads without comm events. Wine makes a read with ReadIntervalTimeout
// MAXDWORD (and no total time-out) wait for the first byte and return with
// everything that has come, at once.
bool ReadsWithoutEvents(const Session& s) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    return s.api.setCommTimeouts(s.port, &timeouts) != FALSE;
}

// Where such a read returns empty at once, as Windows documents it: reads
// that wait for the first byte without limit and end 1 ms after the last.
bool ReadsWithInterval(const Session& s) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 1;
    return s.api.setCommTimeouts(s.port, &timeouts) != FALSE;
}

void IoThread::Run() {
    Session& s = *s_;
    Overlapped receive;  // WaitCommEvent, or a waiting read without events
    DWORD events = 0;
    bool eventsWork = true;
    std::uint8_t received[kReadChunk];
    while (!s.stopping) {
        if (!receive.pending) {
            const BOOL done =
                eventsWork ? s.api.waitCommEvent(s.port, &events, receive.Start())
                           : s.api.readFile(s.port, received, kReadChunk, nullptr, receive.Start());
            if (!done && GetLastError() != ERROR_IO_PENDING) {
                Lose(s, GetLastError());
                break;
            }
            receive.pending = true;  // a result at once is also taken below
        }
        const HANDLE handles[3] = {s.wake, receive.data.hEvent, s.write.data.hEvent};
        const DWORD which = WaitForMultipleObjects(3, handles, FALSE, INFINITE);
        if (which == WAIT_OBJECT_0 + 1) {
            receive.pending = false;
            if (eventsWork && !HasOverlappedIoCompleted(&receive.data)) {
                // Signalled, yet still marked pending: Wine marks a wait
                // pending after starting the helper thread that ends it, so
                // a wait that ended within that moment (on a busy machine)
                // reads as pending for ever. The wait is over all the same;
                // what it reported is taken as after any event.
                if (!TakeWaiting()) {
                    break;
                }
                continue;
            }
            DWORD transferred = 0;
            const bool ok = s.api.getOverlappedResult(s.port, &receive.data, &transferred, FALSE);
            if (eventsWork && !ok && GetLastError() == ERROR_OPERATION_ABORTED && !s.stopping) {
                // Nothing here cancelled the wait. Either the device went
                // away (a pulled adapter, a suspend), or the driver ends
                // every wait for events at once: Wine does so on a device
                // without modem lines, a pseudo-terminal. For the latter, a
                // read waits from now on instead, ending once bytes have come.
                const DWORD gone = DeviceGone(s);
                if (gone != 0 || !ReadsWithoutEvents(s)) {
                    Lose(s, gone != 0 ? gone : GetLastError());
                    break;
                }
                eventsWork = false;
                continue;
            }
            if (!ok) {
                Lose(s, GetLastError());
                break;
            }
            if (!eventsWork && transferred == 0 && !ReadsWithInterval(s)) {
                Lose(s, GetLastError());
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
            Lose(s, GetLastError());
            break;
        }
    }
    Finish(receive);
}

// Ends everything still in flight, the writes the owner's thread started
// included, and waits for it: the driver may write into the structures until
// then. No lock is held while waiting, and the owner's thread does not wait
// for this beyond kCloseWaitMs.
void IoThread::Finish(Overlapped& receive) {
    Session& s = *s_;
    // A new event mask ends a pending wait for events on every driver; some
    // (Wine's among them) do not end it on a cancel.
    s.api.setCommMask(s.port, 0);
    s.api.cancelIoEx(s.port, nullptr);
    DWORD ignored = 0;
    if (receive.pending) {
        s.api.getOverlappedResult(s.port, &receive.data, &ignored, TRUE);
    }
    bool writing = false;
    {
        const std::lock_guard<std::mutex> guard(s.lock);
        writing = s.writing;
    }
    if (writing) {
        s.api.getOverlappedResult(s.port, &s.write.data, &ignored, TRUE);
        const std::lock_guard<std::mutex> guard(s.lock);
        s.writing = false;
    }
    SetEvent(s.ended);
}

// On the I/O thread, once the write in flight has ended.
bool IoThread::FinishWrite() {
    Session& s = *s_;
    DWORD written = 0;
    std::unique_lock<std::mutex> guard(s.lock);
    if (!s.writing) {
        ResetEvent(s.write.data.hEvent);
        return true;
    }
    const bool ok = s.api.getOverlappedResult(s.port, &s.write.data, &written, FALSE);
    const DWORD error = ok ? 0 : GetLastError();
    ResetEvent(s.write.data.hEvent);
    s.writing = false;
    if (!ok) {
        guard.unlock();
        Lose(s, error);
        return false;
    }
    // A write ends early only on a time-out, and none is set; what is left
    // goes out first all the same.
    s.sending.erase(s.sending.begin(),
                    s.sending.begin() + static_cast<std::ptrdiff_t>(
                                            std::min<std::size_t>(written, s.sending.size())));
    s.output.insert(s.output.begin(), s.sending.begin(), s.sending.end());
    s.sending.clear();
    StartWriteLocked(s);
    return true;
}

// After a receive event: takes every byte the driver holds, no more (a read
// then never waits). False when the port has failed, or is being closed.
//
// These waits do not see the stop: Close cancels the I/O in flight instead.
// Nothing begins here once the stop is seen, and a read that began just as
// Close's cancel went out is cancelled here.
bool IoThread::TakeWaiting() {
    Session& s = *s_;
    DWORD errors = 0;
    COMSTAT status{};
    if (s.stopping) {
        return false;
    }
    // Line errors (framing, overrun, parity) are cleared and otherwise
    // ignored; a port that cannot even report them has gone away.
    if (!s.api.clearCommError(s.port, &errors, &status)) {
        Lose(s, GetLastError());
        return false;
    }
    Overlapped read;
    std::uint8_t chunk[kReadChunk];
    for (DWORD left = status.cbInQue; left > 0 && !s.stopping;) {
        DWORD got = 0;
        if (!s.api.readFile(s.port, chunk, std::min(left, kReadChunk), nullptr, read.Start()) &&
            GetLastError() != ERROR_IO_PENDING) {
            Lose(s, GetLastError());
            return false;
        }
        if (s.stopping) {
            s.api.cancelIoEx(s.port, &read.data);
        }
        if (!s.api.getOverlappedResult(s.port, &read.data, &got, TRUE)) {
            Lose(s, GetLastError());
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

bool IoThread::Take(const std::uint8_t* bytes, DWORD count) {
    Session& s = *s_;
    if (count > 0) {
        {
            const std::lock_guard<std::mutex> guard(s.lock);
            s.input.insert(s.input.end(), bytes, bytes + count);
        }
        Notify(s);
    }
    return true;
}

}  // namespace

struct CMSComm::Backend {
    explicit Backend(CMSComm& comm) : owner(comm), window(CreateNotifyWindow()) {}
    ~Backend() {
        Close();
        if (window != nullptr) {
            DestroyWindow(window);
        }
    }

    HWND CreateNotifyWindow();
    static LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);
    bool Open(const std::wstring& name, const LineSettings& settings, DWORD outQueue,
              std::string& problem);
    void Close();
    // Whether a session Close left behind still holds the port `name`.
    bool LeftBehindHolds(const std::wstring& name);
    // On the owner's thread, from its message loop.
    void Deliver();

    CMSComm& owner;
    HWND window = nullptr;
    std::shared_ptr<Session> session;  // while open
    // The sessions Close left behind: their drivers still hold their ports.
    // One at most per port, as a held port does not open again.
    std::vector<std::weak_ptr<Session>> leftBehind;
    std::thread io;
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
    auto opened = std::make_shared<Session>();
    const CommApi& api = opened->api;
    const HANDLE port = api.createFile(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        problem = SystemMessage(error);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            problem +=
                " The port does not exist on this computer: check the cable, or choose "
                "another port.";
        } else if ((error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) &&
                   LeftBehindHolds(name)) {
            problem +=
                " The adapter's driver has not let go of the port since it was lost: unplug the "
                "adapter, plug it in again, then try again.";
        } else if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
            problem += " Another program holds the port: close it, then try again.";
        }
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const bool configured = [&] {
        if (!api.setupComm(port, kInQueueSize, outQueue) || !api.getCommState(port, &dcb)) {
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
        if (!api.setCommState(port, &dcb)) {
            return false;
        }
        // Received bytes are announced by EV_RXCHAR; a read then returns
        // at once with what has come. Writes have no time-out.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        return api.setCommTimeouts(port, &timeouts) && api.setCommMask(port, EV_RXCHAR | EV_ERR);
    }();
    if (!configured) {
        problem = SystemMessage(GetLastError()) + " The port cannot be set up for the transfer.";
        api.closeHandle(port);
        return false;
    }
    session = std::move(opened);
    session->port = port;
    session->name = name;
    session->window = window;
    io = std::thread([running = session] { IoThread(running).Run(); });
    return true;
}

void CMSComm::Backend::Close() {
    if (!session) {
        return;
    }
    session->stopping = true;
    SetEvent(session->wake);
    // The I/O thread may be waiting for a read's result or a status query,
    // which the stop does not reach; a cancelled one ends.
    session->api.cancelIoEx(session->port, nullptr);
    if (WaitForSingleObject(session->ended, kCloseWaitMs) == WAIT_OBJECT_0) {
        io.join();
    } else {
        // The driver has not ended the cancelled I/O: the thread keeps the
        // port until it does, and the window goes on. A status query the
        // thread began as the first cancel went out is cancelled now.
        session->api.cancelIoEx(session->port, nullptr);
        io.detach();
        std::erase_if(leftBehind,
                      [](const std::weak_ptr<Session>& held) { return held.expired(); });
        leftBehind.push_back(session);
    }
    session.reset();
}

bool CMSComm::Backend::LeftBehindHolds(const std::wstring& name) {
    // "\\.\COM3" and "\\.\com3" name the same port.
    return std::any_of(
        leftBehind.begin(), leftBehind.end(), [&name](const std::weak_ptr<Session>& held) {
            const std::shared_ptr<Session> holder = held.lock();
            return holder && CompareStringOrdinal(holder->name.c_str(), -1, name.c_str(), -1,
                                                  TRUE) == CSTR_EQUAL;
        });
}

void CMSComm::Backend::Deliver() {
    if (!session) {
        return;  // closed since the message was posted
    }
    session->posted = false;
    std::size_t waiting = 0;
    bool failed = false;
    DWORD error = 0;
    {
        const std::lock_guard<std::mutex> guard(session->lock);
        waiting = session->input.size();
        failed = session->lost;
        error = session->lostError;
    }
    // Bytes that came before a failure are handed over first.
    if (owner.rThreshold_ > 0 && waiting >= static_cast<std::size_t>(owner.rThreshold_)) {
        owner.Raise(kCommEventReceive);
    }
    if (failed && session) {
        owner.lossReason_ = SystemMessage(error);
        owner.errorText_ = "The port " + owner.deviceName_ +
                           " failed: the device went away, or the line was hung up (" +
                           owner.lossReason_ + ")";
        Close();
        owner.Raise(kCommEventPortLost);
    }
}

CMSComm::CMSComm() : backend_(std::make_unique<Backend>(*this)) {}

CMSComm::~CMSComm() = default;

bool CMSComm::GetPortOpen() const {
    return backend_->session != nullptr;
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
    // The list offers COM1 to COM9 and the ports present above them; the
    // system numbers its ports up to COM255.
    if (devicePath_.empty() && (commPort_ < 1 || commPort_ > 255)) {
        errorText_ = "Cannot open " + label + ": only COM1 to COM255 exist.";
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
    Session& session = *backend_->session;
    const std::lock_guard<std::mutex> guard(session.lock);
    session.output.insert(session.output.end(), bytes.begin(), bytes.end());
    StartWriteLocked(session);
}

void CMSComm::DeviceRemoved(std::string_view device) {
    if (!GetPortOpen()) {
        return;
    }
    // "COM3" and "\\.\COM3" name the same port, in any case.
    const auto bare = [](std::string_view name) {
        return name.starts_with("\\\\.\\") ? name.substr(4) : name;
    };
    const std::string_view mine = bare(deviceName_);
    const std::string_view theirs = bare(device);
    if (mine.size() == theirs.size() &&
        std::equal(mine.begin(), mine.end(), theirs.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
        })) {
        Lose(*backend_->session, ERROR_DEVICE_REMOVED);
    }
}

std::vector<std::uint8_t> CMSComm::GetInput() {
    std::vector<std::uint8_t> taken;
    if (!backend_->session) {
        return taken;
    }
    const std::lock_guard<std::mutex> guard(backend_->session->lock);
    std::vector<std::uint8_t>& input = backend_->session->input;
    if (inputLen_ > 0 && input.size() > static_cast<std::size_t>(inputLen_)) {
        taken.assign(input.begin(), input.begin() + inputLen_);
        input.erase(input.begin(), input.begin() + inputLen_);
    } else {
        taken.swap(input);
    }
    return taken;
}

}  // namespace velmoro
