#pragma once

// When there is no serial port to open: no adapter at all, an adapter the
// system has no driver for, or one whose driver does not start. What that
// means and what to do about it is written here once, for the doctor, both
// desktop windows and the browser page; the platform's usb_survey.cpp only
// gathers what the system shows.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmoro {

// A USB device that the system shows but that gives no serial port.
struct UsbDeviceTrouble {
    enum class Kind { NoDriver, Disabled, FailsToStart };
    Kind kind = Kind::NoDriver;
    // What the system calls it, which for a USB-serial adapter without its
    // driver is what the chip says of itself ("USB2.0-Serial", "CP2102 USB to
    // UART Bridge Controller").
    std::string name;
    std::string hardwareId;  // "VID_1A86&PID_7523" on Windows, "1a86:7523" elsewhere
    int problemCode = 0;     // the system's number for the problem; 0 when it gives none
};

// Where drivers are set right, which decides the words of the advice.
enum class DriverPlace { DeviceManager, Kernel, Browser };

// What a system shows of its USB-serial adapters.
struct UsbSurvey {
    DriverPlace place = DriverPlace::Kernel;
    std::size_t usbPorts = 0;  // serial ports of USB adapters that work
    std::vector<UsbDeviceTrouble> troubles;
};

enum class NoPortVerdict { AllFine, NoDevice, NoDriver, Disabled, FailsToStart };

struct NoPortAdvice {
    NoPortVerdict verdict = NoPortVerdict::AllFine;
    std::string finding;  // what was found, a sentence
    std::string advice;   // what to do; empty when all is fine
};

// Windows' device problem codes (CM_PROB_*, Device Manager's "Code 28") as
// the kind of trouble they mean to a user.
UsbDeviceTrouble::Kind TroubleOfProblemCode(int code);

// One piece of advice per troubled device (at most a few), else one saying
// whether any adapter's port is there. A troubled device comes first even
// beside a working port: it is most likely the one just plugged in.
std::vector<NoPortAdvice> AdviseNoPort(const UsbSurvey& survey);

// The message of a port that will not open, followed by what the survey
// says when no adapter's port is there.
std::string PortFailureMessage(std::string_view errorText, const UsbSurvey& survey);

// What this system shows now (usb_survey.cpp of the platform folder).
UsbSurvey SurveyUsbSerial();

}  // namespace velmoro
