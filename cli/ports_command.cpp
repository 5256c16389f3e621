#include <cstdio>

#include "commands.h"
#include "port_names.h"

namespace velmoro {

int RunPorts() {
    for (int n = 1; n <= 9; ++n) {
        std::string how;
        const std::string device = ComPortDevice(n, &how);
        std::printf("COM%d  %-20s  (%s)\n", n, device.empty() ? "-" : device.c_str(), how.c_str());
    }
    const std::vector<SerialDevice> devices = ListSerialDevices();
    std::printf("\n%lld serial device(s) present:\n", static_cast<long long>(devices.size()));
    for (const SerialDevice& device : devices) {
        std::printf("  %-20s  %s%s%s\n", device.path.c_str(), device.description.c_str(),
                    device.usbIdentity.empty() ? "" : "  USB ", device.usbIdentity.c_str());
    }
    return kExitFinished;
}

}  // namespace velmoro
