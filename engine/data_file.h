#pragma once

// The data file of a transfer. Start reads it whole into memory, once: every
// check, the question, the progress range and every block sent come from
// that one copy, so a file changed on disk afterwards (an editor saving, a
// build, a sync client) changes nothing of what reaches the controller.
//
// CDataFile reads that copy as raw bytes without line-end translation. It
// keeps its own end-of-file mark with the rule the unit count and the block
// steps depend on: a read sets the mark when it asks for more than is left;
// a read that takes exactly what is left does not.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace velmoro {

// A catalogue line is read in pieces of at most 254 characters, its line
// break included.
inline constexpr std::size_t kMaxLineRead = 254;

// The largest data file read. Far above any image the controller's flash
// takes or any catalogue that fits its two ranges (about 1 MiB), and small
// enough to hold whole on the smallest computers at the mount.
inline constexpr std::uintmax_t kMaxDataFileBytes = std::uintmax_t{64} * 1024 * 1024;

using FileBytes = std::vector<std::uint8_t>;

namespace texts {
// What Start says of a data file it could not load, each a log line.
inline constexpr std::string_view kNoDataFile = "ERROR! Cannot find data file!\r\n";
// A file that is there but could not be read, where the system gives no
// reason; UnreadableDataFileText says it with one.
inline constexpr std::string_view kUnreadableDataFile = "ERROR! Cannot read data file!\r\n";
inline constexpr std::string_view kDataFileTooLarge =
    "ERROR! The data file is larger than 64 MiB, more than can be read!\r\n";
static_assert(kMaxDataFileBytes == std::uintmax_t{64} * 1024 * 1024,
              "kDataFileTooLarge names the limit");
}  // namespace texts

enum class FileLoad {
    Loaded,
    NotFound,    // no such file, or not a regular file (a directory, a device)
    Unreadable,  // the file is there, but opening or reading it failed
    TooLarge,    // larger than kMaxDataFileBytes
};

// Reads the whole file into bytes, which hold nothing unless it is Loaded.
// error, when given, receives the system's reason for Unreadable.
FileLoad LoadDataFile(const std::filesystem::path& path, FileBytes& bytes,
                      std::error_code* error = nullptr);

// The log line for a file that was not loaded: cannot find, cannot read
// (with the system's reason where it gave one), or too large.
std::string DataFileLoadText(FileLoad load, const std::error_code& error = {});

class CDataFile {
public:
    // Reads bytes, which must outlive the reading.
    void Open(std::span<const std::uint8_t> bytes);
    // Reads a text: a UTF-8 byte order mark at its very start is an
    // editor's mark, not a character of the first line, and is passed over.
    // Every other text reads exactly as with Open.
    void OpenText(std::span<const std::uint8_t> bytes);
    // OpenText passed over a byte order mark.
    bool ByteOrderMark() const { return byteOrderMark_; }
    // Ends the reading; later reads find the end.
    void Close();
    bool IsOpen() const { return open_; }

    bool AtEnd() const { return atEnd_; }

    // Reads up to count bytes; returns how many were read.
    std::size_t ReadBytes(std::uint8_t* destination, std::size_t count);

    // Reads one piece of a line: characters up to and including the next LF,
    // at most kMaxLineRead of them. Empty when nothing was left. The view
    // points into the bytes given to Open.
    std::string_view ReadLine();

    // Number of the physical line that the next ReadLine starts in, from 1,
    // and the column it starts at (1 unless a long line is read in pieces).
    std::int64_t LineNumber() const { return lineNumber_; }
    std::int64_t LineColumn() const { return lineColumn_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    bool open_ = false;
    bool atEnd_ = false;
    bool byteOrderMark_ = false;
    std::int64_t lineNumber_ = 1;
    std::int64_t lineColumn_ = 1;
};

inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// One UTF-8 character in a text: its code point and how many bytes it takes.
// length is 0 where the bytes at pos form no character; partial is set when
// the text ends inside a character that its first bytes begin.
struct Utf8Char {
    char32_t code = 0;
    std::size_t length = 0;
    bool partial = false;
};

Utf8Char ReadUtf8(std::string_view text, std::size_t pos);

// Where the user sees a byte of a line: the column, from 1, of the character
// that holds the byte at pos (the bytes after a UTF-8 character's first one
// share its column); pos == line.size() is the column after the last.
std::int64_t CharacterColumn(std::string_view line, std::size_t pos);

// Whether a file is text: no NUL, no control byte but TAB, CR and LF, and
// valid UTF-8 wherever a byte above 0x7F stands. Plain ASCII is all of that.
struct TextScan {
    bool text = true;          // all of the above
    bool controlByte = false;  // the byte named is a NUL or another control byte
    bool lineBreak = false;    // an LF or a CR in what was read
    // Where the byte named stands, from 1, columns counting characters (the
    // byte order mark is none). A control byte is named before a byte that
    // breaks UTF-8, which a file in another encoding has as well.
    std::int64_t line = 0;
    std::int64_t column = 0;
    std::uint8_t byte = 0;
};

// Reads the bytes up to their first NUL or control byte, or to their end.
TextScan ScanText(std::span<const std::uint8_t> bytes);

// A byte that stands for itself in text: printable ASCII, TAB, CR or LF.
constexpr bool IsTextByte(std::uint8_t byte) {
    return (byte >= 0x20 && byte <= 0x7E) || byte == '\t' || byte == '\r' || byte == '\n';
}

}  // namespace velmoro
