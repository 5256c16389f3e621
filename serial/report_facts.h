#pragma once

// What a transfer report says of the system and of the port a transfer
// used. The platform folder says what its system knows (report_facts.cpp
// there); the shared part puts it together the same way everywhere.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "port_names.h"
#include "transfer_report.h"

namespace velmoro {

using ReportFacts = std::vector<std::pair<std::string, std::string>>;

// The system's name, version and machine, such as "Linux 6.1.0 x86_64".
std::string SystemDescription();

// The USB-serial driver behind a port and its latency timer, where the
// system keeps them.
struct AdapterFacts {
    bool found = false;
    std::string driver;
    std::optional<std::int64_t> latencyMs;
};
AdapterFacts FindAdapterFacts(const std::string& device);

// What the system knows of a serial device ("/dev/ttyUSB0", "COM3"): the
// adapter's name, maker and USB ids, as far as known. The driver and its
// latency timer come from FindAdapterFacts.
ReportFacts DeviceReportFacts(const std::string& device);

// What a report says of a port the system lists: what the adapter is (its
// chip by the USB ids, else the system's description), who made it and its
// USB ids. Never its serial number: that tells one user's adapter from every
// other, and a report is made to be sent to others. The port list and the
// port doctor show it, on the user's own screen.
ReportFacts PortReportFacts(const PortFacts& port);

// The context of a report: program is the program's name and version line,
// port what the user chose ("COM3", or empty when a device path was given),
// device what it reached ("/dev/ttyUSB0", "COM3"; empty when none).
ReportContext MakeReportContext(std::string program, const std::string& port,
                                const std::string& device, std::string_view lineSettings);

// The folder where the programs keep their last reports: under Local
// AppData on Windows, under $XDG_STATE_HOME (or ~/.local/state) elsewhere.
// VELMORO_REPORTS_DIR, when set, names it instead, for tests and for users
// who want them elsewhere.
std::string ReportsFolder();

}  // namespace velmoro
