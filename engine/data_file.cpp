#include "data_file.h"

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
    lineNumber_ = 1;
    lineColumn_ = 1;
    return file_ != nullptr;
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

TextScan ScanText(const std::filesystem::path& path) {
    TextScan scan;
    CDataFile file;
    if (!file.Open(path)) {
        return scan;
    }
    std::int64_t line = 1;
    std::int64_t column = 1;
    std::array<std::uint8_t, 4096> chunk{};
    while (!file.AtEnd()) {
        const std::size_t got = file.ReadBytes(chunk.data(), chunk.size());
        for (std::size_t i = 0; i < got; ++i) {
            const std::uint8_t byte = chunk[i];
            if (!IsTextByte(byte)) {
                scan.readable = !file.HasError();
                scan.size += i + 1;
                scan.text = false;
                scan.line = line;
                scan.column = column;
                scan.byte = byte;
                return scan;
            }
            scan.lineBreak = scan.lineBreak || byte == '\n' || byte == '\r';
            if (byte == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        scan.size += got;
    }
    scan.readable = !file.HasError();
    return scan;
}

}  // namespace velmoro
