#pragma once

// The data file of a transfer, read as raw bytes without line-end
// translation. It keeps its own end-of-file mark with the rule the unit count
// and the block steps depend on: a read sets the mark when it asks for more
// than is left; a read that takes exactly what is left does not.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string_view>

namespace velmoro {

// A catalogue line is read in pieces of at most 254 characters, its line
// break included.
inline constexpr std::size_t kMaxLineRead = 254;

class CDataFile {
public:
    CDataFile() = default;
    ~CDataFile();
    CDataFile(const CDataFile&) = delete;
    CDataFile& operator=(const CDataFile&) = delete;

    // Opens a regular file for reading; anything else (a directory, a
    // device) is refused, since reading it would not give the file's bytes.
    bool Open(const std::filesystem::path& path);
    // Opens a text file: a UTF-8 byte order mark at its very start is an
    // editor's mark, not a character of the first line, and is passed over.
    // Every other file reads exactly as with Open.
    bool OpenText(const std::filesystem::path& path);
    // OpenText passed over a byte order mark.
    bool ByteOrderMark() const { return byteOrderMark_; }
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    bool AtEnd() const { return atEnd_; }
    // A read failed for another reason than the end of the file.
    bool HasError() const { return hasError_; }

    // Reads up to count bytes; returns how many were read.
    std::size_t ReadBytes(std::uint8_t* destination, std::size_t count);

    // Reads one piece of a line: characters up to and including the next LF,
    // at most kMaxLineRead of them. Empty when nothing was left. The view
    // stays valid until the next read.
    std::string_view ReadLine();

    // Number of the physical line that the next ReadLine starts in, from 1,
    // and the column it starts at (1 unless a long line is read in pieces).
    std::int64_t LineNumber() const { return lineNumber_; }
    std::int64_t LineColumn() const { return lineColumn_; }

private:
    std::FILE* file_ = nullptr;
    bool atEnd_ = false;
    bool hasError_ = false;
    bool byteOrderMark_ = false;
    std::int64_t lineNumber_ = 1;
    std::int64_t lineColumn_ = 1;
    std::array<char, kMaxLineRead> line_{};
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
    bool readable = false;
    std::uintmax_t size = 0;
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

// Reads the file up to its first NUL or control byte, or to its end.
TextScan ScanText(const std::filesystem::path& path);

// A byte that stands for itself in text: printable ASCII, TAB, CR or LF.
constexpr bool IsTextByte(std::uint8_t byte) {
    return (byte >= 0x20 && byte <= 0x7E) || byte == '\t' || byte == '\r' || byte == '\n';
}

}  // namespace velmoro
