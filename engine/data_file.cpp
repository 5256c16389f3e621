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
            break;
        }
    }
    return {line_.data(), length};
}

}  // namespace velmoro
