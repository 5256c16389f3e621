// The command-line downloader against the simulated controller, both as
// processes, over a real pseudo-terminal: what reached the controller's flash
// is compared with what the engine must send.
//
// Built twice: velmoro_cli_e2e_tests runs the Linux program;
// velmoro_wine_e2e_tests (VELMORO_UNDER_WINE) runs the Windows program
// $VELMORO_WINDOWS_CLI under Wine, in the prefix that tests/wine/suite.sh
// sets up, where COM1 reaches the link $VELMORO_WINE_COM1_LINK (each test
// points it at its simulator) and COM8 reaches nothing.

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#ifndef VELMORO_UNDER_WINE
#include <sys/resource.h>
#endif

#include "catalog.h"
#include "data_block.h"
#include "sim_process.h"
#include "temp_file.h"
#include "transfer.h"

namespace velmoro::testing {
namespace {

namespace fs = std::filesystem;

QStringList Args(std::initializer_list<std::string> items) {
    QStringList list;
    for (const std::string& item : items) {
        list << QString::fromStdString(item);
    }
    return list;
}

#ifdef VELMORO_UNDER_WINE
// Wine is given the serial lines a pseudo-terminal lacks
// (sim/pty_serial_lines.cpp), so that the program waits for serial
// events as on a real port; the group WithoutEvents leaves them out, and the
// program reads without events, as it does where the driver cannot wait.
bool gSerialEvents = true;

// Where the preloaded library notes each wait for events.
fs::path SerialWaitsFile() {
    return qEnvironmentVariable("VELMORO_WINE_COM1_LINK").toStdString() + ".waits";
}

std::size_t SerialWaits() {
    const std::string notes = ReadFile(SerialWaitsFile());
    return static_cast<std::size_t>(std::count(notes.begin(), notes.end(), '\n'));
}

void StartCli(QProcess& cli, const QStringList& args) {
    std::error_code ignored;
    fs::remove(SerialWaitsFile(), ignored);
    if (gSerialEvents) {
        QProcessEnvironment environment = cli.processEnvironment();
        environment.insert("LD_PRELOAD", VELMORO_PTY_SERIAL_LINES);
        environment.insert("VELMORO_SERIAL_WAITS", QString::fromStdString(SerialWaitsFile()));
        cli.setProcessEnvironment(environment);
    }
    cli.start("/usr/lib/wine/wine64",
              QStringList{qEnvironmentVariable("VELMORO_WINDOWS_CLI")} + args);
}

// COM1, pointed at the simulator.
QString PortOf(const Sim& sim) {
    const fs::path link = qEnvironmentVariable("VELMORO_WINE_COM1_LINK").toStdString();
    std::error_code ignored;
    fs::remove(link, ignored);
    fs::create_symlink(sim.Link(), link);
    return "COM1";
}

// Windows writes its text output with CR LF line ends.
std::string FromConsole(const QByteArray& bytes) {
    return QString::fromLatin1(bytes).replace("\r\n", "\n").toLatin1().toStdString();
}
#else
void StartCli(QProcess& cli, const QStringList& args) {
    cli.start(VELMORO_CLI, args);
}

QString PortOf(const Sim& sim) {
    return QString::fromStdString(sim.Link());
}

std::string FromConsole(const QByteArray& bytes) {
    return bytes.toStdString();
}
#endif

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the downloader; `during`, when given, acts on the running process once
// its first line of output has come.
CliResult RunCli(
    const QStringList& args, const std::function<void(QProcess&)>& during = {},
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess cli;
    cli.setProcessEnvironment(environment);
    StartCli(cli, args);
    if (during) {
        cli.waitForReadyRead(kWaitMs);
        during(cli);
    }
    cli.waitForFinished(kWaitMs);
    CliResult result;
    result.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    result.out = FromConsole(cli.readAllStandardOutput());
    result.err = FromConsole(cli.readAllStandardError());
    return result;
}

CliResult Download(const Sim& sim, const char* type, const fs::path& file, QStringList extra = {}) {
    return RunCli(QStringList{"download", "--port", PortOf(sim), "--type", type,
                              QString::fromStdString(file.string())} +
                  extra);
}

std::string Lines(std::initializer_list<std::string_view> texts) {
    std::string out;
    for (std::string_view text : texts) {
        out += std::string(text.substr(0, text.size() - 2)) + "\n";
    }
    return out;
}

const std::string kFinishedLog =
    Lines({texts::kResetPrompt, texts::kConnected, texts::kProcessing, texts::kFinished});

std::string Image(std::size_t size) {
    return PseudoRandomImage(size, 12345U);
}

class FirmwareOverPty : public ::testing::TestWithParam<std::size_t> {
protected:
    void ReachesTheFlashExactly();
};

TEST_P(FirmwareOverPty, ReachesTheFlashExactly) {
    ReachesTheFlashExactly();
}

void FirmwareOverPty::ReachesTheFlashExactly() {
    const std::string image = Image(GetParam());
    TempFile file(image);
    Sim sim({"--beacons", "2"}, true);
    ASSERT_TRUE(sim.Listening());
    // The file is emptied once the transfer has begun: what goes is the file
    // as it was when the download read it.
    const CliResult cli = RunCli(
        {"download", "--port", PortOf(sim), "--type", "main",
         QString::fromStdString(file.Path().string())},
        [&file](QProcess&) { std::ofstream(file.Path(), std::ios::binary | std::ios::trunc); });
    EXPECT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(cli.out, kFinishedLog);
    // The simulator counts other settings as a violation; this shows it read them.
    EXPECT_NE(sim.Log().find("line: 115200 baud, 8 data bits, no parity, 1 stop bit, no flow "
                             "control\n"),
              std::string::npos)
        << sim.Log();
    const std::size_t blocks = image.size() / kPayloadSize + 1;
    EXPECT_EQ(sim.Finish(), "velmoro-hc-sim: finished; " + std::to_string(blocks * 2 + 4) +
                                " commands, " + std::to_string(blocks) +
                                " blocks written, 0 violations\n");
    EXPECT_EQ(sim.ExitCode(), 0);
    EXPECT_EQ(sim.Flash("internal.bin"),
              image + std::string(blocks * kPayloadSize - image.size(), '\0'));
#ifdef VELMORO_UNDER_WINE
    if (gSerialEvents) {
        // Each reply was awaited by a wait for events, none by a read.
        EXPECT_GE(SerialWaits(), blocks);
    }
#endif
}

INSTANTIATE_TEST_SUITE_P(Sizes, FirmwareOverPty,
                         ::testing::Values(1, 1023, 1024, 1500, 2048, 100000),
                         [](const auto& info) { return "Bytes" + std::to_string(info.param); });

#ifdef VELMORO_UNDER_WINE
// A driver that cannot wait for events: the waiting reads carry the transfer.
class FirmwareOverPtyWithoutEvents : public FirmwareOverPty {
protected:
    void SetUp() override { gSerialEvents = false; }
    void TearDown() override { gSerialEvents = true; }
};

TEST_P(FirmwareOverPtyWithoutEvents, ReachesTheFlashExactly) {
    ReachesTheFlashExactly();
}

INSTANTIATE_TEST_SUITE_P(Sizes, FirmwareOverPtyWithoutEvents, ::testing::Values(1024, 100000),
                         [](const auto& info) { return "Bytes" + std::to_string(info.param); });
#endif

std::string CatalogText(int before, int after) {
    std::string text;
    for (int i = 1; i <= before; ++i) {
        text += "OBJ" + std::to_string(i) + "   ,Object " + std::to_string(i) +
                "    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n";
    }
    text += "----- second section -----\r\n";
    for (int i = 1; i <= after; ++i) {
        text += std::to_string(i) + ",Star " + std::to_string(i) +
                "  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5\r\n";
    }
    return text;
}

TEST(CatalogOverPty, BothSectionsLandInTheirRanges) {
    const struct {
        int before;
        int after;
        bool mark;  // a UTF-8 byte order mark first, which must not reach the flash
    } cases[] = {{17, 20, false}, {0, 5, false}, {17, 3, true}};
    for (const auto& c : cases) {
        const std::string text = CatalogText(c.before, c.after);
        TempFile file((c.mark ? std::string(kByteOrderMark) : "") + text);
        TempFile withoutMark(text);
        Sim sim({"--pieces", "--zero-before"});
        ASSERT_TRUE(sim.Listening());
        const CliResult cli = Download(sim, "catalog", file.Path());
        EXPECT_EQ(cli.exitCode, 0) << cli.err;
        EXPECT_EQ(cli.out, (c.mark ? Lines({texts::kByteOrderMarkLeftOut}) : "") + kFinishedLog);
        EXPECT_NE(sim.Finish().find("finished;"), std::string::npos);
        EXPECT_EQ(sim.ExitCode(), 0);
        ExpectCatalogInFlash(withoutMark.Path(), sim);
    }
}

TEST(FaultsOverPty, RepliesInPiecesAndBehindZeroBytes) {
    const std::string image = Image(1500);
    TempFile file(image);
    Sim sim({"--pieces", "--seed", "7", "--zero-before", "--write-delay", "20"});
    ASSERT_TRUE(sim.Listening());
    const CliResult cli = Download(sim, "main", file.Path());
    EXPECT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(cli.out, kFinishedLog);
    EXPECT_EQ(sim.Finish(),
              "velmoro-hc-sim: finished; 8 commands, 2 blocks written, "
              "0 violations\n");
}

TEST(FaultsOverPty, ErrorReplyEndsWithTheErrorLine) {
    TempFile file(Image(1500));
    // The greeting, the erase reply, a block's receipt, a write's reply, the
    // quit reply.
    for (const char* at : {"1", "3", "5", "6", "9"}) {
        Sim sim({"--error-at", at});
        ASSERT_TRUE(sim.Listening());
        const CliResult cli = Download(sim, "main", file.Path());
        EXPECT_EQ(cli.exitCode, 1) << at << cli.err;
        ASSERT_GE(cli.out.size(), 10U);
        EXPECT_TRUE(cli.out.ends_with(Lines({texts::kErrorReply}))) << at << cli.out;
        EXPECT_NE(sim.Finish().find("error reply sent;"), std::string::npos) << at;
        EXPECT_EQ(sim.ExitCode(), 0) << "nothing reached the controller after the end";
    }
}

TEST(FaultsOverPty, RefusedCatalogueSendsNothing) {
    TempFile file("-\r\n-\r\n");
    Sim sim({});
    ASSERT_TRUE(sim.Listening());
    const CliResult cli = Download(sim, "catalog", file.Path());
    EXPECT_EQ(cli.exitCode, 3);
    EXPECT_TRUE(cli.out.starts_with("ERROR! Catalogue refused: line 2")) << cli.out;
    // Stopped by the test, not ended by a closing host: not a byte arrived.
    EXPECT_EQ(sim.Finish(true),
              "velmoro-hc-sim: stopped by signal; 0 commands, 0 blocks written, 0 violations\n");

    const CliResult convert = RunCli({"convert", QString::fromStdString(file.Path().string()),
                                      QString::fromStdString((sim.Dir() / "out.bin").string())});
    EXPECT_EQ(convert.exitCode, 3);
    EXPECT_NE(convert.err.find("line 2"), std::string::npos);
}

TEST(FaultsOverPty, MissingDataFileOrPort) {
    TempFile file(Image(10));
    Sim sim({});
    ASSERT_TRUE(sim.Listening());
    const CliResult noFile = Download(sim, "main", sim.Dir() / "missing.bin");
    EXPECT_EQ(noFile.exitCode, 3);
    EXPECT_EQ(noFile.out, Lines({texts::kNoDataFile}));

#ifdef VELMORO_UNDER_WINE
    // COM8 is mapped to a file that does not exist, COM5 to nothing at all.
    for (const char* port : {"COM8", "COM5"}) {
        const CliResult noPort =
            RunCli(Args({"download", "--port", port, "--type", "main", file.Path().string()}));
        EXPECT_EQ(noPort.exitCode, 4) << port;
        EXPECT_NE(noPort.err.find(std::string("Cannot open ") + port + ": "), std::string::npos)
            << noPort.err;
        EXPECT_TRUE(noPort.out.empty());
    }
    const CliResult doctor = RunCli({"doctor", "--port", "COM8", "--port", "COM5"});
    EXPECT_EQ(doctor.exitCode, 1);
    // Wine's Device Manager shows no USB-serial adapter: what to do then.
    EXPECT_NE(doctor.out.find("WARNING  No USB-serial adapter is present"), std::string::npos)
        << doctor.out;
    EXPECT_NE(doctor.out.find("2 problems, 1 warning;"), std::string::npos) << doctor.out;
#else
    const CliResult noDevice = RunCli(Args({"download", "--port", (sim.Dir() / "nothing").string(),
                                            "--type", "main", file.Path().string()}));
    EXPECT_EQ(noDevice.exitCode, 4);
    EXPECT_NE(noDevice.err.find("nothing"), std::string::npos) << noDevice.err;
    EXPECT_TRUE(noDevice.out.empty());

    // COM9 named through the environment reaches the device named there.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VELMORO_COM9", QString::fromStdString((sim.Dir() / "absent").string()));
    const CliResult com9 =
        RunCli(Args({"download", "--port", "COM9", "--type", "main", file.Path().string()}), {},
               environment);
    EXPECT_EQ(com9.exitCode, 4);
    EXPECT_NE(com9.err.find("COM9"), std::string::npos) << com9.err;
    EXPECT_NE(com9.err.find("absent"), std::string::npos) << com9.err;
#endif
}

TEST(FaultsOverPty, HangUpMidTransferIsAPortFailure) {
    TempFile file(Image(5000));
    Sim sim({"--hangup-at", "6"});
    ASSERT_TRUE(sim.Listening());
    const CliResult cli = Download(sim, "main", file.Path());
    EXPECT_EQ(cli.exitCode, 6) << cli.err;
    // The error line, then what the system reported and what to do.
    const std::string error = Lines({texts::kErrorReply});
    const std::size_t at = cli.out.rfind(error);
    ASSERT_NE(at, std::string::npos) << cli.out;
    const std::string reason = cli.out.substr(at + error.size());
    EXPECT_TRUE(reason.starts_with(texts::kPortLostBefore)) << cli.out;
    EXPECT_TRUE(reason.ends_with(Lines({texts::kPortLostAfter}))) << cli.out;
    EXPECT_NE(cli.err.find("failed"), std::string::npos) << cli.err;
    EXPECT_NE(sim.Finish().find("hung up;"), std::string::npos);
}

// Ctrl-C still leaves the report, where --report says and with the kept
// ones, which `reports` lists.
TEST(FaultsOverPty, CtrlCStopsWithTheStopText) {
    TempFile file(Image(5000));
    const fs::path kept = file.Path().parent_path() / "kept";
    const fs::path report = file.Path().parent_path() / "report.txt";
    const QByteArray reportsBefore = qgetenv("VELMORO_REPORTS_DIR");
    qputenv("VELMORO_REPORTS_DIR", QByteArray::fromStdString(kept.string()));
    // A controller that never greets: the beacon runs until Ctrl-C.
    Sim sim({"--beacons", "1000000"});
    ASSERT_TRUE(sim.Listening());
    const CliResult cli = RunCli(QStringList{"download", "--port", PortOf(sim), "--type", "main",
                                             QString::fromStdString(file.Path().string()),
                                             "--report", QString::fromStdString(report.string())},
                                 [](QProcess& process) {
                                     // Let a few beacons go out first.
                                     process.waitForFinished(400);
                                     ::kill(static_cast<pid_t>(process.processId()), SIGINT);
                                 });
    EXPECT_EQ(cli.exitCode, 130);
    EXPECT_EQ(cli.out, Lines({texts::kResetPrompt, texts::kStopped}));
    EXPECT_NE(sim.Finish().find("host closed the port;"), std::string::npos);
    EXPECT_EQ(sim.ExitCode(), 0);
    std::ifstream in(report, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("\nEnded: stopped by the user\n"), std::string::npos) << text;
    const std::string listed = RunCli({"reports"}).out;
    qputenv("VELMORO_REPORTS_DIR", reportsBefore);
    ASSERT_EQ(std::distance(fs::directory_iterator(kept), fs::directory_iterator()), 1);
    EXPECT_NE(listed.find("\n  " + fs::directory_iterator(kept)->path().filename().string() + "\n"),
              std::string::npos)
        << listed;
}

// The report says the time limit stopped it, and takes the place of the
// one an earlier download left in its file.
TEST(FaultsOverPty, TimeoutStopsATransferThatWaitsForEver) {
    TempFile file(Image(5000));
    const fs::path report = file.Path().parent_path() / "report.txt";
    std::ofstream(report, std::ios::binary) << "The report of an earlier transfer.\n";
    Sim sim({"--stray-at", "4"});
    ASSERT_TRUE(sim.Listening());
    const CliResult cli =
        Download(sim, "main", file.Path(),
                 {"--timeout", "1", "--report", QString::fromStdString(report.string())});
    EXPECT_EQ(cli.exitCode, 5) << cli.err;
    EXPECT_TRUE(cli.out.ends_with(Lines({texts::kStopped}))) << cli.out;
    EXPECT_NE(cli.err.find("no reply from the hand controller for 1 s; stopping."),
              std::string::npos)
        << cli.err;
    const std::string text = ReadFile(report);
    EXPECT_TRUE(text.starts_with("Velmoro Downloader transfer report\n")) << text;
    EXPECT_NE(
        text.find(
            "\nEnded: stopped by the time limit (no reply from the hand controller for 1 s)\n"),
        std::string::npos)
        << text;
    EXPECT_EQ(sim.Finish(),
              "velmoro-hc-sim: host closed the port; 3 commands, 0 blocks "
              "written, 0 violations\n");
}

#ifndef VELMORO_UNDER_WINE
// The disk fills up under --report (no file of the program may grow past
// 400 bytes, less than a report): the report of an earlier transfer stays
// there whole, the program says why, and a transfer that finished exits
// with 7. Nor is a report kept half-written.
TEST(FaultsOverPty, ReportOnAFullDiskLeavesTheEarlierOneWhole) {
    TempFile file(Image(1024));
    const fs::path report = file.Path().parent_path() / "report.txt";
    const fs::path kept = file.Path().parent_path() / "kept";
    const std::string earlier = "The report of an earlier transfer.\n";
    std::ofstream(report, std::ios::binary) << earlier;
    Sim sim({});
    ASSERT_TRUE(sim.Listening());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VELMORO_REPORTS_DIR", QString::fromStdString(kept.string()));
    QProcess cli;
    cli.setProcessEnvironment(environment);
    cli.setChildProcessModifier([] {
        const rlimit full{400, 400};
        ::setrlimit(RLIMIT_FSIZE, &full);
        ::signal(SIGXFSZ, SIG_IGN);
    });
    cli.start(VELMORO_CLI, {"download", "--port", PortOf(sim), "--type", "main",
                            QString::fromStdString(file.Path().string()), "--report",
                            QString::fromStdString(report.string())});
    ASSERT_TRUE(cli.waitForFinished(kWaitMs));
    const std::string err = cli.readAllStandardError().toStdString();
    EXPECT_EQ(cli.exitCode(), 7) << err;
    EXPECT_EQ(cli.readAllStandardOutput().toStdString(), kFinishedLog);
    EXPECT_NE(err.find("cannot write the report to " + report.string() + ": File too large."),
              std::string::npos)
        << err;
    EXPECT_EQ(ReadFile(report), earlier);
    EXPECT_EQ(
        std::distance(fs::directory_iterator(file.Path().parent_path()), fs::directory_iterator()),
        3)
        << "the data file, the report and the folder of kept reports, nothing half-written";
    EXPECT_TRUE(fs::is_empty(kept));
    EXPECT_NE(sim.Finish().find("finished;"), std::string::npos);
}

// A report to a link, as /dev/stdout is one, is written through it: the
// link stays and what it reaches takes the report.
TEST(FaultsOverPty, ReportToALinkGoesThrough) {
    TempFile file(Image(1024));
    const fs::path reached = file.Path().parent_path() / "reached.txt";
    const fs::path link = file.Path().parent_path() / "report.txt";
    std::ofstream(reached, std::ios::binary) << "The report of an earlier transfer.\n";
    fs::create_symlink(reached, link);
    Sim sim({});
    ASSERT_TRUE(sim.Listening());
    const CliResult cli =
        Download(sim, "main", file.Path(), {"--report", QString::fromStdString(link.string())});
    EXPECT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(ReadFile(reached).starts_with("Velmoro Downloader transfer report\n"));
    EXPECT_NE(sim.Finish().find("finished;"), std::string::npos);
}
#endif

#ifdef VELMORO_UNDER_WINE
// The adapter behind COM1 as an FTDI driver registers it: doctor finds it by
// its port name and reads its latency timer, and says what to do above 1 ms.
TEST(DoctorUnderWine, ReadsTheLatencyTimerOfTheAdapterBehindThePort) {
    Sim sim({});
    ASSERT_TRUE(sim.Listening());
    PortOf(sim);
    const QString device = R"(HKLM\System\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+A)";
    const QString parameters = device + R"(\0000\Device Parameters)";
    const auto reg = [](const QStringList& args) {
        QProcess process;
        process.start("/usr/lib/wine/wine64", QStringList{"reg"} + args);
        process.waitForFinished(kWaitMs);
        return process.exitCode();
    };
    ASSERT_EQ(reg({"add", parameters, "/v", "PortName", "/d", "com1", "/f"}), 0);
    const struct {
        const char* milliseconds;
        const char* verdict;
        bool steps;
    } cases[] = {
        {"16", "WARNING  The adapter's driver (FTDIBUS) holds received bytes back for up to 16 ms",
         true},
        {"1",
         "ok       The adapter's driver (FTDIBUS) passes received bytes on at once (latency "
         "timer 1 ms).",
         false},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(reg({"add", parameters, "/v", "LatencyTimer", "/t", "REG_DWORD", "/d",
                       c.milliseconds, "/f"}),
                  0);
        const CliResult cli = RunCli({"doctor", "--port", "COM1"});
        EXPECT_NE(cli.out.find(c.verdict), std::string::npos) << cli.out;
        EXPECT_EQ(cli.out.find("set Latency Timer (msec) to 1") != std::string::npos, c.steps)
            << cli.out;
    }
    reg({"delete", device, "/f"});
}
#endif

#ifndef VELMORO_UNDER_WINE
// On a terminal the bar is drawn as the blocks go and wiped before every line
// that follows it, so that no line starts on what is left of a bar.
TEST(CliUsage, OnATerminalTheBarIsWipedBeforeEveryLine) {
    Sim sim({});
    ASSERT_TRUE(sim.Listening());
    TempFile file(Image(5000));
    QString command;
    for (const QString& word : QStringList{VELMORO_CLI, "download", "--port", PortOf(sim), "--type",
                                           "main", QString::fromStdString(file.Path().string())}) {
        command += " '" + word + "'";
    }
    QProcess terminal;
    terminal.start("script", {"-qefc", command, "/dev/null"});
    ASSERT_TRUE(terminal.waitForFinished(kWaitMs));
    EXPECT_EQ(terminal.exitCode(), 0);
    const std::string shown = terminal.readAllStandardOutput().toStdString();
    EXPECT_NE(shown.find("\r\033[K[##############################] 100%"), std::string::npos)
        << shown;
    for (std::size_t at = shown.find(" left"); at != std::string::npos;
         at = shown.find(" left", at + 1)) {
        EXPECT_EQ(shown.substr(at + 5, 4), "\r\033[K") << shown;
    }
    EXPECT_NE(shown.find("\r\033[KDownload successfully finished!\r\n"), std::string::npos)
        << shown;
}
#endif

TEST(CliUsage, BadArgumentsExitWithTwo) {
    for (const QStringList& args :
         {QStringList{}, QStringList{"download", "--type", "main", "x"},
          QStringList{"download", "--port", "COM10", "--type", "main", "x"},
          QStringList{"download", "--port", "COM1", "--type", "other", "x"},
          QStringList{"download", "--port", "COM1", "--type", "main", "x", "--report="},
          QStringList{"reports", "x"}, QStringList{"convert", "only-one"}, QStringList{"flash"}}) {
        EXPECT_EQ(RunCli(args).exitCode, 2) << args.join(' ').toStdString();
    }
    // What each kind of bad option says first, before the usage.
    const QStringList download{"download", "--port", "COM1", "--type", "main", "x"};
    const std::pair<QStringList, const char*> said[] = {
        {{"--bogus"}, "Unknown option 'bogus'."},
        {{"--bogus", "--odd=1", "-z"}, "Unknown options: bogus, odd, z."},
        {{"--timeout"}, "Missing value after '--timeout'."},
        {{"--force=3"}, "Unexpected value after '--force'."},
        {{"--", "--bogus"}, "download takes exactly one data file."},
    };
    for (const auto& [extra, first] : said) {
        const CliResult cli = RunCli(download + extra);
        EXPECT_EQ(cli.exitCode, 2);
        EXPECT_EQ(cli.err.substr(0, cli.err.find_first_of("\r\n")),
                  std::string("velmoro-downloader-cli: ") + first)
            << extra.join(' ').toStdString();
    }
    // A number followed by anything is refused whole, never read up to where
    // it stops; seconds must fit the timer's milliseconds. An accepted value
    // gets past the arguments to the port or the missing data file (exit 3
    // or 4, whichever the platform meets first); a refused one ends in 2.
    const std::pair<const char*, bool> timeouts[] = {
        {"1", false},  {"2147483", false}, {"0", true},   {"2147484", true}, {"99999999999", true},
        {"2m", true},  {"30s", true},      {"1.5", true}, {"1e3", true},     {"0x10", true},
        {"+5", true},  {"-5", true},       {"", true},    {" 5", true},      {"5 ", true},
        {"5\t", true}, {"=", true},
    };
    for (const auto& [value, refused] : timeouts) {
        // "=" stands for the empty value after the equals sign.
        const QStringList option = std::string_view(value) == "=" ? QStringList{"--timeout="}
                                                                  : QStringList{"--timeout", value};
        const QStringList args =
            QStringList{"download", "--port", "COM1", "--type", "main", "x"} + option;
        const int exitCode = RunCli(args).exitCode;
        if (refused) {
            EXPECT_EQ(exitCode, 2) << args.join(' ').toStdString();
        } else {
            EXPECT_TRUE(exitCode == 3 || exitCode == 4)
                << args.join(' ').toStdString() << ": " << exitCode;
        }
    }
    // The version from CHANGELOG.md and the commit the build was made from
    // ("unknown" outside a checkout or a git archive).
    const std::string version = RunCli({"--version"}).out;
    EXPECT_TRUE(
        std::regex_match(version, std::regex("velmoro-downloader-cli [0-9]+\\.[0-9]+(\\.[0-9]+)? "
                                             "\\(commit ([0-9a-f]{12}|unknown)\\)\n")))
        << version;
}

TEST(CliConvert, WritesEveryPayloadWithItsAddress) {
    TempFile catalog(CatalogText(17, 20));
    const fs::path output = catalog.Path().parent_path() / "blocks.bin";
    const CliResult cli = RunCli(Args({"convert", catalog.Path().string(), output.string()}));
    EXPECT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(cli.out,
              "81140000 block 1: 16 records\n"
              "81140400 block 2: 1 records, then the separator\n"
              "81150000 block 3: 16 records\n"
              "81150400 block 4: 4 records\n");
    EXPECT_EQ(ReadFile(output).size(), 4 * kPayloadSize);

    // A refused catalogue and an output that cannot be written each say so in
    // a line of their own.
    TempFile refused("-\r\n-\r\n");
    TempFile tooLarge("");
    fs::resize_file(tooLarge.Path(), kMaxDataFileBytes + 1);
    const fs::path nowhere = output.parent_path() / "missing" / "blocks.bin";
    const struct {
        fs::path catalog;
        fs::path output;
        std::string said;
    } failures[] = {
        {refused.Path(), output,
         "line 2 is a second separator line (a line beginning with \"-\"); a catalogue has "
         "only one."},
        {catalog.Path(), nowhere, "cannot write " + nowhere.string()},
        {tooLarge.Path(), output,
         "ERROR! The data file is larger than 64 MiB, more than can be read!"},
#ifndef VELMORO_UNDER_WINE
        // Opened, but full: the blocks cannot be written.
        {catalog.Path(), "/dev/full", "cannot write /dev/full"},
#endif
    };
    for (const auto& f : failures) {
        const CliResult failed = RunCli(Args({"convert", f.catalog.string(), f.output.string()}));
        EXPECT_EQ(failed.exitCode, 3);
        EXPECT_TRUE(failed.err.starts_with("velmoro-downloader-cli: ")) << failed.err;
        EXPECT_TRUE(failed.err.ends_with(f.said + "\n")) << failed.err;
        EXPECT_EQ(std::count(failed.err.begin(), failed.err.end(), '\n'), 1) << failed.err;
    }
}

// A file that looks wrong is not sent without --force; with it, exactly what
// would have gone out without the question goes out.
TEST(FaultsOverPty, FileThatLooksWrongGoesOnlyWithForce) {
    const std::string signedLine =
        "OBJ1   ,First sample    ,1234,7,1.5,-41.27,0.1,300,0,0,0,0,\r\n";
    const struct {
        const char* type;
        std::string contents;
        const char* says;
    } cases[] = {
        {"main", CatalogText(2, 2), "looks like a text file"},
        {"catalog", signedLine + CatalogText(1, 1), "column 37: '-' in the second real"},
    };
    for (const auto& c : cases) {
        TempFile file(c.contents);
        for (const bool force : {false, true}) {
            Sim sim({});
            ASSERT_TRUE(sim.Listening());
            const CliResult cli =
                Download(sim, c.type, file.Path(), force ? QStringList{"--force"} : QStringList{});
            EXPECT_NE((force ? cli.err : cli.out).find(c.says), std::string::npos)
                << cli.out << cli.err;
            if (!force) {
                EXPECT_EQ(cli.exitCode, 3);
                EXPECT_TRUE(cli.out.starts_with("Download not started: ")) << cli.out;
                EXPECT_NE(cli.err.find("--force"), std::string::npos) << cli.err;
                EXPECT_NE(sim.Finish(true).find("; 0 commands"), std::string::npos);
                continue;
            }
            EXPECT_EQ(cli.exitCode, 0) << cli.err;
            EXPECT_EQ(cli.out, kFinishedLog);
            // One line: what looks wrong, without the question that asks.
            const std::string notice = cli.err.substr(0, cli.err.find_first_of("\r\n"));
            EXPECT_TRUE(notice.ends_with(". Sending it anyway (--force).")) << cli.err;
            EXPECT_EQ(notice.find("anyway?"), std::string::npos) << cli.err;
            EXPECT_NE(sim.Finish().find("finished;"), std::string::npos);
            if (std::string(c.type) == "catalog") {
                ExpectCatalogInFlash(file.Path(), sim);
            } else {
                const std::size_t blocks = c.contents.size() / kPayloadSize + 1;
                EXPECT_EQ(
                    sim.Flash("internal.bin"),
                    c.contents + std::string(blocks * kPayloadSize - c.contents.size(), '\0'));
            }
        }
    }
}

TEST(CliCheck, ListsEveryProblemAndShowsTheRecords) {
    TempFile clean(
        "OBJ1   ,First sample    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n-\r\n"
        "42,Second sample  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5");
    const std::string name = clean.Path().string();
    CliResult cli = RunCli(Args({"check", name, "--show"}));
    EXPECT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(cli.out,
              "81140000 line 1: key \"OBJ1   \" text \"First sample          \" word 1234 byte 7 "
              "reals 1.5 20.25 0.100000001 300 0 0 0 0\n"
              "81150000 line 3: number 42 text \"Second sample        \" word 1234 byte 7 "
              "reals 1.5 20.25 0.100000001 300 0 0 0 0 2.5\n" +
                  name + ": 2 records in 2 blocks; no problems, 0 notes\n");

    TempFile problems(
        "OBJ1   ,First sample    ,1234,300,1,2,3,4,5,6,7,8,\r\n"
        "OBJECT12  ,Second  ,1,2,3,4,5,6,7,8,9,-10,\r\n");
    const std::string bad = problems.Path().string();
    cli = RunCli(Args({"check", bad}));
    EXPECT_EQ(cli.exitCode, 1);
    EXPECT_EQ(cli.out,
              bad + ":1:31: the byte value 300 is above 255; the controller would store 44\n" +
                  bad +
                  ":2:1: note: the key \"OBJECT12\" is longer than 7 characters; "
                  "the controller keeps \"OBJECT1\"\n" +
                  bad +
                  ":2:39: '-' in the eighth real, where only digits, spaces and "
                  "one decimal point are read; the controller would store a "
                  "meaningless number\n" +
                  bad + ": 2 records in 1 block; problems in 2 lines, 1 note\n");

    // The mark is a note; the record shows the bytes the controller holds.
    TempFile accented(std::string(kByteOrderMark) +
                      "OBJ1   ,Andromeda Galaxi\xC3\xA9  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n");
    const std::string galaxy = accented.Path().string();
    cli = RunCli(Args({"check", galaxy, "--show"}));
    EXPECT_EQ(cli.exitCode, 1);
    EXPECT_EQ(cli.out,
              "81140000 line 1: key \"OBJ1   \" text \"Andromeda Galaxi\\xC3\\xA9    \" word 1234 "
              "byte 7 reals 1.5 20.25 0.100000001 300 0 0 0 0\n" +
                  galaxy + ":1:1: note: " + std::string(texts::kByteOrderMarkNote) + "\n" + galaxy +
                  ":1:25: U+00E9 '\xC3\xA9' in the text; the controller shows each of its 2 bytes "
                  "(0xC3 0xA9) as a character of its own\n" +
                  galaxy + ": 1 record in 1 block; problems in 1 line, 1 note\n");

    // A note on a line that makes no record, after the last record.
    TempFile marked(std::string(kByteOrderMark) + "-\r\n");
    const std::string mark = marked.Path().string();
    cli = RunCli(Args({"check", mark, "--show"}));
    EXPECT_EQ(cli.exitCode, 0);
    EXPECT_EQ(cli.out, mark + ":1:1: note: " + std::string(texts::kByteOrderMarkNote) + "\n" +
                           mark + ": 0 records in 2 blocks; no problems, 1 note\n");

    TempFile refused("-\r\n-\r\n");
    cli = RunCli(Args({"check", refused.Path().string()}));
    EXPECT_EQ(cli.exitCode, 3);
    EXPECT_NE(cli.err.find("line 2"), std::string::npos) << cli.err;
    EXPECT_EQ(RunCli(Args({"check"})).exitCode, 2);
}

}  // namespace
}  // namespace velmoro::testing
