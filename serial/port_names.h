#pragma once

// How "COM1" to "COM9" reach serial devices. On Windows COMn is the port of
// that name. Elsewhere the variable VELMORO_COM<n> names the device of COMn
// when it is set; otherwise COMn is the n-th serial device present, USB
// adapters first, then on-board ports that really exist, each group in the
// natural order of their device names (ttyUSB2 before ttyUSB10).
//
// Back-ends: port_names_qt.cpp (QSerialPortInfo), port_names_win32.cpp (the
// serial ports that the system lists in its device map). Both hand what the
// system says to OrderSerialDevices (port_names.cpp), so one order holds
// everywhere.

#include <cstdint>
#include <string>
#include <vector>

namespace velmoro {

struct SerialDevice {
    std::string path;         // /dev/ttyUSB0, COM3
    std::string description;  // what the system says the device is
    std::string usbIdentity;  // "vid:pid manufacturer serial", empty if not known
    // What a reader calls it: the chip of a USB adapter (usb_serial_chips.h),
    // else what the system says of the adapter; empty for other ports.
    std::string name;
};

// What the system says about one port.
struct PortFacts {
    std::string path;
    std::string description;
    bool hasVendorId = false;  // a USB adapter
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string manufacturer;
    std::string serialNumber;
};

// The ports in COMn order: USB adapters first, then the others, each group
// in the natural order of the device paths (runs of digits compare as
// numbers: ttyUSB2 before ttyUSB10, COM2 before COM10). Ports whose paths
// differ only in leading zeros stay in the order the system lists them.
std::vector<SerialDevice> OrderSerialDevices(std::vector<PortFacts> ports);

std::vector<SerialDevice> ListSerialDevices();

// COMn counted among the devices present, from 1; empty, with the reason
// and what to do, when fewer are present.
std::string NthSerialDevice(int n, const std::vector<SerialDevice>& devices, std::string& reason);

// The device that COMn reaches now; empty when there is none. how, when
// given, tells where the answer came from.
std::string ComPortDevice(int n, std::string* how = nullptr);

// The back-end's part of ComPortDevice, for n from 1 to 9.
std::string PlatformComPortDevice(int n, std::string& reason);

// What a port list shows for COMn: the device it reaches now and its name,
// "COM3  –  /dev/ttyUSB0  CH340 USB serial adapter", or "COM3  –  nothing
// there". A Windows port reaches itself; its name is not said twice.
std::string PortItemText(int n, const std::string& device, const std::string& name);

// The name of the device at path among devices; empty when not among them.
std::string DeviceName(const std::string& path, const std::vector<SerialDevice>& devices);

// The ports a port list offers: COM1 to COM9, always, then the ports present
// that are named COM10 and above (only Windows names its ports so), and
// chosen when it is one of those but no longer present, so that the choice
// stays in view. Each with its PortItemText.
struct PortListItem {
    int number;
    std::string text;
    std::string device;  // the device the item shows COMn reaching; empty: nothing there
};
std::vector<PortListItem> PortListItems(int chosen);

// For a device that could not be opened because of its permissions: what the
// user can do about it (the group that owns the device).
std::string PermissionAdvice(const std::string& devicePath);

}  // namespace velmoro
