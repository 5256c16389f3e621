#include "data_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data_file.h"
#include "hc_model.h"
#include "sha256.h"
#include "transfer_end.h"

namespace velmoro {
namespace {

std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 131 + 7) ^ (i >> 8));
    }
    return bytes;
}

std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The worked check values, from the downloader's table and from the
// controller's bit-by-bit reckoning, which the simulator checks blocks with.
TEST(Crc8, CheckValues) {
    const std::string zeros(kPayloadSize, '\0');
    const std::string ones(kPayloadSize, '\xFF');
    const std::pair<std::string_view, std::uint8_t> cases[] = {
        {"123456789", 0xF4}, {"abc", 0x5F}, {zeros, 0x00}, {ones, 0xD7}, {"\x01", 0x07}};
    for (const auto& [text, check] : cases) {
        EXPECT_EQ(Crc8(AsBytes(text)), check) << text.size() << " bytes";
        EXPECT_EQ(sim::CheckByte(AsBytes(text).data(), text.size()), check) << text.size();
    }
    for (unsigned i = 0; i < 256; ++i) {
        const std::uint8_t byte = static_cast<std::uint8_t>(i);
        EXPECT_EQ(kCrc8Table[i], sim::CheckByte(&byte, 1)) << "entry " << i;
    }
}

// The check byte covers every byte of the payload, and nothing else.
TEST(DataBlock, PayloadFollowedByCheckByte) {
    Payload payload{};
    const std::vector<std::uint8_t> bytes = Pattern(kPayloadSize);
    std::copy(bytes.begin(), bytes.end(), payload.begin());
    const DataBlock block = MakeDataBlock(payload);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), block.begin()));
    EXPECT_EQ(block[kPayloadSize], sim::CheckByte(bytes.data(), bytes.size()));
}

// An image of L bytes comes as floor(L / 1024) + 1 pieces: the image bytes
// in order, then zero filler; only the last read sets the end-of-file mark.
TEST(DataBlock, ImagePiecesThenZeroFiller) {
    for (std::size_t size : {0U, 1U, 1024U, 1500U, 2048U}) {
        SCOPED_TRACE("image of " + std::to_string(size) + " bytes");
        const std::vector<std::uint8_t> image = Pattern(size);
        CDataFile dataFile;
        dataFile.Open(image);

        const std::size_t pieces = size / kPayloadSize + 1;
        for (std::size_t n = 0; n < pieces; ++n) {
            Payload payload;
            payload.fill(0xAA);  // left over from an earlier use
            const std::size_t offset = n * kPayloadSize;
            const std::size_t expected = std::min(kPayloadSize, size - offset);
            ASSERT_EQ(ReadImagePiece(dataFile, payload), expected) << "piece " << n;
            EXPECT_TRUE(std::equal(payload.begin(), payload.begin() + expected,
                                   image.begin() + static_cast<std::ptrdiff_t>(offset)));
            EXPECT_TRUE(std::all_of(payload.begin() + expected, payload.end(),
                                    [](std::uint8_t b) { return b == 0; }));
            EXPECT_EQ(dataFile.AtEnd(), n + 1 == pieces) << "piece " << n;
        }
    }
}

TEST(BlockText, WriteCommandAddresses) {
    struct Case {
        const char* what;
        std::int32_t v;
        const char* text;
    };
    const Case cases[] = {
        {"image block 1", ImageBlockIndex(1), "000040"},
        {"image block 2", ImageBlockIndex(2), "000044"},
        {"image block 4", ImageBlockIndex(4), "00004C"},
        {"image block 100", ImageBlockIndex(100), "0001CC"},
        {"catalogue block 1", CatalogBlockIndex(1, {true, false, 0}), "811400"},
        {"catalogue block 16", CatalogBlockIndex(16, {true, false, 0}), "81143C"},
        {"separator's block 3", CatalogBlockIndex(3, {false, true, 61}), "811408"},
        {"block 4 after it", CatalogBlockIndex(4, {false, false, 61}), "811500"},
        {"block 5 after it", CatalogBlockIndex(5, {false, false, 61}), "811504"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BlockText(c.v), c.text) << c.what;
    }
}

// Whatever block d the separator line is read in, that block still goes to
// the first range and the next one to the start of the second range.
TEST(BlockText, SeparatorBlockThenSecondRangeStart) {
    for (std::int32_t d = 1; d <= 16; ++d) {
        const std::int32_t sectionOffset = 63 - (d - 1);
        EXPECT_EQ(CatalogBlockIndex(d, {false, true, sectionOffset}), kFirstRangeFirstBlock + d - 1)
            << "separator in block " << d;
        EXPECT_EQ(CatalogBlockIndex(d + 1, {false, false, sectionOffset}), kSecondRangeFirstBlock)
            << "separator in block " << d;
    }
}

TEST(SectorText, EraseSweepSectors) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {1, "81140"}, {2, "81141"}, {4, "81143"}, {17, "81150"}, {80, "8118F"}};
    for (const auto& [blockCounter, text] : cases) {
        EXPECT_EQ(SectorText(blockCounter), text) << "blockCounter " << blockCounter;
    }
}

}  // namespace
}  // namespace velmoro

namespace velmoro {
namespace {

// The hash a report gives for a file, as sha256sum prints it: both sides of
// the one-chunk and the two-chunk padding, and a long input.
TEST(Sha256Test, MatchesTheStandardToolAtEveryPaddingEdge) {
    const struct {
        std::size_t count;  // of 'a'
        const char* hex;
    } rows[] = {
        {0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {55, "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {56, "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {63, "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {64, "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {119, "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
        {120, "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
        {1000000, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& row : rows) {
        const std::vector<std::uint8_t> bytes(row.count, 'a');
        EXPECT_EQ(Sha256Hex(bytes), row.hex) << row.count;
    }
}

// Every byte outside printable ASCII shows as its hex value, the edges of
// the printable range included.
TEST(Sha256Test, ReportsShowUnprintableBytesInHex) {
    EXPECT_EQ(PrintableBytes(std::string(":OK#\x1f \x7e\x7f\x80\xff\0", 11)),
              ":OK#<1f> ~<7f><80><ff><00>");
}

}  // namespace
}  // namespace velmoro
