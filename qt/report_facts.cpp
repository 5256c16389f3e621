// What this system says of itself and of a serial device, for reports: the
// kernel's name and release, and what the serial port listing and sysfs know
// of the device.

#include "report_facts.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStandardPaths>
#include <QSysInfo>
#include <QtGlobal>

namespace velmoro {

AdapterFacts FindAdapterFacts(const std::string& device) {
    AdapterFacts facts;
    const QString canonical = QFileInfo(QString::fromStdString(device)).canonicalFilePath();
    const QString name =
        QFileInfo(canonical.isEmpty() ? QString::fromStdString(device) : canonical).fileName();
    const QString driver =
        QFileInfo("/sys/class/tty/" + name + "/device/driver").canonicalFilePath();
    if (driver.isEmpty()) {
        return facts;
    }
    facts.found = true;
    facts.driver = QFileInfo(driver).fileName().toStdString();
    // USB-serial drivers that buffer replies (FTDI's) say for how long.
    QFile latency("/sys/class/tty/" + name + "/device/latency_timer");
    if (latency.open(QIODevice::ReadOnly)) {
        bool number = false;
        const int ms = latency.read(16).trimmed().toInt(&number);
        if (number) {
            facts.latencyMs = ms;
        }
    }
    return facts;
}

std::string SystemDescription() {
    QString kernel = QSysInfo::kernelType();
    if (!kernel.isEmpty()) {
        kernel[0] = kernel[0].toUpper();
    }
    return (kernel + " " + QSysInfo::kernelVersion() + " " + QSysInfo::currentCpuArchitecture() +
            " (" + QSysInfo::prettyProductName() + ")")
        .toStdString();
}

ReportFacts DeviceReportFacts(const std::string& device) {
    const QString path = QString::fromStdString(device);
    const QString canonical = QFileInfo(path).canonicalFilePath();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (info.systemLocation() == path || info.systemLocation() == canonical) {
            PortFacts port;
            port.path = info.systemLocation().toStdString();
            port.description = info.description().toStdString();
            port.hasVendorId = info.hasVendorIdentifier();
            port.vendorId = info.vendorIdentifier();
            port.productId = info.productIdentifier();
            port.manufacturer = info.manufacturer().toStdString();
            return PortReportFacts(port);
        }
    }
    return {};
}

std::string ReportsFolder() {
    const QString named = qEnvironmentVariable("VELMORO_REPORTS_DIR");
    if (!named.isEmpty()) {
        return named.toStdString();
    }
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty()) {
        state = QStandardPaths::writableLocation(QStandardPaths::HomeLocation) + "/.local/state";
    }
    return (state + "/velmoro-downloader/reports").toStdString();
}

}  // namespace velmoro
