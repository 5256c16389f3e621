#include "doctor_report.h"

#include "commands.h"

namespace velmoro {

int DoctorExitCode(const std::vector<Finding>& findings) {
    for (const Finding& finding : findings) {
        if (finding.severity == Severity::Problem) {
            return kExitProblemFound;
        }
    }
    return kExitFinished;
}

std::string FormatFindings(const std::vector<Finding>& findings) {
    std::string out;
    int problems = 0;
    int warnings = 0;
    const Finding* previous = nullptr;
    for (const Finding& finding : findings) {
        if (previous == nullptr || previous->port != finding.port) {
            if (previous != nullptr) {
                out += '\n';
            }
            if (finding.port.empty()) {
                out += "This system\n";
            } else if (finding.device.empty() || finding.device == finding.port) {
                out += finding.port + '\n';
            } else {
                out += finding.port + " -> " + finding.device + '\n';
            }
        }
        previous = &finding;
        switch (finding.severity) {
            case Severity::Ok:
                out += "  ok       ";
                break;
            case Severity::Warning:
                out += "  WARNING  ";
                ++warnings;
                break;
            case Severity::Problem:
                out += "  PROBLEM  ";
                ++problems;
                break;
        }
        out += finding.text + '\n';
        if (!finding.advice.empty()) {
            out += "           -> " + finding.advice + '\n';
        }
    }
    out += '\n';
    if (problems == 0 && warnings == 0) {
        out += "No problems found.\n";
    } else {
        out += std::to_string(problems) + (problems == 1 ? " problem, " : " problems, ") +
               std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings") +
               "; the lines with -> say what to do.\n";
    }
    return out;
}

}  // namespace velmoro
