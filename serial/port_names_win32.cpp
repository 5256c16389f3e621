// COM ports as Windows lists them: every serial port driver enters its
// ports in the device map (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), the list
// that the system's own tools show.

#include <windows.h>

#include <algorithm>

#include "port_names.h"
#include "win32_text.h"

namespace velmoro {

namespace {

// 3 for "COM3", 0 for anything else; orders COM2 before COM10.
int PortNumber(const std::string& name) {
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0) {
        return 0;
    }
    int number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || number > 100000) {
            return 0;
        }
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices() {
    std::vector<SerialDevice> devices;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return devices;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        wchar_t data[256];
        DWORD nameLength = 256;
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result = RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        data[dataBytes / sizeof(wchar_t)] = L'\0';
        SerialDevice device;
        device.path = Narrow(data);
        device.description = Narrow(std::wstring_view(name, nameLength));  // \Device\Serial0
        devices.push_back(device);
    }
    RegCloseKey(key);
    std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return PortNumber(a.path) < PortNumber(b.path);
    });
    return devices;
}

std::string ComPortDevice(int n, std::string* how) {
    std::string unused;
    std::string& reason = how != nullptr ? *how : unused;
    if (n < 1 || n > 9) {
        reason = "only COM1 to COM9 exist";
        return {};
    }
    std::string name = "COM" + std::to_string(n);
    for (const SerialDevice& device : ListSerialDevices()) {
        if (device.path == name) {
            reason = "the Windows port of that name";
            return name;
        }
    }
    reason = "the system lists no port of that name";
    return {};
}

std::string PermissionAdvice(const std::string&) {
    return "Close any other program that uses the port, then try again.";
}

}  // namespace velmoro
