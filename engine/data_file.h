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
    std::int64_t lineNumber_ = 1;
    std::int64_t lineColumn_ = 1;
    std::array<char, kMaxLineRead> line_{};
};

// Whether a file is plain text: every byte printable ASCII, TAB, CR or LF.
struct TextScan {
    bool readable = false;
    std::uintmax_t size = 0;
    bool text = true;        // no other byte
    bool lineBreak = false;  // an LF or a CR before the first other byte
    std::int64_t line = 0;   // where the first other byte stands, from 1
    std::int64_t column = 0;
    std::uint8_t byte = 0;
};

// Reads the file up to its first byte that is not text, or to its end.
TextScan ScanText(const std::filesystem::path& path);

constexpr bool IsTextByte(std::uint8_t byte) {
    return (byte >= 0x20 && byte <= 0x7E) || byte == '\t' || byte == '\r' || byte == '\n';
}

}  // namespace velmoro
