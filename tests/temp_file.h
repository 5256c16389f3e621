#pragma once

// A file with given contents in a fresh temporary directory, removed again
// when the test is done.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

namespace velmoro::testing {

class TempFile {
public:
    explicit TempFile(std::string_view contents, std::string_view name = "data") {
        static std::atomic<int> counter{0};
        dir_ = std::filesystem::temp_directory_path() /
               ("velmoro-test-" + std::to_string(std::random_device{}()) + "-" +
                std::to_string(counter++));
        std::filesystem::create_directories(dir_);
        path_ = dir_ / std::string(name);
        std::ofstream out(path_, std::ios::binary);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    }
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path dir_;
    std::filesystem::path path_;
};

}  // namespace velmoro::testing
