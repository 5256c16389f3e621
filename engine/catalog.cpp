#include "catalog.h"

#include <algorithm>
#include <bit>
#include <bitset>
#include <vector>

#include "data_file.h"

namespace velmoro {

namespace {

// 0.1 as the single-precision constant 0x3DCCCCCD, widened.
constexpr double kTenth = static_cast<double>(0.1F);

// The characters of a line before its line break. A line ending in LF alone
// reads like one ending in CR LF.
std::string_view LineContent(std::string_view line) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

// A cursor that never leaves the line: moves past its end stay at the end.
class Cursor {
public:
    explicit Cursor(std::string_view line) : line_(line) {}

    std::size_t Pos() const { return pos_; }
    void SetPos(std::size_t pos) { pos_ = std::min(pos, line_.size()); }
    bool AtEnd() const { return pos_ >= line_.size(); }
    char Current() const { return AtEnd() ? '\0' : line_[pos_]; }
    void Step() { SetPos(pos_ + 1); }
    void SkipSpaces() {
        while (!AtEnd() && line_[pos_] == ' ') {
            ++pos_;
        }
    }

    // Text field: up to the first comma, or the first of two spaces in a row.
    std::string_view TextField() {
        const std::size_t start = pos_;
        while (!AtEnd()) {
            const char c = line_[pos_];
            if (c == ',' || (c == ' ' && pos_ + 1 < line_.size() && line_[pos_ + 1] == ' ')) {
                break;
            }
            ++pos_;
        }
        return line_.substr(start, pos_ - start);
    }

    // Integer field: every character is a decimal digit by its code - 48, in
    // wrapping 32-bit arithmetic, up to a comma (and a space when asked).
    std::uint32_t IntegerField(bool spaceEnds) {
        std::uint32_t value = 0;
        while (!AtEnd()) {
            const char c = line_[pos_];
            if (c == ',' || (spaceEnds && c == ' ')) {
                break;
            }
            value = value * 10U + (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) - 48U);
            ++pos_;
        }
        return value;
    }

    float RealField(RealEnd end) {
        const velmoro::RealField field = ReadCatalogReal(line_, pos_, end);
        pos_ = field.end;
        return field.value;
    }

private:
    std::string_view line_;
    std::size_t pos_ = 0;
};

void PutText(CatalogRecord record, std::size_t offset, std::size_t width, std::string_view text) {
    const std::size_t n = std::min(width, text.size());
    std::copy_n(text.begin(), n, record.begin() + static_cast<std::ptrdiff_t>(offset));
}

void PutLittleEndian(CatalogRecord record, std::size_t offset, std::uint32_t value,
                     std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
        record[offset + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFFU);
    }
}

void PutReal(CatalogRecord record, std::size_t offset, float value) {
    PutLittleEndian(record, offset, std::bit_cast<std::uint32_t>(value), 4);
}

void FillEmpty(CatalogRecord record) {
    std::fill(record.begin(), record.end(), kEmptySlotByte);
}

}  // namespace

RealField ReadCatalogReal(std::string_view line, std::size_t pos, RealEnd end) {
    double sum = 0.0;
    double weight = 0.0;
    pos = std::min(pos, line.size());
    for (; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == ',' || (end == RealEnd::CommaOrCarriageReturn && c == '\r')) {
            break;
        }
        if (c == '.') {
            weight = 1.0;
        } else if (c != ' ') {
            const int digit = static_cast<unsigned char>(c) - 48;
            if (weight == 0.0) {
                sum = sum * 10.0 + digit;
            } else {
                weight *= kTenth;
                sum += digit * weight;
            }
        }
    }
    return {static_cast<float>(sum), pos};
}

void ConvertFirstLayout(std::string_view line, CatalogRecord record) {
    std::fill(record.begin(), record.end(), std::uint8_t{0});
    std::fill_n(record.begin(), 7, std::uint8_t{' '});
    std::fill_n(record.begin() + 8, 22, std::uint8_t{' '});

    Cursor p(LineContent(line));
    PutText(record, 0, 7, p.TextField());
    p.Step();
    p.SkipSpaces();
    p.Step();
    PutText(record, 8, 22, p.TextField());
    p.Step();
    p.SkipSpaces();
    p.Step();
    PutLittleEndian(record, 30, p.IntegerField(true), 2);
    p.Step();
    p.SkipSpaces();
    PutLittleEndian(record, 7, p.IntegerField(true), 1);
    for (std::size_t k = 0; k < 8; ++k) {
        p.Step();
        PutReal(record, 32 + 4 * k, p.RealField(RealEnd::Comma));
    }
}

void ConvertSecondLayout(std::string_view line, CatalogRecord record) {
    std::fill(record.begin(), record.end(), std::uint8_t{0});
    std::fill_n(record.begin() + 4, 21, std::uint8_t{' '});

    Cursor p(LineContent(line));
    p.SkipSpaces();
    PutLittleEndian(record, 0, p.IntegerField(false), 4);
    p.Step();
    p.SkipSpaces();
    PutText(record, 4, 21, p.TextField());
    p.Step();
    p.SkipSpaces();
    p.Step();
    PutLittleEndian(record, 26, p.IntegerField(false), 2);
    p.Step();
    p.SkipSpaces();
    PutLittleEndian(record, 25, p.IntegerField(false), 1);
    for (std::size_t k = 0; k < 9; ++k) {
        p.Step();
        p.SkipSpaces();
        const float value = p.Current() == ',' ? 0.0F : p.RealField(RealEnd::CommaOrCarriageReturn);
        PutReal(record, 28 + 4 * k, value);
    }
}

CatalogBlockInfo BuildCatalogPayload(CDataFile& dataFile, std::int32_t blockCounter,
                                     bool& firstLayout, bool& sectionEnded,
                                     std::int32_t& sectionOffset, Payload& payload) {
    CatalogBlockInfo info;
    info.firstLine = dataFile.LineNumber();
    for (std::size_t slot = 0; slot < kRecordsPerBlock; ++slot) {
        CatalogRecord record(payload.data() + slot * kRecordSize, kRecordSize);
        if (dataFile.AtEnd() || sectionEnded) {
            FillEmpty(record);
            continue;
        }
        const std::int64_t lineNumber = dataFile.LineNumber();
        const std::string_view line = dataFile.ReadLine();
        if (line.empty()) {
            FillEmpty(record);
            continue;
        }
        if (IsSeparatorLine(line)) {
            firstLayout = false;
            sectionOffset = 63 - blockCounter;
            sectionEnded = true;
            info.separator = true;
            info.separatorLine = lineNumber;
            FillEmpty(record);
            continue;
        }
        if (firstLayout) {
            ConvertFirstLayout(line, record);
        } else {
            ConvertSecondLayout(line, record);
        }
        ++info.records;
    }
    return info;
}

namespace {

std::string LineText(std::int64_t line) {
    return "line " + std::to_string(line);
}

// Names the place in the file where a block that does not fit begins. A block
// that took no line at all is the empty block that the line break at the end
// of the last line makes the transfer send.
std::string BlockPlace(const CatalogBlockInfo& info) {
    if (info.records == 0 && !info.separator) {
        return "the line break at the end of " + LineText(info.firstLine - 1) +
               " adds a block that";
    }
    return LineText(info.firstLine);
}

bool FindSeparator(CDataFile& dataFile) {
    while (!dataFile.AtEnd()) {
        if (IsSeparatorLine(dataFile.ReadLine())) {
            return true;
        }
    }
    return false;
}

CatalogPlan Refuse(std::int32_t blocks, const std::string& reason) {
    return {false, blocks, "ERROR! Catalogue refused: " + reason + "\r\n"};
}

}  // namespace

bool CCatalogBlocks::Next(Payload& payload, CatalogBlockInfo& info, std::int32_t& blockIndex) {
    // Each catalogue block step that finds the end-of-file mark still clear
    // sends a block.
    if (file_.AtEnd()) {
        return false;
    }
    info = BuildCatalogPayload(file_, blockCounter_, firstLayout_, sectionEnded_, sectionOffset_,
                               payload);
    ++blockCounter_;
    blockIndex = CatalogBlockIndex(blockCounter_, firstLayout_, sectionEnded_, sectionOffset_);
    firstSection_ = sectionEnded_ || firstLayout_;
    sectionEnded_ = false;
    return true;
}

CatalogPlan PlanCatalog(const std::filesystem::path& path) {
    CCatalogBlocks blocks;
    if (!blocks.Open(path)) {
        return {false, 0, "ERROR! Cannot find data file!\r\n"};
    }
    constexpr std::int32_t kFirstEnd = kFirstRangeFirstBlock + kFirstRangeBlocks;
    constexpr std::int32_t kSecondEnd = kSecondRangeFirstBlock + kSecondRangeBlocks;
    std::bitset<kFirstRangeBlocks + kSecondRangeBlocks> written;
    std::int32_t count = 0;
    bool separatorSeen = false;
    Payload payload{};
    CatalogBlockInfo info;
    std::int32_t v = 0;
    while (blocks.Next(payload, info, v)) {
        if (info.separator && separatorSeen) {
            return Refuse(count, LineText(info.separatorLine) +
                                     " is a second separator line (a line beginning with "
                                     "\"-\"); a catalogue has only one.");
        }
        separatorSeen = separatorSeen || info.separator;
        std::size_t slot = 0;
        if (v >= kFirstRangeFirstBlock && v < kFirstEnd) {
            slot = static_cast<std::size_t>(v - kFirstRangeFirstBlock);
        } else if (v >= kSecondRangeFirstBlock && v < kSecondEnd) {
            slot = static_cast<std::size_t>(kFirstRangeBlocks + v - kSecondRangeFirstBlock);
        } else if (blocks.InFirstSection() && (info.separator || FindSeparator(blocks.File()))) {
            return Refuse(count, "too many lines before the separator line; " + BlockPlace(info) +
                                     " does not fit in the first section (at most 255 lines).");
        } else if (blocks.InFirstSection()) {
            return Refuse(count, "no separator line, and " + BlockPlace(info) +
                                     " does not fit in the first section (at most 256 lines).");
        } else {
            return Refuse(count, "too many lines after the separator line; " + BlockPlace(info) +
                                     " does not fit in the second section (at most 4096 lines).");
        }
        if (written.test(slot)) {
            return Refuse(count, BlockPlace(info) +
                                     " would be written over a block already "
                                     "written.");
        }
        written.set(slot);
        ++count;
    }
    if (blocks.File().HasError()) {
        return {false, count, "ERROR! Cannot read data file!\r\n"};
    }
    return {true, count, {}};
}

}  // namespace velmoro
