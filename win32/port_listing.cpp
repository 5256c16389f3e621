// COM ports as Windows lists them: every serial port driver enters its
// ports in the device map (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), the list
// that the system's own tools show.

#include <windows.h>

#include <utility>

#include "port_names.h"
#include "text.h"

namespace velmoro {

std::vector<SerialDevice> ListSerialDevices() {
    std::vector<PortFacts> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return {};
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
        PortFacts port;
        port.path = Narrow(data);
        port.description = Narrow(std::wstring_view(name, nameLength));  // \Device\Serial0
        ports.push_back(port);
    }
    RegCloseKey(key);
    return OrderSerialDevices(std::move(ports));
}

std::string PlatformComPortDevice(int n, std::string& reason) {
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
