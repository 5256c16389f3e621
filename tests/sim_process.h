#pragma once

// velmoro-hc-sim as a process of its own, for tests that drive a downloader
// against it over a real pseudo-terminal.

#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "catalog.h"
#include "data_block.h"
#include "temp_file.h"

namespace velmoro::testing {

namespace fs = std::filesystem;

constexpr int kWaitMs = 30000;

// A firmware image of reproducible bytes.
inline std::string PseudoRandomImage(std::size_t size, std::uint32_t seed) {
    std::string image(size, '\0');
    std::uint32_t x = seed;
    for (char& c : image) {
        x = x * 1103515245U + 12345U;
        c = static_cast<char>(x >> 24);
    }
    return image;
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The simulator, started with a link and a flash directory in a scratch
// directory of its own.
class Sim {
public:
    // With `log`, every command and reply goes to a file that a test can
    // watch, to act at a known point of the transfer.
    explicit Sim(QStringList options, bool log = false) : scratch_("") {
        link_ = Dir() / "hc";
        flash_ = Dir() / "flash";
        log_ = Dir() / "hc.log";
        if (log) {
            options << "--log" << QString::fromStdString(log_.string());
        }
        process_.start(VELMORO_HC_SIM,
                       QStringList{"--link", QString::fromStdString(link_.string()), "--flash-out",
                                   QString::fromStdString(flash_.string())} +
                           options);
        while (!process_.canReadLine() && process_.waitForReadyRead(kWaitMs)) {
        }
        listening_ = process_.readLine().startsWith("velmoro-hc-sim: listening on");
    }
    ~Sim() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    fs::path Dir() const { return scratch_.Path().parent_path(); }
    std::string Link() const { return link_.string(); }
    bool Listening() const { return listening_; }

    // Waits for the simulator to end by itself (or stops it) and returns its
    // summary line.
    std::string Finish(bool stop = false) {
        if (stop) {
            process_.terminate();
        }
        process_.waitForFinished(kWaitMs);
        exitCode_ = process_.exitCode();
        return process_.readAllStandardOutput().toStdString();
    }
    int ExitCode() const { return exitCode_; }
    std::string Flash(const char* name) const { return ReadFile(flash_ / name); }
    // What the log holds so far; empty without one.
    std::string Log() const { return ReadFile(log_); }

private:
    TempFile scratch_;
    fs::path link_;
    fs::path flash_;
    fs::path log_;
    QProcess process_;
    bool listening_ = false;
    int exitCode_ = -1;
};

// The two external ranges as the simulator saves them must hold the blocks
// that a fresh conversion of the catalogue makes, and nothing else.
inline void ExpectCatalogInFlash(const fs::path& catalog, const Sim& sim) {
    std::string first(0x4000, '\xFF');
    std::string second(0x40000, '\xFF');
    FileBytes bytes;
    ASSERT_EQ(LoadDataFile(catalog, bytes), FileLoad::Loaded);
    CCatalogBlocks blocks;
    blocks.Open(bytes);
    Payload payload{};
    CatalogBlockInfo info;
    std::int32_t v = 0;
    while (blocks.Next(payload, info, v)) {
        const std::uint32_t address = static_cast<std::uint32_t>(v) * 0x400U;
        std::string& range = address < 0x81150000U ? first : second;
        const std::uint32_t base = address < 0x81150000U ? 0x81140000U : 0x81150000U;
        range.replace(address - base, kPayloadSize, std::string(payload.begin(), payload.end()));
    }
    EXPECT_EQ(sim.Flash("external-1.bin"), first);
    EXPECT_EQ(sim.Flash("external-2.bin"), second);
}

}  // namespace velmoro::testing
