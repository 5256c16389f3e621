#pragma once

// What the port doctor sees on a system of device files (Linux, and the
// other systems Qt runs on): devices, /proc and /sys. Only looks; the
// conclusions are cli/doctor.cpp's.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "doctor.h"

namespace velmoro {

// Whose view of the system the probes take, and where /proc and /sys are.
struct DoctorEnvironment {
    std::filesystem::path root = "/";  // proc/ and sys/ are read below it
    std::uint32_t uid = 0;
    std::vector<std::uint32_t> gids;  // the groups this session holds
    std::string userName;             // to tell a group joined after logging in
    // Decide access from uid, gids and the device's mode bits rather than
    // asking the system (access(2)), which lets root through whatever the mode.
    bool judgeByModeBits = false;
    // The process left out when looking for programs that hold a port (the
    // doctor itself); 0 leaves none out.
    std::int64_t ignoredPid = 0;

    // The running process: its effective ids, its own pid ignored, root "/".
    static DoctorEnvironment OfThisProcess();
};

class DeviceFileProbes final : public DoctorProbes {
public:
    explicit DeviceFileProbes(DoctorEnvironment environment);

    PortView View() const override;
    ProcessTable Processes() override;
    DeviceFacts LookAt(const std::string& device) override;
    OpenFacts TryOpen(const std::string& device) override;
    UsbSurvey SurveyUsb() override;

private:
    DoctorEnvironment environment_;
};

}  // namespace velmoro
