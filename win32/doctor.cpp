// velmoro-downloader-cli doctor on Windows: whether each port is one the
// system lists, and whether it opens, with what to do when it does not. The
// port is opened as the downloader opens it and closed again at once, its
// settings untouched. The deeper checks of Linux (permissions, the programs
// that hold a device, services, the adapter's latency) have no counterpart
// here; the findings say so.

#include <windows.h>

#include <cstdio>

#include "commands.h"
#include "doctor_report.h"
#include "port_names.h"
#include "text.h"

namespace velmoro {

namespace {

const char kDeviceManager[] =
    "Plug the adapter in; Device Manager shows the COM number it was given under \"Ports "
    "(COM & LPT)\", where its port settings can also give it another number from 1 to 9.";

Finding Make(const std::string& port, Severity severity, std::string text,
             std::string advice = {}) {
    return Finding{port, {}, severity, std::move(text), std::move(advice)};
}

void CheckPort(const std::string& port, bool listed, std::vector<Finding>& findings) {
    findings.push_back(Make(port, Severity::Ok,
                            listed ? port + " is present: the system lists it."
                                   : port + " is not among the ports the system lists."));
    std::string path = port;
    if (path.rfind("\\\\.\\", 0) != 0) {
        path = "\\\\.\\" + path;
    }
    const HANDLE handle = CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        // Whether a serial port driver answers behind the name.
        DCB settings{};
        settings.DCBlength = sizeof settings;
        const bool answers = GetCommState(handle, &settings) != FALSE;
        const DWORD error = answers ? 0 : GetLastError();
        CloseHandle(handle);
        if (answers) {
            findings.push_back(Make(port, Severity::Ok, "It opens for reading and writing."));
        } else {
            findings.push_back(
                Make(port, Severity::Problem,
                     "It opens, but no serial port answers behind it: " + SystemMessage(error),
                     "Unplug the adapter and plug it in again; if that does not "
                     "help, reinstall its driver."));
        }
        return;
    }
    const DWORD error = GetLastError();
    const std::string failed = "It will not open: " + SystemMessage(error);
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
        findings.push_back(Make(port, Severity::Problem, failed + " Another program has it open.",
                                "Close the program that uses it (a terminal program, another "
                                "downloader, the mount's own software), then try again."));
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        findings.back() = Make(port, Severity::Problem, port + " does not exist.", kDeviceManager);
    } else {
        findings.push_back(Make(port, Severity::Problem, failed,
                                "Unplug the adapter and plug it in again; if that does not help, "
                                "reinstall its driver."));
    }
}

}  // namespace

int RunDoctor(const std::vector<std::string>& ports) {
    const std::vector<SerialDevice> devices = ListSerialDevices();
    const auto listed = [&devices](const std::string& port) {
        for (const SerialDevice& device : devices) {
            if (device.path == port) {
                return true;
            }
        }
        return false;
    };
    std::vector<Finding> findings;
    if (ports.empty()) {
        // COM1 to COM9 that the system lists; none at all is the problem.
        for (int n = 1; n <= 9; ++n) {
            const std::string port = "COM" + std::to_string(n);
            if (listed(port)) {
                CheckPort(port, true, findings);
            }
        }
        if (findings.empty()) {
            findings.push_back(Make("COM1 to COM9", Severity::Problem,
                                    "No device: the system lists no port from COM1 to COM9.",
                                    kDeviceManager));
        }
    }
    for (const std::string& port : ports) {
        CheckPort(port, listed(port), findings);
    }
    findings.push_back(
        Make({}, Severity::Ok,
             "The deeper checks (permissions, programs and services that hold a port, the USB "
             "adapter and its latency) are Linux-only. On Windows, Device Manager shows the "
             "adapter, its driver and, for drivers that have it, the latency timer in the port's "
             "advanced settings (1 ms is best)."));
    const std::string report = FormatFindings(findings);
    std::fputs(report.c_str(), stdout);
    return DoctorExitCode(findings);
}

}  // namespace velmoro
