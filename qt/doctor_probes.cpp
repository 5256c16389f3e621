// What the port doctor sees on a system of device files.
//
// Everything here only looks: the device is opened once, without changing
// its settings, and closed at once; /proc and /sys are read a few bytes at a
// time. Depends on Qt Core, Qt SerialPort and velmoro_serial only, so that a
// test can link it on its own.

#include "doctor_probes.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QSerialPortInfo>
#include <QtGlobal>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <system_error>
#include <utility>

#include "usb_survey.h"

namespace velmoro {

namespace {

namespace fs = std::filesystem;

// Files of /proc and /sys that the probes read are a line of a few bytes.
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

std::string GroupName(gid_t gid) {
    const group* entry = getgrgid(gid);
    return entry != nullptr ? std::string(entry->gr_name) : std::to_string(gid);
}

std::string UserName(uid_t uid) {
    const passwd* entry = getpwuid(uid);
    return entry != nullptr ? std::string(entry->pw_name) : std::to_string(uid);
}

// "crw-rw----"
std::string ModeText(mode_t mode) {
    std::string text;
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

// Whether the group database lists the user in the group.
bool ListedInGroup(const std::string& userName, gid_t gid) {
    if (userName.empty()) {
        return false;
    }
    const passwd* user = getpwnam(userName.c_str());
    if (user != nullptr && user->pw_gid == gid) {
        return true;
    }
    const group* entry = getgrgid(gid);
    if (entry == nullptr) {
        return false;
    }
    for (char* const* member = entry->gr_mem; *member != nullptr; ++member) {
        if (userName == *member) {
            return true;
        }
    }
    return false;
}

// /sys/class/tty/console/active lists the consoles in use ("tty1 ttyS0").
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

PortFacts SerialPortFacts(const std::string& device, const std::string& realPath) {
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const std::string location = info.systemLocation().toStdString();
        if (location == device || location == realPath) {
            return PortFacts{.path = location,
                             .description = info.description().toStdString(),
                             .hasVendorId = info.hasVendorIdentifier(),
                             .vendorId = info.vendorIdentifier(),
                             .productId = info.productIdentifier(),
                             .manufacturer = info.manufacturer().toStdString(),
                             .serialNumber = info.serialNumber().toStdString()};
        }
    }
    return {};
}

}  // namespace

DoctorEnvironment DoctorEnvironment::OfThisProcess() {
    DoctorEnvironment environment;
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
        environment.userName = user->pw_name;
    }
    environment.ignoredPid = getpid();
    return environment;
}

DeviceFileProbes::DeviceFileProbes(DoctorEnvironment environment)
    : environment_(std::move(environment)) {}

PortView DeviceFileProbes::View() const {
    return PortView::DeviceFiles;
}

ProcessTable DeviceFileProbes::Processes() {
    ProcessTable table;
    std::error_code error;
    fs::directory_iterator entry(environment_.root / "proc", error);
    if (error) {
        return table;
    }
    table.available = true;
    for (; entry != fs::directory_iterator(); entry.increment(error)) {
        if (error) {
            break;
        }
        ProcessFacts process;
        if (!ParseNumber(entry->path().filename().string(), process.pid) ||
            process.pid == environment_.ignoredPid) {
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

DeviceFacts DeviceFileProbes::LookAt(const std::string& device) {
    DeviceFacts facts;
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) {
        struct stat linkInfo {};
        if (::lstat(device.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
            facts.node = DeviceFacts::Node::DanglingLink;
            facts.linkTarget = ReadLinkTarget(device);
        }
        return facts;
    }
    std::error_code error;
    facts.realPath = fs::canonical(device, error).string();
    if (error) {
        facts.realPath = device;
    }
    facts.ownerName = UserName(info.st_uid);
    facts.groupName = GroupName(info.st_gid);
    facts.modeText = ModeText(info.st_mode);
    if (!S_ISCHR(info.st_mode)) {
        facts.node = DeviceFacts::Node::NotADevice;
        return facts;
    }
    facts.node = DeviceFacts::Node::Device;
    facts.ownedByUser = info.st_uid == environment_.uid;
    facts.rootGroup = info.st_gid == 0;
    facts.groupReadWrite = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    facts.inGroup = HoldsGroup(environment_, info.st_gid);
    facts.listedInGroup = ListedInGroup(environment_.userName, info.st_gid);
#ifdef Q_OS_MACOS
    facts.groupTool = GroupTool::Dseditgroup;
#endif

    facts.userName = environment_.userName;
    facts.uid = environment_.uid;
    if (environment_.judgeByModeBits) {
        facts.readWrite = ModeAllowsReadWrite(info, environment_);
    } else {
        facts.readWrite = ::access(device.c_str(), R_OK | W_OK) == 0;
        if (!facts.readWrite) {
            facts.refusal = std::strerror(errno);
        }
    }

    const std::string kernelName = fs::path(facts.realPath).filename().string();
    facts.kernelConsole = IsKernelConsole(environment_, kernelName);
    facts.adapter = SerialPortFacts(device, facts.realPath);
    const fs::path adapter = environment_.root / "sys/bus/usb-serial/devices" / kernelName;
    std::int64_t milliseconds = 0;
    if (ParseNumber(ReadSmallFile(adapter / "latency_timer"), milliseconds)) {
        facts.latencyMs = milliseconds;
        facts.driver = fs::path(ReadLinkTarget(adapter / "driver")).filename().string();
    }
    return facts;
}

OpenFacts DeviceFileProbes::TryOpen(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        const bool terminal = isatty(fd) != 0;
        ::close(fd);
        return {terminal ? OpenFacts::Result::Opened : OpenFacts::Result::NotSerial, {}};
    }
    const int error = errno;
    OpenFacts opened{OpenFacts::Result::Failed, std::string(std::strerror(error)) + '.'};
    switch (error) {
        case EBUSY:
            opened.result = OpenFacts::Result::Busy;
            break;
        case EACCES:
        case EPERM:
            opened.result = OpenFacts::Result::Denied;
            break;
        case ENXIO:
        case ENODEV:
        case EIO:
            opened.result = OpenFacts::Result::NoDevice;
            break;
        default:
            break;
    }
    return opened;
}

UsbSurvey DeviceFileProbes::SurveyUsb() {
    return SurveyUsbSerial(environment_.root);
}

std::unique_ptr<DoctorProbes> ThisSystemsProbes() {
    return std::make_unique<DeviceFileProbes>(DoctorEnvironment::OfThisProcess());
}

}  // namespace velmoro
