#include "serial_port_face.h"

#include <chrono>
#include <thread>

namespace velmoro {

bool CSerialPortFace::PreparePort(std::string& errorText) {
    if (comm_.GetPortOpen()) {
        comm_.SetPortOpen(false);
    }
    // A reopened port is given half a second to settle, the program's only
    // wait; it holds the user-interface thread.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    comm_.SetCommPort(static_cast<short>(PortNumber()));
    comm_.SetSettings(kLineSettings);
    comm_.SetRThreshold(1);
    comm_.SetInputMode(1);
    comm_.SetInputLen(0);
    comm_.SetOutBufferSize(2048);
    if (!comm_.SetPortOpen(true)) {
        errorText = comm_.ErrorText();
        return false;
    }
    return true;
}

}  // namespace velmoro
