// velmoro-downloader-cli doctor: why a port will not open, and what to do.
//
// The verdicts and the advice, from what the platform's probes saw. Where a
// system shows device files (owner, mode, processes, the adapter's driver)
// the doctor goes deep; where it shows only the names of its ports, the
// findings say what it could not look at.

#include "doctor.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "commands.h"

namespace velmoro {

namespace {

const std::string kPortsCommand = "`velmoro-downloader-cli ports`";

Finding Make(const std::string& port, const std::string& device, Severity severity,
             std::string text, std::string advice = {}) {
    return Finding{port, device, severity, std::move(text), std::move(advice)};
}

// 1 to 9 for "COM1" to "COM9" (any case), else 0.
int ComNumber(const std::string& port) {
    if (port.size() == 4 && (port[0] == 'C' || port[0] == 'c') &&
        (port[1] == 'O' || port[1] == 'o') && (port[2] == 'M' || port[2] == 'm') &&
        port[3] >= '1' && port[3] <= '9') {
        return port[3] - '0';
    }
    return 0;
}

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value));
    return text;
}

// The USB identity the system gives the device, or the empty string.
std::string UsbIdentity(const PortFacts& adapter) {
    if (!adapter.hasVendorId) {
        return {};
    }
    std::string text = "USB adapter " + Hex4(adapter.vendorId) + ":" + Hex4(adapter.productId);
    if (!adapter.manufacturer.empty()) {
        text += ", manufacturer " + adapter.manufacturer;
    }
    if (!adapter.serialNumber.empty()) {
        text += ", serial " + adapter.serialNumber;
    }
    if (!adapter.description.empty()) {
        text += " (" + adapter.description + ")";
    }
    return text + '.';
}

// --- Systems that show device files ---

std::string JoinGroupCommand(const std::string& group, GroupTool tool) {
    if (tool == GroupTool::Dseditgroup) {
        return "sudo dseditgroup -o edit -a $USER -t user " + group + ", then log out and in again";
    }
    return "sudo usermod -aG " + group + " $USER, then log out and in again";
}

std::string PermissionAdvice(const DeviceFacts& facts, const std::string& device) {
    if (facts.ownedByUser) {
        return "It is yours, but its mode keeps you out: chmod u+rw " + device + ".";
    }
    if (facts.rootGroup) {
        return "Only root may open it as it is set up: have a udev rule give it to a group you are "
               "in (GROUP=\"dialout\", MODE=\"0660\"), or run the downloader with sudo.";
    }
    const std::string& group = facts.groupName;
    if (!facts.groupReadWrite) {
        const std::string chmod = "Its mode keeps even the group \"" + group +
                                  "\" from reading and writing it: sudo chmod g+rw " + device +
                                  " (lasts until the device appears again)";
        return facts.inGroup
                   ? chmod + '.'
                   : chmod + ", and join that group: " + JoinGroupCommand(group, facts.groupTool) +
                         ".";
    }
    if (facts.listedInGroup) {
        return "You were added to the group \"" + group +
               "\" after this session began: log out and in again (or start a shell in the "
               "group with `newgrp " +
               group + "`).";
    }
    return "Join the group \"" + group +
           "\" that owns it: " + JoinGroupCommand(group, facts.groupTool) + ".";
}

std::string UserLabel(const DeviceFacts& facts) {
    const std::string uid = "uid " + std::to_string(facts.uid);
    return facts.userName.empty() ? uid : facts.userName + " (" + uid + ")";
}

const char kModemManager[] = "ModemManager";
const char kBrltty[] = "brltty";

std::string ModemManagerAdvice() {
    return "If this computer uses no modem: sudo systemctl stop ModemManager (sudo systemctl "
           "disable ModemManager keeps it off). Or make it leave the adapter alone with a udev "
           "rule in /etc/udev/rules.d/99-velmoro.rules: ATTRS{idVendor}==\"VVVV\", "
           "ATTRS{idProduct}==\"PPPP\", ENV{ID_MM_DEVICE_IGNORE}=\"1\" (the adapter's "
           "vendor:product), then sudo udevadm control --reload and plug the adapter in again.";
}

std::string BrlttyAdvice() {
    return "If no braille display is used: sudo systemctl stop brltty-udev.service brltty.service "
           "and sudo systemctl mask brltty-udev.service brltty.service (or remove the brltty "
           "package), then plug the adapter in again.";
}

// On a single-board computer the board's own UART is often the kernel's
// console, with a login prompt on it as well.
std::string SerialConsoleAdvice(const std::string& kernelName) {
    return "Turn the serial console off. On a Raspberry Pi: sudo raspi-config, Interface "
           "Options, Serial Port: no login shell over serial, serial port hardware enabled. "
           "By hand: remove console=serial0,115200 (or console=" +
           kernelName +
           ",...) from the kernel command line, in /boot/firmware/cmdline.txt on a Raspberry Pi "
           "(/boot/cmdline.txt on older systems), elsewhere in GRUB_CMDLINE_LINUX of "
           "/etc/default/grub, then sudo update-grub. Then reboot.";
}

bool IsLoginPrompt(const ProcessFacts& process) {
    return process.comm == "agetty" || process.comm == "getty";
}

std::string LoginPromptAdvice(const std::string& kernelName, bool kernelConsole) {
    if (kernelConsole) {
        return "A login prompt runs on it: " + kernelName + " is the kernel's serial console. " +
               SerialConsoleAdvice(kernelName) + " Until then, sudo systemctl stop serial-getty@" +
               kernelName + ".service frees it.";
    }
    return "A login prompt runs on it: sudo systemctl stop serial-getty@" + kernelName +
           ".service (sudo systemctl disable serial-getty@" + kernelName +
           ".service keeps it off).";
}

// What to do about the programs that hold a device: the services and the
// login prompt have their own ways to be stopped, and a login prompt on the
// kernel's serial console comes back at every boot until the console is off.
std::string HolderAdvice(const std::vector<const ProcessFacts*>& holders,
                         const std::string& kernelName, bool kernelConsole) {
    std::string programs;
    std::string pids;
    for (const ProcessFacts* holder : holders) {
        if (holder->comm == kModemManager) {
            return ModemManagerAdvice();
        }
        if (holder->comm == kBrltty) {
            return BrlttyAdvice();
        }
        if (IsLoginPrompt(*holder)) {
            return LoginPromptAdvice(kernelName, kernelConsole);
        }
        programs += (programs.empty() ? "" : ", ") + holder->comm;
        pids += " " + std::to_string(holder->pid);
    }
    return "Close " + programs + ", then try again (if it will not close: kill" + pids + ").";
}

Finding HoldersFinding(const std::string& port, const std::string& device, const DeviceFacts& facts,
                       const std::string& kernelName, const ProcessTable& table) {
    if (!table.available) {
        return Make(
            port, device, Severity::Ok,
            "Which programs have it open cannot be seen here; `lsof " + device + "` shows them.");
    }
    constexpr std::size_t kNamedAtMost = 5;
    std::vector<const ProcessFacts*> holders;
    int unnamed = 0;
    std::string names;
    for (const ProcessFacts& process : table.processes) {
        for (const std::string& file : process.openFiles) {
            if (file != facts.realPath) {
                continue;
            }
            if (holders.size() == kNamedAtMost) {
                ++unnamed;
            } else {
                holders.push_back(&process);
                names += (names.empty() ? "" : ", ") + process.comm + " (pid " +
                         std::to_string(process.pid) + ")";
            }
            break;
        }
    }
    if (unnamed > 0) {
        names += " and " + std::to_string(unnamed) + " more";
    }
    if (!holders.empty()) {
        return Make(port, device, Severity::Problem, "Another program has it open: " + names + ".",
                    HolderAdvice(holders, kernelName, facts.kernelConsole));
    }
    std::string text = "No other program has it open";
    if (table.unreadable > 0) {
        text += " as far as this user can see (" + std::to_string(table.unreadable) +
                " processes could not be looked into; `sudo fuser -v " + device +
                "` sees them all)";
    }
    return Make(port, device, Severity::Ok, text + '.');
}

Finding OpenFinding(const std::string& port, const std::string& device, const OpenFacts& opened,
                    const DeviceFacts& facts, const Finding& holders) {
    const std::string failed = "It will not open: " + opened.reason;
    switch (opened.result) {
        case OpenFacts::Result::Opened:
            return Make(port, device, Severity::Ok, "It opens for reading and writing.");
        case OpenFacts::Result::NotSerial:
            return Make(port, device, Severity::Problem,
                        "It opens, but it is no serial line (not a terminal device).",
                        "Choose the serial device itself; " + kPortsCommand + " lists them.");
        case OpenFacts::Result::Busy:
            return Make(
                port, device, Severity::Problem,
                failed + " Another program has it for itself alone.",
                holders.severity == Severity::Problem
                    ? holders.advice
                    : "Close the program that uses it (`sudo fuser -v " + device + "` names it).");
        case OpenFacts::Result::Denied:
            return Make(port, device, Severity::Problem, failed, PermissionAdvice(facts, device));
        case OpenFacts::Result::NoDevice:
            return Make(port, device, Severity::Problem,
                        failed + " No device answers behind the name.",
                        "Unplug the adapter and plug it in again; `sudo dmesg | tail` shows what "
                        "its driver says.");
        case OpenFacts::Result::Missing:
        case OpenFacts::Result::Failed:
            break;
    }
    return Make(
        port, device, Severity::Problem, failed,
        "Check the device and the cable; " + kPortsCommand + " lists the serial devices present.");
}

// USB-serial drivers with a latency timer hold received bytes back for that
// many milliseconds; every reply of the controller waits that long.
void CheckLatency(const std::string& port, const std::string& device, const DeviceFacts& facts,
                  const std::string& kernelName, std::vector<Finding>& findings) {
    if (!facts.latencyMs) {
        return;
    }
    const std::string milliseconds = std::to_string(*facts.latencyMs);
    if (*facts.latencyMs <= 1) {
        findings.push_back(Make(port, device, Severity::Ok,
                                "The adapter's driver passes received bytes on at once "
                                "(latency_timer " +
                                    milliseconds + " ms)."));
        return;
    }
    const std::string driver = facts.driver.empty() ? "ftdi_sio" : facts.driver;
    findings.push_back(
        Make(port, device, Severity::Warning,
             "The adapter's driver holds received bytes back for up to " + milliseconds +
                 " ms (latency_timer): each reply of the controller waits that long, which slows "
                 "transfers.",
             "Lower it to 1 ms: echo 1 | sudo tee /sys/bus/usb-serial/devices/" + kernelName +
                 "/latency_timer (lasts until the adapter is plugged in again), or for good with a "
                 "udev rule: ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"" +
                 driver +
                 "\", ATTR{latency_timer}=\"1\". The downloader itself asks the driver for "
                 "low-latency mode when it opens the port, which many drivers honour."));
}

// True when the port reaches no device at all.
bool CheckDeviceFile(const std::string& port, const std::string& device, DoctorProbes& probes,
                     const ProcessTable& table, std::vector<Finding>& findings) {
    const DeviceFacts facts = probes.LookAt(device);
    switch (facts.node) {
        case DeviceFacts::Node::DanglingLink:
            findings.push_back(
                Make(port, device, Severity::Problem,
                     device + " leads to " + facts.linkTarget + ", which does not exist.",
                     "Plug the adapter in (the link appears with it), or choose "
                     "another port; " +
                         kPortsCommand + " lists the serial devices present."));
            return true;
        case DeviceFacts::Node::Missing:
            findings.push_back(Make(port, device, Severity::Problem, device + " does not exist.",
                                    "Plug the adapter in and check the name; " + kPortsCommand +
                                        " lists the serial devices present."));
            return true;
        case DeviceFacts::Node::NotADevice:
        case DeviceFacts::Node::Device:
            break;
    }
    const std::string owners =
        "owner " + facts.ownerName + ", group " + facts.groupName + ", mode " + facts.modeText;
    const std::string where =
        facts.realPath == device ? device : device + " (which leads to " + facts.realPath + ")";
    if (facts.node == DeviceFacts::Node::NotADevice) {
        findings.push_back(Make(port, device, Severity::Problem,
                                where + " exists but is no device (" + owners + ").",
                                "Choose the serial device itself, such as /dev/ttyUSB0 or "
                                "/dev/ttyACM0; " +
                                    kPortsCommand + " lists them."));
        return false;
    }
    findings.push_back(Make(port, device, Severity::Ok, where + " exists: " + owners + "."));

    if (facts.readWrite) {
        findings.push_back(Make(port, device, Severity::Ok,
                                "This user, " + UserLabel(facts) + ", may read and write it."));
    } else {
        findings.push_back(Make(port, device, Severity::Problem,
                                "This user, " + UserLabel(facts) + ", may not read and write it" +
                                    (facts.refusal.empty() ? "" : " (" + facts.refusal + ")") + ".",
                                PermissionAdvice(facts, device)));
    }

    const std::string kernelName = std::filesystem::path(facts.realPath).filename().string();
    const Finding holders = HoldersFinding(port, device, facts, kernelName, table);
    if (facts.readWrite) {
        const OpenFacts opened = probes.TryOpen(device);
        const Finding open = OpenFinding(port, device, opened, facts, holders);
        if (opened.result == OpenFacts::Result::NotSerial) {
            findings.push_back(open);  // no serial line: nothing else applies
            return false;
        }
        findings.push_back(holders);
        findings.push_back(open);
    } else {
        findings.push_back(holders);
    }

    const std::string identity = UsbIdentity(facts.adapter);
    if (!identity.empty()) {
        findings.push_back(Make(port, device, Severity::Ok, identity));
    }
    if (facts.kernelConsole) {
        findings.push_back(Make(port, device, Severity::Warning,
                                "The kernel writes its console messages to " + kernelName +
                                    " (a console= entry of the kernel command line): they would "
                                    "mix with a transfer.",
                                SerialConsoleAdvice(kernelName)));
    }
    CheckLatency(port, device, facts, kernelName, findings);
    return false;
}

void CheckServices(const ProcessTable& table, std::vector<Finding>& findings) {
    if (!table.available) {
        return;
    }
    bool any = false;
    for (const ProcessFacts& process : table.processes) {
        if (process.comm == kModemManager) {
            findings.push_back(Make({}, {}, Severity::Warning,
                                    "ModemManager is running (pid " + std::to_string(process.pid) +
                                        "): it opens new serial devices to look for a modem, "
                                        "which can hold the port or garble the first bytes of a "
                                        "transfer.",
                                    ModemManagerAdvice()));
            any = true;
        } else if (process.comm == kBrltty) {
            findings.push_back(Make({}, {}, Severity::Warning,
                                    "brltty is running (pid " + std::to_string(process.pid) +
                                        "): the braille display service takes some USB-serial "
                                        "adapters away from their serial driver as soon as they "
                                        "are plugged in.",
                                    BrlttyAdvice()));
            any = true;
        }
    }
    if (!any) {
        findings.push_back(Make({}, {}, Severity::Ok,
                                "No service that takes new serial devices (ModemManager, brltty) "
                                "is running."));
    }
}

// --- Systems that show only the names of their ports ---

const char kDeviceManager[] =
    "Plug the adapter in; Device Manager shows the COM number it was given under \"Ports "
    "(COM & LPT)\", where its port settings can also give it another number from 1 to 9.";

const char kReinstallDriver[] =
    "Unplug the adapter and plug it in again; if that does not help, reinstall its driver.";

// The latency timer of the adapter's driver, where the driver keeps it in the
// device's parameters (FTDI's do): each reply of the controller waits that
// long.
void CheckNamedLatency(const std::string& port, const DeviceFacts& facts,
                       std::vector<Finding>& findings) {
    if (!facts.latencyMs) {
        return;
    }
    const std::string milliseconds = std::to_string(*facts.latencyMs);
    const std::string driver = facts.driver.empty() ? "" : " (" + facts.driver + ")";
    if (*facts.latencyMs <= 1) {
        findings.push_back(Make(port, {}, Severity::Ok,
                                "The adapter's driver" + driver +
                                    " passes received bytes on at once (latency timer " +
                                    milliseconds + " ms)."));
        return;
    }
    findings.push_back(Make(
        port, {}, Severity::Warning,
        "The adapter's driver" + driver + " holds received bytes back for up to " + milliseconds +
            " ms (latency timer): each reply of the controller waits that long, which slows "
            "transfers.",
        "Lower it to 1 ms in Device Manager: under Ports (COM & LPT), open " + port +
            ", then Port Settings, Advanced..., set Latency Timer (msec) to 1 and press OK. Then "
            "unplug the adapter and plug it in again."));
}

// True when the port reaches no device at all.
bool CheckNamedPort(const std::string& port, DoctorProbes& probes, std::vector<Finding>& findings) {
    const DeviceFacts facts = probes.LookAt(port);
    findings.push_back(Make(port, {}, Severity::Ok,
                            facts.listed ? port + " is present: the system lists it."
                                         : port + " is not among the ports the system lists."));
    const OpenFacts opened = probes.TryOpen(port);
    const std::string failed = "It will not open: " + opened.reason;
    switch (opened.result) {
        case OpenFacts::Result::Opened:
            findings.push_back(Make(port, {}, Severity::Ok, "It opens for reading and writing."));
            CheckNamedLatency(port, facts, findings);
            return false;
        case OpenFacts::Result::NotSerial:
            findings.push_back(
                Make(port, {}, Severity::Problem,
                     "It opens, but no serial port answers behind it: " + opened.reason,
                     kReinstallDriver));
            return false;
        case OpenFacts::Result::Busy:
            findings.push_back(Make(port, {}, Severity::Problem,
                                    failed + " Another program has it open.",
                                    "Close the program that uses it (a terminal program, another "
                                    "downloader, the mount's own software), then try again."));
            CheckNamedLatency(port, facts, findings);
            return false;
        case OpenFacts::Result::Missing:
            findings.back() =
                Make(port, {}, Severity::Problem, port + " does not exist.", kDeviceManager);
            return true;
        case OpenFacts::Result::Denied:
        case OpenFacts::Result::NoDevice:
        case OpenFacts::Result::Failed:
            findings.push_back(Make(port, {}, Severity::Problem, failed, kReinstallDriver));
            return false;
    }
    return false;
}

// --- Every system ---

// Where COMn leads, and how to make it lead elsewhere.
Finding ReachesFinding(const std::string& port, int n, const std::string& device,
                       const std::string& how) {
    const std::string variable = "VELMORO_COM" + std::to_string(n);
    const std::string name = DeviceName(device, ListSerialDevices());
    return Make(port, device, Severity::Ok,
                "Reaches " + device + (name.empty() ? "" : " (" + name + ")") + ": " + how + ".",
                std::getenv(variable.c_str()) != nullptr
                    ? "Without " + variable + ", " + port + " would be serial device number " +
                          std::to_string(n) + " present."
                    : "To make " + port + " another device, set " + variable + " to its path.");
}

// The COMn that reach no device, as one finding: a problem when asked for by
// name, or when none of COM1..COM9 reaches one; otherwise only a note, as
// most systems have fewer than nine serial devices.
Finding UnreachedFinding(const std::vector<std::string>& unreached, bool problem, PortView view) {
    const bool contiguous =
        unreached.size() > 2 && ComNumber(unreached.back()) - ComNumber(unreached.front()) ==
                                    static_cast<int>(unreached.size()) - 1;
    std::string label;
    if (contiguous) {
        label = unreached.front() + " to " + unreached.back();
    } else {
        for (const std::string& port : unreached) {
            label += (label.empty() ? "" : ", ") + port;
        }
    }
    if (view == PortView::PortNames) {
        const bool none = unreached.size() == 9;
        return Make(label, {}, problem ? Severity::Problem : Severity::Ok,
                    none ? "No device: the system lists no port from COM1 to COM9."
                    : unreached.size() == 1 ? "No device: the system lists no port of that name."
                                            : "No device: the system lists no port of these names.",
                    problem ? kDeviceManager : "");
    }
    const std::size_t present = ListSerialDevices().size();
    const std::string variable = "VELMORO_COM" + std::to_string(ComNumber(unreached.front()));
    std::string advice;
    if (problem) {
        advice = present == 0   ? "Plug the adapter in, or set " + variable + " to the device path."
                 : present == 1 ? "Choose COM1, or set " + variable + " to the device path."
                                : "Choose one of COM1 to COM" + std::to_string(present) + " (" +
                                      kPortsCommand + " shows which device each reaches), or set " +
                                      variable + " to the device path.";
    }
    return Make(label, {}, problem ? Severity::Problem : Severity::Ok,
                present == 0 ? "No device: no serial device is present."
                : present == 1
                    ? "No device: only 1 serial device is present."
                    : "No device: only " + std::to_string(present) + " serial devices are present.",
                advice);
}

// Why no adapter's port is there. A device without a working driver is
// worth naming even beside ports that work, as it may be the adapter just
// plugged in; that no adapter is present at all is worth saying only when a
// port was missing.
void CheckAdapters(const UsbSurvey& survey, bool portMissing, std::vector<Finding>& findings) {
    for (const NoPortAdvice& advice : AdviseNoPort(survey)) {
        switch (advice.verdict) {
            case NoPortVerdict::AllFine:
                findings.push_back(Make({}, {}, Severity::Ok, advice.finding));
                break;
            case NoPortVerdict::NoDevice:
                if (portMissing) {
                    findings.push_back(
                        Make({}, {}, Severity::Warning, advice.finding, advice.advice));
                }
                break;
            case NoPortVerdict::NoDriver:
            case NoPortVerdict::Disabled:
            case NoPortVerdict::FailsToStart:
                findings.push_back(Make({}, {}, portMissing ? Severity::Problem : Severity::Warning,
                                        advice.finding, advice.advice));
                break;
        }
    }
}

}  // namespace

std::vector<Finding> DiagnosePorts(const std::vector<std::string>& ports, DoctorProbes& probes) {
    const PortView view = probes.View();
    const bool sweep = ports.empty();
    std::vector<std::string> names = ports;
    if (sweep) {
        for (int n = 1; n <= 9; ++n) {
            names.push_back("COM" + std::to_string(n));
        }
    }
    const ProcessTable table = probes.Processes();
    std::vector<Finding> findings;
    std::vector<std::string> unreached;
    bool portMissing = false;
    for (const std::string& port : names) {
        std::string device = port;
        const int n = ComNumber(port);
        // A port named on a system that only lists names is tried even when
        // unlisted: opening it is the better witness.
        if (n > 0 && (sweep || view == PortView::DeviceFiles)) {
            std::string how;
            device = ComPortDevice(n, &how);
            if (device.empty()) {
                unreached.push_back(port);
                continue;
            }
            if (view == PortView::DeviceFiles) {
                findings.push_back(ReachesFinding(port, n, device, how));
            }
        }
        portMissing |= view == PortView::DeviceFiles
                           ? CheckDeviceFile(port, device, probes, table, findings)
                           : CheckNamedPort(port, probes, findings);
    }
    if (!unreached.empty()) {
        const bool problem = !sweep || unreached.size() == names.size();
        findings.push_back(UnreachedFinding(unreached, problem, view));
        portMissing |= problem;
    }
    CheckAdapters(probes.SurveyUsb(), portMissing, findings);
    if (view == PortView::DeviceFiles) {
        CheckServices(table, findings);
    } else {
        findings.push_back(
            Make({}, {}, Severity::Ok,
                 "The deeper checks (permissions, programs and services that hold a port) are "
                 "Linux-only. On Windows, Device Manager shows the adapter, its driver and, for "
                 "drivers that have it, the latency timer in the port's advanced settings (1 ms is "
                 "best)."));
    }
    return findings;
}

int RunDoctor(const std::vector<std::string>& ports) {
    const std::unique_ptr<DoctorProbes> probes = ThisSystemsProbes();
    const std::vector<Finding> findings = DiagnosePorts(ports, *probes);
    std::fputs(FormatFindings(findings).c_str(), stdout);
    return DoctorExitCode(findings);
}

}  // namespace velmoro
