#pragma once

// How "COM1" to "COM9" reach serial devices. On Windows COMn is the port of
// that name. Elsewhere the variable VELMORO_COM<n> names the device of COMn
// when it is set; otherwise COMn is the n-th serial device present, USB
// adapters first, then on-board ports that really exist, each group in the
// natural order of their device names (ttyUSB2 before ttyUSB10).
//
// Back-ends: port_names_qt.cpp (QSerialPortInfo), port_names_win32.cpp (the
// serial ports that the system lists in its device map).

#include <string>
#include <vector>

namespace velmoro {

struct SerialDevice {
    std::string path;         // /dev/ttyUSB0, COM3
    std::string description;  // what the system says the device is
    std::string usbIdentity;  // "vid:pid manufacturer serial", empty if not known
};

std::vector<SerialDevice> ListSerialDevices();

// The device that COMn reaches now; empty when there is none. how, when
// given, tells where the answer came from.
std::string ComPortDevice(int n, std::string* how = nullptr);

// For a device that could not be opened because of its permissions: what the
// user can do about it (the group that owns the device).
std::string PermissionAdvice(const std::string& devicePath);

}  // namespace velmoro
