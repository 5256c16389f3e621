#pragma once

// What `velmoro-downloader-cli doctor` found, and how it prints it; what it
// concludes is doctor.cpp's, from what the platform's probes saw
// (doctor_probes.cpp of the platform folder).

#include <string>
#include <vector>

namespace velmoro {

enum class Severity { Ok, Warning, Problem };

struct Finding {
    std::string port;    // "COM3" or the device path as given; empty for the system as a whole
    std::string device;  // the device the port reaches; empty when there is none
    Severity severity = Severity::Ok;
    std::string text;    // what was found
    std::string advice;  // what to do about it; may be empty when all is well
};

// 1 when any finding is a problem (warnings do not count), else 0.
int DoctorExitCode(const std::vector<Finding>& findings);

// The findings as the command prints them.
std::string FormatFindings(const std::vector<Finding>& findings);

}  // namespace velmoro
