#include "serial_port_face.h"

#include <QThread>

namespace velmoro {

bool CSerialPortFace::PreparePort(std::string& errorText) {
    if (comm_.GetPortOpen()) {
        comm_.SetPortOpen(false);
    }
    // A reopened port is given half a second to settle, the program's only
    // wait; it holds the user-interface thread.
    QThread::msleep(500);
    comm_.SetCommPort(static_cast<short>(PortNumber()));
    comm_.SetSettings(QStringLiteral("115200,n,8,1"));
    comm_.SetRThreshold(1);
    comm_.SetInputMode(1);
    comm_.SetInputLen(0);
    comm_.SetOutBufferSize(2048);
    if (!comm_.SetPortOpen(true)) {
        errorText = comm_.ErrorText().toStdString();
        return false;
    }
    return true;
}

void CSerialPortFace::SetOutput(std::span<const std::uint8_t> bytes) {
    comm_.SetOutput(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                               static_cast<qsizetype>(bytes.size())));
}

std::vector<std::uint8_t> CSerialPortFace::GetInput() {
    const QByteArray input = comm_.GetInput();
    return std::vector<std::uint8_t>(input.begin(), input.end());
}

}  // namespace velmoro
