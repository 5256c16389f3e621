#pragma once

// The engine's port face on the program's serial port: PreparePort sets the
// port up for a transfer, the rest passes straight through.

#include "faces.h"
#include "ms_comm.h"

namespace velmoro {

class CSerialPortFace : public IPortFace {
public:
    explicit CSerialPortFace(CMSComm& comm) : comm_(comm) {}

    // 1 for "COM1"; used at the next PreparePort.
    void SetPortNumber(int portNumber) { portNumber_ = portNumber; }
    int PortNumber() const { return portNumber_; }

    bool PreparePort(std::string& errorText) override;
    bool GetPortOpen() const override { return comm_.GetPortOpen(); }
    void SetOutput(std::string_view text) override { comm_.SetOutput(text); }
    void SetOutput(std::span<const std::uint8_t> bytes) override { comm_.SetOutput(bytes); }
    int GetCommEvent() const override { return comm_.GetCommEvent(); }
    std::vector<std::uint8_t> GetInput() override { return comm_.GetInput(); }

private:
    CMSComm& comm_;
    int portNumber_ = 1;
};

}  // namespace velmoro
