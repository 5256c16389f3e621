// What sysfs shows of USB-serial adapters: the interfaces of a serial kind
// (vendor-specific, as most USB-serial chips have, or CDC's communication
// interface), whether a driver has taken each, and whether that driver made
// a serial device of it. An interface of that kind with no driver is an
// adapter the kernel has no driver for (or one that brltty took from its
// driver); a driver that does not start leaves nothing cheap to see here.

#include "usb_survey.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "usb_serial_chips.h"

namespace velmoro {

namespace {

namespace fs = std::filesystem;

// Bounds of the walk: a system has far fewer USB interfaces, and sysfs
// attributes that name a device are a short line.
constexpr std::size_t kMaxInterfaces = 1024;
constexpr std::streamsize kMaxLine = 256;

// A sysfs id ("1a86"); 0 when it is not four hex digits.
std::uint16_t HexId(const std::string& text) {
    unsigned value = 0;
    if (text.size() != 4) {
        return 0;
    }
    for (char c : text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) {
            return 0;
        }
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<std::uint16_t>(value);
}

std::string ReadLine(const fs::path& path) {
    std::ifstream file(path);
    char line[kMaxLine] = {};
    file.getline(line, kMaxLine);
    std::string text = line;
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// ttyUSB0 directly below the interface (usb-serial drivers), or tty/ttyACM0
// (cdc_acm).
bool GaveSerialDevice(const fs::path& interface) {
    std::error_code error;
    for (fs::directory_iterator entry(interface, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.starts_with("ttyUSB")) {
            return true;
        }
        if (name == "tty" && !fs::is_empty(entry->path(), error)) {
            return true;
        }
    }
    return false;
}

}  // namespace

UsbSurvey SurveyUsbSerial(const fs::path& root) {
    UsbSurvey survey;
    survey.place = DriverPlace::Kernel;
    const fs::path devices = root / "sys/bus/usb/devices";
    std::vector<std::string> interfaces;
    std::error_code error;
    for (fs::directory_iterator entry(devices, error), end;
         !error && entry != end && interfaces.size() < kMaxInterfaces; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.find(':') != std::string::npos) {
            interfaces.push_back(name);
        }
    }
    std::sort(interfaces.begin(), interfaces.end());
    std::set<std::string> troubled;  // devices, by their sysfs name
    for (const std::string& name : interfaces) {
        const fs::path interface = devices / name;
        const std::string kind = ReadLine(interface / "bInterfaceClass");
        if (kind != "ff" && kind != "02") {
            continue;
        }
        if (fs::exists(fs::symlink_status(interface / "driver", error))) {
            survey.usbPorts += GaveSerialDevice(interface) ? 1 : 0;
            continue;
        }
        const std::string device = name.substr(0, name.find(':'));
        if (!troubled.insert(device).second) {
            continue;
        }
        const fs::path parent = devices / device;
        // A vendor's own interface is an adapter's only when the chip table
        // knows the ids: phones, radio sticks and readers have them too.
        if (kind == "ff" && UsbSerialName(HexId(ReadLine(parent / "idVendor")),
                                          HexId(ReadLine(parent / "idProduct")))
                                .empty()) {
            troubled.erase(device);
            continue;
        }
        UsbDeviceTrouble trouble;
        trouble.kind = UsbDeviceTrouble::Kind::NoDriver;
        trouble.name = ReadLine(parent / "product");
        const std::string vendor = ReadLine(parent / "idVendor");
        const std::string product = ReadLine(parent / "idProduct");
        if (!vendor.empty() && !product.empty()) {
            trouble.hardwareId = vendor;
            trouble.hardwareId += ':';
            trouble.hardwareId += product;
        }
        survey.troubles.push_back(std::move(trouble));
    }
    return survey;
}

UsbSurvey SurveyUsbSerial() {
    return SurveyUsbSerial("/");
}

}  // namespace velmoro
