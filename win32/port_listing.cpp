// COM ports as Windows lists them: every serial port driver enters its
// ports in the device map (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), the list
// that the system's own tools show. The USB ids of a port, for its name,
// are in its entry among the system's ports devices.

#include <windows.h>

#include <setupapi.h>
// After the Windows headers, which it needs: the ports class, "Ports (COM &
// LPT)", by the system's own name.
#include <devguid.h>

#include <cstdint>
#include <cwchar>
#include <map>
#include <utility>

#include "port_names.h"
#include "text.h"

namespace velmoro {

namespace {

struct UsbFacts {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string manufacturer;
};

// "USB\VID_0403&PID_6001..." and the like (FTDIBUS\VID_0403+PID_6001+...):
// the ids after "VID_" and "PID_".
bool ReadIds(const wchar_t* hardwareId, UsbFacts& facts) {
    const wchar_t* vid = std::wcsstr(hardwareId, L"VID_");
    const wchar_t* pid = std::wcsstr(hardwareId, L"PID_");
    if (vid == nullptr || pid == nullptr) {
        return false;
    }
    facts.vendorId = static_cast<std::uint16_t>(std::wcstoul(vid + 4, nullptr, 16));
    facts.productId = static_cast<std::uint16_t>(std::wcstoul(pid + 4, nullptr, 16));
    return true;
}

// The USB ports present, by their names (COM3).
std::map<std::string, UsbFacts> UsbPorts() {
    std::map<std::string, UsbFacts> ports;
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        return ports;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        wchar_t ids[512] = {};
        UsbFacts facts;
        if (!SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr,
                                               reinterpret_cast<BYTE*>(ids),
                                               sizeof ids - 2 * sizeof(wchar_t), nullptr) ||
            !ReadIds(ids, facts)) {
            continue;
        }
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) {
            continue;
        }
        wchar_t name[64] = {};
        DWORD bytes = sizeof name - sizeof(wchar_t);
        DWORD type = 0;
        const bool named =
            RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name),
                             &bytes) == ERROR_SUCCESS &&
            type == REG_SZ;
        RegCloseKey(key);
        if (!named) {
            continue;
        }
        wchar_t maker[256] = {};
        if (SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_MFG, nullptr,
                                              reinterpret_cast<BYTE*>(maker),
                                              sizeof maker - sizeof(wchar_t), nullptr)) {
            facts.manufacturer = Narrow(maker);
        }
        ports[Narrow(name)] = facts;
    }
    SetupDiDestroyDeviceInfoList(set);
    return ports;
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices() {
    std::vector<PortFacts> ports;
    const std::map<std::string, UsbFacts> usb = UsbPorts();
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
        if (const auto found = usb.find(port.path); found != usb.end()) {
            port.hasVendorId = true;
            port.vendorId = found->second.vendorId;
            port.productId = found->second.productId;
            port.manufacturer = found->second.manufacturer;
        }
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
