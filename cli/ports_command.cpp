#include <cstdio>

#include "commands.h"
#include "port_names.h"

namespace velmoro {

int RunPorts() {
    for (int n = 1; n <= 9; ++n) {
        QString how;
        const QString device = ComPortDevice(n, &how);
        std::printf("COM%d  %-20s  (%s)\n", n,
                    device.isEmpty() ? "-" : device.toLocal8Bit().constData(),
                    how.toLocal8Bit().constData());
    }
    const QList<SerialDevice> devices = ListSerialDevices();
    std::printf("\n%lld serial device(s) present:\n", static_cast<long long>(devices.size()));
    for (const SerialDevice& device : devices) {
        std::printf("  %-20s  %s%s%s\n", device.path.toLocal8Bit().constData(),
                    device.description.toLocal8Bit().constData(),
                    device.usbIdentity.isEmpty() ? "" : "  USB ",
                    device.usbIdentity.toLocal8Bit().constData());
    }
    return kExitFinished;
}

}  // namespace velmoro
