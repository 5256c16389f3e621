#pragma once

// What the fuzz targets share: how a broken invariant is reported, and the
// scratch files they need because the catalogue and image readers only read
// files. Scratch files carry the process id, so that parallel fuzzing jobs
// never share one.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace velmoro::fuzz {

// Where invariant failures are described; a target that has to silence
// stderr points this at a copy of it.
inline std::FILE*& ReportStream() {
    static std::FILE* stream = stderr;
    return stream;
}

// libFuzzer takes the abort for a crash and keeps the input that caused it.
[[noreturn]] inline void Fail(std::string_view what, std::string_view detail = {}) {
    std::FILE* out = ReportStream();
    std::fprintf(out, "\nINVARIANT BROKEN: %.*s\n", static_cast<int>(what.size()), what.data());
    if (!detail.empty()) {
        std::string printable;
        for (char c : detail) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x20 && byte < 0x7F) {
                printable.push_back(c);
            } else {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
                printable += escaped;
            }
        }
        std::fprintf(out, "  %s\n", printable.c_str());
    }
    std::fflush(out);
    std::abort();
}

inline void Check(bool holds, std::string_view what, std::string_view detail = {}) {
    if (!holds) {
        Fail(what, detail);
    }
}

// Scratch files go when the fuzzer ends normally; after a crash they stay,
// so the input that caused it can be looked at.
inline void RemoveAtExit(std::filesystem::path path) {
    static std::vector<std::filesystem::path> paths;
    if (paths.empty()) {
        std::atexit([] {
            for (const std::filesystem::path& scratch : paths) {
                std::error_code ignored;
                std::filesystem::remove_all(scratch, ignored);
            }
        });
    }
    paths.push_back(std::move(path));
}

// A path in the temporary directory that belongs to this process alone.
inline std::filesystem::path ScratchPath(std::string_view name) {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("velmoro-fuzz-" + std::to_string(::getpid()) + "-" + std::string(name));
    RemoveAtExit(path);
    return path;
}

inline void WriteFile(const std::filesystem::path& path, const std::uint8_t* data,
                      std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    Check(static_cast<bool>(out), "scratch file written", path.string());
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace velmoro::fuzz
