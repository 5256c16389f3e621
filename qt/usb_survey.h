#pragma once

// The USB-serial adapters a Linux system shows in sysfs, read below root so
// that a test can lay out a system of its own.

#include <filesystem>

#include "no_port.h"

namespace velmoro {

UsbSurvey SurveyUsbSerial(const std::filesystem::path& root);

}  // namespace velmoro
