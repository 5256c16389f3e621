#include "ms_comm.h"

#include <QMetaObject>
#include <QStringList>

#include "faces.h"
#include "port_names.h"

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace velmoro {

CMSComm::CMSComm(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &CMSComm::HandleReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &CMSComm::HandleError);
}

CMSComm::~CMSComm() {
    port_.close();
}

bool CMSComm::GetPortOpen() const {
    return port_.isOpen();
}

bool CMSComm::SetSettings(const QString& settings) {
    const QStringList parts = settings.split(',');
    if (parts.size() != 4) {
        return false;
    }
    bool ok = false;
    const qint32 baud = parts[0].trimmed().toInt(&ok);
    if (!ok || baud <= 0) {
        return false;
    }
    QSerialPort::Parity parity = QSerialPort::NoParity;
    const QString parityText = parts[1].trimmed().toLower();
    if (parityText == "n") {
        parity = QSerialPort::NoParity;
    } else if (parityText == "e") {
        parity = QSerialPort::EvenParity;
    } else if (parityText == "o") {
        parity = QSerialPort::OddParity;
    } else if (parityText == "m") {
        parity = QSerialPort::MarkParity;
    } else if (parityText == "s") {
        parity = QSerialPort::SpaceParity;
    } else {
        return false;
    }
    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8) {
        return false;
    }
    const QString stopText = parts[3].trimmed();
    QSerialPort::StopBits stop = QSerialPort::OneStop;
    if (stopText == "1") {
        stop = QSerialPort::OneStop;
    } else if (stopText == "1.5") {
        stop = QSerialPort::OneAndHalfStop;
    } else if (stopText == "2") {
        stop = QSerialPort::TwoStop;
    } else {
        return false;
    }
    baudRate_ = baud;
    parity_ = parity;
    dataBits_ = static_cast<QSerialPort::DataBits>(bits);
    stopBits_ = stop;
    return true;
}

bool CMSComm::SetPortOpen(bool open) {
    if (!open) {
        port_.close();
        return true;
    }
    if (port_.isOpen()) {
        return true;
    }
    QString how;
    deviceName_ = devicePath_.isEmpty() ? ComPortDevice(commPort_, &how) : devicePath_;
    const QString portLabel =
        devicePath_.isEmpty() ? QStringLiteral("COM%1").arg(commPort_) : devicePath_;
    if (deviceName_.isEmpty()) {
        errorText_ = QStringLiteral("Cannot open %1: %2.").arg(portLabel, how);
        return false;
    }
    port_.setPortName(deviceName_);
    port_.setBaudRate(baudRate_);
    port_.setParity(parity_);
    port_.setDataBits(dataBits_);
    port_.setStopBits(stopBits_);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    // The input buffer is unlimited: every received byte waits until taken.
    port_.setReadBufferSize(0);
    if (!port_.open(QIODevice::ReadWrite)) {
        const QString where = deviceName_ == portLabel
                                  ? portLabel
                                  : QStringLiteral("%1 (%2)").arg(portLabel, deviceName_);
        QString reason;
        switch (port_.error()) {
            case QSerialPort::DeviceNotFoundError:
                reason = QStringLiteral(
                    "the device does not exist. Check the cable, or choose "
                    "another port.");
                break;
            case QSerialPort::PermissionError:
                reason = QStringLiteral("permission denied, or another program holds the port. ") +
                         PermissionAdvice(deviceName_);
                break;
            default:
                reason = port_.errorString() + QStringLiteral(".");
                break;
        }
        errorText_ = QStringLiteral("Cannot open %1: %2").arg(where, reason);
        return false;
    }
    port_.clearError();
    bytesSent_ = 0;
    RequestLowLatency();
    return true;
}

void CMSComm::RequestLowLatency() {
#ifdef Q_OS_LINUX
    // USB-serial adapters hold received bytes back for up to 16 ms unless
    // asked not to; each reply of the controller would wait that long.
    // Devices without the setting (pseudo-terminals, some drivers) refuse
    // it, which is fine.
    serial_struct serial{};
    const int fd = static_cast<int>(port_.handle());
    if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &serial);
    }
#endif
}

void CMSComm::SetOutput(const QByteArray& bytes) {
    if (!port_.isOpen()) {
        return;
    }
    bytesSent_ += bytes.size();
    port_.write(bytes);
}

void CMSComm::SetOutput(std::string_view text) {
    SetOutput(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

QByteArray CMSComm::GetInput() {
    if (!port_.isOpen()) {
        return {};
    }
    return inputLen_ > 0 ? port_.read(inputLen_) : port_.readAll();
}

void CMSComm::HandleReadyRead() {
    if (rThreshold_ <= 0 || port_.bytesAvailable() < rThreshold_) {
        return;
    }
    commEvent_ = kCommEventReceive;
    emit OnComm();
}

void CMSComm::HandleError(QSerialPort::SerialPortError error) {
    // A device that went away (adapter unplugged, the other end hung up)
    // gives a resource error, or a read error that would repeat for as long
    // as the port stays open; line errors and the like change nothing.
    const bool lost = error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
                      error == QSerialPort::WriteError;
    if (!lost || !port_.isOpen()) {
        return;
    }
    errorText_ = QStringLiteral(
                     "The port %1 failed: the device went away, or the line was "
                     "hung up.")
                     .arg(deviceName_);
    port_.close();
    // Raised from the event loop, never from inside the call that met the
    // failure, so that the handler never runs inside a send of its own.
    QMetaObject::invokeMethod(
        this,
        [this] {
            commEvent_ = kCommEventPortLost;
            emit OnComm();
        },
        Qt::QueuedConnection);
}

}  // namespace velmoro
