// velmoro-downloader-cli doctor: why a port will not open, and what to do.
//
// Everything here only looks: the device is opened once, without changing
// its settings, and closed at once; /proc and /sys are read a few bytes at a
// time. Depends on Qt Core, Qt SerialPort and velmoro_serial only, so that a
// test can link it on its own.

#include <QSerialPortInfo>
#include <QtGlobal>
#include <charconv>
#include <cstdio>
#include <string>
#include <system_error>

#include "commands.h"
#include "doctor.h"
#include "port_names.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#endif

namespace velmoro {

namespace {

namespace fs = std::filesystem;

const QString kPortsCommand = QStringLiteral("`velmoro-downloader-cli ports`");

Finding Make(const QString& port, const QString& device, Severity severity, const QString& text,
             const QString& advice = {}) {
    Finding finding;
    finding.port = port.toStdString();
    finding.device = device.toStdString();
    finding.severity = severity;
    finding.text = text.toStdString();
    finding.advice = advice.toStdString();
    return finding;
}

// 1 to 9 for "COM1" to "COM9" (any case), else 0.
int ComNumber(const QString& port) {
    if (port.size() == 4 && port.startsWith(QStringLiteral("COM"), Qt::CaseInsensitive) &&
        port[3] >= QLatin1Char('1') && port[3] <= QLatin1Char('9')) {
        return port[3].unicode() - '0';
    }
    return 0;
}

// The USB identity the system gives the device, or the empty string.
QString UsbIdentity(const QSerialPortInfo& info) {
    if (!info.hasVendorIdentifier()) {
        return {};
    }
    QString text = QStringLiteral("USB adapter %1:%2")
                       .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                       .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
    if (!info.manufacturer().isEmpty()) {
        text += QStringLiteral(", manufacturer %1").arg(info.manufacturer());
    }
    if (!info.serialNumber().isEmpty()) {
        text += QStringLiteral(", serial %1").arg(info.serialNumber());
    }
    if (!info.description().isEmpty()) {
        text += QStringLiteral(" (%1)").arg(info.description());
    }
    return text + QLatin1Char('.');
}

#ifdef Q_OS_UNIX

// Files of /proc and /sys that the checks read are a line of a few bytes.
constexpr std::size_t kSmallRead = 64;
constexpr std::size_t kLinkMax = 4096;

std::string ReadSmallFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    char buffer[kSmallRead];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (got <= 0) {
        return {};
    }
    std::string text(buffer, static_cast<std::size_t>(got));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\0')) {
        text.pop_back();
    }
    return text;
}

std::string ReadLinkTarget(const fs::path& link) {
    char buffer[kLinkMax];
    const ssize_t got = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (got <= 0 || static_cast<std::size_t>(got) >= sizeof buffer) {
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(got));
}

bool ParseNumber(const std::string& text, std::int64_t& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

struct ProcessInfo {
    std::int64_t pid = 0;
    std::string comm;
    std::vector<std::string> openFiles;  // targets of the fd links
};

struct ProcessTable {
    bool available = false;  // there was a proc tree to read
    std::vector<ProcessInfo> processes;
    int unreadable = 0;  // processes whose open files this user may not see
};

ProcessTable ReadProcesses(const DoctorEnvironment& environment) {
    ProcessTable table;
    std::error_code error;
    fs::directory_iterator entry(environment.root / "proc", error);
    if (error) {
        return table;
    }
    table.available = true;
    for (; entry != fs::directory_iterator(); entry.increment(error)) {
        if (error) {
            break;
        }
        ProcessInfo process;
        if (!ParseNumber(entry->path().filename().string(), process.pid) ||
            process.pid == environment.ignoredPid) {
            continue;
        }
        process.comm = ReadSmallFile(entry->path() / "comm");
        std::error_code fdError;
        fs::directory_iterator fd(entry->path() / "fd", fdError);
        if (fdError) {
            ++table.unreadable;
        }
        for (; !fdError && fd != fs::directory_iterator(); fd.increment(fdError)) {
            std::string target = ReadLinkTarget(fd->path());
            if (!target.empty()) {
                process.openFiles.push_back(std::move(target));
            }
        }
        table.processes.push_back(std::move(process));
    }
    return table;
}

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

QString GroupName(gid_t gid) {
    const group* entry = getgrgid(gid);
    return entry != nullptr ? QString::fromLocal8Bit(entry->gr_name) : QString::number(gid);
}

QString UserName(uid_t uid) {
    const passwd* entry = getpwuid(uid);
    return entry != nullptr ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

// "crw-rw----"
QString ModeText(mode_t mode) {
    QString text;
    text += S_ISCHR(mode) ? 'c' : S_ISDIR(mode) ? 'd' : S_ISBLK(mode) ? 'b' : '-';
    const char letters[] = "rwx";
    for (int shift = 6; shift >= 0; shift -= 3) {
        for (int bit = 0; bit < 3; ++bit) {
            text += (mode & (04 << shift >> bit)) != 0 ? letters[bit] : '-';
        }
    }
    return text;
}

bool HoldsGroup(const DoctorEnvironment& environment, gid_t gid) {
    for (const std::uint32_t held : environment.gids) {
        if (held == gid) {
            return true;
        }
    }
    return false;
}

// The classic permission rule: owner bits for the owner, group bits for a
// member of the group, the rest for everyone else; root reads and writes all.
bool ModeAllowsReadWrite(const struct stat& info, const DoctorEnvironment& environment) {
    if (environment.uid == 0) {
        return true;
    }
    mode_t bits = info.st_mode & 07;
    if (info.st_uid == environment.uid) {
        bits = (info.st_mode >> 6) & 07;
    } else if (HoldsGroup(environment, info.st_gid)) {
        bits = (info.st_mode >> 3) & 07;
    }
    return (bits & 06) == 06;
}

// Whether the group database lists the user in the group, which takes effect
// only in sessions begun after that.
bool ListedInGroup(const QString& userName, gid_t gid) {
    if (userName.isEmpty()) {
        return false;
    }
    const QByteArray name = userName.toLocal8Bit();
    const passwd* user = getpwnam(name.constData());
    if (user != nullptr && user->pw_gid == gid) {
        return true;
    }
    const group* entry = getgrgid(gid);
    if (entry == nullptr) {
        return false;
    }
    for (char* const* member = entry->gr_mem; *member != nullptr; ++member) {
        if (name == *member) {
            return true;
        }
    }
    return false;
}

QString JoinGroupCommand(const QString& group) {
#ifdef Q_OS_MACOS
    return QStringLiteral("sudo dseditgroup -o edit -a $USER -t user %1, then log out and in again")
        .arg(group);
#else
    return QStringLiteral("sudo usermod -aG %1 $USER, then log out and in again").arg(group);
#endif
}

QString PermissionAdvice(const struct stat& info, const DoctorEnvironment& environment,
                         const QString& device) {
    if (info.st_uid == environment.uid) {
        return QStringLiteral("It is yours, but its mode keeps you out: chmod u+rw %1.")
            .arg(device);
    }
    if (info.st_gid == 0) {
        return QStringLiteral(
            "Only root may open it as it is set up: have a udev rule give it to a group you are "
            "in (GROUP=\"dialout\", MODE=\"0660\"), or run the downloader with sudo.");
    }
    const QString group = GroupName(info.st_gid);
    if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
        const QString chmod =
            QStringLiteral(
                "Its mode keeps even the group \"%1\" from reading and writing it: sudo chmod "
                "g+rw %2 (lasts until the device appears again)")
                .arg(group, device);
        return HoldsGroup(environment, info.st_gid)
                   ? chmod + QLatin1Char('.')
                   : chmod +
                         QStringLiteral(", and join that group: %1.").arg(JoinGroupCommand(group));
    }
    if (ListedInGroup(environment.userName, info.st_gid)) {
        return QStringLiteral(
                   "You were added to the group \"%1\" after this session began: log out and in "
                   "again (or start a shell in the group with `newgrp %1`).")
            .arg(group);
    }
    return QStringLiteral("Join the group \"%1\" that owns it: %2.")
        .arg(group, JoinGroupCommand(group));
}

QString UserLabel(const DoctorEnvironment& environment) {
    return environment.userName.isEmpty()
               ? QStringLiteral("uid %1").arg(environment.uid)
               : QStringLiteral("%1 (uid %2)").arg(environment.userName).arg(environment.uid);
}

const char kModemManager[] = "ModemManager";
const char kBrltty[] = "brltty";

QString ModemManagerAdvice() {
    return QStringLiteral(
        "If this computer uses no modem: sudo systemctl stop ModemManager (sudo systemctl "
        "disable ModemManager keeps it off). Or make it leave the adapter alone with a udev rule "
        "in /etc/udev/rules.d/99-velmoro.rules: ATTRS{idVendor}==\"VVVV\", "
        "ATTRS{idProduct}==\"PPPP\", ENV{ID_MM_DEVICE_IGNORE}=\"1\" (the adapter's "
        "vendor:product), then sudo udevadm control --reload and plug the adapter in again.");
}

QString BrlttyAdvice() {
    return QStringLiteral(
        "If no braille display is used: sudo systemctl stop brltty-udev.service brltty.service "
        "and sudo systemctl mask brltty-udev.service brltty.service (or remove the brltty "
        "package), then plug the adapter in again.");
}

// Whether the kernel writes its console to the device: /sys/class/tty/console/
// active lists the consoles in use ("tty1 ttyS0"). On a single-board computer
// the board's own UART is often one, with a login prompt on it as well.
bool IsKernelConsole(const DoctorEnvironment& environment, const std::string& kernelName) {
    const std::string active =
        ReadSmallFile(environment.root / "sys/class/tty/console/active") + ' ';
    std::size_t start = 0;
    for (std::size_t end = active.find(' '); end != std::string::npos;
         start = end + 1, end = active.find(' ', start)) {
        if (active.compare(start, end - start, kernelName) == 0) {
            return true;
        }
    }
    return false;
}

QString SerialConsoleAdvice(const std::string& kernelName) {
    return QStringLiteral(
               "Turn the serial console off. On a Raspberry Pi: sudo raspi-config, Interface "
               "Options, Serial Port: no login shell over serial, serial port hardware enabled. "
               "By hand: remove console=serial0,115200 (or console=%1,...) from the kernel command "
               "line, in /boot/firmware/cmdline.txt on a Raspberry Pi (/boot/cmdline.txt on older "
               "systems), elsewhere in GRUB_CMDLINE_LINUX of /etc/default/grub, then sudo "
               "update-grub. Then reboot.")
        .arg(FromLocal(kernelName));
}

// What to do about the programs that hold a device: the services and the
// login prompt have their own ways to be stopped, and a login prompt on the
// kernel's serial console comes back at every boot until the console is off.
QString HolderAdvice(const std::vector<const ProcessInfo*>& holders, const std::string& kernelName,
                     bool kernelConsole) {
    QString programs;
    QString pids;
    for (const ProcessInfo* holder : holders) {
        if (holder->comm == kModemManager) {
            return ModemManagerAdvice();
        }
        if (holder->comm == kBrltty) {
            return BrlttyAdvice();
        }
        if ((holder->comm == "agetty" || holder->comm == "getty") && kernelConsole) {
            return QStringLiteral(
                       "A login prompt runs on it: %1 is the kernel's serial console. %2 Until "
                       "then, sudo systemctl stop serial-getty@%1.service frees it.")
                .arg(FromLocal(kernelName), SerialConsoleAdvice(kernelName));
        }
        if (holder->comm == "agetty" || holder->comm == "getty") {
            return QStringLiteral(
                       "A login prompt runs on it: sudo systemctl stop serial-getty@%1.service "
                       "(sudo systemctl disable serial-getty@%1.service keeps it off).")
                .arg(FromLocal(kernelName));
        }
        programs +=
            (programs.isEmpty() ? QString() : QStringLiteral(", ")) + FromLocal(holder->comm);
        pids += QStringLiteral(" %1").arg(holder->pid);
    }
    return QStringLiteral("Close %1, then try again (if it will not close: kill%2).")
        .arg(programs, pids);
}

Finding HoldersFinding(const QString& port, const QString& device, const std::string& realPath,
                       const ProcessTable& table, bool kernelConsole) {
    if (!table.available) {
        return Make(port, device, Severity::Ok,
                    QStringLiteral("Which programs have it open cannot be seen here; `lsof %1` "
                                   "shows them.")
                        .arg(device));
    }
    constexpr std::size_t kNamedAtMost = 5;
    std::vector<const ProcessInfo*> holders;
    int unnamed = 0;
    QString names;
    for (const ProcessInfo& process : table.processes) {
        for (const std::string& file : process.openFiles) {
            if (file != realPath) {
                continue;
            }
            if (holders.size() == kNamedAtMost) {
                ++unnamed;
            } else {
                holders.push_back(&process);
                names +=
                    (names.isEmpty() ? QString() : QStringLiteral(", ")) +
                    QStringLiteral("%1 (pid %2)").arg(FromLocal(process.comm)).arg(process.pid);
            }
            break;
        }
    }
    if (unnamed > 0) {
        names += QStringLiteral(" and %1 more").arg(unnamed);
    }
    if (!holders.empty()) {
        return Make(port, device, Severity::Problem,
                    QStringLiteral("Another program has it open: %1.").arg(names),
                    HolderAdvice(holders, fs::path(realPath).filename().string(), kernelConsole));
    }
    QString text = QStringLiteral("No other program has it open");
    if (table.unreadable > 0) {
        text += QStringLiteral(
                    " as far as this user can see (%1 processes could not be looked into; `sudo "
                    "fuser -v %2` sees them all)")
                    .arg(table.unreadable)
                    .arg(device);
    }
    return Make(port, device, Severity::Ok, text + QLatin1Char('.'));
}

enum class OpenOutcome { Opened, NotATerminal, Failed };

struct OpenResult {
    OpenOutcome outcome = OpenOutcome::Failed;
    Finding finding;
};

// Opens the device the way the downloader would, without touching its
// settings, and closes it again at once.
OpenResult TryOpen(const QString& port, const QString& device, const struct stat& info,
                   const DoctorEnvironment& environment, const Finding& holders) {
    const QByteArray path = device.toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        const bool terminal = isatty(fd) != 0;
        ::close(fd);
        if (terminal) {
            return {OpenOutcome::Opened, Make(port, device, Severity::Ok,
                                              QStringLiteral("It opens for reading and writing."))};
        }
        return {OpenOutcome::NotATerminal,
                Make(port, device, Severity::Problem,
                     QStringLiteral("It opens, but it is no serial line (not a terminal device)."),
                     QStringLiteral("Choose the serial device itself; %1 lists them.")
                         .arg(kPortsCommand))};
    }
    const int error = errno;
    const QString failed =
        QStringLiteral("It will not open: %1.").arg(QString::fromLocal8Bit(std::strerror(error)));
    switch (error) {
        case EBUSY:
            return {OpenOutcome::Failed,
                    Make(port, device, Severity::Problem,
                         failed + QStringLiteral(" Another program has it for itself alone."),
                         holders.severity == Severity::Problem
                             ? QString::fromStdString(holders.advice)
                             : QStringLiteral("Close the program that uses it (`sudo fuser -v "
                                              "%1` names it).")
                                   .arg(device))};
        case EACCES:
        case EPERM:
            return {OpenOutcome::Failed, Make(port, device, Severity::Problem, failed,
                                              PermissionAdvice(info, environment, device))};
        case ENXIO:
        case ENODEV:
        case EIO:
            return {OpenOutcome::Failed,
                    Make(port, device, Severity::Problem,
                         failed + QStringLiteral(" No device answers behind the name."),
                         QStringLiteral("Unplug the adapter and plug it in again; `sudo dmesg | "
                                        "tail` shows what its driver says."))};
        default:
            return {OpenOutcome::Failed,
                    Make(port, device, Severity::Problem, failed,
                         QStringLiteral("Check the device and the cable; %1 lists the serial "
                                        "devices present.")
                             .arg(kPortsCommand))};
    }
}

// USB-serial drivers with a latency timer hold received bytes back for that
// many milliseconds; every reply of the controller waits that long.
void CheckLatency(const QString& port, const QString& device, const std::string& kernelName,
                  const DoctorEnvironment& environment, std::vector<Finding>& findings) {
    const fs::path adapter = environment.root / "sys/bus/usb-serial/devices" / kernelName;
    std::int64_t milliseconds = 0;
    if (!ParseNumber(ReadSmallFile(adapter / "latency_timer"), milliseconds)) {
        return;
    }
    if (milliseconds <= 1) {
        findings.push_back(
            Make(port, device, Severity::Ok,
                 QStringLiteral("The adapter's driver passes received bytes on at once "
                                "(latency_timer %1 ms).")
                     .arg(milliseconds)));
        return;
    }
    std::string driver = fs::path(ReadLinkTarget(adapter / "driver")).filename().string();
    if (driver.empty()) {
        driver = "ftdi_sio";
    }
    const QString name = FromLocal(kernelName);
    findings.push_back(
        Make(port, device, Severity::Warning,
             QStringLiteral("The adapter's driver holds received bytes back for up to %1 ms "
                            "(latency_timer): each reply of the controller waits that long, which "
                            "slows transfers.")
                 .arg(milliseconds),
             QStringLiteral(
                 "Lower it to 1 ms: echo 1 | sudo tee /sys/bus/usb-serial/devices/%1/latency_timer "
                 "(lasts until the adapter is plugged in again), or for good with a udev rule: "
                 "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"%2\", "
                 "ATTR{latency_timer}=\"1\". The downloader itself asks the driver for low-latency "
                 "mode when it opens the port, which many drivers honour.")
                 .arg(name, FromLocal(driver))));
}

void CheckDevice(const QString& port, const QString& device, const DoctorEnvironment& environment,
                 const ProcessTable& table, const QList<QSerialPortInfo>& serialPorts,
                 std::vector<Finding>& findings) {
    const QByteArray path = device.toLocal8Bit();
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        struct stat linkInfo {};
        if (::lstat(path.constData(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
            findings.push_back(
                Make(port, device, Severity::Problem,
                     QStringLiteral("%1 leads to %2, which does not exist.")
                         .arg(device, FromLocal(ReadLinkTarget(path.constData()))),
                     QStringLiteral("Plug the adapter in (the link appears with it), or choose "
                                    "another port; %1 lists the serial devices present.")
                         .arg(kPortsCommand)));
        } else {
            findings.push_back(Make(port, device, Severity::Problem,
                                    QStringLiteral("%1 does not exist.").arg(device),
                                    QStringLiteral("Plug the adapter in and check the name; %1 "
                                                   "lists the serial devices present.")
                                        .arg(kPortsCommand)));
        }
        return;
    }
    std::error_code error;
    std::string realPath = fs::canonical(path.constData(), error).string();
    if (error) {
        realPath = path.toStdString();
    }
    const QString owners =
        QStringLiteral("owner %1, group %2, mode %3")
            .arg(UserName(info.st_uid), GroupName(info.st_gid), ModeText(info.st_mode));
    const QString where =
        FromLocal(realPath) == device
            ? device
            : QStringLiteral("%1 (which leads to %2)").arg(device, FromLocal(realPath));
    if (!S_ISCHR(info.st_mode)) {
        findings.push_back(
            Make(port, device, Severity::Problem,
                 QStringLiteral("%1 exists but is no device (%2).").arg(where, owners),
                 QStringLiteral("Choose the serial device itself, such as /dev/ttyUSB0 or "
                                "/dev/ttyACM0; %1 lists them.")
                     .arg(kPortsCommand)));
        return;
    }
    findings.push_back(
        Make(port, device, Severity::Ok, QStringLiteral("%1 exists: %2.").arg(where, owners)));

    bool allowed = false;
    QString refusal;
    if (environment.judgeByModeBits) {
        allowed = ModeAllowsReadWrite(info, environment);
    } else {
        allowed = ::access(path.constData(), R_OK | W_OK) == 0;
        if (!allowed) {
            refusal = QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    if (allowed) {
        findings.push_back(Make(
            port, device, Severity::Ok,
            QStringLiteral("This user, %1, may read and write it.").arg(UserLabel(environment))));
    } else {
        findings.push_back(Make(port, device, Severity::Problem,
                                QStringLiteral("This user, %1, may not read and write it%2.")
                                    .arg(UserLabel(environment), refusal),
                                PermissionAdvice(info, environment, device)));
    }

    const std::string kernelName = fs::path(realPath).filename().string();
    const bool kernelConsole = IsKernelConsole(environment, kernelName);
    const Finding holders = HoldersFinding(port, device, realPath, table, kernelConsole);
    if (allowed) {
        const OpenResult opened = TryOpen(port, device, info, environment, holders);
        if (opened.outcome == OpenOutcome::NotATerminal) {
            findings.push_back(opened.finding);  // no serial line: nothing else applies
            return;
        }
        findings.push_back(holders);
        findings.push_back(opened.finding);
    } else {
        findings.push_back(holders);
    }

    for (const QSerialPortInfo& serialPort : serialPorts) {
        if (serialPort.systemLocation() == device ||
            serialPort.systemLocation() == FromLocal(realPath)) {
            const QString identity = UsbIdentity(serialPort);
            if (!identity.isEmpty()) {
                findings.push_back(Make(port, device, Severity::Ok, identity));
            }
            break;
        }
    }
    if (kernelConsole) {
        findings.push_back(Make(port, device, Severity::Warning,
                                QStringLiteral("The kernel writes its console messages to %1 (a "
                                               "console= entry of the kernel command line): they "
                                               "would mix with a transfer.")
                                    .arg(FromLocal(kernelName)),
                                SerialConsoleAdvice(kernelName)));
    }
    CheckLatency(port, device, kernelName, environment, findings);
}

void CheckServices(const ProcessTable& table, std::vector<Finding>& findings) {
    if (!table.available) {
        return;
    }
    bool any = false;
    for (const ProcessInfo& process : table.processes) {
        if (process.comm == kModemManager) {
            findings.push_back(
                Make({}, {}, Severity::Warning,
                     QStringLiteral("ModemManager is running (pid %1): it opens new serial "
                                    "devices to look for a modem, which can hold the port or "
                                    "garble the first bytes of a transfer.")
                         .arg(process.pid),
                     ModemManagerAdvice()));
            any = true;
        } else if (process.comm == kBrltty) {
            findings.push_back(
                Make({}, {}, Severity::Warning,
                     QStringLiteral("brltty is running (pid %1): the braille display service "
                                    "takes some USB-serial adapters away from their serial "
                                    "driver as soon as they are plugged in.")
                         .arg(process.pid),
                     BrlttyAdvice()));
            any = true;
        }
    }
    if (!any) {
        findings.push_back(Make({}, {}, Severity::Ok,
                                QStringLiteral("No service that takes new serial devices "
                                               "(ModemManager, brltty) is running.")));
    }
}

#endif

}  // namespace

DoctorEnvironment DoctorEnvironment::OfThisProcess() {
    DoctorEnvironment environment;
#ifdef Q_OS_UNIX
    environment.uid = geteuid();
    environment.gids.push_back(getegid());
    const int count = getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> groups(static_cast<std::size_t>(count));
        const int got = getgroups(count, groups.data());
        for (int i = 0; i < got; ++i) {
            environment.gids.push_back(groups[static_cast<std::size_t>(i)]);
        }
    }
    const passwd* user = getpwuid(environment.uid);
    if (user != nullptr) {
        environment.userName = QString::fromLocal8Bit(user->pw_name);
    }
    environment.ignoredPid = getpid();
#endif
    return environment;
}

std::vector<Finding> DiagnosePorts(const QStringList& ports, const DoctorEnvironment& environment) {
    const bool sweep = ports.isEmpty();
    QStringList names = ports;
    if (sweep) {
        for (int n = 1; n <= 9; ++n) {
            names << QStringLiteral("COM%1").arg(n);
        }
    }
    const QList<QSerialPortInfo> serialPorts = QSerialPortInfo::availablePorts();
#ifdef Q_OS_UNIX
    const ProcessTable table = ReadProcesses(environment);
#endif
    std::vector<Finding> findings;
    QStringList unmapped;  // COMn that reach no device
    for (const QString& port : names) {
        QString device = port;
        const int n = ComNumber(port);
        if (n > 0) {
            std::string portHow;
            device = QString::fromStdString(ComPortDevice(n, &portHow));
            const QString how = QString::fromStdString(portHow);
            if (device.isEmpty()) {
                unmapped << port;
                continue;
            }
            const QString variable = QStringLiteral("VELMORO_COM%1").arg(n);
            findings.push_back(Make(
                port, device, Severity::Ok, QStringLiteral("Reaches %1: %2.").arg(device, how),
                qEnvironmentVariableIsSet(variable.toLatin1().constData())
                    ? QStringLiteral("Without %1, %2 would be serial device number %3 present.")
                          .arg(variable, port)
                          .arg(n)
                    : QStringLiteral("To make %1 another device, set %2 to its path.")
                          .arg(port, variable)));
        }
        CheckDevice(port, device, environment, table, serialPorts, findings);
    }
    if (!unmapped.isEmpty()) {
        // In the sweep, COMn beyond the devices present are no problem as
        // long as some COMn reaches a device.
        const bool problem = !sweep || unmapped.size() == names.size();
        const auto present = static_cast<qsizetype>(ListSerialDevices().size());
        const bool contiguous =
            unmapped.size() > 2 &&
            ComNumber(unmapped.back()) - ComNumber(unmapped.front()) == unmapped.size() - 1;
        const QString label =
            contiguous ? QStringLiteral("%1 to %2").arg(unmapped.front(), unmapped.back())
                       : unmapped.join(QStringLiteral(", "));
        const QString variable = QStringLiteral("VELMORO_COM%1").arg(ComNumber(unmapped.front()));
        QString advice;
        if (problem) {
            advice =
                present == 0 ? QStringLiteral(
                                   "Plug the adapter in (with a cable that carries data), "
                                   "or set %1 to the device path.")
                                   .arg(variable)
                : present == 1
                    ? QStringLiteral("Choose COM1, or set %1 to the device path.").arg(variable)
                    : QStringLiteral(
                          "Choose one of COM1 to COM%1 (%2 shows which device "
                          "each reaches), or set %3 to the device path.")
                          .arg(present)
                          .arg(kPortsCommand, variable);
        }
        findings.push_back(Make(
            label, {}, problem ? Severity::Problem : Severity::Ok,
            present == 0 ? QStringLiteral("No device: no serial device is present.")
            : present == 1
                ? QStringLiteral("No device: only 1 serial device is present.")
                : QStringLiteral("No device: only %1 serial devices are present.").arg(present),
            advice));
    }
#ifdef Q_OS_UNIX
    CheckServices(table, findings);
#endif
    return findings;
}

int RunDoctor(const std::vector<std::string>& ports) {
    QStringList names;
    for (const std::string& port : ports) {
        names << QString::fromStdString(port);
    }
    const std::vector<Finding> findings = DiagnosePorts(names, DoctorEnvironment::OfThisProcess());
    std::fputs(FormatFindings(findings).c_str(), stdout);
    return DoctorExitCode(findings);
}

}  // namespace velmoro
