// What the port doctor sees on Windows: whether the system lists a port,
// whether it opens, and the USB-serial adapter behind it with its driver's
// latency timer, where the driver keeps it. The port is opened as the
// downloader opens it and closed again at once, its settings untouched.
// Windows shows nothing of a port's permissions or of the programs that hold
// it; the conclusions (cli/doctor.cpp) say so.

#include <windows.h>

#include <string>
#include <vector>

#include "doctor.h"
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
void FindAdapter(const std::string& port, DeviceFacts& facts) {
    HKEY devices = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDevices, 0, KEY_READ, &devices) != ERROR_SUCCESS) {
        return;
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
}

class PortNameProbes final : public DoctorProbes {
public:
    PortView View() const override { return PortView::PortNames; }

    ProcessTable Processes() override { return {}; }

    DeviceFacts LookAt(const std::string& port) override {
        DeviceFacts facts;
        for (const SerialDevice& device : ListSerialDevices()) {
            if (device.path == port) {
                facts.listed = true;
            }
        }
        FindAdapter(port, facts);
        return facts;
    }

    OpenFacts TryOpen(const std::string& port) override {
        std::string path = port;
        if (path.rfind("\\\\.\\", 0) != 0) {
            path = "\\\\.\\" + path;
        }
        const HANDLE handle = CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            // Whether a serial port driver answers behind the name.
            DCB settings{};
            settings.DCBlength = sizeof settings;
            const bool answers = GetCommState(handle, &settings) != FALSE;
            const DWORD error = answers ? 0 : GetLastError();
            CloseHandle(handle);
            if (answers) {
                return {OpenFacts::Result::Opened, {}};
            }
            return {OpenFacts::Result::NotSerial, SystemMessage(error)};
        }
        const DWORD error = GetLastError();
        OpenFacts opened{OpenFacts::Result::Failed, SystemMessage(error)};
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
            opened.result = OpenFacts::Result::Busy;
        } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            opened.result = OpenFacts::Result::Missing;
        }
        return opened;
    }

    UsbSurvey SurveyUsb() override { return SurveyUsbSerial(); }
};

}  // namespace

std::unique_ptr<DoctorProbes> ThisSystemsProbes() {
    return std::make_unique<PortNameProbes>();
}

}  // namespace velmoro
