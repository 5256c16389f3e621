#pragma once

// `velmoro-downloader-cli doctor`: for each port, what stands between this
// user and a working transfer, and the one thing to do about each. What the
// doctor concludes and advises is here, the same on every platform; what it
// sees of the system comes from the platform's probes (doctor_probes.cpp of
// the platform folder), which only look and change nothing.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "doctor_report.h"
#include "no_port.h"
#include "port_names.h"

namespace velmoro {

// How much of a port a system lets the doctor see.
enum class PortView {
    // A device file: its owner and mode, the processes that have it open, the
    // kernel's console and the USB adapter's driver.
    DeviceFiles,
    // Only the names of the ports the system lists, and whether a port opens.
    PortNames,
};

struct ProcessFacts {
    std::int64_t pid = 0;
    std::string comm;
    std::vector<std::string> openFiles;  // where the process's open files lead
};

struct ProcessTable {
    bool available = false;  // the system showed its processes at all
    std::vector<ProcessFacts> processes;
    int unreadable = 0;  // processes whose open files this user may not see
};

// The command that adds a user to a group differs between systems.
enum class GroupTool { Usermod, Dseditgroup };

// What the system shows of a device before it is opened.
struct DeviceFacts {
    // PortView::PortNames: whether the system lists the port.
    bool listed = false;

    // PortView::DeviceFiles, the rest.
    enum class Node { Missing, DanglingLink, NotADevice, Device };
    Node node = Node::Missing;
    std::string linkTarget;  // where a link that leads nowhere points
    std::string realPath;    // the device once links are followed
    std::string ownerName;   // the number when the system has no name for it
    std::string groupName;
    std::string modeText;  // "crw-rw----"
    bool ownedByUser = false;
    bool rootGroup = false;       // the group is root's own
    bool groupReadWrite = false;  // the mode lets the group read and write
    bool inGroup = false;         // this session holds the group
    // The group database lists the user in the group, which takes effect only
    // in sessions begun after that.
    bool listedInGroup = false;
    GroupTool groupTool = GroupTool::Usermod;

    std::string userName;  // empty when unknown
    std::uint32_t uid = 0;
    bool readWrite = false;  // this user may read and write it
    std::string refusal;     // the system's words when it said no; may be empty

    bool kernelConsole = false;             // the kernel writes its console messages to it
    PortFacts adapter;                      // what the system says of it as a serial port
    std::optional<std::int64_t> latencyMs;  // the USB-serial driver's latency timer
    std::string driver;                     // that driver's name, when known
};

// What happened when the device was opened.
struct OpenFacts {
    enum class Result { Opened, NotSerial, Busy, Denied, NoDevice, Missing, Failed };
    Result result = Result::Failed;
    std::string reason;  // the system's words for what went wrong, a sentence
};

// What the doctor asks of the system.
class DoctorProbes {
public:
    DoctorProbes() = default;
    virtual ~DoctorProbes() = default;
    DoctorProbes(const DoctorProbes&) = delete;
    DoctorProbes& operator=(const DoctorProbes&) = delete;

    virtual PortView View() const = 0;
    // The running processes and their open files, looked at once for all ports.
    virtual ProcessTable Processes() = 0;
    virtual DeviceFacts LookAt(const std::string& device) = 0;
    // Opens the device as the downloader would, without touching its
    // settings, and closes it again at once.
    virtual OpenFacts TryOpen(const std::string& device) = 0;
    // The USB-serial adapters present, and the USB devices without a working
    // driver.
    virtual UsbSurvey SurveyUsb() = 0;
};

// The running system's probes (doctor_probes.cpp of the platform folder).
std::unique_ptr<DoctorProbes> ThisSystemsProbes();

// Checks each port: COM1..COM9 or device paths. With no ports at all, checks
// COM1..COM9, where a COMn that reaches no device is no problem unless none
// does. Findings about the system as a whole come last, once.
std::vector<Finding> DiagnosePorts(const std::vector<std::string>& ports, DoctorProbes& probes);

}  // namespace velmoro
