#pragma once

// The bytes on the wire around the data: the 1025-byte block that carries
// every 1024 bytes of payload, its CRC-8 check byte, and the flash address
// texts of the erase, blank-check and write commands.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace velmoro {

class CDataFile;

inline constexpr std::size_t kPayloadSize = 1024;
inline constexpr std::size_t kDataBlockSize = kPayloadSize + 1;

using Payload = std::array<std::uint8_t, kPayloadSize>;
using DataBlock = std::array<std::uint8_t, kDataBlockSize>;

// CRC-8, polynomial 0x07, initial value 0, no reflection, no final XOR.
inline constexpr std::uint8_t kCrc8Polynomial = 0x07;

constexpr std::array<std::uint8_t, 256> MakeCrc8Table() {
    std::array<std::uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80U) != 0 ? ((crc << 1) ^ kCrc8Polynomial) : (crc << 1);
        }
        table[i] = static_cast<std::uint8_t>(crc & 0xFFU);
    }
    return table;
}

inline constexpr std::array<std::uint8_t, 256> kCrc8Table = MakeCrc8Table();

constexpr std::uint8_t Crc8Step(std::uint8_t crc, std::uint8_t byte) {
    return kCrc8Table[static_cast<std::uint8_t>(crc ^ byte)];
}

// Folds Crc8Step over the bytes from 0. The controller checks a full
// 1024-byte payload; any length is accepted so that the check value of a
// short text can be verified too.
std::uint8_t Crc8(std::span<const std::uint8_t> bytes);

// The payload followed by its check byte.
DataBlock MakeDataBlock(const Payload& payload);

// Reads the next 1024 bytes of a firmware image. Whatever the file no longer
// provides (part of the last block, or all of it) is zero filler; the check
// byte covers the filler too. Returns the number of image bytes read.
std::size_t ReadImagePiece(CDataFile& dataFile, Payload& payload);

// Catalogue erase sweep: sector number blockCounter + 0x8113F, five
// uppercase hexadecimal digits ("81141" for 2, "8118F" for 80).
std::string SectorText(std::int32_t blockCounter);

// Where a catalogue transfer stands in its file: which layout the record
// lines are in, whether the separator ended the section in the block just
// built, and the offset that sends the blocks after it to the second range.
struct CatalogPosition {
    bool firstLayout = true;
    bool sectionEnded = false;
    std::int32_t sectionOffset = 0;
};

// Block index v of the acknowledged block; the write address is v * 0x400.
std::int32_t ImageBlockIndex(std::int32_t blockCounter);
std::int32_t CatalogBlockIndex(std::int32_t blockCounter, const CatalogPosition& position);

// Six characters: v / 4 in five uppercase hexadecimal digits, then the digit
// of 4 * (v mod 4). Followed by "00" in a command they spell v * 0x400.
std::string BlockText(std::int32_t v);

// The two erased ranges of the external flash, as block indices.
inline constexpr std::int32_t kFirstRangeFirstBlock = 0x204500;   // 0x81140000
inline constexpr std::int32_t kFirstRangeBlocks = 16;             // to 0x81143FFF
inline constexpr std::int32_t kSecondRangeFirstBlock = 0x204540;  // 0x81150000
inline constexpr std::int32_t kSecondRangeBlocks = 256;           // to 0x8118FFFF

}  // namespace velmoro
