// velmoro-hc-sim: a simulated hand controller on a pseudo-terminal, to try
// the downloader without a mount and to test it end to end.

#include <fcntl.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include "pty_controller.h"
#include "transfer_figures.h"

namespace {

namespace fs = std::filesystem;
using velmoro::sim::CHandControllerModel;
using velmoro::sim::CPtyController;
using velmoro::sim::SimOptions;
using velmoro::sim::TransferStats;

constexpr int kExitViolations = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoPty = 3;
// The line rate of the real controller, for the ideal time of an unpaced run.
constexpr int kControllerBaud = 115200;

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    // Nothing to do when the pipe is full: a wake-up is already waiting.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

struct Settings {
    SimOptions options;
    std::string linkPath;
    std::string flashOut;
    std::string logPath;
    bool stats = false;
};

// Fills `settings` from the command line; false, with the complaint printed,
// for a usage error. --help and --version end the program here.
bool ParseCommandLine(const QCoreApplication& app, Settings& settings) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "A simulated hand controller on a pseudo-terminal. Point the downloader at the link.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption link(
        "link", "Symbolic link to the pty slave (replaced, removed at exit).", "PATH");
    const QCommandLineOption beacons("beacons", "Beacon bytes to receive before the greeting.", "N",
                                     "1");
    const QCommandLineOption pieces("pieces", "Send each reply in 1 to 3 random pieces.");
    const QCommandLineOption seed("seed", "Seed of the random generator for --pieces.", "S", "1");
    const QCommandLineOption splitAt(
        "split-at", "Send each reply longer than K bytes as its first K bytes, then the rest.",
        "K");
    const QCommandLineOption zero("zero-before", "Write a zero byte before every reply.");
    const QCommandLineOption errorAt("error-at", "Replace the N-th reply with an error reply.",
                                     "N");
    const QCommandLineOption errorReply("error-reply", "Error reply text for --error-at.", "TEXT");
    const QCommandLineOption strayAt("stray-at", "Write a stray byte before the N-th reply.", "N");
    const QCommandLineOption strayByte("stray-byte", "The stray byte, in hexadecimal.", "HEX",
                                       "3F");
    const QCommandLineOption writeDelay("write-delay", "Delay each flash write reply by MS ms.",
                                        "MS", "0");
    const QCommandLineOption latency(
        "latency",
        "Hold each reply until the next tick of an MS-ms timer, as an adapter's "
        "latency timer does.",
        "MS");
    const QCommandLineOption baud("baud", "Pace the line at B baud, 10 bits a byte.", "B");
    const QCommandLineOption hangupAt("hangup-at", "Hang up after sending N replies.", "N");
    const QCommandLineOption flashOut("flash-out", "Write the flash images into DIR at exit.",
                                      "DIR");
    const QCommandLineOption log(
        "log", "Append every command and reply, and the host's line settings, to FILE.", "FILE");
    const QCommandLineOption stats(
        "stats", "At exit, print the transfer time, its bytes and the host's reaction times.");
    parser.addOptions({link, beacons, pieces, seed, splitAt, zero, errorAt, errorReply, strayAt,
                       strayByte, writeDelay, latency, baud, hangupAt, flashOut, log, stats});

    if (!parser.parse(app.arguments())) {
        std::fprintf(stderr, "velmoro-hc-sim: %s\n", qPrintable(parser.errorText()));
        return false;
    }
    if (parser.isSet("help")) {
        parser.showHelp(0);
    }
    if (parser.isSet("version")) {
        parser.showVersion();
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "velmoro-hc-sim: unexpected argument %s\n",
                     qPrintable(parser.positionalArguments().front()));
        return false;
    }

    SimOptions& o = settings.options;
    bool valid = true;
    // Options left out keep the defaults of SimOptions.
    const auto take = [&](const QCommandLineOption& option, auto& target, long long lowest,
                          long long highest, int base = 10) {
        if (!valid || !parser.isSet(option)) {
            return;
        }
        const QString text = parser.value(option);
        // Digits alone: Qt's conversion would let a sign and spaces around
        // the number through.
        const bool digits =
            !text.isEmpty() && std::all_of(text.begin(), text.end(), [base](QChar c) {
                const char16_t u = c.unicode();
                return (u >= '0' && u <= '9') ||
                       (base == 16 && ((u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')));
            });
        bool ok = false;
        const long long value = text.toLongLong(&ok, base);
        if (!digits || !ok || value < lowest || value > highest) {
            std::fprintf(stderr, "velmoro-hc-sim: bad value '%s' for --%s\n", qPrintable(text),
                         qPrintable(option.names().front()));
            valid = false;
            return;
        }
        target = static_cast<std::remove_reference_t<decltype(target)>>(value);
    };
    take(beacons, o.beacons, 1, 1'000'000);
    take(seed, o.seed, 0, 0xFFFFFFFF);
    take(splitAt, o.splitAt, 1, 1'000'000);
    take(errorAt, o.errorAt, 1, 1'000'000);
    take(strayAt, o.strayAt, 1, 1'000'000);
    take(strayByte, o.strayByte, 0, 0xFF, 16);
    take(writeDelay, o.writeDelayMs, 0, 600'000);
    take(latency, o.latencyMs, 1, 255);
    take(baud, o.baud, 1, 10'000'000);
    take(hangupAt, o.hangupAt, 1, 1'000'000);
    if (!valid) {
        return false;
    }
    o.pieces = parser.isSet(pieces);
    o.zeroBefore = parser.isSet(zero);
    settings.stats = parser.isSet(stats);
    o.errorReply = parser.value(errorReply).toStdString();
    settings.linkPath = parser.value(link).toStdString();
    settings.flashOut = parser.value(flashOut).toStdString();
    settings.logPath = parser.value(log).toStdString();
    return true;
}

bool MakeLink(const std::string& target, const fs::path& link, std::string& errorText) {
    std::error_code error;
    if (fs::is_symlink(link, error)) {
        fs::remove(link, error);
    } else if (fs::exists(link, error)) {
        errorText = link.string() + " exists and is not a symbolic link";
        return false;
    }
    fs::create_symlink(target, link, error);
    if (error) {
        errorText = "cannot make the link " + link.string() + ": " + error.message();
        return false;
    }
    return true;
}

void RemoveLink(const std::string& target, const fs::path& link) {
    std::error_code error;
    // Another run may have taken the name over meanwhile; leave its link alone.
    if (fs::is_symlink(link, error) && fs::read_symlink(link, error) == target) {
        fs::remove(link, error);
    }
}

// One flash range as a file: written blocks at their offsets, 0xFF elsewhere.
bool WriteRange(const fs::path& path, const std::map<std::uint32_t, velmoro::Payload>& blocks,
                std::uint32_t begin, std::uint32_t end) {
    std::vector<char> image(end - begin, static_cast<char>(0xFF));
    for (const auto& [address, payload] : blocks) {
        if (address >= begin && address + payload.size() <= end) {
            std::copy(payload.begin(), payload.end(), image.begin() + (address - begin));
        }
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(image.data(), static_cast<std::streamsize>(image.size()));
    return static_cast<bool>(file);
}

bool WriteFlash(const CHandControllerModel& model, const fs::path& dir, std::string& errorText) {
    using namespace velmoro::sim;
    std::error_code error;
    fs::create_directories(dir, error);
    if (error) {
        errorText = "cannot make " + dir.string() + ": " + error.message();
        return false;
    }
    const auto& internal = model.Internal();
    const std::uint32_t internalEnd =
        internal.empty() ? kInternalFlashBase : internal.rbegin()->first + kBlockBytes;
    const bool ok = WriteRange(dir / "internal.bin", internal, kInternalFlashBase, internalEnd) &&
                    WriteRange(dir / "external-1.bin", model.External(), kExternalFirstBase,
                               kExternalFirstEnd) &&
                    WriteRange(dir / "external-2.bin", model.External(), kExternalSecondBase,
                               kExternalSecondEnd);
    if (!ok) {
        errorText = "cannot write the flash images into " + dir.string();
    }
    return ok;
}

void PrintStats(const TransferStats& stats, int baud) {
    if (!stats.finished) {
        std::printf("velmoro-hc-sim: stats: no finished transfer\n");
        return;
    }
    velmoro::sim::TransferFigures figures;
    figures.transferSeconds = std::chrono::duration<double>(stats.transfer).count();
    figures.bytesIn = stats.bytesIn;
    figures.bytesOut = stats.bytesOut;
    for (const TransferStats::Duration reaction : stats.reactions) {
        figures.reactionsMs.push_back(std::chrono::duration<double, std::milli>(reaction).count());
    }
    std::printf("velmoro-hc-sim: stats: %s\n",
                FiguresText(figures, baud > 0 ? baud : kControllerBaud).c_str());
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("velmoro-hc-sim");
    QCoreApplication::setApplicationVersion("2.0");

    Settings settings;
    if (!ParseCommandLine(app, settings)) {
        return kExitUsage;
    }
    std::FILE* log = nullptr;
    if (!settings.logPath.empty()) {
        log = std::fopen(settings.logPath.c_str(), "a");
        if (log == nullptr) {
            std::fprintf(stderr, "velmoro-hc-sim: cannot open the log %s\n",
                         settings.logPath.c_str());
            return kExitUsage;
        }
        settings.options.log = log;
    }

    CPtyController controller(settings.options);
    std::string errorText;
    if (!controller.Open(errorText) ||
        (!settings.linkPath.empty() &&
         !MakeLink(controller.SlaveName(), settings.linkPath, errorText))) {
        std::fprintf(stderr, "velmoro-hc-sim: %s\n", errorText.c_str());
        return kExitNoPty;
    }

    // A signal only wakes the event loop; the session ends from there, so the
    // link is removed and the summary printed as on any other end.
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("velmoro-hc-sim: pipe");
        return kExitNoPty;
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &controller,
                     [&controller] { controller.Stop(); });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    QObject::connect(&controller, &CPtyController::Ended, &app, &QCoreApplication::quit);

    if (settings.linkPath.empty()) {
        std::printf("velmoro-hc-sim: listening on %s\n", controller.SlaveName().c_str());
    } else {
        std::printf("velmoro-hc-sim: listening on %s (link %s)\n", controller.SlaveName().c_str(),
                    settings.linkPath.c_str());
    }
    std::fflush(stdout);

    QCoreApplication::exec();

    if (!settings.linkPath.empty()) {
        RemoveLink(controller.SlaveName(), settings.linkPath);
    }
    int status = 0;
    if (!settings.flashOut.empty() &&
        !WriteFlash(controller.Model(), settings.flashOut, errorText)) {
        std::fprintf(stderr, "velmoro-hc-sim: %s\n", errorText.c_str());
        status = kExitViolations;
    }
    const CHandControllerModel& model = controller.Model();
    const std::vector<std::string> violations = controller.Violations();
    std::printf("velmoro-hc-sim: %s; %zu commands, %zu blocks written, %zu violations\n",
                velmoro::sim::OutcomeText(controller.GetOutcome()), model.Commands().size(),
                model.Internal().size() + model.External().size(), violations.size());
    for (const std::string& violation : violations) {
        std::printf("velmoro-hc-sim: violation: %s\n", violation.c_str());
    }
    if (settings.stats) {
        PrintStats(controller.Stats(), settings.options.baud);
    }
    std::fflush(stdout);
    if (log != nullptr) {
        std::fclose(log);
    }
    return violations.empty() ? status : kExitViolations;
}
