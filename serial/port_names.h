#pragma once

// How "COM1" to "COM9" reach serial devices. On Windows COMn is the port of
// that name. Elsewhere the variable VELMORO_COM<n> names the device of COMn
// when it is set; otherwise COMn is the n-th serial device present, USB
// adapters first, then on-board ports that really exist, each group in the
// natural order of their device names (ttyUSB2 before ttyUSB10).

#include <QList>
#include <QString>

namespace velmoro {

struct SerialDevice {
    QString path;         // /dev/ttyUSB0, COM3
    QString description;  // what the system says the device is
    QString usbIdentity;  // "vid:pid manufacturer serial", empty if not USB
};

QList<SerialDevice> ListSerialDevices();

// The device that COMn reaches now; empty when there is none. how, when
// given, tells where the answer came from.
QString ComPortDevice(int n, QString* how = nullptr);

// For a device that could not be opened because of its permissions: what the
// user can do about it (the group that owns the device).
QString PermissionAdvice(const QString& devicePath);

}  // namespace velmoro
