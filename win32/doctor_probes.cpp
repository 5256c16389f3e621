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
#include "report_facts.h"
#include "text.h"

namespace velmoro {

namespace {

// The adapter behind the port, as the reports see it.
void FindAdapter(const std::string& port, DeviceFacts& facts) {
    const AdapterFacts adapter = FindAdapterFacts(port);
    if (adapter.found) {
        facts.driver = adapter.driver;
        facts.latencyMs = adapter.latencyMs;
    }
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
