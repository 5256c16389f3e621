#pragma once

// The checks behind `velmoro-downloader-cli doctor` on Linux and macOS: for
// each port, what stands between this user and a working transfer, and the
// one thing to do about each. Reads devices, /proc and /sys; changes
// nothing. (Windows: doctor_win32.cpp.)

#include <QString>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "doctor_report.h"

namespace velmoro {

// Whose view of the system the checks take, and where /proc and /sys are.
struct DoctorEnvironment {
    std::filesystem::path root = "/";  // proc/ and sys/ are read below it
    std::uint32_t uid = 0;
    std::vector<std::uint32_t> gids;  // the groups this session holds
    QString userName;                 // to tell a group joined after logging in
    // Decide access from uid, gids and the device's mode bits rather than
    // asking the system (access(2)), which lets root through whatever the mode.
    bool judgeByModeBits = false;
    // The process left out when looking for programs that hold a port (the
    // doctor itself); 0 leaves none out.
    std::int64_t ignoredPid = 0;

    // The running process: its effective ids, its own pid ignored, root "/".
    static DoctorEnvironment OfThisProcess();
};

// Checks each port: COM1..COM9 or device paths. With no ports at all, checks
// COM1..COM9, where a COMn that reaches no device is no problem unless none
// does. Findings about the system as a whole (services) come last, once.
std::vector<Finding> DiagnosePorts(const QStringList& ports, const DoctorEnvironment& environment);

}  // namespace velmoro
