#include "catalog.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <cstdio>
#include <cstring>
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
    PutLittleEndian(record, offset, RealBits(value), 4);
}

void FillEmpty(CatalogRecord record) {
    std::fill(record.begin(), record.end(), kEmptySlotByte);
}

std::string CharName(char c) {
    switch (c) {
        case ' ':
            return "a space";
        case '\t':
            return "a tab";
        case '\r':
            return "a carriage return";
        case '.':
            return "a decimal point";
        default:
            return std::string("'") + c + "'";
    }
}

std::string Hex(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

// Names the character that begins at pos: a UTF-8 character whole, by its
// code point and as it looks; a byte that begins none, by its value.
std::string CharAt(std::string_view text, std::size_t pos) {
    const auto byte = static_cast<std::uint8_t>(text[pos]);
    if (byte < 0x80) {
        return CharName(text[pos]);
    }
    const Utf8Char c = ReadUtf8(text, pos);
    if (c.length == 0) {
        return "the byte " + Hex(byte);
    }
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c.code));
    return std::string(code) + " '" + std::string(text.substr(pos, c.length)) + "'";
}

// The bytes of the character that begins at pos, as the record holds them.
std::string CharBytes(std::string_view text, std::size_t pos) {
    const Utf8Char c = ReadUtf8(text, pos);
    const std::size_t length = std::max<std::size_t>(c.length, 1);
    std::string bytes;
    for (std::size_t i = 0; i < length; ++i) {
        bytes += (i == 0 ? "" : " ") + Hex(static_cast<std::uint8_t>(text[pos + i]));
    }
    return bytes;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

const char* const kOrdinals[] = {"first", "second",  "third",  "fourth", "fifth",
                                 "sixth", "seventh", "eighth", "ninth"};

std::string RealName(std::size_t k) {
    return std::string(kOrdinals[k]) + " real";
}

// The shape of a record line: what its number fields may hold and how many
// reals it has.
struct Layout {
    bool first = true;
    std::size_t reals = 8;
};

// Compares a record line with the well-formed line of its layout while the
// converter walks it, and records where the record would differ from what
// the line says. Inactive without a findings list. After a finding that
// makes the converter read the following fields from the wrong places, the
// rest of the line is not checked: it would only repeat that finding.
class LineChecker {
public:
    LineChecker(const LinePlace& place, std::string_view content)
        : place_(place), content_(content), active_(place.findings != nullptr) {}

    bool Active() const { return active_; }

    void Problem(std::size_t pos, std::string text) { Add(pos, false, std::move(text)); }
    void Note(std::size_t pos, std::string text) { Add(pos, true, std::move(text)); }
    void Broken(std::size_t pos, std::string text) {
        Problem(pos, std::move(text));
        active_ = false;
    }

    bool EmptyLine() {
        if (active_ && content_.empty()) {
            Broken(0, "empty line; it would be stored as a record of spaces and zeros");
        }
        return active_;
    }

    // A key or text field, cut to width; well formed, it ends at the first
    // of two spaces, which the converter passes over with the column's comma.
    void TextField(std::size_t start, const Cursor& p, std::size_t width, std::string_view name,
                   std::string_view next) {
        if (!active_) {
            return;
        }
        const std::string_view field = content_.substr(start, p.Pos() - start);
        if (field.size() > width) {
            Note(start, "the " + std::string(name) + " " + Quoted(field) + " is longer than " +
                            std::to_string(width) + " characters; the controller keeps " +
                            Quoted(field.substr(0, width)));
        }
        // The controller's characters are single bytes: a character that
        // the file holds in several comes out as several.
        const auto beyondAscii = std::find_if(field.begin(), field.end(), [](char c) {
            return static_cast<std::uint8_t>(c) >= 0x80;
        });
        if (beyondAscii != field.end()) {
            const std::size_t at = start + static_cast<std::size_t>(beyondAscii - field.begin());
            const Utf8Char c = ReadUtf8(content_, at);
            Problem(at,
                    CharAt(content_, at) + " in the " + std::string(name) +
                        (c.length > 1 ? "; the controller shows each of its " +
                                            std::to_string(c.length) + " bytes (" +
                                            CharBytes(content_, at) + ") as a character of its own"
                                      : "; the controller shows it as a character of its own"));
        }
        if (p.AtEnd()) {
            LineEnds(p.Pos(), name);
        } else if (p.Current() == ',') {
            Broken(p.Pos(), "the " + std::string(name) +
                                " runs into its comma without two spaces before it; the " +
                                std::string(next) + " would lose its first character");
        }
    }

    // The comma that ends a text's column, which the converter passes over
    // without looking at it.
    void ColumnComma(const Cursor& p, std::string_view name) {
        if (!active_) {
            return;
        }
        if (p.AtEnd()) {
            LineEnds(p.Pos(), name);
        } else if (p.Current() != ',') {
            Broken(p.Pos(), CharAt(content_, p.Pos()) + " where the comma after the " +
                                std::string(name) + " should be; the next field would start " +
                                "one character late");
        }
    }

    // A whole-number field: only digits, at most max, ended by a comma.
    void IntegerField(std::size_t start, const Cursor& p, std::uint64_t max,
                      std::string_view name) {
        if (!active_) {
            return;
        }
        const std::string_view field = content_.substr(start, p.Pos() - start);
        bool digits = true;
        std::uint64_t value = 0;
        std::uint32_t stored = 0;
        for (std::size_t i = 0; i < field.size(); ++i) {
            const char c = field[i];
            if (c < '0' || c > '9') {
                Problem(start + i, CharAt(content_, start + i) + " in the " + std::string(name) +
                                       ", where only digits are read as digits; the controller "
                                       "would store a meaningless number");
                digits = false;
                break;
            }
            value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(c - '0'),
                                            std::uint64_t{1} << 40);
            stored = stored * 10U + static_cast<std::uint32_t>(c - '0');
        }
        if (digits && value > max) {
            // The number keeps all 32 bits, read as signed; the others keep
            // their low 8 or 16 bits.
            const std::string keptText =
                max == 0x7FFFFFFF ? std::to_string(static_cast<std::int32_t>(stored))
                                  : std::to_string(stored % (static_cast<std::uint32_t>(max) + 1U));
            Problem(start, "the " + std::string(name) + " " + std::string(field) + " is above " +
                               std::to_string(max) + "; the controller would store " + keptText);
        }
        if (p.AtEnd()) {
            LineEnds(p.Pos(), name);
        } else if (p.Current() != ',') {
            // Only the first layout's number fields end at a space.
            Broken(p.Pos(), "a space ends the " + std::string(name) +
                                " before its comma; the fields after it would be read from the "
                                "wrong places");
        }
    }

    // Real k: digits, spaces and one decimal point, ended by a comma (the
    // second layout's last real may also end the line).
    void RealField(std::size_t start, const Cursor& p, float value, std::size_t k,
                   const Layout& layout) {
        if (!active_) {
            return;
        }
        const std::string_view field = content_.substr(start, p.Pos() - start);
        bool point = false;
        for (std::size_t i = 0; i < field.size(); ++i) {
            const char c = field[i];
            if (c == '.' && !point) {
                point = true;
            } else if (c == '.') {
                Problem(start + i, "a second decimal point in the " + RealName(k) +
                                       "; the controller would store a meaningless number");
                break;
            } else if ((c < '0' || c > '9') && c != ' ') {
                Problem(start + i, CharAt(content_, start + i) + " in the " + RealName(k) +
                                       ", where only digits, spaces and one decimal point are "
                                       "read; the controller would store a meaningless number");
                break;
            }
        }
        if (std::isinf(value)) {
            Problem(start, "the " + RealName(k) + " is too large for the controller's numbers");
        }
        const bool last = k + 1 == layout.reals;
        if (p.AtEnd()) {
            if (!last || layout.first) {
                LineEnds(p.Pos(), RealName(k));
            }
        } else if (p.Current() != ',') {
            Broken(p.Pos(),
                   CharAt(content_, p.Pos()) + " ends the " + RealName(k) + " before its comma");
        } else if (last) {
            Unread(p.Pos() + 1, k);
        }
    }

private:
    void LineEnds(std::size_t pos, std::string_view name) {
        Broken(pos, "the line ends in the " + std::string(name) +
                        "; it has fewer fields than a record line needs");
    }

    // What follows the last real's comma is not read.
    void Unread(std::size_t pos, std::size_t k) {
        for (std::size_t i = pos; i < content_.size(); ++i) {
            if (content_[i] != ' ' && content_[i] != '\t') {
                Problem(i, "text after the comma of the " + RealName(k) + " is not read");
                return;
            }
        }
    }

    void Add(std::size_t pos, bool note, std::string text) {
        if (place_.findings != nullptr) {
            place_.findings->push_back({place_.line,
                                        place_.column + CharacterColumn(content_, pos) - 1, note,
                                        std::move(text)});
        }
    }

    const LinePlace& place_;
    std::string_view content_;
    bool active_;
};

}  // namespace

std::uint32_t RealBits(float value) {
    static_assert(sizeof(float) == sizeof(std::uint32_t));
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float RealFromBits(std::uint32_t bits) {
    float value = 0.0F;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

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

void ConvertFirstLayout(std::string_view line, CatalogRecord record, const LinePlace& place) {
    std::fill(record.begin(), record.end(), std::uint8_t{0});
    std::fill_n(record.begin(), 7, std::uint8_t{' '});
    std::fill_n(record.begin() + 8, 22, std::uint8_t{' '});

    const std::string_view content = LineContent(line);
    constexpr Layout kLayout{true, 8};
    LineChecker check(place, content);
    check.EmptyLine();
    Cursor p(content);
    std::size_t start = p.Pos();
    PutText(record, 0, 7, p.TextField());
    check.TextField(start, p, 7, "key", "text");
    p.Step();
    p.SkipSpaces();
    check.ColumnComma(p, "key");
    p.Step();
    start = p.Pos();
    PutText(record, 8, 22, p.TextField());
    check.TextField(start, p, 22, "text", "word value");
    p.Step();
    p.SkipSpaces();
    check.ColumnComma(p, "text");
    p.Step();
    start = p.Pos();
    PutLittleEndian(record, 30, p.IntegerField(true), 2);
    check.IntegerField(start, p, 0xFFFF, "word value");
    p.Step();
    p.SkipSpaces();
    start = p.Pos();
    PutLittleEndian(record, 7, p.IntegerField(true), 1);
    check.IntegerField(start, p, 0xFF, "byte value");
    for (std::size_t k = 0; k < kLayout.reals; ++k) {
        p.Step();
        start = p.Pos();
        const float value = p.RealField(RealEnd::Comma);
        PutReal(record, 32 + 4 * k, value);
        check.RealField(start, p, value, k, kLayout);
    }
}

void ConvertSecondLayout(std::string_view line, CatalogRecord record, const LinePlace& place) {
    std::fill(record.begin(), record.end(), std::uint8_t{0});
    std::fill_n(record.begin() + 4, 21, std::uint8_t{' '});

    const std::string_view content = LineContent(line);
    constexpr Layout kLayout{false, 9};
    LineChecker check(place, content);
    check.EmptyLine();
    Cursor p(content);
    p.SkipSpaces();
    std::size_t start = p.Pos();
    PutLittleEndian(record, 0, p.IntegerField(false), 4);
    check.IntegerField(start, p, 0x7FFFFFFF, "number");
    p.Step();
    p.SkipSpaces();
    start = p.Pos();
    PutText(record, 4, 21, p.TextField());
    check.TextField(start, p, 21, "text", "word value");
    p.Step();
    p.SkipSpaces();
    check.ColumnComma(p, "text");
    p.Step();
    start = p.Pos();
    PutLittleEndian(record, 26, p.IntegerField(false), 2);
    check.IntegerField(start, p, 0xFFFF, "word value");
    p.Step();
    p.SkipSpaces();
    start = p.Pos();
    PutLittleEndian(record, 25, p.IntegerField(false), 1);
    check.IntegerField(start, p, 0xFF, "byte value");
    for (std::size_t k = 0; k < kLayout.reals; ++k) {
        p.Step();
        p.SkipSpaces();
        start = p.Pos();
        const float value = p.Current() == ',' ? 0.0F : p.RealField(RealEnd::CommaOrCarriageReturn);
        PutReal(record, 28 + 4 * k, value);
        check.RealField(start, p, value, k, kLayout);
    }
}

CatalogBlockInfo BuildCatalogPayload(CDataFile& dataFile, std::int32_t blockCounter,
                                     CatalogPosition& position, Payload& payload,
                                     CatalogFindings* findings) {
    CatalogBlockInfo info;
    info.firstLine = dataFile.LineNumber();
    for (std::size_t slot = 0; slot < kRecordsPerBlock; ++slot) {
        CatalogRecord record(payload.data() + slot * kRecordSize, kRecordSize);
        if (dataFile.AtEnd() || position.sectionEnded) {
            FillEmpty(record);
            continue;
        }
        const LinePlace place{dataFile.LineNumber(), dataFile.LineColumn(), findings};
        const std::string_view line = dataFile.ReadLine();
        if (line.empty()) {
            FillEmpty(record);
            continue;
        }
        if (IsSeparatorLine(line)) {
            position.firstLayout = false;
            position.sectionOffset = 63 - blockCounter;
            position.sectionEnded = true;
            info.separator = true;
            info.separatorLine = place.line;
            FillEmpty(record);
            continue;
        }
        // The rest of a line longer than one read comes as records of its
        // own; the finding about its first piece tells the whole story.
        const bool continued = place.column > 1;
        const bool cut = line.size() == kMaxLineRead && line.back() != '\n';
        if (findings != nullptr && cut && !continued) {
            findings->push_back({place.line, place.column + CharacterColumn(line, line.size()) - 1,
                                 false,
                                 "the line is longer than " + std::to_string(kMaxLineRead) +
                                     " characters with its line break; the rest would be "
                                     "stored as records of their own"});
        }
        const LinePlace checked{place.line, place.column, continued ? nullptr : findings};
        if (position.firstLayout) {
            ConvertFirstLayout(line, record, checked);
        } else {
            ConvertSecondLayout(line, record, checked);
        }
        info.slotLines[slot] = place.line;
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

CatalogPlan Failed(std::int32_t blocks, std::string errorText) {
    CatalogPlan plan;
    plan.blocks = blocks;
    plan.errorText = std::move(errorText);
    return plan;
}

CatalogPlan Refuse(std::int32_t blocks, const std::string& reason) {
    return Failed(blocks, "ERROR! Catalogue refused: " + reason + "\r\n");
}

}  // namespace

bool CCatalogBlocks::Next(Payload& payload, CatalogBlockInfo& info, std::int32_t& blockIndex) {
    // Each catalogue block step that finds the end-of-file mark still clear
    // sends a block.
    if (file_.AtEnd()) {
        return false;
    }
    info = BuildCatalogPayload(file_, blockCounter_, position_, payload, findings_);
    ++blockCounter_;
    blockIndex = CatalogBlockIndex(blockCounter_, position_);
    firstSection_ = position_.sectionEnded || position_.firstLayout;
    position_.sectionEnded = false;
    return true;
}

CatalogPlan PlanCatalog(std::span<const std::uint8_t> bytes) {
    CCatalogBlocks blocks;
    blocks.Open(bytes);
    const TextScan scan = ScanText(bytes);
    if (!scan.text) {
        const std::string place = "line " + std::to_string(scan.line) + ", column " +
                                  std::to_string(scan.column) + " holds the byte " +
                                  Hex(scan.byte) + ", which is not catalogue text";
        // A control byte marks a binary file; a byte that breaks UTF-8 in a
        // file without one marks text saved in another encoding.
        if (scan.controlByte) {
            return Refuse(0, place +
                                 " (plain ASCII: no control characters but TAB, CR and LF). Is "
                                 "it a firmware image? Those go as \"Main Program\".");
        }
        return Refuse(0, place +
                             ": it is not UTF-8. Was the file saved in another encoding, such "
                             "as Latin-1? Save it as UTF-8 and try again.");
    }
    CatalogPlan plan;
    plan.byteOrderMark = blocks.File().ByteOrderMark();
    if (plan.byteOrderMark) {
        plan.findings.push_back({1, 1, true, std::string(texts::kByteOrderMarkNote)});
    }
    blocks.CheckLines(&plan.findings);
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
        plan.records += info.records;
    }
    plan.fits = true;
    plan.blocks = count;
    std::int64_t lastLine = 0;
    for (const CatalogFinding& finding : plan.findings) {
        if (!finding.note && finding.line != lastLine) {
            ++plan.problemLines;
            lastLine = finding.line;
        }
    }
    return plan;
}

CatalogPlan PlanCatalogFile(const std::filesystem::path& path, FileBytes& bytes) {
    std::error_code error;
    const FileLoad load = LoadDataFile(path, bytes, &error);
    if (load != FileLoad::Loaded) {
        return Failed(0, DataFileLoadText(load, error));
    }
    return PlanCatalog(bytes);
}

}  // namespace velmoro
