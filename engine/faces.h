#pragma once

// The two narrow faces through which the engine acts: the serial port and
// the main window. The desktop program implements both with its controls,
// the command-line program with a port and a terminal, the tests with
// recording fakes.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "transfer_end.h"

namespace velmoro {

enum class UpdateType { MainProgram, ObjectCatalog };

// Serial event codes: received bytes are waiting; the port failed while
// open (the device went away), which ends a running transfer. Line errors
// have codes of their own and are ignored.
inline constexpr int kCommEventReceive = 2;
inline constexpr int kCommEventPortLost = 1100;

// The line every transfer runs on: baud, parity, data bits, stop bits.
inline constexpr std::string_view kLineSettings = "115200,n,8,1";

class IPortFace {
public:
    virtual ~IPortFace() = default;

    // Closes the port if open, waits 500 ms, configures it for
    // kLineSettings and opens it. On failure returns false and puts the
    // port's own description of the failure in errorText.
    virtual bool PreparePort(std::string& errorText) = 0;
    virtual bool GetPortOpen() const = 0;
    // Both return at once; the bytes leave in order, after everything sent
    // before. Text goes out as its 8-bit codes with nothing added.
    virtual void SetOutput(std::string_view text) = 0;
    virtual void SetOutput(std::span<const std::uint8_t> bytes) = 0;
    virtual int GetCommEvent() const = 0;
    // Every received byte not yet taken, oldest first, each once.
    virtual std::vector<std::uint8_t> GetInput() = 0;
    // After the port was lost: what the system reported, in its own words
    // (empty when it said nothing).
    virtual std::string LossReason() const = 0;
};

class IWindowFace {
public:
    virtual ~IWindowFace() = default;

    virtual void ClearLog() = 0;
    // text ends in "\r\n"; it goes to the end of the log.
    virtual void AppendLog(std::string_view text) = 0;
    virtual void SetStartStopCaption(std::string_view caption) = 0;
    virtual void EnableOpenButton(bool enable) = 0;
    virtual void StartBeaconTimer(int periodMs) = 0;
    virtual void StopBeaconTimer() = 0;
    virtual std::filesystem::path DataFilePath() const = 0;
    virtual UpdateType GetUpdateType() const = 0;
    virtual void SetProgressRange(int lower, int upper) = 0;
    virtual void SetProgressPos(int pos) = 0;
    // The port could not be opened; errorText is the port's description.
    virtual void ReportPortFailure(std::string_view errorText) = 0;
    // A data file looks wrong: asks whether to send it anyway. True for
    // Yes; No is the default answer.
    virtual bool AskQuestion(std::string_view question) = 0;
    // Once for every Start, after the last log line of that transfer: how
    // it ended.
    virtual void TransferEnded(const TransferEnd& end) = 0;
};

}  // namespace velmoro
