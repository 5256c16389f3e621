// CMSComm on QSerialPort (Linux and macOS). QSerialPort raises readyRead on
// the thread that owns it and writes in the background: the receive event
// and the output that never waits.

#include <QMetaObject>
#include <QSerialPort>
#include <QString>

#include "faces.h"
#include "ms_comm.h"
#include "port_names.h"

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace velmoro {

struct CMSComm::Backend {
    QSerialPort port;
};

namespace {

QSerialPort::Parity ToParity(char parity) {
    switch (parity) {
        case 'e':
            return QSerialPort::EvenParity;
        case 'o':
            return QSerialPort::OddParity;
        case 'm':
            return QSerialPort::MarkParity;
        case 's':
            return QSerialPort::SpaceParity;
        default:
            return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits ToStopBits(int tenths) {
    return tenths == 15   ? QSerialPort::OneAndHalfStop
           : tenths == 20 ? QSerialPort::TwoStop
                          : QSerialPort::OneStop;
}

void RequestLowLatency([[maybe_unused]] QSerialPort& port) {
#ifdef Q_OS_LINUX
    // USB-serial adapters hold received bytes back for up to 16 ms unless
    // asked not to; each reply of the controller would wait that long.
    // Devices without the setting (pseudo-terminals, some drivers) refuse
    // it, which is fine.
    serial_struct serial{};
    const int fd = static_cast<int>(port.handle());
    if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &serial);
    }
#endif
}

}  // namespace

CMSComm::CMSComm() : backend_(std::make_unique<Backend>()) {
    QSerialPort& port = backend_->port;
    QObject::connect(&port, &QSerialPort::readyRead, [this] {
        if (rThreshold_ > 0 && backend_->port.bytesAvailable() >= rThreshold_) {
            Raise(kCommEventReceive);
        }
    });
    QObject::connect(
        &port, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError error) {
            // A device that went away (adapter unplugged, the other end hung up)
            // gives a resource error, or a read error that would repeat for as
            // long as the port stays open; line errors and the like change
            // nothing.
            const bool lost = error == QSerialPort::ResourceError ||
                              error == QSerialPort::ReadError || error == QSerialPort::WriteError;
            if (!lost || !backend_->port.isOpen()) {
                return;
            }
            lossReason_ = "the device went away, or the line was hung up";
            errorText_ = "The port " + deviceName_ + " failed: " + lossReason_ + ".";
            backend_->port.close();
            // Raised from the event loop, never from inside the call that met
            // the failure, so that the handler never runs inside a send of its
            // own.
            QMetaObject::invokeMethod(
                &backend_->port, [this] { Raise(kCommEventPortLost); }, Qt::QueuedConnection);
        });
}

CMSComm::~CMSComm() {
    backend_->port.close();
}

void CMSComm::DeviceRemoved(std::string_view device) {
    if (!GetPortOpen() || device != deviceName_) {
        return;
    }
    lossReason_ = "the system reports the device removed";
    errorText_ = "The port " + deviceName_ + " failed: " + lossReason_ + ".";
    backend_->port.close();
    QMetaObject::invokeMethod(
        &backend_->port, [this] { Raise(kCommEventPortLost); }, Qt::QueuedConnection);
}

bool CMSComm::GetPortOpen() const {
    return backend_->port.isOpen();
}

bool CMSComm::SetPortOpen(bool open) {
    QSerialPort& port = backend_->port;
    if (!open) {
        port.close();
        return true;
    }
    if (port.isOpen()) {
        return true;
    }
    std::string how;
    deviceName_ = devicePath_.empty() ? ComPortDevice(commPort_, &how) : devicePath_;
    const std::string portLabel =
        devicePath_.empty() ? "COM" + std::to_string(commPort_) : devicePath_;
    if (deviceName_.empty()) {
        errorText_ = "Cannot open " + portLabel + ": " + how + ".";
        return false;
    }
    if (devicePath_.empty() && !IsShownDevice(deviceName_)) {
        return false;
    }
    port.setPortName(QString::fromStdString(deviceName_));
    port.setBaudRate(settings_.baudRate);
    port.setParity(ToParity(settings_.parity));
    port.setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits));
    port.setStopBits(ToStopBits(settings_.stopTenths));
    port.setFlowControl(QSerialPort::NoFlowControl);
    // The input buffer is unlimited: every received byte waits until taken.
    port.setReadBufferSize(0);
    if (!port.open(QIODevice::ReadWrite)) {
        const std::string where =
            deviceName_ == portLabel ? portLabel : portLabel + " (" + deviceName_ + ")";
        std::string reason;
        switch (port.error()) {
            case QSerialPort::DeviceNotFoundError:
                reason = "the device does not exist. Check the cable, or choose another port.";
                break;
            case QSerialPort::PermissionError:
                reason = "permission denied, or another program holds the port. " +
                         PermissionAdvice(deviceName_);
                break;
            default:
                reason = port.errorString().toStdString() + ".";
                break;
        }
        errorText_ = "Cannot open " + where + ": " + reason;
        return false;
    }
    bytesSent_ = 0;
    RequestLowLatency(port);
    return true;
}

void CMSComm::SetOutput(std::span<const std::uint8_t> bytes) {
    if (!backend_->port.isOpen()) {
        return;
    }
    bytesSent_ += static_cast<long long>(bytes.size());
    backend_->port.write(reinterpret_cast<const char*>(bytes.data()),
                         static_cast<qint64>(bytes.size()));
}

std::vector<std::uint8_t> CMSComm::GetInput() {
    QSerialPort& port = backend_->port;
    if (!port.isOpen()) {
        return {};
    }
    const QByteArray input = inputLen_ > 0 ? port.read(inputLen_) : port.readAll();
    return std::vector<std::uint8_t>(input.begin(), input.end());
}

}  // namespace velmoro
