#include "transfer_report.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "data_block.h"

namespace velmoro {

namespace {

using std::chrono::system_clock;

// "2026-12-08 10:04:49.123" in UTC; dateToo false leaves the time only.
std::string TimeText(system_clock::time_point time, bool dateToo) {
    const auto day = std::chrono::floor<std::chrono::days>(time);
    const std::chrono::year_month_day date{day};
    const std::chrono::hh_mm_ss clock{
        std::chrono::duration_cast<std::chrono::milliseconds>(time - day)};
    char text[40];
    if (dateToo) {
        std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d.%03d UTC",
                      static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                      static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                      static_cast<int>(clock.minutes().count()),
                      static_cast<int>(clock.seconds().count()),
                      static_cast<int>(clock.subseconds().count()));
    } else {
        std::snprintf(
            text, sizeof text, "%02d:%02d:%02d.%03d", static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()),
            static_cast<int>(clock.subseconds().count()));
    }
    return text;
}

// A file name's time: "20261208-100449-123".
std::string FileTimeText(system_clock::time_point time) {
    std::string text = TimeText(time, true);  // 2026-12-08 10:04:49.123 UTC
    std::string name;
    for (char c : text.substr(0, 23)) {
        if (c == ' ' || c == '.') {
            name.push_back('-');
        } else if (c != '-' && c != ':') {
            name.push_back(c);
        }
    }
    return name;
}

std::string WithoutLineEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

// A data block is 1025 bytes of data and CRC; a report names it rather than
// printing it.
std::string SentText(const std::string& sent) {
    if (sent.size() == std::tuple_size_v<DataBlock> && !sent.starts_with(':')) {
        char crc[8];
        std::snprintf(crc, sizeof crc, "%02x", static_cast<unsigned char>(sent.back()));
        return "a data block (" + std::to_string(sent.size()) + " bytes, CRC-8 " + crc + ")";
    }
    return sent.empty() ? "-" : PrintableBytes(sent);
}

// Only the names KeepReport gives: transfer-YYYYMMDD-HHMMSS-mmm[_n].txt. A
// user's own files in the folder are never counted, nor removed.
bool IsReportName(std::string_view name) {
    if (!name.starts_with(kReportPrefix) || !name.ends_with(kReportSuffix)) {
        return false;
    }
    name.remove_prefix(kReportPrefix.size());
    name.remove_suffix(kReportSuffix.size());
    constexpr std::string_view kShape = "dddddddd-dddddd-ddd";
    if (name.size() < kShape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (kShape[i] == 'd' ? !digit : name[i] != kShape[i]) {
            return false;
        }
    }
    std::string_view rest = name.substr(kShape.size());
    if (rest.empty()) {
        return true;
    }
    if (rest.size() < 2 || rest[0] != '_') {
        return false;
    }
    rest.remove_prefix(1);
    return std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The system's reason for the failure that set errno to number.
std::string FailureText(int number) {
    return number != 0 ? std::generic_category().message(number) : std::string("the write failed");
}

// Writes text into file, made or emptied first; false with the reason when
// any of it did not get there.
bool WriteInto(const std::filesystem::path& file, std::string_view text, std::string& errorText) {
    errno = 0;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    // What the buffer still held goes now: a full disk may say so only here.
    out.close();
    if (!out) {
        errorText = FailureText(errno);
        return false;
    }
    return true;
}

// A name for a new file beside path, "report.txt.5f3a9c1e.tmp": from the
// time and a count, so that two writers beside one file miss each other.
std::filesystem::path SpareName(const std::filesystem::path& path) {
    static std::uint32_t made = 0;
    const auto now = static_cast<std::uint64_t>(system_clock::now().time_since_epoch().count());
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp",
                  static_cast<unsigned>(static_cast<std::uint32_t>(now ^ (now >> 32)) + ++made));
    std::filesystem::path spare = path;
    spare += suffix;
    return spare;
}

}  // namespace

bool WriteWholeFile(const std::filesystem::path& path, std::string_view text,
                    std::string& errorText) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
    const bool there = std::filesystem::exists(status);
    if (there && !std::filesystem::is_regular_file(status) &&
        !std::filesystem::is_directory(status)) {
        return WriteInto(path, text, errorText);
    }
    if (there && (status.permissions() & std::filesystem::perms::owner_write) ==
                     std::filesystem::perms::none) {
        errorText = std::make_error_code(std::errc::permission_denied).message();
        return false;
    }
    const std::filesystem::path spare = SpareName(path);
    if (!WriteInto(spare, text, errorText)) {
        std::filesystem::remove(spare, error);
        return false;
    }
    if (there) {
        std::filesystem::permissions(spare, status.permissions(), error);
    }
    std::filesystem::rename(spare, path, error);
    if (error) {
        errorText = error.message();
        std::filesystem::remove(spare, error);
        return false;
    }
    return true;
}

std::string DescribeLineSettings(std::string_view settings) {
    // baud,parity,data,stop
    std::vector<std::string> parts(1);
    for (char c : settings) {
        if (c == ',') {
            parts.emplace_back();
        } else {
            parts.back().push_back(c);
        }
    }
    if (parts.size() != 4) {
        return std::string(settings);
    }
    std::string parity = parts[1];
    switch (parity.empty() ? ' ' : parity[0]) {
        case 'n':
        case 'N':
            parity = "no parity";
            break;
        case 'e':
        case 'E':
            parity = "even parity";
            break;
        case 'o':
        case 'O':
            parity = "odd parity";
            break;
        default:
            parity = "parity " + parity;
            break;
    }
    return parts[0] + " baud, " + parity + ", " + parts[2] + " data bits, " + parts[3] +
           (parts[3] == "1" ? " stop bit" : " stop bits");
}

std::string FormatReport(const ReportContext& context, UpdateType type,
                         system_clock::time_point started, const std::vector<ReportEntry>& entries,
                         const TransferEnd& end) {
    std::string text = "Velmoro Downloader transfer report\n\n";
    // A value stays on its line, whatever line breaks it holds.
    auto line = [&text](std::string_view name, std::string_view value) {
        std::string flat = WithoutLineEnd(value);
        std::replace(flat.begin(), flat.end(), '\r', ' ');
        std::replace(flat.begin(), flat.end(), '\n', ' ');
        text.append(name).append(": ").append(flat.empty() ? "-" : flat).append("\n");
    };
    line("Program", context.program);
    line("System", context.system);
    line("Started", TimeText(started, true));
    line("Ended", DescribeEnding(end));
    if (end.ending == Ending::PortLost ||
        (end.ending == Ending::Refused && end.refusal == Refusal::PortOpen)) {
        line("System error", end.detail);
    }
    text += "\n";
    for (const auto& [name, value] : context.port) {
        line(name, value);
    }
    line("Line settings", context.lineSettings);
    text += "\n";
    line("Update type", type == UpdateType::MainProgram ? "Main Program" : "Object Catalog");
    line("Data file", end.file.path);
    if (end.file.loaded) {
        line("Size", std::to_string(end.file.size) + " bytes");
        line("SHA-256", end.file.sha256);
    }
    text += "\n";
    line("Blocks acknowledged", std::to_string(end.blocksAcknowledged));
    line("Last sent", SentText(end.lastSent));
    line("Last received", end.lastReceived.empty() ? "-" : PrintableBytes(end.lastReceived));
    text += "\nLog:\n";
    for (const ReportEntry& entry : entries) {
        text += TimeText(entry.time, false) + "  " + PrintableBytes(entry.text) + "\n";
    }
    return text;
}

CTransferReporter::CTransferReporter(IWindowFace& inner, std::function<ReportContext()> context,
                                     Sink sink, Clock clock)
    : inner_(inner),
      context_(std::move(context)),
      sink_(std::move(sink)),
      clock_(clock ? std::move(clock) : Clock([] { return system_clock::now(); })) {}

void CTransferReporter::Note(std::string text) {
    entries_.push_back({clock_(), std::move(text)});
}

void CTransferReporter::ClearLog() {
    if (!open_) {
        open_ = true;
        entries_.clear();
        started_ = clock_();
        context_taken_.reset();
        type_ = inner_.GetUpdateType();
        const std::u8string path = inner_.DataFilePath().u8string();
        dataFile_.assign(path.begin(), path.end());
    }
    inner_.ClearLog();
}

void CTransferReporter::AppendLog(std::string_view text) {
    Note(WithoutLineEnd(text));
    inner_.AppendLog(text);
}

// Start asks for the update type once the port is open.
UpdateType CTransferReporter::GetUpdateType() const {
    if (open_ && !context_taken_ && context_) {
        context_taken_ = context_();
    }
    type_ = inner_.GetUpdateType();
    return type_;
}

void CTransferReporter::ReportPortFailure(std::string_view errorText) {
    std::string said = WithoutLineEnd(errorText);
    std::replace(said.begin(), said.end(), '\r', ' ');
    std::replace(said.begin(), said.end(), '\n', ' ');
    Note("[the port could not be opened: " + said + "]");
    inner_.ReportPortFailure(errorText);
}

bool CTransferReporter::AskQuestion(std::string_view question) {
    std::string asked = WithoutLineEnd(question);
    std::replace(asked.begin(), asked.end(), '\n', ' ');
    Note("[asked: " + asked + "]");
    const bool yes = inner_.AskQuestion(question);
    Note(yes ? "[answered Yes]" : "[answered No]");
    return yes;
}

void CTransferReporter::TransferEnded(const TransferEnd& end) {
    if (!open_) {
        started_ = clock_();
        entries_.clear();
    }
    open_ = false;
    if (!context_taken_) {
        context_taken_ = context_ ? context_() : ReportContext{};
    }
    TransferEnd told = end;
    if (told.file.path.empty()) {
        told.file.path = dataFile_;
    }
    lastReport_ = FormatReport(*context_taken_, type_, started_, entries_, told);
    inner_.TransferEnded(end);
    if (sink_) {
        sink_(lastReport_, end);
    }
}

std::filesystem::path KeepReport(const std::filesystem::path& folder, const std::string& report,
                                 system_clock::time_point ended, std::string& errorText) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        errorText = error.message();
        return {};
    }
    const std::string stem = std::string(kReportPrefix) + FileTimeText(ended);
    std::filesystem::path path = folder / (stem + std::string(kReportSuffix));
    // Two transfers ending in one millisecond keep both reports.
    for (int n = 2; std::filesystem::exists(path, error) && n < 100; ++n) {
        path = folder / (stem + "_" + std::to_string(n) + std::string(kReportSuffix));
    }
    if (!WriteWholeFile(path, report, errorText)) {
        return {};
    }
    // The oldest go by the times in their names. A clock set back since the
    // last transfer gives the new report the oldest name of all; it stays.
    const std::vector<std::filesystem::path> kept = KeptReports(folder);
    std::size_t excess = kept.size() > kKeptReports ? kept.size() - kKeptReports : 0;
    for (const std::filesystem::path& old : kept) {
        if (excess == 0) {
            break;
        }
        if (old.filename() != path.filename()) {
            std::filesystem::remove(old, error);
            --excess;
        }
    }
    return path;
}

std::vector<std::filesystem::path> KeptReports(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> kept;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(error) && IsReportName(name)) {
            kept.push_back(it->path());
        }
    }
    // The names sort as the times they carry.
    std::sort(kept.begin(), kept.end());
    return kept;
}

}  // namespace velmoro
