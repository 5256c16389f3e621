#include "port_names.h"

#include <QCollator>
#include <QSerialPortInfo>
#include <QtGlobal>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#endif

namespace velmoro {

QList<SerialDevice> ListSerialDevices() {
    QList<QSerialPortInfo> usb;
    QList<QSerialPortInfo> onBoard;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        (info.hasVendorIdentifier() ? usb : onBoard).append(info);
    }
    QCollator collator;
    collator.setNumericMode(true);
    const auto byName = [&collator](const QSerialPortInfo& a, const QSerialPortInfo& b) {
        return collator.compare(a.systemLocation(), b.systemLocation()) < 0;
    };
    std::sort(usb.begin(), usb.end(), byName);
    std::sort(onBoard.begin(), onBoard.end(), byName);

    QList<SerialDevice> devices;
    for (const QSerialPortInfo& info : usb + onBoard) {
        SerialDevice device;
#ifdef Q_OS_WIN
        device.path = info.portName();
#else
        device.path = info.systemLocation();
#endif
        device.description = info.description();
        if (info.hasVendorIdentifier()) {
            device.usbIdentity = QStringLiteral("%1:%2")
                                     .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                                     .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
            for (const QString& part : {info.manufacturer(), info.serialNumber()}) {
                if (!part.isEmpty()) {
                    device.usbIdentity += QLatin1Char(' ') + part;
                }
            }
        }
        devices.append(device);
    }
    return devices;
}

QString ComPortDevice(int n, QString* how) {
    QString unused;
    QString& reason = how != nullptr ? *how : unused;
    if (n < 1 || n > 9) {
        reason = QStringLiteral("only COM1 to COM9 exist");
        return {};
    }
#ifdef Q_OS_WIN
    reason = QStringLiteral("the Windows port of that name");
    return QStringLiteral("COM%1").arg(n);
#else
    const QByteArray variable = "VELMORO_COM" + QByteArray::number(n);
    QString named = qEnvironmentVariable(variable.constData());
    if (!named.isEmpty()) {
        reason = QStringLiteral("named by %1").arg(QString::fromLatin1(variable));
        return named;
    }
    const QList<SerialDevice> devices = ListSerialDevices();
    if (n > devices.size()) {
        reason = devices.isEmpty() ? QStringLiteral(
                                         "no serial device is present. Plug in the cable, or set "
                                         "%1 to the device")
                                         .arg(QString::fromLatin1(variable))
                                   : QStringLiteral(
                                         "only %1 serial device(s) present, COM%2 is not one of "
                                         "them. Choose a lower port, or set %3 to the device")
                                         .arg(devices.size())
                                         .arg(n)
                                         .arg(QString::fromLatin1(variable));
        return {};
    }
    reason = QStringLiteral("serial device number %1 present").arg(n);
    return devices[n - 1].path;
#endif
}

QString PermissionAdvice(const QString& devicePath) {
#ifdef Q_OS_UNIX
    struct stat info {};
    const QByteArray path = devicePath.toLocal8Bit();
    if (stat(path.constData(), &info) == 0) {
        const group* owner = getgrgid(info.st_gid);
        if (owner != nullptr && owner->gr_gid != 0) {
            const QString name = QString::fromLocal8Bit(owner->gr_name);
#ifdef Q_OS_MACOS
            return QStringLiteral(
                       "The device belongs to the group \"%1\": add your user to "
                       "it (sudo dseditgroup -o edit -a $USER -t user %1), then log "
                       "out and in again.")
                .arg(name);
#else
            return QStringLiteral(
                       "The device belongs to the group \"%1\": add your user to "
                       "it (sudo usermod -aG %1 $USER), then log out and in again.")
                .arg(name);
#endif
        }
    }
#else
    Q_UNUSED(devicePath);
#endif
    return QStringLiteral("Close any other program that uses the port, then try again.");
}

}  // namespace velmoro
