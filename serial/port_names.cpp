// The order in which COMn counts the serial devices, and what it shows of
// each; the platform back-ends only gather what the system says.

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "port_names.h"

namespace velmoro {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The run of digits that starts at from, without its leading zeros; from
// moves past the run.
std::string_view Number(std::string_view text, std::size_t& from) {
    while (from < text.size() && text[from] == '0') {
        ++from;
    }
    const std::size_t start = from;
    while (from < text.size() && IsDigit(text[from])) {
        ++from;
    }
    return text.substr(start, from - start);
}

// Natural order: runs of digits compare by their value, everything else
// character by character. Names that differ only in leading zeros fall back
// to the plain order, so that the order stays strict.
bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const std::string_view x = Number(a, i);
            const std::string_view y = Number(b, j);
            if (x.size() != y.size()) {
                return x.size() < y.size();
            }
            if (x != y) {
                return x < y;
            }
        } else if (a[i] != b[j]) {
            return a[i] < b[j];
        } else {
            ++i;
            ++j;
        }
    }
    if (i < a.size() || j < b.size()) {
        return j < b.size();
    }
    return a < b;
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
    std::sort(ports.begin(), ports.end(), [](const PortFacts& a, const PortFacts& b) {
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
        }
        devices.push_back(device);
    }
    return devices;
}

}  // namespace velmoro
