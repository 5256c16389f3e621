#include "data_file.h"

#include <algorithm>
#include <system_error>

namespace velmoro {

CDataFile::~CDataFile() {
    Close();
}

bool CDataFile::Open(const std::filesystem::path& path) {
    Close();
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return false;
    }
#ifdef _WIN32
    file_ = _wfopen(path.c_str(), L"rb");
#else
    file_ = std::fopen(path.c_str(), "rb");
#endif
    atEnd_ = false;
    hasError_ = false;
    byteOrderMark_ = false;
    lineNumber_ = 1;
    lineColumn_ = 1;
    return file_ != nullptr;
}

bool CDataFile::OpenText(const std::filesystem::path& path) {
    byteOrderMark_ = false;
    if (!Open(path)) {
        return false;
    }
    std::array<char, kByteOrderMark.size()> start{};
    const std::size_t got = std::fread(start.data(), 1, start.size(), file_);
    if (std::string_view(start.data(), got) == kByteOrderMark) {
        byteOrderMark_ = true;
        return true;
    }
    // Back to the first byte, and without the end-of-file indicator a short
    // file has now: the reads start as if nothing had been read.
    hasError_ = std::ferror(file_) != 0;
    if (std::fseek(file_, 0, SEEK_SET) != 0) {
        hasError_ = true;
    }
    return true;
}

void CDataFile::Close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

std::size_t CDataFile::ReadBytes(std::uint8_t* destination, std::size_t count) {
    if (file_ == nullptr) {
        atEnd_ = true;
        return 0;
    }
    const std::size_t got = std::fread(destination, 1, count, file_);
    if (got < count) {
        atEnd_ = true;
        hasError_ = hasError_ || std::ferror(file_) != 0;
    }
    return got;
}

std::string_view CDataFile::ReadLine() {
    if (file_ == nullptr) {
        atEnd_ = true;
        return {};
    }
    std::size_t length = 0;
    while (length < line_.size()) {
        const int c = std::fgetc(file_);
        if (c == EOF) {
            atEnd_ = true;
            hasError_ = hasError_ || std::ferror(file_) != 0;
            break;
        }
        line_[length++] = static_cast<char>(c);
        if (c == '\n') {
            ++lineNumber_;
            lineColumn_ = 1;
            return {line_.data(), length};
        }
    }
    lineColumn_ += static_cast<std::int64_t>(length);
    return {line_.data(), length};
}

Utf8Char ReadUtf8(std::string_view text, std::size_t pos) {
    const auto byteAt = [&text](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byteAt(pos);
    if (lead < 0x80) {
        return {lead, 1, false};
    }
    // The second byte's range excludes overlong forms, surrogates and code
    // points above U+10FFFF; every later byte is 0x80 to 0xBF.
    std::size_t length = 0;
    char32_t code = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1FU;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0FU;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07U;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (pos + i >= text.size()) {
            return {0, 0, true};
        }
        const std::uint8_t next = byteAt(pos + i);
        if (next < low || next > high) {
            return {};
        }
        code = (code << 6U) | (next & 0x3FU);
        low = 0x80;
        high = 0xBF;
    }
    return {code, length, false};
}

std::int64_t CharacterColumn(std::string_view line, std::size_t pos) {
    std::int64_t column = 0;
    std::size_t i = 0;
    while (i < line.size() && i <= pos) {
        const Utf8Char c = ReadUtf8(line, i);
        ++column;
        i += c.length == 0 ? 1 : c.length;
    }
    return pos >= line.size() ? column + 1 : column;
}

TextScan ScanText(const std::filesystem::path& path) {
    TextScan scan;
    CDataFile file;
    if (!file.Open(path)) {
        return scan;
    }
    std::int64_t line = 1;
    std::int64_t column = 1;
    bool brokenUtf8 = false;
    const auto name = [&](std::uint8_t byte) {
        scan.text = false;
        scan.line = line;
        scan.column = column;
        scan.byte = byte;
    };
    // A character the end of a chunk cuts is read again at the start of the
    // next one.
    constexpr std::size_t kChunk = 4096;
    std::array<std::uint8_t, kChunk + 4> buffer{};
    std::size_t kept = 0;
    bool first = true;
    while (!file.AtEnd()) {
        const std::size_t got = file.ReadBytes(buffer.data() + kept, kChunk);
        scan.size += got;
        const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()), kept + got);
        std::size_t i = 0;
        kept = 0;
        if (first && bytes.starts_with(kByteOrderMark)) {
            i = kByteOrderMark.size();
        }
        first = false;
        while (i < bytes.size()) {
            const auto byte = static_cast<std::uint8_t>(bytes[i]);
            if (byte < 0x80 && !IsTextByte(byte)) {
                name(byte);
                scan.controlByte = true;
                scan.readable = !file.HasError();
                return scan;
            }
            const Utf8Char c = ReadUtf8(bytes, i);
            if (c.partial && !file.AtEnd()) {
                kept = bytes.size() - i;
                std::copy_n(buffer.begin() + static_cast<std::ptrdiff_t>(i), kept, buffer.begin());
                break;
            }
            if (c.length == 0 && !brokenUtf8) {
                brokenUtf8 = true;
                name(byte);
            }
            scan.lineBreak = scan.lineBreak || byte == '\n' || byte == '\r';
            if (byte == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
            i += c.length == 0 ? 1 : c.length;
        }
    }
    scan.readable = !file.HasError();
    return scan;
}

}  // namespace velmoro
