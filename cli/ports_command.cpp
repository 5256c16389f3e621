#include <cstdio>
#include <string>

#include "commands.h"
#include "port_names.h"

namespace velmoro {

int RunPorts() {
    const std::vector<SerialDevice> devices = ListSerialDevices();
    for (int n = 1; n <= 9; ++n) {
        std::string how;
        const std::string device = ComPortDevice(n, &how);
        const std::string name = DeviceName(device, devices);
        std::printf("COM%d  %-20s  %s%s(%s)\n", n, device.empty() ? "-" : device.c_str(),
                    name.c_str(), name.empty() ? "" : "  ", how.c_str());
    }
    std::printf("\n%lld serial device(s) present:\n", static_cast<long long>(devices.size()));
    for (const SerialDevice& device : devices) {
        // The name, then what the system says when that is something else.
        std::string said = device.name;
        if (!device.description.empty() && device.description != device.name) {
            said += (said.empty() ? "" : "  ") + device.description;
        }
        std::printf("  %-20s  %s%s%s\n", device.path.c_str(), said.c_str(),
                    device.usbIdentity.empty() ? "" : "  USB ", device.usbIdentity.c_str());
    }
    return kExitFinished;
}

}  // namespace velmoro
