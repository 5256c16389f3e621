#pragma once

// Conversion of an object catalogue (comma-separated text lines in two
// sections) into 64-byte records, 16 to a block payload.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data_block.h"
#include "data_file.h"

namespace velmoro {

inline constexpr std::size_t kRecordSize = 64;
inline constexpr std::size_t kRecordsPerBlock = kPayloadSize / kRecordSize;
inline constexpr std::uint8_t kEmptySlotByte = 0xFF;

namespace texts {
// A byte order mark that an editor put before the first line: the note of
// the line check, and the log line of a transfer that goes.
inline constexpr std::string_view kByteOrderMarkNote =
    "the file begins with a UTF-8 byte order mark; it is left out of what is sent";
inline constexpr std::string_view kByteOrderMarkLeftOut =
    "The data file begins with a UTF-8 byte order mark; it is left out of what is sent.\r\n";
}  // namespace texts

using CatalogRecord = std::span<std::uint8_t, kRecordSize>;

// Where a real field ends: the first layout knows only the comma, the second
// also stops at a carriage return (its last real has no comma after it).
enum class RealEnd { Comma, CommaOrCarriageReturn };

struct RealField {
    float value = 0.0F;
    std::size_t end = 0;  // position of the character that ended the field
};

// Reads one real field from pos. Digits accumulate in double precision, the
// fraction weights stepping by the single-precision 0.1 widened to double;
// the sum is rounded to single precision at the end. A field never reaches
// past the end of the line.
RealField ReadCatalogReal(std::string_view line, std::size_t pos, RealEnd end);

// The bits of a single-precision real as the records hold them, and back.
// Copied byte for byte: std::bit_cast is missing from some C++ libraries
// the engine is built with.
std::uint32_t RealBits(float value);
float RealFromBits(std::uint32_t bits);

// Where a record line would reach the controller as something other than
// what it says (a problem), or is cut to fit its slot as the format intends
// (a note). Line and column count from 1.
struct CatalogFinding {
    std::int64_t line = 0;
    std::int64_t column = 0;
    bool note = false;
    std::string text;
};
using CatalogFindings = std::vector<CatalogFinding>;

// Where a line read from the file begins, and where findings about it go;
// without a findings list the line is converted unchecked.
struct LinePlace {
    std::int64_t line = 1;
    std::int64_t column = 1;
    CatalogFindings* findings = nullptr;
};

// One line as read from the file (at most 254 characters, its line break
// included) into one record. Fields that the line does not reach keep their
// empty values: spaces for texts, zero for numbers. With a findings list,
// the line is compared, as it is converted, with the well-formed line of its
// layout.
void ConvertFirstLayout(std::string_view line, CatalogRecord record, const LinePlace& place = {});
void ConvertSecondLayout(std::string_view line, CatalogRecord record, const LinePlace& place = {});

// A line whose first character is '-' divides the two sections.
constexpr bool IsSeparatorLine(std::string_view line) {
    return !line.empty() && line.front() == '-';
}

// What one block took from the file.
struct CatalogBlockInfo {
    int records = 0;                 // slots filled from record lines
    bool separator = false;          // the separator line was read into this block
    std::int64_t firstLine = 0;      // line the block's first read started in
    std::int64_t separatorLine = 0;  // when separator is true
    // The line each slot's record was made from; 0 for an empty slot.
    std::array<std::int64_t, kRecordsPerBlock> slotLines{};
};

// Fills the 16 slots of the next block from the data file, updating the
// position of the transfer. With a findings list, every record line is
// checked as it is converted.
CatalogBlockInfo BuildCatalogPayload(CDataFile& dataFile, std::int32_t blockCounter,
                                     CatalogPosition& position, Payload& payload,
                                     CatalogFindings* findings = nullptr);

// The blocks an Object Catalog transfer of a file sends, in order, with the
// block index each is written at (the flash address is the index * 0x400),
// worked out by the same steps as the transfer itself.
class CCatalogBlocks {
public:
    // Reads bytes, which must outlive the walk.
    void Open(std::span<const std::uint8_t> bytes) { file_.OpenText(bytes); }
    // Checks every record line from now on, into findings.
    void CheckLines(CatalogFindings* findings) { findings_ = findings; }
    // The next block; false when the transfer would send ":QUIT_COMM#"
    // instead.
    bool Next(Payload& payload, CatalogBlockInfo& info, std::int32_t& blockIndex);
    // True in the first section, and for the block that holds the separator.
    bool InFirstSection() const { return firstSection_; }
    CDataFile& File() { return file_; }

private:
    CDataFile file_;
    std::int32_t blockCounter_ = 0;
    CatalogPosition position_;
    bool firstSection_ = true;
    CatalogFindings* findings_ = nullptr;
};

// Works out every block an Object Catalog transfer of this file would send
// and where each would be written, and checks every record line. A catalogue
// fits when it is text (ScanText), every block lands in one of the two
// erased ranges and no block is written twice; otherwise errorText holds the
// log line that says why not, and at which line.
struct CatalogPlan {
    bool fits = false;
    std::int32_t blocks = 0;
    std::string errorText;
    std::int32_t records = 0;
    CatalogFindings findings;       // in the order of the file
    std::int32_t problemLines = 0;  // lines with at least one problem
    bool byteOrderMark = false;     // passed over, and a note among the findings
};

CatalogPlan PlanCatalog(std::span<const std::uint8_t> bytes);

// Reads the file into bytes, once, and plans it; a file that cannot be read
// gets the downloader's log line for it. The blocks are then walked over the
// same bytes, so that what is checked is what is converted.
CatalogPlan PlanCatalogFile(const std::filesystem::path& path, FileBytes& bytes);

}  // namespace velmoro
