#pragma once

// A file with given contents in a fresh temporary directory, removed again
// when the test is done.

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

namespace velmoro::testing {

// The reports of the transfers the tests make, and the look the windows
// remember, go to folders of the test run, never to the user's own: ctest
// names them, and a test program started by hand takes these.
inline bool KeepAside(const char* variable, const char* folderName) {
    if (std::getenv(variable) == nullptr) {
        const std::string folder = (std::filesystem::temp_directory_path() / folderName).string();
#ifdef _WIN32
        _putenv_s(variable, folder.c_str());
#else
        setenv(variable, folder.c_str(), 0);
#endif
    }
    return true;
}
inline const bool kReportsKeptAside = KeepAside("VELMORO_REPORTS_DIR", "velmoro-test-reports");
inline const bool kSettingsKeptAside = KeepAside("VELMORO_SETTINGS_DIR", "velmoro-test-settings");

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
