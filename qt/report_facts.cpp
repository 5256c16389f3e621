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
#include <cstdio>

namespace velmoro {

std::string SystemDescription() {
    QString kernel = QSysInfo::kernelType();
    if (!kernel.isEmpty()) {
        kernel[0] = kernel[0].toUpper();
    }
    return (kernel + " " + QSysInfo::kernelVersion() + " " +
            QSysInfo::currentCpuArchitecture() + " (" + QSysInfo::prettyProductName() + ")")
        .toStdString();
}

ReportFacts DeviceReportFacts(const std::string& device) {
    ReportFacts facts;
    const QString path = QString::fromStdString(device);
    const QString canonical = QFileInfo(path).canonicalFilePath();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (info.systemLocation() != path && info.systemLocation() != canonical) {
            continue;
        }
        if (!info.description().isEmpty()) {
            facts.emplace_back("Adapter", info.description().toStdString());
        }
        if (!info.manufacturer().isEmpty()) {
            facts.emplace_back("Manufacturer", info.manufacturer().toStdString());
        }
        if (info.hasVendorIdentifier()) {
            char ids[16];
            std::snprintf(ids, sizeof ids, "%04x:%04x", info.vendorIdentifier(),
                          info.productIdentifier());
            facts.emplace_back("USB ids", ids);
        }
        if (!info.serialNumber().isEmpty()) {
            facts.emplace_back("Serial number", info.serialNumber().toStdString());
        }
        break;
    }
    // USB-serial drivers that buffer replies (FTDI's) say for how long.
    const QString name = QFileInfo(canonical.isEmpty() ? path : canonical).fileName();
    QFile latency("/sys/class/tty/" + name + "/device/latency_timer");
    if (latency.open(QIODevice::ReadOnly)) {
        const QByteArray value = latency.read(16).trimmed();
        if (!value.isEmpty()) {
            facts.emplace_back("Latency timer", value.toStdString() + " ms");
        }
    }
    return facts;
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
