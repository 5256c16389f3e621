// The port doctor against real pseudo-terminals, with scratch /proc and /sys
// trees standing in for the processes and the USB adapters of a system.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "doctor_probes.h"
#include "no_port.h"
#include "port_names.h"

namespace velmoro::testing {
namespace {

namespace fs = std::filesystem;

// A pseudo-terminal: a terminal device that exists and opens.
class Pty {
public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            path_ = ptsname(master_);
        }
    }
    ~Pty() {
        if (master_ >= 0) {
            close(master_);
        }
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& Path() const { return path_; }
    QString Name() const { return QString::fromStdString(path_); }
    std::string KernelName() const { return fs::path(path_).filename().string(); }

private:
    int master_ = -1;
    std::string path_;
};

// A fresh directory with proc/ and sys/ below it, removed afterwards.
class ScratchRoot {
public:
    ScratchRoot() {
        static std::atomic<int> counter{0};
        root_ = fs::temp_directory_path() /
                ("velmoro-doctor-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        fs::create_directories(root_ / "proc");
        fs::create_directories(root_ / "sys/bus/usb-serial/devices");
    }
    ~ScratchRoot() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    ScratchRoot(const ScratchRoot&) = delete;
    ScratchRoot& operator=(const ScratchRoot&) = delete;

    const fs::path& Path() const { return root_; }

    void AddProcess(int pid, const std::string& comm, const std::vector<std::string>& open = {}) {
        const fs::path dir = root_ / "proc" / std::to_string(pid);
        fs::create_directories(dir / "fd");
        std::ofstream(dir / "comm") << comm << "\n";
        int fd = 3;
        for (const std::string& target : open) {
            fs::create_symlink(target, dir / "fd" / std::to_string(fd++));
        }
    }
    void SetLatency(const std::string& kernelName, const std::string& milliseconds) {
        const fs::path dir = root_ / "sys/bus/usb-serial/devices" / kernelName;
        fs::create_directories(dir);
        std::ofstream(dir / "latency_timer") << milliseconds << "\n";
    }

    // A USB device with one interface of the given class; bound, when a
    // driver is named, with the serial device the driver made of it.
    void AddUsbDevice(const std::string& name, const std::string& product, const std::string& ids,
                      const std::string& interfaceClass, const std::string& driver = {}) {
        const fs::path devices = root_ / "sys/bus/usb/devices";
        fs::create_directories(devices / name);
        std::ofstream(devices / name / "product") << product << "\n";
        std::ofstream(devices / name / "idVendor") << ids.substr(0, 4) << "\n";
        std::ofstream(devices / name / "idProduct") << ids.substr(5) << "\n";
        const fs::path interface = devices / (name + ":1.0");
        fs::create_directories(interface);
        std::ofstream(interface / "bInterfaceClass") << interfaceClass << "\n";
        if (!driver.empty()) {
            fs::create_symlink(root_ / "drivers" / driver, interface / "driver");
            fs::create_directories(interface / "ttyUSB0");
        }
    }

    void SetConsoles(const std::string& active) {
        const fs::path dir = root_ / "sys/class/tty/console";
        fs::create_directories(dir);
        std::ofstream(dir / "active") << active << "\n";
    }

private:
    fs::path root_;
};

// Sets VELMORO_COMn variables for as long as it lives.
class ComVariables {
public:
    ComVariables() = default;
    ~ComVariables() {
        for (int n = 1; n <= 9; ++n) {
            unsetenv(Name(n).c_str());
        }
    }
    ComVariables(const ComVariables&) = delete;
    ComVariables& operator=(const ComVariables&) = delete;

    void Set(int n, const std::string& device) { setenv(Name(n).c_str(), device.c_str(), 1); }
    void Unset(int n) { unsetenv(Name(n).c_str()); }

private:
    static std::string Name(int n) { return "VELMORO_COM" + std::to_string(n); }
};

DoctorEnvironment Environment(const fs::path& root) {
    DoctorEnvironment environment = DoctorEnvironment::OfThisProcess();
    environment.root = root;
    return environment;
}

// Someone who is neither root nor the owner of anything here.
DoctorEnvironment OrdinaryUser(const fs::path& root, std::vector<std::uint32_t> gids = {4242}) {
    DoctorEnvironment environment = Environment(root);
    environment.uid = 4242;
    environment.gids = std::move(gids);
    environment.userName.clear();
    environment.judgeByModeBits = true;
    return environment;
}

std::vector<Finding> Diagnose(const QStringList& ports, const DoctorEnvironment& environment) {
    std::vector<std::string> names;
    for (const QString& port : ports) {
        names.push_back(port.toStdString());
    }
    DeviceFileProbes probes(environment);
    return DiagnosePorts(names, probes);
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::vector<Finding> About(const std::vector<Finding>& findings, const QString& port) {
    std::vector<Finding> mine;
    for (const Finding& finding : findings) {
        if (Q(finding.port) == port) {
            mine.push_back(finding);
        }
    }
    return mine;
}

// The findings of a severity whose text contains the given words.
std::vector<Finding> With(const std::vector<Finding>& findings, Severity severity,
                          const QString& words = {}) {
    std::vector<Finding> found;
    for (const Finding& finding : findings) {
        if (finding.severity == severity && Q(finding.text).contains(words)) {
            found.push_back(finding);
        }
    }
    return found;
}

std::string Dump(const std::vector<Finding>& findings) {
    return FormatFindings(findings);
}

QString GroupOf(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    const group* entry = getgrgid(info.st_gid);
    return entry != nullptr ? QString::fromLocal8Bit(entry->gr_name) : QString::number(info.st_gid);
}

TEST(DoctorDevice, APtyThatOpensIsInOrder) {
    Pty pty;
    ASSERT_FALSE(pty.Path().empty());
    ScratchRoot root;
    const auto findings = Diagnose({pty.Name()}, Environment(root.Path()));
    const auto mine = About(findings, pty.Name());
    EXPECT_EQ(DoctorExitCode(findings), 0) << Dump(findings);
    EXPECT_EQ(With(mine, Severity::Ok, "exists").size(), 1u) << Dump(findings);
    EXPECT_EQ(With(mine, Severity::Ok, "may read and write").size(), 1u) << Dump(findings);
    EXPECT_EQ(With(mine, Severity::Ok, "No other program").size(), 1u) << Dump(findings);
    EXPECT_EQ(With(mine, Severity::Ok, "opens for reading and writing").size(), 1u)
        << Dump(findings);
}

TEST(DoctorDevice, WhatIsNoSerialDeviceIsAProblemAndEndsTheChecks) {
    ScratchRoot root;
    const fs::path file = root.Path() / "ttyUSB0";
    std::ofstream(file) << "not a device";
    const fs::path dangling = root.Path() / "by-id";
    fs::create_symlink(root.Path() / "gone", dangling);
    const QStringList ports = {"/nonexistent/ttyUSB9", QString::fromStdString(file.string()),
                               QString::fromStdString(dangling.string()), "/dev/null"};
    // The real /proc: /dev/null is open in many processes, none worth naming.
    DoctorEnvironment environment = Environment("/");
    const auto findings = Diagnose(ports, environment);
    EXPECT_EQ(DoctorExitCode(findings), 1);
    const QString expected[] = {"does not exist", "is no device", "which does not exist",
                                "no serial line"};
    for (int i = 0; i < 4; ++i) {
        const auto mine = About(findings, ports[i]);
        const auto problems = With(mine, Severity::Problem, expected[i]);
        ASSERT_EQ(problems.size(), 1u) << Dump(findings);
        EXPECT_FALSE(problems[0].advice.empty());
        EXPECT_TRUE(With(mine, Severity::Problem, "Another program").empty()) << Dump(findings);
        EXPECT_TRUE(With(mine, Severity::Ok, "opens for").empty()) << Dump(findings);
    }
    EXPECT_TRUE(Q(About(findings, ports[0])[0].text).contains(ports[0]));
}

TEST(DoctorPermissions, ModeBitsDecideForAnOrdinaryUser) {
    Pty pty;
    ASSERT_FALSE(pty.Path().empty());
    ScratchRoot root;
    constexpr gid_t kGroup = 4243;
    ASSERT_EQ(chown(pty.Path().c_str(), static_cast<uid_t>(-1), kGroup), 0);
    const QString group = GroupOf(pty.Path());
    struct Case {
        mode_t mode;
        uid_t owner;
        std::vector<std::uint32_t> gids;
        bool allowed;
        QString advice;  // part of the advice when refused
    };
    const Case cases[] = {
        {0000, 0, {4242, kGroup}, false, "sudo chmod g+rw " + pty.Name()},
        {0660, 0, {4242}, false, "sudo usermod -aG " + group + " $USER"},
        {0660, 0, {4242, kGroup}, true, {}},
        {0606, 0, {4242}, true, {}},
        {0600, 4242, {4242}, true, {}},
        // The owner is judged by the owner bits alone, even as a group member.
        {0060, 4242, {4242, kGroup}, false, "chmod u+rw"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "mode " << std::oct << c.mode << " owner " << std::dec << c.owner);
        ASSERT_EQ(chown(pty.Path().c_str(), c.owner, static_cast<gid_t>(-1)), 0);
        ASSERT_EQ(chmod(pty.Path().c_str(), c.mode), 0);
        const auto findings = Diagnose({pty.Name()}, OrdinaryUser(root.Path(), c.gids));
        const auto refused = With(findings, Severity::Problem, "may not read and write");
        EXPECT_EQ(refused.empty(), c.allowed) << Dump(findings);
        // A user with no name is told by number.
        EXPECT_EQ(With(findings, c.allowed ? Severity::Ok : Severity::Problem,
                       "This user, uid 4242, may ")
                      .size(),
                  1u)
            << Dump(findings);
        EXPECT_EQ(DoctorExitCode(findings), c.allowed ? 0 : 1);
        if (!c.allowed && !refused.empty()) {
            EXPECT_TRUE(Q(refused[0].advice).contains(c.advice)) << Dump(findings);
            // Refused access is not tried for real.
            EXPECT_TRUE(With(findings, Severity::Ok, "opens").empty());
        }
    }
    ASSERT_EQ(chown(pty.Path().c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(pty.Path().c_str(), 0660), 0);
    const auto findings = Diagnose({pty.Name()}, OrdinaryUser(root.Path()));
    const auto refused = With(findings, Severity::Problem, "may not read and write");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_TRUE(Q(refused[0].advice).contains("Only root")) << Dump(findings);
}

TEST(DoctorHolders, TheProcessHoldingThePortIsNamedButNeverTheDoctor) {
    if (!fs::exists("/proc/self/fd")) {
        GTEST_SKIP() << "no /proc here";
    }
    Pty pty;
    ASSERT_FALSE(pty.Path().empty());
    const int held = open(pty.Path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    std::string comm;
    std::getline(std::ifstream("/proc/self/comm"), comm);

    DoctorEnvironment others = Environment("/");
    others.ignoredPid = 0;
    auto findings = Diagnose({pty.Name()}, others);
    const auto holders = With(findings, Severity::Problem, "Another program has it open");
    ASSERT_EQ(holders.size(), 1u) << Dump(findings);
    EXPECT_TRUE(
        Q(holders[0].text)
            .contains(
                QStringLiteral("%1 (pid %2)").arg(QString::fromStdString(comm)).arg(getpid())))
        << Dump(findings);
    EXPECT_EQ(Q(holders[0].advice),
              QStringLiteral("Close %1, then try again (if it will not close: kill %2).")
                  .arg(QString::fromStdString(comm))
                  .arg(getpid()));

    findings = Diagnose({pty.Name()}, Environment("/"));
    EXPECT_TRUE(With(findings, Severity::Problem, "Another program").empty()) << Dump(findings);
    EXPECT_EQ(With(findings, Severity::Ok, "No other program").size(), 1u) << Dump(findings);
    close(held);
}

TEST(DoctorHolders, ServicesAndLoginPromptsHaveTheirOwnWayToStop) {
    Pty pty;
    ASSERT_FALSE(pty.Path().empty());
    const struct {
        const char* comm;
        QString advice;
    } cases[] = {
        {"minicom", "Close minicom, then try again (if it will not close: kill 300)"},
        {"agetty", QStringLiteral("systemctl stop serial-getty@%1.service")
                       .arg(QString::fromStdString(pty.KernelName()))},
        {"ModemManager", "systemctl stop ModemManager"},
    };
    for (const auto& c : cases) {
        ScratchRoot root;
        root.AddProcess(300, c.comm, {"/dev/null", pty.Path()});
        root.AddProcess(301, "bash", {"/dev/null"});
        const auto findings = Diagnose({pty.Name()}, Environment(root.Path()));
        const auto holders = With(About(findings, pty.Name()), Severity::Problem,
                                  QStringLiteral("%1 (pid 300).").arg(c.comm));
        ASSERT_EQ(holders.size(), 1u) << Dump(findings);
        EXPECT_TRUE(Q(holders[0].advice).contains(c.advice)) << Dump(findings);
    }
}

// The board's own UART of a single-board computer is often the kernel's
// serial console, with a login prompt that comes back at every boot.
TEST(DoctorHolders, TheKernelsSerialConsoleIsNamedWithTheWayToTurnItOff) {
    Pty pty;
    ASSERT_FALSE(pty.Path().empty());
    for (const bool getty : {false, true}) {
        ScratchRoot root;
        root.SetConsoles("tty1 " + pty.KernelName());
        if (getty) {
            root.AddProcess(300, "agetty", {pty.Path()});
        }
        const auto findings = About(Diagnose({pty.Name()}, Environment(root.Path())), pty.Name());
        const auto console = With(findings, Severity::Warning, "kernel writes its console");
        ASSERT_EQ(console.size(), 1u) << Dump(findings);
        EXPECT_TRUE(Q(console[0].advice).contains("raspi-config")) << Dump(findings);
        EXPECT_TRUE(Q(console[0].advice).contains("console=serial0,115200")) << Dump(findings);
        const auto holders = With(findings, Severity::Problem, "agetty (pid 300)");
        ASSERT_EQ(holders.size(), getty ? 1u : 0u) << Dump(findings);
        if (getty) {
            EXPECT_TRUE(Q(holders[0].advice).contains("raspi-config")) << Dump(findings);
            EXPECT_TRUE(Q(holders[0].advice)
                            .contains(QStringLiteral("systemctl stop serial-getty@%1.service")
                                          .arg(QString::fromStdString(pty.KernelName()))))
                << Dump(findings);
        }
    }
}

TEST(DoctorServices, DeviceGrabbingServicesAreWarnings) {
    Pty pty;
    ASSERT_FALSE(pty.Path().empty());
    ScratchRoot root;
    root.AddProcess(77, "ModemManager");
    root.AddProcess(78, "brltty");
    root.AddProcess(79, "ModemManagerX");
    auto findings = Diagnose({pty.Name()}, Environment(root.Path()));
    EXPECT_EQ(DoctorExitCode(findings), 0) << Dump(findings);
    const auto modem = With(About(findings, {}), Severity::Warning, "ModemManager is running");
    ASSERT_EQ(modem.size(), 1u) << Dump(findings);
    EXPECT_TRUE(Q(modem[0].text).contains("pid 77"));
    EXPECT_TRUE(Q(modem[0].advice).contains("sudo systemctl stop ModemManager"));
    EXPECT_TRUE(Q(modem[0].advice).contains("ENV{ID_MM_DEVICE_IGNORE}=\"1\""));
    const auto brltty = With(About(findings, {}), Severity::Warning, "brltty is running");
    ASSERT_EQ(brltty.size(), 1u) << Dump(findings);
    EXPECT_TRUE(Q(brltty[0].advice).contains("brltty-udev.service"));

    ScratchRoot quiet;
    findings = Diagnose({pty.Name()}, Environment(quiet.Path()));
    EXPECT_TRUE(With(findings, Severity::Warning).empty()) << Dump(findings);
}

TEST(DoctorLatency, AboveOneMillisecondIsAWarningWithTheWayDown) {
    Pty pty;
    ASSERT_FALSE(pty.Path().empty());
    ScratchRoot slow;
    slow.SetLatency(pty.KernelName(), "16");
    auto findings = Diagnose({pty.Name()}, Environment(slow.Path()));
    EXPECT_EQ(DoctorExitCode(findings), 0) << Dump(findings);
    const auto warnings = With(About(findings, pty.Name()), Severity::Warning, "16 ms");
    ASSERT_EQ(warnings.size(), 1u) << Dump(findings);
    EXPECT_TRUE(Q(warnings[0].advice)
                    .contains(QStringLiteral(
                                  "echo 1 | sudo tee /sys/bus/usb-serial/devices/%1/latency_timer")
                                  .arg(QString::fromStdString(pty.KernelName()))))
        << Dump(findings);
    EXPECT_TRUE(Q(warnings[0].advice).contains("low-latency"));

    ScratchRoot fast;
    fast.SetLatency(pty.KernelName(), "1");
    findings = Diagnose({pty.Name()}, Environment(fast.Path()));
    EXPECT_TRUE(With(findings, Severity::Warning).empty()) << Dump(findings);
    EXPECT_EQ(With(findings, Severity::Ok, "latency_timer 1 ms").size(), 1u) << Dump(findings);
}

TEST(DoctorPorts, ComPortsReachTheDeviceTheVariableNames) {
    Pty pty;
    ASSERT_FALSE(pty.Path().empty());
    ScratchRoot root;
    ComVariables variables;
    variables.Set(3, pty.Path());
    auto findings = Diagnose({"COM3"}, Environment(root.Path()));
    const auto mine = About(findings, "COM3");
    ASSERT_FALSE(mine.empty());
    EXPECT_EQ(mine[0].device, pty.Path());
    EXPECT_TRUE(Q(mine[0].text).contains("VELMORO_COM3")) << Dump(findings);
    EXPECT_EQ(With(mine, Severity::Ok, "opens for reading and writing").size(), 1u)
        << Dump(findings);
    EXPECT_EQ(DoctorExitCode(findings), 0) << Dump(findings);

    // With COM1..COM8 named, COM9 reaches nothing (unless nine devices are
    // present): a problem when asked for, not in the look over all nine.
    if (ListSerialDevices().size() >= 9) {
        GTEST_SKIP() << "COM9 reaches a device on this machine";
    }
    for (int n = 1; n <= 8; ++n) {
        variables.Set(n, pty.Path());
    }
    variables.Unset(9);
    findings = Diagnose({"COM9"}, Environment(root.Path()));
    const auto unmapped = With(About(findings, "COM9"), Severity::Problem, "No device");
    ASSERT_EQ(unmapped.size(), 1u) << Dump(findings);
    EXPECT_TRUE(Q(unmapped[0].advice).contains("VELMORO_COM9"));
    findings = Diagnose({}, Environment(root.Path()));
    EXPECT_EQ(DoctorExitCode(findings), 0) << Dump(findings);
    EXPECT_EQ(With(About(findings, "COM9"), Severity::Ok, "No device").size(), 1u)
        << Dump(findings);
}

// Every verdict of the rule, with the words that must reach the user: the
// chip as the system names it, the problem code, and the one thing to do.
TEST(NoPortAdvice, EachCaseHasItsVerdictAndWhatToDo) {
    using Kind = UsbDeviceTrouble::Kind;
    const UsbDeviceTrouble ch340{Kind::NoDriver, "USB2.0-Serial", "VID_1A86&PID_7523", 28};
    struct Case {
        const char* name;
        UsbSurvey survey;
        NoPortVerdict verdict;
        std::vector<std::string> finding;  // parts of the first finding
        std::vector<std::string> advice;   // parts of its advice
    };
    const Case cases[] = {
        {"nothing plugged in",
         {DriverPlace::Kernel, 0, {}},
         NoPortVerdict::NoDevice,
         {"No USB-serial adapter is present"},
         {"Plug the adapter in", "not a charge-only one", "another USB socket"}},
        {"the browser's chooser closed empty",
         {DriverPlace::Browser, 0, {}},
         NoPortVerdict::NoDevice,
         {"No serial port was chosen"},
         {"browser's list", "not a charge-only one", "install the driver"}},
        {"an adapter that works",
         {DriverPlace::DeviceManager, 1, {}},
         NoPortVerdict::AllFine,
         {"A USB-serial adapter's port is present"},
         {}},
        {"no driver on Windows",
         {DriverPlace::DeviceManager, 0, {ch340}},
         NoPortVerdict::NoDriver,
         {"\"USB2.0-Serial\" (VID_1A86&PID_7523) is plugged in", "Windows has no driver",
          "(code 28)"},
         {"Install the driver for its chip (USB2.0-Serial)", "Other devices", "Update driver",
          "plug it in again"}},
        {"no driver on Linux, the device unnamed",
         {DriverPlace::Kernel, 0, {{Kind::NoDriver, "", "1a86:7523", 0}}},
         NoPortVerdict::NoDriver,
         {"A USB device (1a86:7523) is plugged in, but no driver has taken it: it gives no "
          "serial port."},
         {"the id 1a86:7523 names it", "modprobe", "brltty"}},
        {"a driver that cannot start, beside a working port",
         {DriverPlace::DeviceManager,
          1,
          {{TroubleOfProblemCode(10), "USB-SERIAL CH340", "VID_1A86&PID_7523", 10}}},
         NoPortVerdict::FailsToStart,
         {"its driver cannot start (code 10)"},
         {"another USB socket", "driver for its chip (USB-SERIAL CH340) afresh", "Uninstall device",
          "Delete the driver software"}},
        {"disabled",
         {DriverPlace::DeviceManager, 0, {{TroubleOfProblemCode(22), "USB Serial Port", "", 22}}},
         NoPortVerdict::Disabled,
         {"\"USB Serial Port\" is plugged in, but disabled (code 22)."},
         {"Enable device"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto advice = AdviseNoPort(c.survey);
        ASSERT_EQ(advice.size(), 1u);
        EXPECT_EQ(advice[0].verdict, c.verdict);
        for (const std::string& part : c.finding) {
            EXPECT_NE(advice[0].finding.find(part), std::string::npos) << advice[0].finding;
        }
        for (const std::string& part : c.advice) {
            EXPECT_NE(advice[0].advice.find(part), std::string::npos) << advice[0].advice;
        }
        EXPECT_EQ(advice[0].advice.empty(), c.advice.empty());
        // The window's message: the system's words, then the advice, if any.
        const std::string message = PortFailureMessage("Cannot open COM3: gone.", c.survey);
        EXPECT_EQ(message, c.verdict == NoPortVerdict::AllFine
                               ? "Cannot open COM3: gone."
                               : "Cannot open COM3: gone.\n\n" + advice[0].finding + "\n" +
                                     advice[0].advice);
    }
    const std::pair<int, Kind> codes[] = {
        {1, Kind::NoDriver},      {18, Kind::NoDriver},     {28, Kind::NoDriver},
        {22, Kind::Disabled},     {29, Kind::Disabled},     {10, Kind::FailsToStart},
        {31, Kind::FailsToStart}, {43, Kind::FailsToStart}, {52, Kind::FailsToStart},
    };
    for (const auto& [code, kind] : codes) {
        EXPECT_EQ(TroubleOfProblemCode(code), kind) << code;
    }
    // A handful of troubled devices at most, each with its own advice.
    const UsbSurvey crowded{DriverPlace::DeviceManager, 0, {ch340, ch340, ch340, ch340, ch340}};
    EXPECT_EQ(AdviseNoPort(crowded).size(), 3u);
}

// Adapters as sysfs shows them: one no driver has taken is named, with
// what to do, when the port asked for is missing; a bound one whose driver
// made a serial device counts as a working adapter.
TEST(DoctorAdapters, AnAdapterWithoutItsDriverIsNamedFromSysfs) {
    ScratchRoot root;
    root.AddUsbDevice("1-1", "USB2.0-Serial", "1a86:7523", "ff");
    root.AddUsbDevice("1-2", "Mouse", "046d:c077", "03");
    // A phone's vendor interface, with no driver in the kernel: no adapter.
    root.AddUsbDevice("1-3", "Pixel 7", "18d1:4ee7", "ff");
    auto findings = Diagnose({"/nonexistent/ttyUSB0"}, Environment(root.Path()));
    auto unbound = With(About(findings, {}), Severity::Problem,
                        "\"USB2.0-Serial\" (1a86:7523) is plugged in, but no driver");
    ASSERT_EQ(unbound.size(), 1u) << Dump(findings);
    EXPECT_TRUE(Q(unbound[0].advice).contains("driver for its chip (USB2.0-Serial)"));
    EXPECT_TRUE(With(findings, Severity::Problem, "Mouse").empty()) << Dump(findings);
    EXPECT_TRUE(With(findings, Severity::Problem, "Pixel").empty()) << Dump(findings);

    ScratchRoot bound;
    bound.AddUsbDevice("1-1", "FT232R USB UART", "0403:6001", "ff", "ftdi_sio");
    findings = Diagnose({"/nonexistent/ttyUSB0"}, Environment(bound.Path()));
    EXPECT_EQ(With(About(findings, {}), Severity::Ok, "adapter's port is present").size(), 1u)
        << Dump(findings);
    EXPECT_TRUE(With(About(findings, {}), Severity::Warning, "No USB-serial adapter").empty());

    ScratchRoot empty;
    findings = Diagnose({"/nonexistent/ttyUSB0"}, Environment(empty.Path()));
    const auto none = With(About(findings, {}), Severity::Warning, "No USB-serial adapter");
    ASSERT_EQ(none.size(), 1u) << Dump(findings);
    EXPECT_TRUE(Q(none[0].advice).contains("charge-only")) << Dump(findings);
}

TEST(DoctorCommand, MissingDeviceExitsOneAndNamesIt) {
    QProcess cli;
    cli.start(VELMORO_CLI, {"doctor", "--port", "/nonexistent"});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 1);
    QString out = QString::fromLocal8Bit(cli.readAllStandardOutput());
    EXPECT_TRUE(out.contains("PROBLEM  /nonexistent does not exist.")) << out.toStdString();

    cli.start(VELMORO_CLI, {"doctor", "--port", "COM10"});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 2);

    // A COM port heads its findings with the device it reaches; a blank line
    // comes before the count.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (int n = 1; n <= 9; ++n) {
        environment.insert(QStringLiteral("VELMORO_COM%1").arg(n),
                           QStringLiteral("/nonexistent/port%1").arg(n));
    }
    cli.setProcessEnvironment(environment);
    cli.start(VELMORO_CLI, {"doctor", "--port", "COM3"});
    ASSERT_TRUE(cli.waitForFinished(60000));
    out = QString::fromLocal8Bit(cli.readAllStandardOutput());
    EXPECT_TRUE(out.startsWith("COM3 -> /nonexistent/port3\n")) << out.toStdString();
    // Each finding and each piece of advice a line of its own.
    EXPECT_FALSE(out.contains('\r')) << out.toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression("\n           -> [^\n]*\n  ")))
        << out.toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression("\n\n1 problem, \\d+ warnings?; ")))
        << out.toStdString();

    // ports: a line for each of COM1 to COM9, then the devices present.
    cli.start(VELMORO_CLI, {"ports"});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 0);
    out = QString::fromLocal8Bit(cli.readAllStandardOutput());
    QStringList lines = out.split('\n');
    ASSERT_GE(lines.size(), 12) << out.toStdString();
    for (int n = 1; n <= 9; ++n) {
        EXPECT_EQ(lines[n - 1], QStringLiteral("COM%1  %2  (named by VELMORO_COM%1)")
                                    .arg(n)
                                    .arg(QStringLiteral("/nonexistent/port%1").arg(n), -20))
            << out.toStdString();
    }
    EXPECT_EQ(lines[9], "");
    const QRegularExpressionMatch present =
        QRegularExpression("^(\\d+) serial device\\(s\\) present:$").match(lines[10]);
    ASSERT_TRUE(present.hasMatch()) << out.toStdString();
    EXPECT_EQ(lines.size(), 12 + present.captured(1).toInt()) << out.toStdString();

    // reports, with none kept yet.
    ScratchRoot scratch;
    const fs::path reports = scratch.Path() / "reports";
    fs::create_directories(reports);
    environment.insert("VELMORO_REPORTS_DIR", QString::fromStdString(reports.string()));
    cli.setProcessEnvironment(environment);
    cli.start(VELMORO_CLI, {"reports"});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(QString::fromLocal8Bit(cli.readAllStandardOutput()),
              "Reports of the last transfers, oldest first, in " +
                  QString::fromStdString(reports.string()) + ":\n  none yet\n");
}

}  // namespace
}  // namespace velmoro::testing
