#pragma once

// A plain-text report of every transfer, for the user to keep or attach
// when asking for help: program and system, the port and its settings, the
// data file with its SHA-256, every log line with its time, and how the
// transfer ended. CTransferReporter sits between the engine and a front
// end's window face, passes everything on, and hands the report of each
// Start to a sink when the engine says how it ended.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "faces.h"

namespace velmoro {

// What the front end knows of the program, the system and the port; asked
// for when a transfer ends, so the port is the one it used.
struct ReportContext {
    std::string program;  // "velmoro-downloader-cli 2.0.1 (commit 0123456789ab)"
    std::string system;   // "Linux 6.1.0 x86_64"
    // ("Port", "COM3"), ("Device", "/dev/ttyUSB0"), ("Adapter", ...), ...
    std::vector<std::pair<std::string, std::string>> port;
    std::string lineSettings;
};

struct ReportEntry {
    std::chrono::system_clock::time_point time;
    std::string text;  // a log line without its CR LF, or a note in brackets
};

// The report, lines ending in "\n". Times are UTC.
std::string FormatReport(const ReportContext& context, UpdateType type,
                         std::chrono::system_clock::time_point started,
                         const std::vector<ReportEntry>& entries, const TransferEnd& end);

// "115200,n,8,1" as a report says it: "115200 baud, no parity, 8 data bits,
// 1 stop bit".
std::string DescribeLineSettings(std::string_view settings);

class CTransferReporter final : public IWindowFace {
public:
    using Sink = std::function<void(const std::string& report, const TransferEnd& end)>;
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    CTransferReporter(IWindowFace& inner, std::function<ReportContext()> context, Sink sink,
                      Clock clock = {});

    void ClearLog() override;
    void AppendLog(std::string_view text) override;
    void SetStartStopCaption(std::string_view caption) override {
        inner_.SetStartStopCaption(caption);
    }
    void EnableOpenButton(bool enable) override { inner_.EnableOpenButton(enable); }
    void StartBeaconTimer(int periodMs) override { inner_.StartBeaconTimer(periodMs); }
    void StopBeaconTimer() override { inner_.StopBeaconTimer(); }
    std::filesystem::path DataFilePath() const override { return inner_.DataFilePath(); }
    UpdateType GetUpdateType() const override;
    void SetProgressRange(int lower, int upper) override { inner_.SetProgressRange(lower, upper); }
    void SetProgressPos(int pos) override { inner_.SetProgressPos(pos); }
    void ReportPortFailure(std::string_view errorText) override;
    bool AskQuestion(std::string_view question) override;
    void TransferEnded(const TransferEnd& end) override;

    // The report of the last transfer that ended; empty before the first.
    const std::string& LastReport() const { return lastReport_; }
    // From a Start's first step to its end, the question included.
    bool TransferOpen() const { return open_; }

private:
    void Note(std::string text);

    IWindowFace& inner_;
    std::function<ReportContext()> context_;
    Sink sink_;
    Clock clock_;
    // A Start clears the log and opens a report; Stop clears the window's
    // log too, but its lines stay in the report it ends.
    bool open_ = false;
    std::chrono::system_clock::time_point started_;
    // The port's facts are taken once it is open: after a lost port the
    // system knows nothing more of the adapter.
    mutable std::optional<ReportContext> context_taken_;
    mutable UpdateType type_ = UpdateType::MainProgram;
    std::string dataFile_;
    std::vector<ReportEntry> entries_;
    std::string lastReport_;
};

// Writes text to path whole or not at all: into a new file beside it, which
// then takes its place, so that a file already there stays as it was when
// the write fails (a full disk, say). What is not a file of its own, a link,
// a device or a pipe (/dev/stdout, /dev/null), is written through as it is:
// another program may hold what it reaches open. Returns false with
// errorText, the system's reason, when the text could not all be written.
bool WriteWholeFile(const std::filesystem::path& path, std::string_view text,
                    std::string& errorText);

// The reports a program keeps: each in its own file named by the time it
// ended; once there are more than kKeptReports, the oldest by the times in
// their names are removed, never the one just written.
inline constexpr std::size_t kKeptReports = 20;
inline constexpr std::string_view kReportPrefix = "transfer-";
inline constexpr std::string_view kReportSuffix = ".txt";

// Writes the report into folder (made if missing) and removes the oldest
// beyond kKeptReports; returns the file written, empty with errorText when
// it could not be (and nothing is removed then).
std::filesystem::path KeepReport(const std::filesystem::path& folder, const std::string& report,
                                 std::chrono::system_clock::time_point ended,
                                 std::string& errorText);

// The kept reports in folder, oldest first.
std::vector<std::filesystem::path> KeptReports(const std::filesystem::path& folder);

}  // namespace velmoro
