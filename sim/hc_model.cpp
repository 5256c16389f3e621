#include "hc_model.h"

#include <algorithm>
#include <cstdio>

namespace velmoro::sim {

namespace {

constexpr std::size_t kMaxCommandLength = 64;

bool InRange(std::uint32_t address, std::uint32_t begin, std::uint32_t end) {
    return address >= begin && address < end;
}

bool IsExternal(std::uint32_t address) {
    return InRange(address, kExternalFirstBase, kExternalFirstEnd) ||
           InRange(address, kExternalSecondBase, kExternalSecondEnd);
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

}  // namespace

std::uint8_t CheckByte(const std::uint8_t* bytes, std::size_t count) {
    unsigned crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80U) != 0 ? ((crc << 1) ^ 0x07U) & 0xFFU : (crc << 1) & 0xFFU;
        }
    }
    return static_cast<std::uint8_t>(crc);
}

CHandControllerModel::CHandControllerModel(int beaconsBeforeGreeting)
    : beaconsBeforeGreeting_(std::max(1, beaconsBeforeGreeting)) {}

std::string CHandControllerModel::Violation(std::string text, std::string reply) {
    violations_.emplace_back(std::move(text));
    return reply;
}

void CHandControllerModel::Abort() {
    phase_ = Phase::Done;
    pendingCommand_.clear();
    blockBytes_.clear();
    blockPending_ = false;
}

std::string CHandControllerModel::Receive(const std::uint8_t* bytes, std::size_t count) {
    std::string replies;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t byte = bytes[i];
        switch (phase_) {
            case Phase::Done:
                ++bytesAfterEnd_;
                if (byte != kBeaconByteValue && !reportedAfterEnd_) {
                    // One report: what follows is most likely the rest of the same command.
                    reportedAfterEnd_ = true;
                    char text[48];
                    std::snprintf(text, sizeof text, "bytes after the end, the first 0x%02X", byte);
                    violations_.emplace_back(text);
                }
                break;
            case Phase::Beacon:
                if (byte != kBeaconByteValue) {
                    violations_.emplace_back("byte " + Hex(byte) + " before the greeting");
                } else if (++beacons_ == beaconsBeforeGreeting_) {
                    phase_ = Phase::Command;
                    replies += ":OK#";
                }
                break;
            case Phase::Block:
                blockBytes_.push_back(byte);
                if (blockBytes_.size() == kDataBlockSize) {
                    phase_ = Phase::Command;
                    std::copy_n(blockBytes_.begin(), kPayloadSize, pendingPayload_.begin());
                    if (CheckByte(pendingPayload_.data(), kPayloadSize) !=
                        blockBytes_[kPayloadSize]) {
                        replies += Violation("block with a wrong check byte", ":RB_ERR#");
                    } else {
                        blockPending_ = true;
                        replies += ":RB_OK#";
                    }
                    blockBytes_.clear();
                }
                break;
            case Phase::Command:
                if (byte == kBeaconByteValue && pendingCommand_.empty()) {
                    ++beacons_;  // beacons still in flight after the greeting
                    break;
                }
                pendingCommand_.push_back(static_cast<char>(byte));
                if (pendingCommand_.front() != ':') {
                    violations_.emplace_back("stray byte " + Hex(byte) + " between commands");
                    pendingCommand_.clear();
                } else if (byte == '#') {
                    std::string command;
                    command.swap(pendingCommand_);
                    commands_.push_back(command);
                    replies += Command(command);
                } else if (pendingCommand_.size() > kMaxCommandLength) {
                    violations_.emplace_back("command without its '#'");
                    pendingCommand_.clear();
                }
                break;
        }
    }
    return replies;
}

bool CHandControllerModel::ParseAddress(const std::string& command, std::size_t prefixLength,
                                        std::uint32_t& address) {
    // prefix, eight uppercase hexadecimal digits, '#'
    if (command.size() != prefixLength + 9) {
        return false;
    }
    address = 0;
    for (std::size_t i = prefixLength; i < prefixLength + 8; ++i) {
        const char c = command[i];
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else {
            return false;
        }
        address = address * 16 + digit;
    }
    return true;
}

std::string CHandControllerModel::Command(const std::string& command) {
    std::uint32_t address = 0;
    if (command == ":GET_VER00#") {
        versionAsked_ = true;
        return ":English Ver1.0#";
    }
    if (!versionAsked_) {
        return Violation(command + " before the version was asked", ":EI_ERR#");
    }
    if (command == ":ERASE_INT#") {
        internalErased_ = true;
        internalChecked_ = false;
        internal_.clear();
        return ":EI_OK#";
    }
    if (command == ":CHKBL_INT#") {
        if (!internalErased_) {
            return Violation("blank check of the internal flash before its erase", ":BI_ERR#");
        }
        internalChecked_ = true;
        return ":BI_OK#";
    }
    if (command.rfind(":ERASE_EXT ", 0) == 0 && ParseAddress(command, 11, address)) {
        return EraseSector(address);
    }
    if (command.rfind(":CHKBL_EXT ", 0) == 0 && ParseAddress(command, 11, address)) {
        return BlankCheckSector(address);
    }
    if (command == ":DOWN DATA#") {
        if (blockPending_) {
            violations_.emplace_back("a block sent before the last one was written");
        }
        phase_ = Phase::Block;
        return {};
    }
    if (command.rfind(":RAMTO_INT ", 0) == 0 && ParseAddress(command, 11, address)) {
        return Write(address, true);
    }
    if (command.rfind(":RAMTO_EXT ", 0) == 0 && ParseAddress(command, 11, address)) {
        return Write(address, false);
    }
    if (command == ":QUIT_COMM#") {
        if (blockPending_) {
            violations_.emplace_back("quit with a block received but not written");
        }
        phase_ = Phase::Done;
        finished_ = true;
        return ":QUIT_OK#";
    }
    return Violation("unknown command " + command, ":EI_ERR#");
}

std::string CHandControllerModel::EraseSector(std::uint32_t address) {
    if (address % kSectorSize != 0 || !IsExternal(address)) {
        return Violation("erase outside the catalogue ranges at " + Hex(address), ":EX_ERR#");
    }
    sectors_[address] = false;
    for (std::uint32_t block = address; block < address + kSectorSize; block += kBlockBytes) {
        external_.erase(block);
    }
    return ":EX_OK#";
}

std::string CHandControllerModel::BlankCheckSector(std::uint32_t address) {
    const auto sector = sectors_.find(address);
    if (sector == sectors_.end()) {
        return Violation("blank check of a sector not erased at " + Hex(address), ":BX_ERR#");
    }
    sector->second = true;
    return ":BX_OK#";
}

std::string CHandControllerModel::Write(std::uint32_t address, bool internal) {
    const char* error = internal ? ":WI_ERR#" : ":WE_ERR#";
    if (!blockPending_) {
        return Violation("write of " + Hex(address) + " without a block", error);
    }
    blockPending_ = false;
    if (address % kBlockBytes != 0) {
        return Violation("write at an unaligned address " + Hex(address), error);
    }
    if (internal) {
        if (!internalChecked_ || !InRange(address, kInternalFlashBase, kInternalFlashEnd)) {
            return Violation("internal write outside the erased flash at " + Hex(address), error);
        }
        if (!internal_.emplace(address, pendingPayload_).second) {
            return Violation("second write of " + Hex(address), error);
        }
        return ":WI_OK#";
    }
    const auto sector = sectors_.find(address - address % kSectorSize);
    if (!IsExternal(address) || sector == sectors_.end() || !sector->second) {
        return Violation("external write outside the erased ranges at " + Hex(address), error);
    }
    if (!external_.emplace(address, pendingPayload_).second) {
        return Violation("second write of " + Hex(address), error);
    }
    return ":WE_OK#";
}

}  // namespace velmoro::sim
