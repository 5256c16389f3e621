// The rule and the words for a missing port; see no_port.h.

#include "no_port.h"

namespace velmoro {

namespace {

// More troubled devices than this are rare, and a longer list would hide
// what to do.
constexpr std::size_t kTroublesShown = 3;

const char kDataCable[] =
    "Use a data cable, not a charge-only one: a cable made for charging powers the adapter but "
    "carries no data, and no port appears.";

std::string Label(const UsbDeviceTrouble& trouble) {
    const std::string name = trouble.name.empty() ? "A USB device" : "\"" + trouble.name + "\"";
    return trouble.hardwareId.empty() ? name : name + " (" + trouble.hardwareId + ")";
}

std::string Code(const UsbDeviceTrouble& trouble) {
    return trouble.problemCode == 0 ? "" : " (code " + std::to_string(trouble.problemCode) + ")";
}

// The chip is what the device calls itself; the hardware id names it too.
std::string Chip(const UsbDeviceTrouble& trouble) {
    return trouble.name.empty() ? "its chip (the id " + trouble.hardwareId + " names it)"
                                : "its chip (" + trouble.name + ")";
}

NoPortAdvice NoDevice(DriverPlace place) {
    NoPortAdvice advice{NoPortVerdict::NoDevice, {}, {}};
    switch (place) {
        case DriverPlace::Browser:
            advice.finding = "No serial port was chosen, and this page may use none yet.";
            advice.advice =
                std::string("Plug the adapter in and choose it in the browser's list. ") +
                kDataCable +
                " If the list stays empty with the adapter plugged in, the computer "
                "has no driver for its chip: install the driver that its maker offers "
                "for your system, then plug the adapter in again.";
            return advice;
        case DriverPlace::DeviceManager:
        case DriverPlace::Kernel:
            break;
    }
    advice.finding =
        "No USB-serial adapter is present: the system lists no port of one, and no "
        "USB device without a working driver.";
    advice.advice = std::string("Plug the adapter in. ") + kDataCable +
                    " If no port appears with a data cable either, try another USB socket.";
    return advice;
}

NoPortAdvice Troubled(const UsbDeviceTrouble& trouble, DriverPlace place) {
    const bool windows = place == DriverPlace::DeviceManager;
    const std::string label = Label(trouble);
    const std::string replug = " Then unplug the adapter and plug it in again.";
    NoPortAdvice advice;
    switch (trouble.kind) {
        case UsbDeviceTrouble::Kind::NoDriver:
            advice.verdict = NoPortVerdict::NoDriver;
            advice.finding = label + " is plugged in, but " +
                             (windows ? "Windows has no driver for it" : "no driver has taken it") +
                             Code(trouble) + ": it gives no serial port.";
            advice.advice =
                windows ? "Install the driver for " + Chip(trouble) +
                              ", from the chip maker's site; or in Device Manager, under Other "
                              "devices, right-click it, Update driver, Search automatically for "
                              "drivers." +
                              replug
                        : "Install or load the kernel's driver for " + Chip(trouble) +
                              ": sudo modprobe with the driver's module name, or a newer "
                              "kernel. A braille display service, brltty, also takes some "
                              "adapters from their driver: remove it if no braille display is "
                              "used." +
                              replug;
            return advice;
        case UsbDeviceTrouble::Kind::Disabled:
            advice.verdict = NoPortVerdict::Disabled;
            advice.finding = label + " is plugged in, but disabled" + Code(trouble) + ".";
            advice.advice = windows ? "Enable it: in Device Manager, right-click it, Enable device."
                                    : "Enable it again, then plug the adapter in again.";
            return advice;
        case UsbDeviceTrouble::Kind::FailsToStart:
            break;
    }
    advice.verdict = NoPortVerdict::FailsToStart;
    advice.finding = label + " is plugged in, but its driver " +
                     (windows ? "cannot start" : "does not start") + Code(trouble) + ".";
    advice.advice =
        windows ? "Unplug the adapter and plug it into another USB socket. If the code stays, "
                  "install the driver for " +
                      Chip(trouble) +
                      " afresh: in Device Manager, right-click it, Uninstall device, tick Delete "
                      "the driver software, then install the chip maker's driver. Imitation chips "
                      "are refused by some newer drivers and may need an older one."
                : "Unplug the adapter and plug it into another USB socket; `sudo dmesg` shows why "
                  "the driver for " +
                      Chip(trouble) + " did not start.";
    return advice;
}

}  // namespace

UsbDeviceTrouble::Kind TroubleOfProblemCode(int code) {
    switch (code) {
        case 1:   // CM_PROB_NOT_CONFIGURED
        case 18:  // CM_PROB_REINSTALL
        case 28:  // CM_PROB_FAILED_INSTALL
            return UsbDeviceTrouble::Kind::NoDriver;
        case 22:  // CM_PROB_DISABLED
        case 29:  // CM_PROB_HARDWARE_DISABLED
            return UsbDeviceTrouble::Kind::Disabled;
        default:  // 10 CM_PROB_FAILED_START, 31, 37, 39, 43, 52 (unsigned driver)...
            return UsbDeviceTrouble::Kind::FailsToStart;
    }
}

std::vector<NoPortAdvice> AdviseNoPort(const UsbSurvey& survey) {
    std::vector<NoPortAdvice> advice;
    for (const UsbDeviceTrouble& trouble : survey.troubles) {
        if (advice.size() == kTroublesShown) {
            break;
        }
        advice.push_back(Troubled(trouble, survey.place));
    }
    if (!advice.empty()) {
        return advice;
    }
    if (survey.usbPorts == 0) {
        return {NoDevice(survey.place)};
    }
    return {{NoPortVerdict::AllFine,
             survey.usbPorts == 1
                 ? "A USB-serial adapter's port is present, and no USB device lacks its driver."
                 : std::to_string(survey.usbPorts) +
                       " USB-serial adapters' ports are present, and no USB device lacks its "
                       "driver.",
             {}}};
}

std::string PortFailureMessage(std::string_view errorText, const UsbSurvey& survey) {
    std::string message(errorText);
    for (const NoPortAdvice& advice : AdviseNoPort(survey)) {
        if (advice.verdict != NoPortVerdict::AllFine) {
            message += "\n\n" + advice.finding + "\n" + advice.advice;
        }
    }
    return message;
}

}  // namespace velmoro
