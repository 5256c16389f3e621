#pragma once

// The engine's port face on the program's serial port: PreparePort sets the
// port up for a transfer, the rest passes straight through.

#include "faces.h"
#include "ms_comm.h"

namespace velmoro {

class CSerialPortFace : public IPortFace {
public:
    // PreparePort opens the port that portNumber names at that moment (1 for
    // "COM1"). The face keeps no copy: the number stays where the user sets
    // it, so the port opened is always the one the user chose.
    CSerialPortFace(CMSComm& comm, const int& portNumber) : comm_(comm), portNumber_(&portNumber) {}
    // A face that keeps the number itself, set with SetPortNumber.
    explicit CSerialPortFace(CMSComm& comm) : comm_(comm), portNumber_(&ownPortNumber_) {}
    // A copy would read the number of the face it was copied from.
    CSerialPortFace(const CSerialPortFace&) = delete;
    CSerialPortFace& operator=(const CSerialPortFace&) = delete;

    void SetPortNumber(int portNumber) { ownPortNumber_ = portNumber; }
    int PortNumber() const { return *portNumber_; }

    bool PreparePort(std::string& errorText) override;
    bool GetPortOpen() const override { return comm_.GetPortOpen(); }
    void SetOutput(std::string_view text) override { comm_.SetOutput(text); }
    void SetOutput(std::span<const std::uint8_t> bytes) override { comm_.SetOutput(bytes); }
    int GetCommEvent() const override { return comm_.GetCommEvent(); }
    std::vector<std::uint8_t> GetInput() override { return comm_.GetInput(); }
    std::string LossReason() const override { return comm_.LossReason(); }

private:
    CMSComm& comm_;
    int ownPortNumber_ = 1;
    const int* portNumber_;
};

}  // namespace velmoro
