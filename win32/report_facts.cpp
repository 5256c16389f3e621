// What Windows says of itself and of a COM port, for reports and the port
// doctor: the version the kernel reports (not the one a compatibility layer
// pretends), the Wine version when there is one, the port's name in the
// device map, and the USB-serial driver behind it with its latency timer.

#include "report_facts.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "port_names.h"
#include "text.h"

namespace velmoro {

namespace {

constexpr wchar_t kDevices[] = L"SYSTEM\\CurrentControlSet\\Enum";
// Bounds of the walk through the devices the system knows.
constexpr DWORD kMaxKeys = 4096;
constexpr DWORD kNameChars = 256;

// The names of a key's subkeys, at most kMaxKeys of them.
std::vector<std::wstring> Subkeys(HKEY key) {
    std::vector<std::wstring> names;
    wchar_t name[kNameChars];
    for (DWORD index = 0; index < kMaxKeys; ++index) {
        DWORD length = kNameChars;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    return names;
}

// The device whose parameters name the port, as USB-serial drivers keep them
// (Enum\<bus>\<device>\<instance>\Device Parameters, PortName "COM3"): its
// driver's latency timer (LatencyTimer, in ms) when it keeps one, and the
// bus its driver enumerates (FTDIBUS, USB, ...).
AdapterFacts FindAdapterIn(const std::string& port) {
    AdapterFacts facts;
    HKEY devices = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDevices, 0, KEY_READ, &devices) != ERROR_SUCCESS) {
        return facts;
    }
    const std::wstring wanted = Widen(port);
    bool found = false;
    for (const std::wstring& bus : Subkeys(devices)) {
        HKEY busKey = nullptr;
        if (found || RegOpenKeyExW(devices, bus.c_str(), 0, KEY_READ, &busKey) != ERROR_SUCCESS) {
            continue;
        }
        for (const std::wstring& device : Subkeys(busKey)) {
            HKEY deviceKey = nullptr;
            if (found ||
                RegOpenKeyExW(busKey, device.c_str(), 0, KEY_READ, &deviceKey) != ERROR_SUCCESS) {
                continue;
            }
            for (const std::wstring& instance : Subkeys(deviceKey)) {
                const std::wstring parameters = instance + L"\\Device Parameters";
                wchar_t name[kNameChars] = {};
                DWORD size = sizeof name - sizeof name[0];
                if (RegGetValueW(deviceKey, parameters.c_str(), L"PortName", RRF_RT_REG_SZ, nullptr,
                                 name, &size) != ERROR_SUCCESS ||
                    CompareStringOrdinal(name, -1, wanted.c_str(), -1, TRUE) != CSTR_EQUAL) {
                    continue;
                }
                found = true;
                facts.found = true;
                facts.driver = Narrow(bus);
                DWORD latency = 0;
                size = sizeof latency;
                if (RegGetValueW(deviceKey, parameters.c_str(), L"LatencyTimer", RRF_RT_REG_DWORD,
                                 nullptr, &latency, &size) == ERROR_SUCCESS) {
                    facts.latencyMs = latency;
                }
                break;
            }
            RegCloseKey(deviceKey);
        }
        RegCloseKey(busKey);
    }
    RegCloseKey(devices);
    return facts;
}

struct VersionInfo {
    ULONG size;
    ULONG major;
    ULONG minor;
    ULONG build;
    ULONG platform;
    WCHAR servicePack[128];
};

}  // namespace

AdapterFacts FindAdapterFacts(const std::string& device) {
    return FindAdapterIn(device);
}

std::string SystemDescription() {
    std::string text = "Windows";
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll != nullptr) {
        using GetVersionFunction = LONG(WINAPI*)(VersionInfo*);
        const auto getVersion = reinterpret_cast<GetVersionFunction>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
        VersionInfo info{};
        info.size = sizeof info;
        if (getVersion != nullptr && getVersion(&info) == 0) {
            char version[48];
            std::snprintf(version, sizeof version, " %lu.%lu.%lu", info.major, info.minor,
                          info.build);
            text += version;
        }
        using WineVersionFunction = const char*(CDECL*)();
        const auto wineVersion = reinterpret_cast<WineVersionFunction>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
        if (wineVersion != nullptr) {
            text += std::string(" (Wine ") + wineVersion() + ")";
        }
    }
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    text += system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64   ? " x64"
            : system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64 ? " ARM64"
                                                                            : " x86";
    return text;
}

ReportFacts DeviceReportFacts(const std::string& device) {
    ReportFacts facts;
    for (const SerialDevice& listed : ListSerialDevices()) {
        if (listed.path == device && !listed.description.empty()) {
            facts.emplace_back("Device map", listed.description);
        }
    }
    return facts;
}

std::string ReportsFolder() {
    wchar_t named[MAX_PATH];
    DWORD size = GetEnvironmentVariableW(L"VELMORO_REPORTS_DIR", named, MAX_PATH);
    if (size > 0 && size < MAX_PATH) {
        return Narrow(std::wstring_view(named, size));
    }
    size = GetEnvironmentVariableW(L"LOCALAPPDATA", named, MAX_PATH);
    if (size > 0 && size < MAX_PATH) {
        return Narrow(std::wstring_view(named, size)) + "\\Velmoro Downloader\\Reports";
    }
    return {};
}

}  // namespace velmoro
