#pragma once

// A simulated hand controller at the protocol level: it takes the bytes the
// host sends, answers as a controller would, and checks on the way that the
// host behaves exactly: every command in its place, every block's check
// byte, every write inside an erased and blank-checked range and never twice.
// No I/O of its own: a pseudo-terminal front end or a test feeds it.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "data_block.h"

namespace velmoro::sim {

inline constexpr std::uint32_t kInternalFlashBase = 0x00004000;
inline constexpr std::uint32_t kInternalFlashEnd = 0x00400000;  // a 4 MiB device
inline constexpr std::uint32_t kExternalFirstBase = 0x81140000;
inline constexpr std::uint32_t kExternalFirstEnd = 0x81144000;
inline constexpr std::uint32_t kExternalSecondBase = 0x81150000;
inline constexpr std::uint32_t kExternalSecondEnd = 0x81190000;
inline constexpr std::uint32_t kSectorSize = 0x1000;
inline constexpr std::uint32_t kBlockBytes = 0x400;
inline constexpr std::uint8_t kBeaconByteValue = 0xAA;

// The check byte of a block as the controller works it out: CRC-8 with the
// polynomial 0x07 from 0, bit by bit. Written apart from the downloader's
// table so that a fault in the one cannot hide behind the same fault in the
// other.
std::uint8_t CheckByte(const std::uint8_t* bytes, std::size_t count);

class CHandControllerModel {
public:
    // beaconsBeforeGreeting: beacon bytes the controller waits for after a
    // reset before it greets.
    explicit CHandControllerModel(int beaconsBeforeGreeting = 1);

    // Bytes from the host; returns the controller's replies to them, in order.
    std::string Receive(const std::uint8_t* bytes, std::size_t count);

    // The controller answered with an error and stopped listening, as a real
    // one does: from now on only beacons may come, since a host that never saw
    // the greeting keeps its beacon running.
    void Abort();

    bool Finished() const { return finished_; }
    // ":QUIT_OK#" was sent or the controller aborted.
    bool Ended() const { return phase_ == Phase::Done; }
    // Everything the host did that a controller would not accept.
    const std::vector<std::string>& Violations() const { return violations_; }
    const std::vector<std::string>& Commands() const { return commands_; }
    int BeaconCount() const { return beacons_; }
    // Bytes that reached the controller after the end, beacons included.
    std::size_t BytesAfterEnd() const { return bytesAfterEnd_; }

    // Written blocks by flash address.
    const std::map<std::uint32_t, Payload>& Internal() const { return internal_; }
    const std::map<std::uint32_t, Payload>& External() const { return external_; }

private:
    enum class Phase { Beacon, Command, Block, Done };

    std::string Command(const std::string& command);
    std::string Violation(std::string text, std::string reply);
    std::string EraseSector(std::uint32_t address);
    std::string BlankCheckSector(std::uint32_t address);
    std::string Write(std::uint32_t address, bool internal);
    static bool ParseAddress(const std::string& command, std::size_t prefixLength,
                             std::uint32_t& address);

    Phase phase_ = Phase::Beacon;
    int beaconsBeforeGreeting_;
    int beacons_ = 0;
    bool versionAsked_ = false;
    bool internalErased_ = false;
    bool internalChecked_ = false;
    std::map<std::uint32_t, bool> sectors_;  // erased sector -> blank-checked
    std::string pendingCommand_;
    std::vector<std::uint8_t> blockBytes_;
    bool blockPending_ = false;
    Payload pendingPayload_{};
    bool finished_ = false;
    std::size_t bytesAfterEnd_ = 0;
    bool reportedAfterEnd_ = false;
    std::vector<std::string> violations_;
    std::vector<std::string> commands_;
    std::map<std::uint32_t, Payload> internal_;
    std::map<std::uint32_t, Payload> external_;
};

}  // namespace velmoro::sim
