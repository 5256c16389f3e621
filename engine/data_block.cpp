#include "data_block.h"

#include <algorithm>

#include "data_file.h"

namespace velmoro {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Catalogue blocks of the first range start at 0x81140000 = 0x204500 * 0x400.
constexpr std::int32_t kCatalogIndexBase = 0x2044FF;
constexpr std::int32_t kImageIndexBase = 15;  // block 1 at 0x00004000
constexpr std::uint32_t kSectorBase = 0x8113F;

}  // namespace

std::uint8_t Crc8(std::span<const std::uint8_t> bytes) {
    std::uint8_t crc = 0;
    for (std::uint8_t byte : bytes) {
        crc = Crc8Step(crc, byte);
    }
    return crc;
}

DataBlock MakeDataBlock(const Payload& payload) {
    DataBlock block{};
    std::copy(payload.begin(), payload.end(), block.begin());
    block[kPayloadSize] = Crc8(payload);
    return block;
}

std::size_t ReadImagePiece(CDataFile& dataFile, Payload& payload) {
    const std::size_t got = dataFile.ReadBytes(payload.data(), payload.size());
    std::fill(payload.begin() + static_cast<std::ptrdiff_t>(got), payload.end(), std::uint8_t{0});
    return got;
}

std::string SectorText(std::int32_t blockCounter) {
    std::uint32_t sector = static_cast<std::uint32_t>(blockCounter) + kSectorBase;
    std::string text(5, '0');
    for (int i = 4; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kHexDigits[sector & 0xFU];
        sector >>= 4;
    }
    return text;
}

std::int32_t ImageBlockIndex(std::int32_t blockCounter) {
    return blockCounter + kImageIndexBase;
}

std::int32_t CatalogBlockIndex(std::int32_t blockCounter, const CatalogPosition& position) {
    const std::int32_t offset =
        (!position.firstLayout && !position.sectionEnded) ? position.sectionOffset : 0;
    return blockCounter + kCatalogIndexBase + offset;
}

std::string BlockText(std::int32_t v) {
    const auto value = static_cast<std::uint32_t>(v);
    std::uint32_t q = value / 4;
    std::string text(6, '0');
    for (int i = 4; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kHexDigits[q & 0xFU];
        q >>= 4;
    }
    text[5] = kHexDigits[static_cast<std::size_t>(4 * (value % 4))];
    return text;
}

}  // namespace velmoro
