// The Win32 serial back-end against drivers that misbehave as some do on a
// Windows user's machine: a driver put in through the communications API's
// table (win32/comm_api.h), run under Wine. Each case checks that nothing
// waits without limit, that no byte is lost or sent twice, and that a port
// that went away is reported with the system's reason.

#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comm_api.h"
#include "dialog_data.h"
#include "doctor.h"
#include "downloader_dialog.h"
#include "faces.h"
#include "ms_comm.h"
#include "port_names.h"
#include "serial_cases.h"
#include "temp_file.h"
#include "text.h"
#include "transfer.h"
#include "usb_survey.h"

namespace velmoro::testing {
namespace {

// What a status of the fake holds in OVERLAPPED::Internal: 0 for success,
// STATUS_PENDING while pending, else the Win32 error the operation ended with.
constexpr ULONG_PTR kPending = 0x103;  // STATUS_PENDING

// A serial driver in memory. The device's bytes come with Arrive; what the
// program writes is kept in `written`.
struct FakeDriver {
    std::mutex lock;
    HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);   // by any call of the program
    HANDLE cancelled = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // ends a held status query
    std::string incoming;
    std::string written;
    OVERLAPPED* wait = nullptr;  // the pending WaitCommEvent
    DWORD* waitEvents = nullptr;
    OVERLAPPED* pendingWrite = nullptr;
    OVERLAPPED* pendingRead = nullptr;  // a read that waits for the first byte
    char* readBuffer = nullptr;
    DWORD readSize = 0;

    // Ways to misbehave.
    DWORD writeLimit = 0;            // a write ends after at most this many bytes (0: all)
    int zeroReads = 0;               // the next reads end with 0 bytes
    bool holdWrites = false;         // writes stay pending
    bool holdReads = false;          // reads stay pending, bytes or not, until cancelled
    bool holdQueries = false;        // a status query returns only when cancelled, aborted
    bool queryHeld = false;          // one is waiting for its cancel
    bool ignoreCancel = false;       // cancelled I/O never ends, nor does a new mask end a wait
    DWORD goneError = 0;             // the device went away: its queries fail with this
    bool endWithoutMarking = false;  // an ended wait signals its event, still marked pending
    DCB settings{};                  // as last set
    bool held = false;               // a handle is open
    std::wstring heldElsewhere;      // a port that another program holds

    ~FakeDriver() {
        CloseHandle(handle);
        CloseHandle(changed);
        CloseHandle(cancelled);
    }

    static void End(OVERLAPPED* overlapped, ULONG_PTR status, ULONG_PTR count) {
        overlapped->InternalHigh = count;
        overlapped->Internal = status;
        SetEvent(overlapped->hEvent);
    }

    // Bytes from the device; a pending wait for events ends with EV_RXCHAR,
    // a pending read with the bytes.
    void Arrive(const std::string& bytes) {
        const std::lock_guard<std::mutex> guard(lock);
        incoming += bytes;
        if (pendingRead != nullptr && !holdReads) {
            const DWORD count =
                static_cast<DWORD>(std::min<std::size_t>(readSize, incoming.size()));
            incoming.copy(readBuffer, count);
            incoming.erase(0, count);
            End(pendingRead, 0, count);
            pendingRead = nullptr;
        }
        if (wait != nullptr) {
            *waitEvents = EV_RXCHAR;
            if (endWithoutMarking) {
                SetEvent(wait->hEvent);
            } else {
                End(wait, 0, sizeof(DWORD));
            }
            wait = nullptr;
        }
    }

    // The adapter is pulled out: the pending wait ends aborted, and every
    // query fails with `error` from now on.
    void Remove(DWORD error) {
        const std::lock_guard<std::mutex> guard(lock);
        goneError = error;
        if (wait != nullptr) {
            End(wait, ERROR_OPERATION_ABORTED, 0);
            wait = nullptr;
        }
    }

    // The pending wait ends with `error` as its result.
    void FailWait(DWORD error) {
        const std::lock_guard<std::mutex> guard(lock);
        if (wait != nullptr) {
            End(wait, error, 0);
            wait = nullptr;
        }
    }

    // Ends everything held, so that a thread left waiting on it can end.
    void Release() {
        const std::lock_guard<std::mutex> guard(lock);
        ignoreCancel = false;
        if (wait != nullptr) {
            End(wait, ERROR_OPERATION_ABORTED, 0);
            wait = nullptr;
        }
        if (pendingWrite != nullptr) {
            End(pendingWrite, ERROR_OPERATION_ABORTED, 0);
            pendingWrite = nullptr;
        }
        if (pendingRead != nullptr) {
            End(pendingRead, ERROR_OPERATION_ABORTED, 0);
            pendingRead = nullptr;
        }
        if (queryHeld) {
            queryHeld = false;
            SetEvent(cancelled);
        }
    }

    bool Waiting() {
        const std::lock_guard<std::mutex> guard(lock);
        return wait != nullptr || pendingRead != nullptr;
    }

    // A held read or status query waits for its cancel.
    bool Stuck() {
        const std::lock_guard<std::mutex> guard(lock);
        return (holdReads && pendingRead != nullptr) || queryHeld;
    }

    bool Held() {
        const std::lock_guard<std::mutex> guard(lock);
        return held;
    }

    std::string Written() {
        const std::lock_guard<std::mutex> guard(lock);
        return written;
    }
};

FakeDriver* driver = nullptr;

// The driver's lock for a call of the program; the test hears of the call.
class Call {
public:
    Call() : guard_(driver->lock) {}
    ~Call() { SetEvent(driver->changed); }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

private:
    std::lock_guard<std::mutex> guard_;
};

BOOL Fails(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// One handle at a time, as a serial port.
HANDLE WINAPI FakeCreateFile(LPCWSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                             HANDLE) {
    const Call call;
    if (driver->held || name == driver->heldElsewhere) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    driver->held = true;
    return driver->handle;
}
BOOL WINAPI FakeCloseHandle(HANDLE) {
    const Call call;
    driver->held = false;
    return TRUE;
}
BOOL WINAPI FakeSetupComm(HANDLE, DWORD, DWORD) {
    return TRUE;
}
BOOL WINAPI FakeGetCommState(HANDLE, LPDCB settings) {
    const Call call;
    *settings = driver->settings;
    return TRUE;
}
BOOL WINAPI FakeSetCommState(HANDLE, LPDCB settings) {
    const Call call;
    driver->settings = *settings;
    return TRUE;
}
BOOL WINAPI FakeSetCommTimeouts(HANDLE, LPCOMMTIMEOUTS) {
    return TRUE;
}
// A new mask ends a pending wait, with no event, as Windows documents.
BOOL WINAPI FakeSetCommMask(HANDLE, DWORD) {
    const Call call;
    if (driver->wait != nullptr && !driver->ignoreCancel) {
        *driver->waitEvents = 0;
        FakeDriver::End(driver->wait, 0, sizeof(DWORD));
        driver->wait = nullptr;
    }
    return TRUE;
}
BOOL WINAPI FakeWaitCommEvent(HANDLE, LPDWORD events, LPOVERLAPPED overlapped) {
    const Call call;
    if (driver->goneError != 0) {
        return Fails(driver->goneError);
    }
    ResetEvent(overlapped->hEvent);
    if (!driver->incoming.empty()) {
        *events = EV_RXCHAR;
        FakeDriver::End(overlapped, 0, sizeof(DWORD));
        return TRUE;
    }
    overlapped->Internal = kPending;
    driver->wait = overlapped;
    driver->waitEvents = events;
    return Fails(ERROR_IO_PENDING);
}
BOOL WINAPI FakeClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT status) {
    {
        const Call call;
        if (driver->goneError != 0) {
            return Fails(driver->goneError);
        }
        if (!driver->holdQueries) {
            *errors = 0;
            *status = COMSTAT{};
            status->cbInQue = static_cast<DWORD>(driver->incoming.size());
            return TRUE;
        }
        driver->queryHeld = true;
        ResetEvent(driver->cancelled);
    }
    WaitForSingleObject(driver->cancelled, INFINITE);
    return Fails(ERROR_OPERATION_ABORTED);
}
BOOL WINAPI FakeReadFile(HANDLE, LPVOID buffer, DWORD size, LPDWORD, LPOVERLAPPED overlapped) {
    const Call call;
    if (driver->goneError != 0) {
        return Fails(driver->goneError);
    }
    DWORD count = 0;
    if (driver->zeroReads > 0) {
        --driver->zeroReads;
    } else if (driver->incoming.empty() || driver->holdReads) {
        ResetEvent(overlapped->hEvent);
        overlapped->Internal = kPending;
        driver->pendingRead = overlapped;
        driver->readBuffer = static_cast<char*>(buffer);
        driver->readSize = size;
        return Fails(ERROR_IO_PENDING);
    } else {
        count = static_cast<DWORD>(std::min<std::size_t>(size, driver->incoming.size()));
        driver->incoming.copy(static_cast<char*>(buffer), count);
        driver->incoming.erase(0, count);
    }
    FakeDriver::End(overlapped, 0, count);
    return TRUE;
}
BOOL WINAPI FakeWriteFile(HANDLE, LPCVOID bytes, DWORD size, LPDWORD, LPOVERLAPPED overlapped) {
    const Call call;
    if (driver->goneError != 0) {
        return Fails(driver->goneError);
    }
    ResetEvent(overlapped->hEvent);
    if (driver->holdWrites) {
        overlapped->Internal = kPending;
        driver->pendingWrite = overlapped;
        return Fails(ERROR_IO_PENDING);
    }
    const DWORD count = driver->writeLimit > 0 ? std::min(size, driver->writeLimit) : size;
    driver->written.append(static_cast<const char*>(bytes), count);
    FakeDriver::End(overlapped, 0, count);
    return TRUE;
}
BOOL WINAPI FakeGetOverlappedResult(HANDLE, LPOVERLAPPED overlapped, LPDWORD count, BOOL wait) {
    if (overlapped->Internal == kPending) {
        if (!wait) {
            return Fails(ERROR_IO_INCOMPLETE);
        }
        WaitForSingleObject(overlapped->hEvent, INFINITE);
    }
    *count = static_cast<DWORD>(overlapped->InternalHigh);
    const ULONG_PTR status = overlapped->Internal;
    return status == 0 || status == kPending ? TRUE : Fails(static_cast<DWORD>(status));
}
BOOL WINAPI FakeCancelIoEx(HANDLE, LPOVERLAPPED) {
    const Call call;
    if (driver->ignoreCancel) {
        return TRUE;
    }
    if (driver->wait != nullptr) {
        FakeDriver::End(driver->wait, ERROR_OPERATION_ABORTED, 0);
        driver->wait = nullptr;
    }
    if (driver->pendingWrite != nullptr) {
        FakeDriver::End(driver->pendingWrite, ERROR_OPERATION_ABORTED, 0);
        driver->pendingWrite = nullptr;
    }
    if (driver->pendingRead != nullptr) {
        FakeDriver::End(driver->pendingRead, ERROR_OPERATION_ABORTED, 0);
        driver->pendingRead = nullptr;
    }
    if (driver->queryHeld) {
        driver->queryHeld = false;
        SetEvent(driver->cancelled);
    }
    return TRUE;
}

constexpr CommApi kFake{
    FakeCreateFile,     FakeCloseHandle,     FakeSetupComm,   FakeGetCommState,
    FakeSetCommState,   FakeSetCommTimeouts, FakeSetCommMask, FakeWaitCommEvent,
    FakeClearCommError, FakeReadFile,        FakeWriteFile,   FakeGetOverlappedResult,
    FakeCancelIoEx,
};

// Runs the thread's message loop, where OnComm is raised, until `done` holds
// or ten seconds have passed; it looks again after each message and each
// call of the program into the driver.
bool PumpUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        MsgWaitForMultipleObjects(1, &driver->changed, FALSE, static_cast<DWORD>(left.count()),
                                  QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
    return true;
}

// The fake driver as the device's end of a line, for the cases every
// back-end must pass (serial_cases.h).
class FakeLine final : public WatchedLine {
public:
    FakeLine() {
        driver = &fake_;
        UseCommApi(&kFake);
    }
    ~FakeLine() override {
        fake_.Release();
        UseCommApi(nullptr);
    }
    FakeLine(const FakeLine&) = delete;
    FakeLine& operator=(const FakeLine&) = delete;

    void PointAt(CMSComm& comm) override { comm.SetCommPort(3); }
    AskedLine Asked() const override {
        const DCB& dcb = fake_.settings;
        AskedLine line;
        line.baud = static_cast<int>(dcb.BaudRate);
        line.parity = dcb.Parity == EVENPARITY    ? 'e'
                      : dcb.Parity == ODDPARITY   ? 'o'
                      : dcb.Parity == MARKPARITY  ? 'm'
                      : dcb.Parity == SPACEPARITY ? 's'
                                                  : 'n';
        if ((dcb.fParity != 0) != (dcb.Parity != NOPARITY)) {
            line.parity = '?';  // parity asked without being checked, or the other way round
        }
        line.dataBits = dcb.ByteSize;
        line.stopTenths = dcb.StopBits == ONE5STOPBITS ? 15 : dcb.StopBits == TWOSTOPBITS ? 20 : 10;
        line.flowControl = dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fOutX || dcb.fInX ||
                           dcb.fRtsControl == RTS_CONTROL_HANDSHAKE ||
                           dcb.fDtrControl == DTR_CONTROL_HANDSHAKE;
        line.linesRaised =
            dcb.fDtrControl == DTR_CONTROL_ENABLE && dcb.fRtsControl == RTS_CONTROL_ENABLE;
        return line;
    }
    bool HasOneAndAHalfStopBits() const override { return true; }
    void Send(const std::string& bytes) override { fake_.Arrive(bytes); }
    std::string Sent(std::size_t count) override {
        PumpUntil([&] { return fake_.Written().size() >= count; });
        return fake_.Written();
    }
    void RunEventsUntil(const std::function<bool()>& done) override { PumpUntil(done); }

private:
    FakeDriver fake_;
};

TEST(Win32Serial, SettingsTextReachesTheLine) {
    SettingsTextReachesTheLine([] { return std::make_unique<FakeLine>(); });
}

TEST(Win32Serial, BytesGoOutInOrderAndInputIsTakenAsAsked) {
    FakeLine line;
    CMSComm comm;
    line.PointAt(comm);
    ASSERT_TRUE(comm.SetPortOpen(true)) << comm.ErrorText();
    BytesGoOutInOrderAndInputIsTakenAsAsked(line, comm);
}

// The adapter pulled out while the window waits for the controller: the
// system's notice (WM_DEVICECHANGE) reaches the window, which ends the
// transfer at once with the error line, then what the system reported and
// what to do, and is idle again.
TEST(Win32Window, PulledAdapterEndsTheTransferWithTheSystemsReason) {
    FakeLine line;
    const TempFile image(std::string(1500, '\x5A'));
    win32::CDownloaderDlg dialog;
    ASSERT_TRUE(dialog.Create());
    dialog.dataFilePath = image.Path().wstring();
    SendMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(ids::IDC_START_STOP, BN_CLICKED), 0);
    const auto log = [&dialog] { return WindowText(dialog.logBox, 4000); };
    ASSERT_EQ(log(), std::string(texts::kResetPrompt));
    // The notice of another port changes nothing, nor that of a device that
    // is no port, whatever its bytes spell.
    const auto removed = [&dialog](const wchar_t* port, DWORD type = DBT_DEVTYP_PORT) {
        std::vector<std::uint8_t> notice(sizeof(DEV_BROADCAST_PORT_W) + 16 * sizeof(wchar_t), 0);
        auto* header = reinterpret_cast<DEV_BROADCAST_PORT_W*>(notice.data());
        header->dbcp_size = static_cast<DWORD>(notice.size());
        header->dbcp_devicetype = type;
        wcscpy(header->dbcp_name, port);
        SendMessageW(dialog.Handle(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                     reinterpret_cast<LPARAM>(header));
    };
    removed(L"COM2");
    removed(L"COM1", DBT_DEVTYP_VOLUME);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
    ASSERT_EQ(log(), std::string(texts::kResetPrompt));
    removed(L"COM1");
    line.RunEventsUntil([&log] { return log().size() > texts::kResetPrompt.size(); });
    std::string reason = SystemMessage(ERROR_DEVICE_REMOVED);
    reason.pop_back();
    EXPECT_EQ(log(), std::string(texts::kResetPrompt) + std::string(texts::kErrorReply) +
                         std::string(texts::kPortLostBefore) + reason +
                         std::string(texts::kPortLostAfter));
    EXPECT_EQ(WindowText(GetDlgItem(dialog.Handle(), ids::IDC_START_STOP), 100),
              texts::kStartCaption);
}

// A port opened on the fake driver, with what OnComm reported.
class MisbehavingDriver : public ::testing::Test {
protected:
    void SetUp() override {
        driver = &fake_;
        UseCommApi(&kFake);
        comm_.SetCommPort(3);
        comm_.SetRThreshold(1);
        comm_.SetOnComm([this] {
            if (comm_.GetCommEvent() == kCommEventPortLost) {
                lost_ = true;
            } else {
                for (const std::uint8_t byte : comm_.GetInput()) {
                    received_.push_back(static_cast<char>(byte));
                }
            }
        });
        ASSERT_TRUE(comm_.SetPortOpen(true)) << comm_.ErrorText();
        ASSERT_TRUE(PumpUntil([this] { return fake_.Waiting(); }));
    }
    void TearDown() override {
        comm_.SetPortOpen(false);
        fake_.Release();
        UseCommApi(nullptr);
    }

    void Send(const std::string& text) { comm_.SetOutput(std::string_view(text)); }

    FakeDriver fake_;
    CMSComm comm_;
    std::string received_;
    bool lost_ = false;
};

TEST_F(MisbehavingDriver, PartialWritesSendEveryByteOnceInOrder) {
    fake_.writeLimit = 7;
    const std::string first(100, 'a');
    const std::string second = "the rest, after the first";
    Send(first);
    Send(second);
    EXPECT_TRUE(PumpUntil([&] { return fake_.Written().size() >= first.size() + second.size(); }));
    EXPECT_EQ(fake_.Written(), first + second);
    EXPECT_FALSE(lost_);
}

TEST_F(MisbehavingDriver, ReadsOfNoBytesLoseNothing) {
    fake_.zeroReads = 3;
    fake_.Arrive("#HELLO#");
    EXPECT_TRUE(PumpUntil([&] { return received_.size() >= 7; }));
    fake_.Arrive("AB");
    EXPECT_TRUE(PumpUntil([&] { return received_.size() >= 9; }));
    EXPECT_EQ(received_, "#HELLO#AB");
    EXPECT_FALSE(lost_);
}

// Wine marks a wait pending after it may already have ended it: the event
// is signalled, the wait still reads as pending.
TEST_F(MisbehavingDriver, WaitSignalledYetMarkedPendingStillDeliversTheBytes) {
    fake_.endWithoutMarking = true;
    fake_.Arrive("#OK#");
    EXPECT_TRUE(PumpUntil([&] { return received_ == "#OK#"; })) << received_;
    EXPECT_FALSE(lost_);
}

// A driver that cannot wait for events ends the wait aborted while the
// device still answers: the bytes come through reads instead.
TEST_F(MisbehavingDriver, WaitAbortedWithTheDeviceThereFallsBackToReads) {
    fake_.FailWait(ERROR_OPERATION_ABORTED);
    ASSERT_TRUE(PumpUntil([this] { return fake_.Waiting(); }));  // the read
    fake_.Arrive("#BACK#");
    EXPECT_TRUE(PumpUntil([&] { return received_ == "#BACK#"; })) << received_;
    EXPECT_FALSE(lost_);
    EXPECT_TRUE(comm_.GetPortOpen());
}

// The errors Windows gives for a USB-serial adapter pulled out: the port is
// lost at once, with the system's own words for the reason.
TEST_F(MisbehavingDriver, DeviceGoneIsALostPortWithTheSystemsReason) {
    for (const bool aborted : {true, false}) {
        for (const DWORD error : {ERROR_BAD_COMMAND, ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE,
                                  ERROR_DEVICE_NOT_CONNECTED}) {
            SCOPED_TRACE(std::to_string(error) + (aborted ? " after an aborted wait" : ""));
            lost_ = false;
            if (!comm_.GetPortOpen()) {
                fake_.goneError = 0;
                ASSERT_TRUE(comm_.SetPortOpen(true));
                ASSERT_TRUE(PumpUntil([this] { return fake_.Waiting(); }));
            }
            if (aborted) {
                fake_.Remove(error);  // the wait ends aborted, the queries fail
            } else {
                fake_.FailWait(error);  // the wait itself ends with the error
            }
            EXPECT_TRUE(PumpUntil([&] { return lost_; }));
            EXPECT_FALSE(comm_.GetPortOpen());
            EXPECT_NE(comm_.ErrorText().find(SystemMessage(error)), std::string::npos)
                << comm_.ErrorText();
        }
    }
}

// The system's word that the device was removed loses the port on it at
// once, whatever its driver still answers; another port's removal does not.
TEST_F(MisbehavingDriver, DeviceRemovedLosesThePortOnIt) {
    comm_.DeviceRemoved("COM4");
    comm_.DeviceRemoved("\\\\.\\COM33");
    fake_.Arrive("A");
    EXPECT_TRUE(PumpUntil([&] { return received_ == "A"; }));
    EXPECT_FALSE(lost_);
    comm_.DeviceRemoved("\\\\.\\com3");
    EXPECT_TRUE(PumpUntil([&] { return lost_; }));
    EXPECT_FALSE(comm_.GetPortOpen());
    EXPECT_EQ(comm_.LossReason(), SystemMessage(ERROR_DEVICE_REMOVED));
}

// A driver that never ends cancelled I/O after its adapter is pulled: Close
// returns all the same, well within a second, and the port is closed.
TEST_F(MisbehavingDriver, CloseReturnsWhenCancelledIoNeverEnds) {
    fake_.holdWrites = true;
    fake_.ignoreCancel = true;
    Send("held for ever");
    const auto start = std::chrono::steady_clock::now();
    comm_.SetPortOpen(false);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(comm_.GetPortOpen());
    // The port stays held until the driver lets go, and the reason says so.
    EXPECT_FALSE(comm_.SetPortOpen(true));
    EXPECT_NE(comm_.ErrorText().find("driver has not let go of the port"), std::string::npos)
        << comm_.ErrorText();
    // Another port, which another program holds, is said to be held by it.
    fake_.heldElsewhere = L"\\\\.\\COM4";
    comm_.SetCommPort(4);
    EXPECT_FALSE(comm_.SetPortOpen(true));
    EXPECT_NE(comm_.ErrorText().find("Another program holds the port"), std::string::npos)
        << comm_.ErrorText();
    comm_.SetCommPort(3);
    fake_.Release();
    EXPECT_TRUE(PumpUntil([&] { return !fake_.Held(); }));
    EXPECT_TRUE(comm_.SetPortOpen(true)) << comm_.ErrorText();
}

// A driver whose I/O ends only when cancelled, with the I/O thread inside a
// wait that the stop does not reach (the result of a read, a status query):
// Close ends it, and the port is let go at once.
TEST_F(MisbehavingDriver, CloseEndsWaitsThatOnlyACancelEnds) {
    for (const bool query : {false, true}) {
        SCOPED_TRACE(query ? "a status query" : "a read");
        fake_.holdReads = !query;
        fake_.holdQueries = query;
        fake_.Arrive("#");
        ASSERT_TRUE(PumpUntil([&] { return fake_.Stuck(); }));
        comm_.SetPortOpen(false);
        EXPECT_FALSE(fake_.Held());
        fake_.holdReads = false;
        fake_.holdQueries = false;
        ASSERT_TRUE(comm_.SetPortOpen(true)) << comm_.ErrorText();
        EXPECT_TRUE(PumpUntil([&] { return received_ == "#" && fake_.Waiting(); })) << received_;
        received_.clear();
    }
}

// Devices as Device Manager shows them on a user's machine, played through
// the survey's table of SetupAPI calls (win32/usb_survey.h). DevInst is the
// place in the list, from 1.
struct PlayedDevice {
    bool portsClass;
    const wchar_t* description;
    const wchar_t* friendlyName;  // empty when the system gives none
    std::wstring hardwareIds;     // a list: each id ends with a null
    ULONG problem;
};
std::vector<PlayedDevice> played;
const HDEVINFO kPortsList = reinterpret_cast<HDEVINFO>(0x1001);
const HDEVINFO kUsbList = reinterpret_cast<HDEVINFO>(0x1002);

HDEVINFO WINAPI PlayedClassDevs(const GUID* portsClass, PCWSTR, HWND, DWORD) {
    return portsClass != nullptr ? kPortsList : kUsbList;
}

BOOL WINAPI PlayedEnum(HDEVINFO list, DWORD index, PSP_DEVINFO_DATA device) {
    for (std::size_t i = 0; i < played.size(); ++i) {
        if ((list == kUsbList || played[i].portsClass) && index-- == 0) {
            device->DevInst = static_cast<DEVINST>(i + 1);
            return TRUE;
        }
    }
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
}

BOOL WINAPI PlayedProperty(HDEVINFO, PSP_DEVINFO_DATA device, DWORD property, PDWORD, PBYTE out,
                           DWORD size, PDWORD) {
    const PlayedDevice& entry = played.at(device->DevInst - 1);
    std::wstring value = property == SPDRP_HARDWAREID     ? entry.hardwareIds + L'\0'
                         : property == SPDRP_FRIENDLYNAME ? entry.friendlyName
                         : property == SPDRP_DEVICEDESC   ? entry.description
                                                          : L"";
    if (value.empty()) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    value += L'\0';
    const DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (bytes > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(out, value.data(), bytes);
    return TRUE;
}

BOOL WINAPI PlayedDestroy(HDEVINFO) {
    return TRUE;
}

CONFIGRET WINAPI PlayedStatus(PULONG status, PULONG problem, DEVINST device, ULONG) {
    *problem = played.at(device - 1).problem;
    *status = *problem != 0 ? DN_HAS_PROBLEM : DN_DRIVER_LOADED | DN_STARTED;
    return CR_SUCCESS;
}

const DeviceManagerApi kPlayedDeviceManager{PlayedClassDevs, PlayedEnum, PlayedProperty,
                                            PlayedDestroy, PlayedStatus};

// A port that is not there, on a machine with an adapter that has no driver
// and one whose driver cannot start: doctor names both, by what the system
// calls them and their hardware ids, with the problem code and what to do;
// a working device and a troubled one that cannot be an adapter are left
// out.
TEST(DeviceManagerPlayed, DoctorNamesTheAdaptersThatGiveNoPort) {
    played = {
        {false, L"USB2.0-Serial", L"",
         std::wstring(L"USB\\VID_1A86&PID_7523&REV_0264") + L'\0' + L"USB\\VID_1A86&PID_7523", 28},
        {true, L"USB Serial Port", L"USB Serial Port (COM4)", L"FTDIBUS\\COMPORT&VID_0403&PID_6001",
         10},
        {false, L"USB Composite Device", L"", L"USB\\VID_046D&PID_C52B&REV_1211", 0},
        {false, L"USB Video Device", L"", L"USB\\VID_0C45&PID_6366&REV_0100", 43},
    };
    UseDeviceManagerApi(&kPlayedDeviceManager);
    const std::vector<Finding> findings = DiagnosePorts({"COM42"}, *ThisSystemsProbes());
    const std::string message = PortFailureMessage("Cannot open COM42.", SurveyUsbSerial());
    UseDeviceManagerApi(nullptr);
    const std::string report = FormatFindings(findings);
    RecordProperty("report", report);
    RecordProperty("message", message);
    EXPECT_EQ(DoctorExitCode(findings), 1) << report;
    for (const char* expected :
         {"PROBLEM  \"USB Serial Port\" (VID_0403&PID_6001) is plugged in, but its driver "
          "cannot start (code 10).",
          "PROBLEM  \"USB2.0-Serial\" (VID_1A86&PID_7523) is plugged in, but Windows has no "
          "driver for it (code 28): it gives no serial port.",
          "Install the driver for its chip (USB2.0-Serial), from the chip maker's site"}) {
        EXPECT_NE(report.find(expected), std::string::npos) << report;
    }
    EXPECT_EQ(report.find("VID_046D"), std::string::npos) << report;
    EXPECT_EQ(report.find("Video"), std::string::npos) << report;
    EXPECT_EQ(report.find("No USB-serial adapter"), std::string::npos) << report;
    EXPECT_TRUE(
        message.starts_with("Cannot open COM42.\n\n\"USB Serial Port\" (VID_0403&PID_6001)"))
        << message;
    EXPECT_NE(message.find("\"USB2.0-Serial\" (VID_1A86&PID_7523)"), std::string::npos) << message;
}

// A list that never ends (a driver that enumerates without end) is walked to
// its bound of 1024 devices, and no further.
TEST(DeviceManagerPlayed, TheWalkStopsAtItsBound) {
    played.assign(1025, PlayedDevice{true, L"USB Serial Port", L"",
                                     L"FTDIBUS\\COMPORT&VID_0403&PID_6001", 0});
    UseDeviceManagerApi(&kPlayedDeviceManager);
    const UsbSurvey survey = SurveyUsbSerial();
    UseDeviceManagerApi(nullptr);
    EXPECT_EQ(survey.usbPorts, 1024U);
}

// The device map's values name the ports; a value that is not text names
// none, whatever its bytes.
TEST(DeviceMap, OnlyTextValuesNamePorts) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring port = L"COM77";
    const std::wstring spelt = L"COM78";
    RegSetValueExW(key, L"\\Device\\VelmoroText", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(port.c_str()),
                   static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)));
    RegSetValueExW(key, L"\\Device\\VelmoroBinary", 0, REG_BINARY,
                   reinterpret_cast<const BYTE*>(spelt.c_str()),
                   static_cast<DWORD>((spelt.size() + 1) * sizeof(wchar_t)));
    const std::vector<SerialDevice> devices = ListSerialDevices();
    RegDeleteValueW(key, L"\\Device\\VelmoroText");
    RegDeleteValueW(key, L"\\Device\\VelmoroBinary");
    RegCloseKey(key);
    const auto named = [&devices](const char* path) {
        return std::count_if(devices.begin(), devices.end(),
                             [path](const SerialDevice& d) { return d.path == path; });
    };
    EXPECT_EQ(named("COM77"), 1);
    EXPECT_EQ(named("COM78"), 0);
}

}  // namespace
}  // namespace velmoro::testing
