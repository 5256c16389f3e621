#include "data_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

namespace velmoro {

FileLoad LoadDataFile(const std::filesystem::path& path, FileBytes& bytes, std::error_code* error) {
    bytes.clear();
    std::error_code unused;
    std::error_code& reason = error != nullptr ? *error : unused;
    reason.clear();
    // A file in a folder the user may not look into is there all the same:
    // it cannot be read, and the system says why.
    const std::filesystem::file_status status = std::filesystem::status(path, reason);
    if (status.type() == std::filesystem::file_type::not_found) {
        reason.clear();
        return FileLoad::NotFound;
    }
    if (reason) {
        return FileLoad::Unreadable;
    }
    if (!std::filesystem::is_regular_file(status)) {
        return FileLoad::NotFound;
    }
    errno = 0;
#ifdef _WIN32
    std::FILE* file = _wfopen(path.c_str(), L"rb");
#else
    std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
    if (file == nullptr) {
        const int code = errno;
        if (code == ENOENT) {
            return FileLoad::NotFound;  // gone since it was looked at
        }
        reason = std::error_code(code != 0 ? code : EIO, std::generic_category());
        return FileLoad::Unreadable;
    }
    // The size is only a hint: the file may grow or shrink while it is read.
    // The reads themselves decide, and stop one byte past the limit.
    std::error_code sizeError;
    const std::uintmax_t hint = std::filesystem::file_size(path, sizeError);
    if (!sizeError && hint > kMaxDataFileBytes) {
        std::fclose(file);
        return FileLoad::TooLarge;
    }
    constexpr std::size_t kChunk = std::size_t{64} * 1024;
    bytes.reserve(sizeError ? kChunk : static_cast<std::size_t>(hint) + 1);
    FileLoad load = FileLoad::Loaded;
    while (true) {
        const std::size_t had = bytes.size();
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uintmax_t>(kChunk, kMaxDataFileBytes + 1 - had));
        bytes.resize(had + want);
        errno = 0;
        const std::size_t got = std::fread(bytes.data() + had, 1, want, file);
        bytes.resize(had + got);
        if (got < want) {
            if (std::ferror(file) != 0) {
                const int code = errno;
                reason = std::error_code(code != 0 ? code : EIO, std::generic_category());
                load = FileLoad::Unreadable;
            }
            break;
        }
        if (bytes.size() > kMaxDataFileBytes) {
            load = FileLoad::TooLarge;
            break;
        }
    }
    std::fclose(file);
    if (load != FileLoad::Loaded) {
        FileBytes().swap(bytes);
    }
    return load;
}

std::string DataFileLoadText(FileLoad load, const std::error_code& error) {
    switch (load) {
        case FileLoad::Loaded:
            return {};
        case FileLoad::NotFound:
            return std::string(texts::kNoDataFile);
        case FileLoad::TooLarge:
            return std::string(texts::kDataFileTooLarge);
        case FileLoad::Unreadable:
            break;
    }
    if (!error) {
        return std::string(texts::kUnreadableDataFile);
    }
    // The system's words, without the full stop and line break some
    // systems end them with; its number where its words are no UTF-8.
    std::string words = error.message();
    while (!words.empty() && (words.back() == '.' || words.back() == '\r' || words.back() == '\n' ||
                              words.back() == ' ')) {
        words.pop_back();
    }
    const std::span<const std::uint8_t> wordBytes(
        reinterpret_cast<const std::uint8_t*>(words.data()), words.size());
    if (words.empty() || !ScanText(wordBytes).text || ScanText(wordBytes).lineBreak) {
        words = "system error " + std::to_string(error.value());
    }
    return "ERROR! Cannot read data file (" + words + ")!\r\n";
}

void CDataFile::Open(std::span<const std::uint8_t> bytes) {
    bytes_ = bytes;
    pos_ = 0;
    open_ = true;
    atEnd_ = false;
    byteOrderMark_ = false;
    lineNumber_ = 1;
    lineColumn_ = 1;
}

void CDataFile::OpenText(std::span<const std::uint8_t> bytes) {
    Open(bytes);
    const std::string_view start(reinterpret_cast<const char*>(bytes.data()),
                                 std::min(bytes.size(), kByteOrderMark.size()));
    if (start == kByteOrderMark) {
        byteOrderMark_ = true;
        pos_ = kByteOrderMark.size();
    }
}

void CDataFile::Close() {
    bytes_ = {};
    pos_ = 0;
    open_ = false;
}

std::size_t CDataFile::ReadBytes(std::uint8_t* destination, std::size_t count) {
    const std::size_t got = std::min(count, bytes_.size() - pos_);
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_), got, destination);
    pos_ += got;
    if (got < count) {
        atEnd_ = true;
    }
    return got;
}

std::string_view CDataFile::ReadLine() {
    const auto* const start = reinterpret_cast<const char*>(bytes_.data()) + pos_;
    std::size_t length = 0;
    while (length < kMaxLineRead) {
        if (pos_ == bytes_.size()) {
            atEnd_ = true;
            break;
        }
        const std::uint8_t c = bytes_[pos_++];
        ++length;
        if (c == '\n') {
            ++lineNumber_;
            lineColumn_ = 1;
            return {start, length};
        }
    }
    lineColumn_ += static_cast<std::int64_t>(length);
    return {start, length};
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

TextScan ScanText(std::span<const std::uint8_t> data) {
    TextScan scan;
    const std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
    std::int64_t line = 1;
    std::int64_t column = 1;
    bool brokenUtf8 = false;
    const auto name = [&scan, &line, &column](std::uint8_t byte) {
        scan.text = false;
        scan.line = line;
        scan.column = column;
        scan.byte = byte;
    };
    std::size_t i = bytes.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<std::uint8_t>(bytes[i]);
        if (byte < 0x80 && !IsTextByte(byte)) {
            name(byte);
            scan.controlByte = true;
            return scan;
        }
        const Utf8Char c = ReadUtf8(bytes, i);
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
    return scan;
}

}  // namespace velmoro
