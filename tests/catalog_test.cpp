#include "catalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data_file.h"

namespace velmoro {
namespace {

using Bytes = std::vector<std::uint8_t>;

void PutText(Bytes& out, std::string_view text, std::size_t width) {
    text = text.substr(0, width);
    out.insert(out.end(), text.begin(), text.end());
    out.insert(out.end(), width - text.size(), ' ');
}

void PutNumber(Bytes& out, std::uint32_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// The reals end a record; those not given are zero.
Bytes PutReals(Bytes& out, const std::vector<float>& reals) {
    for (float real : reals) {
        PutNumber(out, RealBits(real), 4);
    }
    out.resize(kRecordSize, 0);
    return out;
}

// Expected records, laid out field by field.
Bytes FirstRecord(std::string_view key, std::uint8_t byteValue, std::string_view text,
                  std::uint16_t wordValue, const std::vector<float>& reals = {}) {
    Bytes out;
    PutText(out, key, 7);
    out.push_back(byteValue);
    PutText(out, text, 22);
    PutNumber(out, wordValue, 2);
    return PutReals(out, reals);
}

Bytes SecondRecord(std::uint32_t number, std::string_view text, std::uint8_t byteValue,
                   std::uint16_t wordValue, const std::vector<float>& reals = {}) {
    Bytes out;
    PutNumber(out, number, 4);
    PutText(out, text, 21);
    out.push_back(byteValue);
    PutNumber(out, wordValue, 2);
    return PutReals(out, reals);
}

Bytes AsBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes Convert(bool firstLayout, std::string_view line) {
    std::array<std::uint8_t, kRecordSize> record;
    record.fill(0xAB);
    (firstLayout ? ConvertFirstLayout : ConvertSecondLayout)(line, record, LinePlace{});
    return Bytes(record.begin(), record.end());
}

std::uint32_t Bits(float value) {
    return RealBits(value);
}

TEST(RealField, ReadsLikeTheController) {
    // A view that ends inside a longer buffer: the digits after it are not read.
    const std::string buffer = "3.2575,";
    const struct {
        std::string_view line;
        std::size_t pos;
        RealEnd end;
        std::uint32_t bits;
        std::size_t endPos;
    } cases[] = {
        // One unit in the last place above the nearest single to 2.5956.
        {"2.5956", 0, RealEnd::Comma, 0x40261E50, 6},
        {"0.1", 0, RealEnd::Comma, 0x3DCCCCCD, 3},
        {"1 2.5", 0, RealEnd::Comma, Bits(12.5F), 5},
        {"", 0, RealEnd::Comma, 0, 0},
        {"1.5,20.25,", 4, RealEnd::Comma, Bits(20.25F), 9},
        {"300,0", 0, RealEnd::CommaOrCarriageReturn, Bits(300.0F), 3},
        {"2.5\r\n", 0, RealEnd::CommaOrCarriageReturn, Bits(2.5F), 3},
        {"7", 5, RealEnd::Comma, 0, 1},
        {std::string_view(buffer).substr(0, 4), 0, RealEnd::Comma, Bits(3.25F), 4},
        {std::string_view(buffer).substr(0, 4), 0, RealEnd::CommaOrCarriageReturn, Bits(3.25F), 4},
    };
    for (const auto& c : cases) {
        const RealField field = ReadCatalogReal(c.line, c.pos, c.end);
        EXPECT_EQ(Bits(field.value), c.bits) << c.line;
        EXPECT_EQ(field.end, c.endPos) << c.line;
    }
}

TEST(CatalogRecord, WorkedExamples) {
    using namespace std::string_literals;
    const std::string reals = "\x00\x00\xC0\x3F\x00\x00\xA2\x41\xCD\xCC\xCC\x3D\x00\x00\x96\x43"s;
    const std::string first = "OBJ1   \x07"s + "First sample          \xD2\x04" + reals;
    EXPECT_EQ(Convert(true, "OBJ1   ,First sample    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n"),
              AsBytes(first + std::string(16, '\0')));
    const std::string second = "\x2A\x00\x00\x00Second sample        \x07\xD2\x04"s + reals;
    EXPECT_EQ(Convert(false, "42,Second sample  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5\r\n"),
              AsBytes(second + std::string(16, '\0') + "\x00\x00\x20\x40"s));
}

TEST(CatalogRecord, FirstLayoutLines) {
    const std::pair<std::string_view, Bytes> cases[] = {
        // The skip after a key without its spaces passes over the "F".
        {"OBJ1,First sample    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n",
         FirstRecord("OBJ1", 7, "irst sample", 1234, {1.5F, 20.25F, 0.1F, 300.0F})},
        // So does the skip after a text without its spaces, over the "1".
        {"OBJ1   ,First sample,1234,7,1,2,3,4,5,6,7,8,\r\n",
         FirstRecord("OBJ1", 7, "First sample", 234, {1, 2, 3, 4, 5, 6, 7, 8})},
        // A space ends the word value; the byte value is then empty and the
        // reals start one field early.
        {"OBJ1   ,First sample    ,1234 ,7,1,2,3,4,5,6,7,8,\r\n",
         FirstRecord("OBJ1", 0, "First sample", 1234, {7, 1, 2, 3, 4, 5, 6, 7})},
        {"ABCDEFGHIJ  ,ABCDEFGHIJKLMNOPQRSTUVWXYZ  ,70000,300,1,2,3,4,5,6,7,8,\r\n",
         FirstRecord("ABCDEFG", 44, "ABCDEFGHIJKLMNOPQRSTUV", 70000 % 65536,
                     {1, 2, 3, 4, 5, 6, 7, 8})},
        // Lines that end early leave the rest empty; no line break gets in.
        {"\r\n", FirstRecord("", 0, "", 0)},
        {"OBJ1\r\n", FirstRecord("OBJ1", 0, "", 0)},
        {"OBJ1   ,Text  ,12,3,1.5\r\n", FirstRecord("OBJ1", 3, "Text", 12, {1.5F})},
        {"OBJ1   ,Text  ,12,3,1,2,3,4,5,6,7,8\r\n",
         FirstRecord("OBJ1", 3, "Text", 12, {1, 2, 3, 4, 5, 6, 7, 8})},
    };
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(Convert(true, line), expected) << line;
    }
}

TEST(CatalogRecord, SecondLayoutLines) {
    const std::pair<std::string_view, Bytes> cases[] = {
        {"1, T  ,1,2, 3 , ,5,6,7,8,9,10,11\r\n",
         SecondRecord(1, "T", 2, 1, {3, 0, 5, 6, 7, 8, 9, 10, 11})},
        {"4294967298,ABCDEFGHIJKLMNOPQRSTUVWXYZ  ,65537,257,1\r\n",
         SecondRecord(2, "ABCDEFGHIJKLMNOPQRSTU", 1, 1, {1})},
        {"\r\n", SecondRecord(0, "", 0, 0)},
        {"305419896,Name\r\n", SecondRecord(305419896, "Name", 0, 0)},
        {"42,Name  ,1234,7,1.5,2.5\r\n", SecondRecord(42, "Name", 7, 1234, {1.5F, 2.5F})},
        // A line ending in LF alone reads like one ending in CR LF.
        {"42,Name  ,1,2,0,0,0,0,0,0,0,0,12.5\n",
         SecondRecord(42, "Name", 2, 1, {0, 0, 0, 0, 0, 0, 0, 0, 12.5F})},
    };
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(Convert(false, line), expected) << line;
    }
}

// The edges of UTF-8: the lowest and highest character of each length,
// and the overlong forms, surrogates and code points above U+10FFFF next
// to them, which are no characters; a text that ends inside one is partial.
TEST(Utf8, CharactersAndTheirEdges) {
    struct Case {
        std::string_view bytes;
        char32_t code;
        std::size_t length;  // 0: no character
        bool partial;
    };
    const Case cases[] = {
        {"\x7F", 0x7F, 1, false},
        {"\x80", 0, 0, false},
        {"\xC1\xBF", 0, 0, false},
        {"\xC2\x80", 0x80, 2, false},
        {"\xC2\x7F", 0, 0, false},
        {"\xDF\xBF", 0x7FF, 2, false},
        {"\xE0\x9F\xBF", 0, 0, false},
        {"\xE0\xA0\x80", 0x800, 3, false},
        {"\xE1\x7F\x80", 0, 0, false},
        {"\xE2\x82\x7F", 0, 0, false},
        {"\xED\x9F\xBF", 0xD7FF, 3, false},
        {"\xED\xA0\x80", 0, 0, false},
        {"\xEF\xBF\xBF", 0xFFFF, 3, false},
        {"\xF0\x8F\xBF\xBF", 0, 0, false},
        {"\xF0\x90\x80\x80", 0x10000, 4, false},
        {"\xF1\x7F\x80\x80", 0, 0, false},
        {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4, false},
        {"\xF4\x90\x80\x80", 0, 0, false},
        {"\xF5\x80\x80\x80", 0, 0, false},
        {"\xC3", 0, 0, true},
        {"\xE2\x82", 0, 0, true},
    };
    for (const Case& c : cases) {
        const Utf8Char got = ReadUtf8(c.bytes, 0);
        EXPECT_EQ(got.length, c.length) << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(got.partial, c.partial) << ::testing::PrintToString(c.bytes);
        if (c.length > 0) {
            EXPECT_EQ(got.code, c.code) << ::testing::PrintToString(c.bytes);
        }
    }
    // Columns count characters; the end of the line is the column after
    // the last.
    const std::string_view line =
        "a\xC3\xA9"
        "b";
    const std::int64_t columns[] = {1, 2, 2, 3, 4};
    for (std::size_t pos = 0; pos <= line.size(); ++pos) {
        EXPECT_EQ(CharacterColumn(line, pos), columns[pos]) << pos;
    }
}

TEST(LineReader, PiecesAndEndOfFile) {
    struct Piece {
        std::string text;
        bool atEnd;
        std::int64_t lineNumber;  // after the read
    };
    const std::string longLine = std::string(298, 'x') + "\r\n";
    const std::pair<std::string, std::vector<Piece>> cases[] = {
        {"a,b\r\n" + longLine + "last\r\n",
         {{"a,b\r\n", false, 2},
          {std::string(254, 'x'), false, 2},
          {std::string(44, 'x') + "\r\n", false, 3},
          {"last\r\n", false, 4},
          {"", true, 4}}},
        {"x\r\ny", {{"x\r\n", false, 2}, {"y", true, 2}}},
        {"x\n\n", {{"x\n", false, 2}, {"\n", false, 3}, {"", true, 3}}},
        {"", {{"", true, 1}}},
        // Read as text, a byte order mark is passed over; anything else at
        // the start is read, even the first bytes of one.
        {"\xEF\xBB\xBFx\r\ny", {{"x\r\n", false, 2}, {"y", true, 2}}},
        {"\xEF\xBB\xBF", {{"", true, 1}}},
        {"\xEF\xBBx\n", {{"\xEF\xBBx\n", false, 2}, {"", true, 2}}},
        {"\xEF\xBB", {{"\xEF\xBB", true, 1}}},
        {"\xEF\xBB\xBF\xEF\xBB\xBF\n", {{"\xEF\xBB\xBF\n", false, 2}, {"", true, 2}}},
    };
    for (const auto& [contents, pieces] : cases) {
        const bool mark = contents.starts_with(kByteOrderMark);
        // Without a byte order mark, reading as text reads the same.
        for (const bool text : {false, true}) {
            if (mark && !text) {
                continue;
            }
            const Bytes bytes(contents.begin(), contents.end());
            CDataFile dataFile;
            if (text) {
                dataFile.OpenText(bytes);
            } else {
                dataFile.Open(bytes);
            }
            EXPECT_EQ(dataFile.ByteOrderMark(), mark);
            for (const Piece& piece : pieces) {
                SCOPED_TRACE(contents.substr(0, 20) + " / " + piece.text.substr(0, 20));
                EXPECT_EQ(dataFile.ReadLine(), piece.text);
                EXPECT_EQ(dataFile.AtEnd(), piece.atEnd);
                EXPECT_EQ(dataFile.LineNumber(), piece.lineNumber);
            }
        }
    }
}

std::string FirstLine(int key) {
    return "K" + std::to_string(key) + "  ,Name  ,1,2,0,0,0,0,0,0,0,0,\r\n";
}

std::string SecondLine(int number) {
    return std::to_string(number) + ",Name  ,1,2,0,0,0,0,0,0,0,0,0\r\n";
}

const std::string kMark(kByteOrderMark);

std::string Catalogue(int before, bool separator, int after, bool finalBreak = true) {
    std::string text;
    for (int i = 1; i <= before; ++i) {
        text += FirstLine(i);
    }
    text += separator ? "-----\r\n" : "";
    for (int i = 1; i <= after; ++i) {
        text += SecondLine(i);
    }
    if (!finalBreak && !text.empty()) {
        text.resize(text.size() - 2);
    }
    return text;
}

struct Block {
    CatalogBlockInfo info;
    Payload payload;
    CatalogPosition position;

    Bytes Slot(std::size_t slot) const {
        const auto record = std::span(payload).subspan(slot * kRecordSize, kRecordSize);
        return Bytes(record.begin(), record.end());
    }
    bool EmptyFrom(std::size_t slot) const {
        const auto rest = std::span(payload).subspan(slot * kRecordSize);
        return std::all_of(rest.begin(), rest.end(),
                           [](std::uint8_t b) { return b == kEmptySlotByte; });
    }
};

// Every block a transfer sends for this file: one per block step that finds
// the end-of-file mark clear, with the section state kept the way it does.
std::vector<Block> BuildBlocks(const std::string& contents) {
    const Bytes bytes(contents.begin(), contents.end());
    CDataFile dataFile;
    dataFile.Open(bytes);
    std::vector<Block> blocks;
    CatalogPosition position;
    for (std::int32_t blockCounter = 0; !dataFile.AtEnd(); ++blockCounter) {
        Payload payload{};
        position.sectionEnded = false;
        const CatalogBlockInfo info =
            BuildCatalogPayload(dataFile, blockCounter, position, payload);
        blocks.push_back({info, payload, position});
    }
    return blocks;
}

TEST(CatalogPayload, SeparatorInsideABlock) {
    const std::vector<Block> blocks = BuildBlocks(Catalogue(20, true, 2));
    ASSERT_EQ(blocks.size(), 3U);
    EXPECT_EQ(blocks[0].info.records, 16);

    // Lines 17 to 20, then the separator in slot 4.
    const Block& second = blocks[1];
    EXPECT_EQ(second.info.records, 4);
    EXPECT_EQ(second.info.firstLine, 17);
    EXPECT_TRUE(second.info.separator);
    EXPECT_EQ(second.info.separatorLine, 21);
    for (std::size_t slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(second.Slot(slot), Convert(true, FirstLine(17 + static_cast<int>(slot))));
    }
    EXPECT_TRUE(second.EmptyFrom(4));
    EXPECT_FALSE(second.position.firstLayout);
    EXPECT_TRUE(second.position.sectionEnded);
    EXPECT_EQ(second.position.sectionOffset, 62);  // 63 - blockCounter 1

    // The line after the separator, in the second layout; the read after the
    // final line break finds nothing.
    EXPECT_EQ(blocks[2].info.records, 2);
    EXPECT_EQ(blocks[2].Slot(0), SecondRecord(1, "Name", 2, 1));
    EXPECT_EQ(blocks[2].Slot(1), SecondRecord(2, "Name", 2, 1));
    EXPECT_TRUE(blocks[2].EmptyFrom(2));
}

TEST(CatalogPayload, SeparatorFirstInABlockEmptiesTheBlock) {
    const std::vector<Block> blocks = BuildBlocks(Catalogue(16, true, 1, false));
    ASSERT_EQ(blocks.size(), 3U);
    EXPECT_EQ(blocks[1].info.separatorLine, 17);
    EXPECT_TRUE(blocks[1].EmptyFrom(0));
    EXPECT_EQ(blocks[1].position.sectionOffset, 62);
    EXPECT_EQ(blocks[2].Slot(0), SecondRecord(1, "Name", 2, 1));
    EXPECT_TRUE(blocks[2].EmptyFrom(1));
}

// The end-of-file mark comes with the read of a last line without a line
// break, otherwise with the read after it: a full last block is then
// followed by a block of empty slots.
TEST(CatalogPayload, FinalLineBreakAddsAnEmptyBlock) {
    const std::vector<Block> withBreak = BuildBlocks(Catalogue(16, false, 0, true));
    ASSERT_EQ(withBreak.size(), 2U);
    EXPECT_EQ(withBreak[0].info.records, 16);
    EXPECT_EQ(withBreak[1].info.records, 0);
    EXPECT_TRUE(withBreak[1].EmptyFrom(0));
    EXPECT_EQ(BuildBlocks(Catalogue(16, false, 0, false)).size(), 1U);
}

TEST(PlanCatalog, AcceptsWhatFitsTheErasedRanges) {
    // A UTF-8 letter whose two bytes the first 4096-byte read of the text
    // check cuts apart.
    std::string cut;
    for (int i = 1; cut.size() < 4000; ++i) {
        cut += FirstLine(i);
    }
    cut += "K0  ,Galaxi";
    cut += std::string(4095 - cut.size(), 'x') + "\xC3\xA9  ,1,2,0,0,0,0,0,0,0,0,\r\n";
    const std::pair<std::string, std::int32_t> cases[] = {
        {Catalogue(255, true, 1), 17},
        {Catalogue(256, false, 0, false), 16},
        {"", 1},
        {Catalogue(17, true, 20), 4},
        {Catalogue(0, true, 4096, false), 257},
        {Catalogue(1, true, 4096, false), 257},
        // The byte order mark takes no line.
        {kMark + Catalogue(255, true, 1), 17},
        {cut, 8},
    };
    for (const auto& [contents, blocks] : cases) {
        const CatalogPlan plan = PlanCatalog(Bytes(contents.begin(), contents.end()));
        EXPECT_TRUE(plan.fits) << plan.errorText;
        EXPECT_EQ(plan.blocks, blocks) << contents.size() << " characters";
        EXPECT_EQ(plan.errorText, "");
    }
}

TEST(PlanCatalog, RefusesWhatWouldBeWrittenOutsideThem) {
    struct Case {
        const char* what;
        std::string contents;
        int line;          // the line the error names
        const char* says;  // part of the error
    };
    const Case cases[] = {
        {"two separators", Catalogue(3, true, 2) + "-\r\n" + SecondLine(3), 7,
         "is a second separator line"},
        {"256 lines before the separator", Catalogue(256, true, 1), 257,
         "too many lines before the separator line"},
        {"300 lines, no separator", Catalogue(300, false, 0, false), 257, "no separator line, and"},
        {"256 lines, no separator, final line break", Catalogue(256, false, 0), 256,
         "no separator line, and the line break at the end of"},
        {"4097 lines after the separator", Catalogue(1, true, 4097, false), 4099,
         "too many lines after the separator line"},
        {"4096 lines after the separator, final line break", Catalogue(1, true, 4096), 4098,
         "the line break at the end of"},
        {"a zero byte: not catalogue text", Catalogue(1, true, 0) + std::string("42,Star\0", 8), 3,
         "column 8 holds the byte 0x00, which is not catalogue text (plain ASCII: no control "
         "characters but TAB, CR and LF). Is it a firmware image? Those go as \"Main Program\"."},
        {"a UTF-8 character that the end of the file cuts", Catalogue(3, true, 1) + "\xE9", 6,
         "holds the byte 0xE9"},
        {"a control character", "\x1F" + Catalogue(1, true, 1), 1,
         "holds the byte 0x1F, which is not catalogue text (plain ASCII: no control characters "
         "but TAB, CR and LF). Is it a firmware image?"},
        // Text in another encoding is told to become UTF-8; a control byte
        // anywhere marks a binary file, whatever came before it.
        {"a Latin-1 byte", Catalogue(3, true, 1) + "43,Galaxi\xE9  ,1,2,0,0,0,0,0,0,0,0,0\r\n", 6,
         "column 10 holds the byte 0xE9, which is not catalogue text: it is not UTF-8. Was the "
         "file saved in another encoding, such as Latin-1? Save it as UTF-8 and try again."},
        {"a zero byte after a Latin-1 byte",
         Catalogue(1, true, 0) + std::string("42,Galaxi\xE9 \0", 12), 3,
         "column 12 holds the byte 0x00, which is not catalogue text (plain ASCII: no control "
         "characters but TAB, CR and LF). Is it a firmware image?"},
        {"a firmware image", std::string("\xE9\x81\x12\x00\x20", 5), 1,
         "column 3 holds the byte 0x12, which is not catalogue text (plain ASCII: no control "
         "characters but TAB, CR and LF). Is it a firmware image?"},
        // Columns count what an editor shows: not the mark, a letter once.
        {"a control byte after the mark and a UTF-8 letter", kMark + "K\xC3\xA9\x01", 1,
         "column 3 holds the byte 0x01, which is not catalogue text (plain ASCII: no control "
         "characters but TAB, CR and LF). Is it a firmware image?"},
    };
    for (const Case& c : cases) {
        const CatalogPlan plan = PlanCatalog(Bytes(c.contents.begin(), c.contents.end()));
        EXPECT_FALSE(plan.fits) << c.what;
        EXPECT_TRUE(plan.errorText.starts_with("ERROR! ")) << plan.errorText;
        EXPECT_TRUE(plan.errorText.ends_with("\r\n")) << plan.errorText;
        const std::size_t at = plan.errorText.find("line " + std::to_string(c.line));
        ASSERT_NE(at, std::string::npos) << c.what << ": " << plan.errorText;
        EXPECT_FALSE(std::isdigit(plan.errorText[at + 5 + std::to_string(c.line).size()]))
            << c.what << ": " << plan.errorText;
        EXPECT_NE(plan.errorText.find(c.says), std::string::npos) << plan.errorText;
        EXPECT_EQ(plan.errorText.find("firmware") != std::string::npos,
                  std::string_view(c.says).find("firmware") != std::string_view::npos)
            << "the firmware hint only for a binary file: " << plan.errorText;
    }
}

// Each record line is compared with the well-formed line of its layout; a
// finding names the column where the record starts to differ from the line.
TEST(CatalogLineCheck, FindsWhereARecordWouldDifferFromItsLine) {
    const std::string first = "OBJ1   ,First sample    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,";
    const std::string second = "42,Second sample  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5";
    struct Case {
        bool firstLayout;
        std::string line;
        std::int64_t column;  // of the first problem; 0: none
        const char* says;     // part of its text; or of the note when column is 0
    } const cases[] = {
        // Nothing but blanks after the last real's comma.
        {true, first + " \t", 0, nullptr},
        {false, second, 0, nullptr},
        // Each number at its limit.
        {true, "OBJ1   ,First sample    ,65535,255,1,2,3,4,5,6,7,8,", 0, nullptr},
        {false, "2147483647,Star  ,65535,255,1,2,3,4,5,6,7,8,9", 0, nullptr},
        // And one above it.
        {true, "OBJ1   ,First sample    ,65536,255,1,2,3,4,5,6,7,8,", 26,
         "the word value 65536 is above 65535; the controller would store 0"},
        {true, "OBJ1   ,First sample    ,65535, 256,1,2,3,4,5,6,7,8,", 33,
         "the byte value 256 is above 255; the controller would store 0"},
        {false, "2147483648,Star  ,65535,255,1,2,3,4,5,6,7,8,9", 1,
         "the number 2147483648 is above 2147483647; the controller would store -2147483648"},
        {false, "2147483647,Star  ,65536,255,1,2,3,4,5,6,7,8,9", 19,
         "the word value 65536 is above 65535; the controller would store 0"},
        {false, "2147483647,Star  ,65535,256,1,2,3,4,5,6,7,8,9", 25,
         "the byte value 256 is above 255; the controller would store 0"},
        // The controller's characters are bytes.
        {true, "M31\xC2\xB0   ,Andromeda  ,1,2,1,2,3,4,5,6,7,8,", 4,
         "U+00B0 '\xC2\xB0' in the key; the controller shows each of its 2 bytes (0xC2 0xB0) as a "
         "character of its own"},
        {true, "OBJ1   ,Andromeda Galaxi\xC3\xA9  ,1234,7,1,2,3,4,5,6,7,8,", 25,
         "U+00E9 '\xC3\xA9' in the text; the controller shows each of its 2 bytes (0xC3 0xA9)"},
        {false, "42,\xCE\xB1 Centauri  ,1,2,3,4,5,6,7,8,9,1,2", 4, "U+03B1 '\xCE\xB1' in the text"},
        {false, "42,Galaxi\x80  ,1,2,3,4,5,6,7,8,9,1,2", 10,
         "the byte 0x80 in the text; the controller shows it as a character of its own"},
        {false, "42,Star  ,1,2,3,4\xC2\xBD,5,6,7,8,9,1,2", 18,
         "U+00BD '\xC2\xBD' in the second real, where only digits"},
        // The spaces a converter passes over.
        {false, "  42,  Second sample  ,1234,  7,  1.5 , 20.25,0.1 ,300,0,0,0,  0 ,  2.5 ", 0,
         nullptr},
        {false, "42,Second sample  ,1234,7,,,,,,,,,", 0, nullptr},
        {true, "OBJ1,First sample    ,1234,7,1,2,3,4,5,6,7,8,", 5,
         "the key runs into its comma without two spaces before it; the text would lose its "
         "first character"},
        {true, "OBJ1   ,First sample,1234,7,1,2,3,4,5,6,7,8,", 21,
         "the text runs into its comma without two spaces before it; the word value would"},
        {true, "OBJ1   ,First sample    ,1234 ,7,1,2,3,4,5,6,7,8,", 30,
         "a space ends the word value before its comma"},
        {true, "OBJ1   ;First sample    ,1234,7,1,2,3,4,5,6,7,8,", 8,
         "';' where the comma after the key should be"},
        {true, "OBJ1   ,First sample  X ,1234,7,1,2,3,4,5,6,7,8,", 23,
         "'X' where the comma after the text should be"},
        {true, "OBJ1   ,First sample    ,1234,300,1,2,3,4,5,6,7,8,", 31, "would store 44"},
        {true, "OBJ1   ,First sample    ,70000,7,1,2,3,4,5,6,7,8,", 26, "would store 4464"},
        {true, "OBJ1   ,First sample    ,12.5,7,1,2,3,4,5,6,7,8,", 28, "decimal point in the word"},
        {true, "OBJ1   ,First sample    ,1234,7,1,-41.27,3,4,5,6,7,8,", 35, "'-' in the second"},
        {true, "OBJ1   ,First sample    ,1234,7,1,2,1e5,4,5,6,7,8,", 38, "'e' in the third real"},
        {true, "OBJ1   ,First sample    ,1234,7,1,2,3,1.2.3.4,5,6,7,8,", 42,
         "a second decimal point in the fourth real"},
        {true, "OBJ1   ,First sample    ,1234,7,1,2,3,4,5,6,7,8", 48, "ends in the eighth real"},
        {true, "OBJ1   ,First sample    ,1234,7,1,2,3,4,5,6,7,8,9,", 49, "not read"},
        {true, "", 1, "empty line"},
        {false, "42,Second sample  ,1234,7,1,2,3,4,5,6,7", 40, "ends in the seventh real"},
        {false, "42,Star  ,1,2,3,4,5,6,7,8,9,1,2,3", 33,
         "text after the comma of the ninth real is not read"},
        {false, "3000000000,Star  ,1,2,3,4,5,6,7,8,9,1,2", 1, "would store -1294967296"},
        {false, "42 7,Star  ,1,2,3,4,5,6,7,8,9,1,2", 3, "a space in the number"},
        {false, "42,Star  ,1,300,3,4,5,6,7,8,9,1,2", 13, "the byte value 300 is above 255"},
        {false, "42,Star  ,1,2,3,4,5,6,7,8\r9,1,2", 26, "a carriage return ends the sixth real"},
        {false, "42,Star  ,1,2,3,4,5,6,  " + std::string(40, '9') + ",8,9,1,2", 25,
         "the fifth real is too large"},
        {false, "+42,Star  ,1,2,3,4,5,6,7,8,9,1,2", 1, "'+' in the number"},
        {false, "42,Star  ,1234 ,7,1,2,3,4,5,6,7,8,9", 15, "a space in the word value"},
        // Cut to their slots as the format intends: notes, not problems.
        {true, "OBJECT12  ,First sample    ,1234,7,1,2,3,4,5,6,7,8,", 0, "keeps \"OBJECT1\""},
        {false, "42,A text of twenty-three  ,1,2,3,4,5,6,7,8,9,1,2", 0,
         "the text \"A text of twenty-three\" is longer than 21 characters; the controller keeps "
         "\"A text of twenty-thre\""},
    };
    for (const Case& c : cases) {
        CatalogFindings findings;
        std::array<std::uint8_t, kRecordSize> checked{};
        std::array<std::uint8_t, kRecordSize> plain{};
        const std::string line = c.line + "\r\n";
        const LinePlace place{7, 1, &findings};
        (c.firstLayout ? ConvertFirstLayout : ConvertSecondLayout)(line, checked, place);
        (c.firstLayout ? ConvertFirstLayout : ConvertSecondLayout)(line, plain, LinePlace{});
        EXPECT_EQ(checked, plain) << "checking changes no record: " << c.line;
        const auto problem = std::find_if(findings.begin(), findings.end(),
                                          [](const CatalogFinding& f) { return !f.note; });
        if (c.column == 0) {
            EXPECT_EQ(problem, findings.end()) << c.line << ": " << problem->text;
            if (c.says != nullptr) {
                ASSERT_EQ(findings.size(), 1U) << c.line;
                EXPECT_NE(findings[0].text.find(c.says), std::string::npos) << findings[0].text;
            }
            continue;
        }
        ASSERT_NE(problem, findings.end()) << c.line;
        EXPECT_EQ(std::count_if(findings.begin(), findings.end(),
                                [](const CatalogFinding& f) { return !f.note; }),
                  1)
            << "one problem a field: " << c.line;
        EXPECT_EQ(problem->line, 7);
        EXPECT_EQ(problem->column, c.column) << c.line << ": " << problem->text;
        EXPECT_NE(problem->text.find(c.says), std::string::npos) << c.line << ": " << problem->text;
    }
    // The worked example with spaces where the converter passes over them
    // stores the same record.
    EXPECT_EQ(
        Convert(false,
                "  42,  Second sample  ,1234,  7,  1.5 , 20.25,0.1 ,300,0,0,0,  0 ,  2.5 \r\n"),
        Convert(false, second + "\r\n"));
}

TEST(CatalogLineCheck, PlanCountsTheLinesWithProblems) {
    // Columns count characters: not the byte order mark, a UTF-8 letter once.
    const std::string text = kMark +
                             "OBJ1   ,First sample    ,1234,300,1,2,3,4,5,6,7,8,\r\n"
                             "OBJ2   ,First sample    ,1234,7,1,-2,3,4,5,6,7,-8,\r\n"
                             "OBJECT33  ,Fine    ,1,2,3,4,5,6,7,8,9,10,\r\n"
                             // Nothing more is checked after a finding that shifts the fields.
                             "OBJ3   ;Broken  ,1,2,x,x,3,4,5,6,7,8,\r\n"
                             // The characters either side of the digits; a number's second point.
                             "OBJ4   ,Times   ,12/4,7:,1/2,12:30,3,4,5,6,7,8,\r\n"
                             "OBJ5   ,Word    ,99999.5.0,7,1,2,3,4,5,6,7,8,\r\n"
                             "OBJ6   ,Galaxi\xC3\xA9  ,1,2,1,-2,3,4,5,6,7,8,\r\n"
                             "-\r\n"
                             "42,Star  ,1,2,3,4,5,6,7,8,9,1,2\r\n"
                             "43,Star  ,1,2,3,4,5,6,7,8,9,1,2" +
                             std::string(260, ' ') + "\r\n";
    const CatalogPlan plan = PlanCatalog(Bytes(text.begin(), text.end()));
    ASSERT_TRUE(plan.fits) << plan.errorText;
    EXPECT_EQ(plan.problemLines, 7);
    EXPECT_EQ(plan.records, 10) << "the long line is two records";
    std::vector<std::string> places;
    for (const CatalogFinding& f : plan.findings) {
        places.push_back(std::to_string(f.line) + ":" + std::to_string(f.column) +
                         (f.note ? " note" : ""));
    }
    EXPECT_EQ(places, (std::vector<std::string>{"1:1 note", "1:31", "2:35", "2:48", "3:1 note",
                                                "4:8", "5:20", "5:24", "5:27", "5:32", "6:23",
                                                "7:15", "7:25", "10:255"}));
}

}  // namespace
}  // namespace velmoro
