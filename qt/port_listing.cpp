#include <QByteArray>
#include <QSerialPortInfo>
#include <QtGlobal>
#include <utility>

#include "port_names.h"

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#endif

namespace velmoro {

std::vector<SerialDevice> ListSerialDevices() {
    std::vector<PortFacts> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        ports.push_back({.path = info.systemLocation().toStdString(),
                         .description = info.description().toStdString(),
                         .hasVendorId = info.hasVendorIdentifier(),
                         .vendorId = info.vendorIdentifier(),
                         .productId = info.productIdentifier(),
                         .manufacturer = info.manufacturer().toStdString(),
                         .serialNumber = info.serialNumber().toStdString()});
    }
    return OrderSerialDevices(std::move(ports));
}

std::string PlatformComPortDevice(int n, std::string& reason) {
    const std::string variable = "VELMORO_COM" + std::to_string(n);
    const QString named = qEnvironmentVariable(variable.c_str());
    if (!named.isEmpty()) {
        reason = "named by " + variable;
        return named.toStdString();
    }
    return NthSerialDevice(n, ListSerialDevices(), reason);
}

std::string PermissionAdvice(const std::string& devicePath) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (stat(devicePath.c_str(), &info) == 0) {
        const group* owner = getgrgid(info.st_gid);
        if (owner != nullptr && owner->gr_gid != 0) {
            const std::string name = owner->gr_name;
#ifdef Q_OS_MACOS
            return "The device belongs to the group \"" + name +
                   "\": add your user to it (sudo dseditgroup -o edit -a $USER -t user " + name +
                   "), then log out and in again.";
#else
            return "The device belongs to the group \"" + name +
                   "\": add your user to it (sudo usermod -aG " + name +
                   " $USER), then log out and in again.";
#endif
        }
    }
#else
    Q_UNUSED(devicePath);
#endif
    return "Close any other program that uses the port, then try again.";
}

}  // namespace velmoro
