// The order in which COMn counts the serial devices, and what it shows of
// each; the platform back-ends only gather what the system says.

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "port_names.h"
#include "usb_serial_chips.h"

namespace velmoro {

namespace {

constexpr std::string_view kDigits = "0123456789";

bool IsDigit(char c) {
    return kDigits.find(c) != std::string_view::npos;
}

// Takes the run of digits at the front of text off it; returns the run
// without its leading zeros.
std::string_view TakeNumber(std::string_view& text) {
    const std::size_t length = std::min(text.find_first_not_of(kDigits), text.size());
    const std::string_view number = text.substr(0, length);
    text.remove_prefix(length);
    return number.substr(std::min(number.find_first_not_of('0'), number.size()));
}

// Natural order: runs of digits compare by their value, everything else
// character by character. Names that differ only in leading zeros are equal.
bool NaturalLess(std::string_view a, std::string_view b) {
    while (!a.empty() && !b.empty()) {
        if (IsDigit(a.front()) && IsDigit(b.front())) {
            const std::string_view x = TakeNumber(a);
            const std::string_view y = TakeNumber(b);
            if (x.size() != y.size()) {
                return x.size() < y.size();
            }
            if (x != y) {
                return x < y;
            }
        } else if (a.front() != b.front()) {
            return a.front() < b.front();
        } else {
            a.remove_prefix(1);
            b.remove_prefix(1);
        }
    }
    return a.size() < b.size();
}

// "vvvv:pppp manufacturer serial", the parts the system does not know left out.
std::string UsbIdentity(const PortFacts& port) {
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", static_cast<unsigned>(port.vendorId),
                  static_cast<unsigned>(port.productId));
    std::string identity = ids;
    for (const std::string& part : {port.manufacturer, port.serialNumber}) {
        if (!part.empty()) {
            identity += ' ' + part;
        }
    }
    return identity;
}

}  // namespace

std::vector<SerialDevice> OrderSerialDevices(std::vector<PortFacts> ports) {
    std::stable_sort(ports.begin(), ports.end(), [](const PortFacts& a, const PortFacts& b) {
        if (a.hasVendorId != b.hasVendorId) {
            return a.hasVendorId;
        }
        return NaturalLess(a.path, b.path);
    });
    std::vector<SerialDevice> devices;
    for (const PortFacts& port : ports) {
        SerialDevice device;
        device.path = port.path;
        device.description = port.description;
        if (port.hasVendorId) {
            device.usbIdentity = UsbIdentity(port);
            device.name = UsbSerialName(port.vendorId, port.productId);
            if (device.name.empty()) {
                device.name = port.description;
            }
        }
        devices.push_back(device);
    }
    return devices;
}

std::string NthSerialDevice(int n, const std::vector<SerialDevice>& devices, std::string& reason) {
    const std::string variable = "VELMORO_COM" + std::to_string(n);
    if (n < 1 || static_cast<std::size_t>(n) > devices.size()) {
        reason = devices.empty()
                     ? "no serial device is present. Plug in the cable, or set " + variable +
                           " to the device"
                     : "only " + std::to_string(devices.size()) + " serial device(s) present, COM" +
                           std::to_string(n) + " is not one of them. Choose a lower port, or set " +
                           variable + " to the device";
        return {};
    }
    reason = "serial device number " + std::to_string(n) + " present";
    return devices[static_cast<std::size_t>(n) - 1].path;
}

std::string PortItemText(int n, const std::string& device, const std::string& name) {
    const std::string port = "COM" + std::to_string(n);
    std::string text = port + "  \u2013  ";
    if (device.empty()) {
        return text + "nothing there";
    }
    if (device != port) {
        text += device;
        if (!name.empty()) {
            text += "  " + name;
        }
        return text;
    }
    return text + (name.empty() ? "serial port" : name);
}

std::string DeviceName(const std::string& path, const std::vector<SerialDevice>& devices) {
    const auto found =
        std::find_if(devices.begin(), devices.end(),
                     [&](const SerialDevice& device) { return device.path == path; });
    return found != devices.end() ? found->name : std::string();
}

std::vector<PortListItem> PortListItems(int chosen) {
    const std::vector<SerialDevice> devices = ListSerialDevices();
    std::vector<PortListItem> items;
    for (int n = 1; n <= 9; ++n) {
        const std::string device = ComPortDevice(n);
        items.push_back({n, PortItemText(n, device, DeviceName(device, devices)), device});
    }
    std::vector<int> above;
    for (const SerialDevice& device : devices) {
        std::string_view rest = device.path;
        if (rest.starts_with("COM") && rest.size() > 3 && rest.size() <= 6) {
            rest.remove_prefix(3);
            if (rest.find_first_not_of(kDigits) == std::string_view::npos && rest.front() != '0') {
                const int n = std::stoi(std::string(rest));
                if (n > 9) {
                    above.push_back(n);
                }
            }
        }
    }
    if (chosen > 9 && std::find(above.begin(), above.end(), chosen) == above.end()) {
        above.push_back(chosen);
    }
    std::sort(above.begin(), above.end());
    for (const int n : above) {
        const std::string port = "COM" + std::to_string(n);
        const auto present = std::find_if(devices.begin(), devices.end(),
                                          [&](const SerialDevice& d) { return d.path == port; });
        const std::string device = present != devices.end() ? port : std::string();
        items.push_back({n, PortItemText(n, device, DeviceName(port, devices)), device});
    }
    return items;
}

std::string ComPortDevice(int n, std::string* how) {
    std::string unused;
    std::string& reason = how != nullptr ? *how : unused;
    if (n < 1 || n > 9) {
        reason = "only COM1 to COM9 exist";
        return {};
    }
    return PlatformComPortDevice(n, reason);
}

}  // namespace velmoro
