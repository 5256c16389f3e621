#pragma once

// The serial port of the program, with the property operations and the one
// event the rest of the program uses: configure it closed, open it, send text
// or bytes without waiting, and hear of received bytes through OnComm, raised
// on the thread that owns the object (the user-interface thread).
//
// One face, a back-end per platform, chosen by the build: QSerialPort on
// Linux and macOS (ms_comm_qt.cpp), the Win32 communications API on Windows
// (ms_comm_win32.cpp). What both share (the properties, the settings text,
// raising the event) is here and in ms_comm.cpp.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmoro {

// "baud,parity,data bits,stop bits" taken apart.
struct LineSettings {
    std::int32_t baudRate = 9600;
    char parity = 'n';    // n, e, o, m or s
    int dataBits = 8;     // 5 to 8
    int stopTenths = 10;  // 10, 15 or 20: one, one and a half, two
};

// Reads a settings text such as "115200,n,8,1"; false for anything else.
bool ParseLineSettings(std::string_view text, LineSettings& settings);

class CMSComm {
public:
    CMSComm();
    ~CMSComm();
    CMSComm(const CMSComm&) = delete;
    CMSComm& operator=(const CMSComm&) = delete;

    bool GetPortOpen() const;
    // true opens the port named by CommPort (or the device set with
    // SetDevicePath) with the settings written before; false closes it.
    // Opening can fail: the result is then false and ErrorText() says why.
    bool SetPortOpen(bool open);

    // 1 is "COM1". On Unix-like systems COMn reaches a device as
    // ComPortDevice() in port_names.h describes.
    void SetCommPort(short port) { commPort_ = port; }
    short GetCommPort() const { return commPort_; }
    // A device path that takes the place of CommPort (empty: use CommPort).
    void SetDevicePath(std::string path) { devicePath_ = std::move(path); }
    // The device a port list showed CommPort reaching when the user last
    // saw it (empty: nothing there); none when no list showed one. Where
    // COMn is counted among the devices present, a device plugged in or out
    // since can make COMn reach another one: opening then refuses, and says
    // which device COMn reaches now, rather than reach a device the user
    // never chose.
    void SetShownDevice(std::optional<std::string> device) { shownDevice_ = std::move(device); }

    // "baud,parity,data bits,stop bits", such as "115200,n,8,1". Returns
    // false, changing nothing, for a text it does not understand.
    bool SetSettings(std::string_view settings);
    void SetRThreshold(short threshold) { rThreshold_ = threshold; }
    void SetInputMode(int mode) { inputMode_ = mode; }
    void SetInputLen(short length) { inputLen_ = length; }
    void SetOutBufferSize(short size) { outBufferSize_ = size; }

    // Queue bytes to go out after everything sent before; returns at once.
    void SetOutput(std::span<const std::uint8_t> bytes);
    // Text goes out as its 8-bit codes, nothing added.
    void SetOutput(std::string_view text);

    // Every byte received and not yet taken, oldest first (at most InputLen
    // when that is not 0).
    std::vector<std::uint8_t> GetInput();
    short GetCommEvent() const { return commEvent_; }

    // The event OnComm: something to report in CommEvent, received bytes
    // (2) or the loss of the port while open (kCommEventPortLost).
    void SetOnComm(std::function<void()> handler) { onComm_ = std::move(handler); }

    // The system reports the device `device` removed (as "COM3" or a device
    // path): the port, when open on it, is lost at once, even where its
    // driver goes on answering.
    void DeviceRemoved(std::string_view device);

    // The description of the last opening failure or loss of the port.
    const std::string& ErrorText() const { return errorText_; }
    // After a loss of the port: what the system reported, in its words.
    const std::string& LossReason() const { return lossReason_; }
    // The device the port was last opened on (or tried).
    const std::string& DeviceName() const { return deviceName_; }
    // Bytes handed to SetOutput since the port was opened.
    long long BytesSent() const { return bytesSent_; }

private:
    struct Backend;  // per platform

    void Raise(short event);
    // Whether device, which CommPort reaches now, is the one the port list
    // showed; when not, ErrorText() says so.
    bool IsShownDevice(const std::string& device);

    std::unique_ptr<Backend> backend_;
    std::function<void()> onComm_;
    short commPort_ = 1;
    std::string devicePath_;
    std::optional<std::string> shownDevice_;
    LineSettings settings_;
    short rThreshold_ = 0;
    int inputMode_ = 0;
    short inputLen_ = 0;
    short outBufferSize_ = 512;
    short commEvent_ = 0;
    std::string errorText_;
    std::string lossReason_;
    std::string deviceName_;
    long long bytesSent_ = 0;
};

}  // namespace velmoro
