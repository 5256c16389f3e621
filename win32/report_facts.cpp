// What Windows says of itself and of a COM port, for reports: the version
// the kernel reports (not the one a compatibility layer pretends), the Wine
// version when there is one, and the port's driver name from the device map.

#include "report_facts.h"

#include <windows.h>

#include <cstdio>

#include "port_names.h"
#include "text.h"

namespace velmoro {

namespace {

struct VersionInfo {
    ULONG size;
    ULONG major;
    ULONG minor;
    ULONG build;
    ULONG platform;
    WCHAR servicePack[128];
};

}  // namespace

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
            facts.emplace_back("Driver", listed.description);
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
