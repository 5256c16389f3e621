// Faults injected by the simulated controller, one whole transfer each over a
// real pseudo-terminal: every reply replaced by an error, split at every byte,
// behind a stray or a zero byte, a hang-up in every phase and Ctrl-C in every
// state. Each case states the end it must reach: the downloader's exit code
// and every log line, and the controller's own account of the session, which
// also tells whether anything but beacons reached it after the end. A few of
// the faults go through the desktop program too, whose log must read as the
// command line's.
//
// Each case is a test of its own so that ctest can run them side by side.

#include <gtest/gtest.h>

#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "downloader_dialog.h"
#include "platform.h"
#include "sim_process.h"
#include "temp_file.h"
#include "transfer_report.h"

namespace velmoro::testing {
namespace {

// The log lines as the user sees them, without their line ends.
constexpr std::string_view kPrompt =
    "Please reset the KARVELIN(MORDAVEX),Waiting for connection ... ";
constexpr std::string_view kConnected = "Connected.";
constexpr std::string_view kProcessing = "Processing ...   Please wait ...";
constexpr std::string_view kFinishedLine = "Download successfully finished!";
constexpr std::string_view kErrorLine =
    "Error occurs! Transmission stop. Please check all the devices, then try again.";
// After kErrorLine when the port was lost.
constexpr std::string_view kPortLostLine =
    "The port was lost (the device went away, or the line was hung up). Plug the adapter back "
    "in, choose its port again, then click \"Start Download\".";
constexpr std::string_view kStopLine =
    "Please make sure everything is OK, then click \"Start Download\".";

constexpr int kExitFinished = 0;
constexpr int kExitErrorReply = 1;
constexpr int kExitTimeout = 5;
constexpr int kExitPortFailed = 6;
constexpr int kExitInterrupted = 130;

// One data file and the replies a sound controller gives in its transfer.
struct Transfer {
    std::string name;  // how the case names start
    QString type;      // the downloader's --type
    std::string contents;
    std::vector<std::string> replies;
};

std::string Image(std::size_t size) {
    return PseudoRandomImage(size, 2024U);
}

// 1500 bytes: two blocks, the second one only partly filled.
const Transfer& Firmware() {
    static const Transfer transfer{"Main",
                                   "main",
                                   Image(1500),
                                   {":OK#", ":English Ver1.0#", ":EI_OK#", ":BI_OK#", ":RB_OK#",
                                    ":WI_OK#", ":RB_OK#", ":WI_OK#", ":QUIT_OK#"}};
    return transfer;
}

// Three objects, the separator and three stars: a block for each section,
// after the sweep of the 68 sectors, each erased and then blank-checked.
const Transfer& Catalogue() {
    static const Transfer transfer = [] {
        Transfer t{"Catalog", "catalog", {}, {":OK#", ":English Ver1.0#"}};
        for (int i = 1; i <= 3; ++i) {
            t.contents += "OBJ" + std::to_string(i) + "   ,Object " + std::to_string(i) +
                          "    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n";
        }
        t.contents += "----- stars -----\r\n";
        for (int i = 1; i <= 3; ++i) {
            t.contents += std::to_string(i) + ",Star " + std::to_string(i) +
                          "  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5\r\n";
        }
        for (int sector = 0; sector < 68; ++sector) {
            t.replies.insert(t.replies.end(), {":EX_OK#", ":BX_OK#"});
        }
        for (int block = 0; block < 2; ++block) {
            t.replies.insert(t.replies.end(), {":RB_OK#", ":WE_OK#"});
        }
        t.replies.push_back(":QUIT_OK#");
        return t;
    }();
    return transfer;
}

// How the transfer ends when the controller does not end it.
enum class Ending { ByController, ByTimeout, ByCtrlC };

struct MatrixCase {
    std::string name;
    const Transfer* transfer = nullptr;
    QStringList simOptions;
    Ending ending = Ending::ByController;
    int timeoutSeconds = 1;
    // Ctrl-C goes once the controller's log shows this; when empty, once the
    // downloader has printed its first line and sent a few beacons.
    std::string ctrlCAfter;

    int exitCode = kExitFinished;
    std::vector<std::string> log;
    std::string simOutcome;
    // Replies the controller wrote up to the end, the faulty one included:
    // the commands and blocks it must have seen follow from them.
    int repliesSent = 0;
    // Replies the downloader took before the end: the blocks its report
    // counts as acknowledged follow from them.
    int accepted = 0;
};

// The name already tells the case; this shows the faults it asks for.
void PrintTo(const MatrixCase& c, std::ostream* out) {
    *out << "velmoro-hc-sim " << c.simOptions.join(' ').toStdString();
}

std::string CaseName(const ::testing::TestParamInfo<MatrixCase>& info) {
    return info.param.name;
}

// The log of a transfer that ends with `last` after the host accepted
// `accepted` replies: the version reply is the one that connects.
std::vector<std::string> LogLines(int accepted, std::string_view last) {
    std::vector<std::string> lines{std::string(kPrompt)};
    if (accepted >= 2) {
        lines.emplace_back(kConnected);
        lines.emplace_back(kProcessing);
    }
    lines.emplace_back(last);
    return lines;
}

// Each reply answers the command before it, the greeting the beacons; only a
// write reply means a block was written.
std::string Summary(const Transfer& transfer, std::string_view outcome, int repliesSent) {
    int blocks = 0;
    for (int i = 0; i < repliesSent; ++i) {
        const std::string& reply = transfer.replies[static_cast<std::size_t>(i)];
        blocks += reply == ":WI_OK#" || reply == ":WE_OK#" ? 1 : 0;
    }
    return "velmoro-hc-sim: " + std::string(outcome) + "; " +
           std::to_string(std::max(0, repliesSent - 1)) + " commands, " + std::to_string(blocks) +
           " blocks written, 0 violations\n";
}

std::string ReplyName(const std::string& reply) {
    if (reply == ":OK#") {
        return "Greeting";
    }
    if (reply == ":English Ver1.0#") {
        return "Version";
    }
    return reply.substr(1, reply.size() - 2);
}

// "Reply057_BX_OK": padded so that the cases sort in the order of the transfer.
std::string NumberedReply(const Transfer& transfer, int n) {
    const std::string number = std::to_string(n);
    const std::size_t width = std::to_string(transfer.replies.size()).size();
    return "Reply" + std::string(width - number.size(), '0') + number + "_" +
           ReplyName(transfer.replies[static_cast<std::size_t>(n - 1)]);
}

QStringList Option(const char* name, int value) {
    return {name, QString::number(value)};
}

MatrixCase Finished(const Transfer& t, const std::string& name, QStringList options) {
    const int all = static_cast<int>(t.replies.size());
    return {t.name + "_" + name,
            &t,
            options,
            Ending::ByController,
            1,
            {},
            kExitFinished,
            LogLines(all, kFinishedLine),
            "finished",
            all,
            all};
}

MatrixCase ErrorInsteadOf(const Transfer& t, int n) {
    return {t.name + "_ErrorInsteadOf" + NumberedReply(t, n),
            &t,
            Option("--error-at", n),
            Ending::ByController,
            1,
            {},
            kExitErrorReply,
            LogLines(n - 1, kErrorLine),
            "error reply sent",
            n,
            n - 1};
}

// The stray byte spoils the reply, and every later one with it: the host can
// only wait.
MatrixCase StrayBefore(const Transfer& t, int n) {
    MatrixCase c{t.name + "_StrayBefore" + ReplyName(t.replies[static_cast<std::size_t>(n - 1)]),
                 &t,
                 Option("--stray-at", n),
                 Ending::ByTimeout,
                 1,
                 {},
                 kExitTimeout,
                 LogLines(n - 1, kStopLine),
                 "host closed the port",
                 n,
                 n - 1};
    if (n == static_cast<int>(t.replies.size())) {
        // The controller is done once it has said ":QUIT_OK#" and drops the
        // line after a second of quiet, as long as the host's --timeout: with
        // a longer one the host always meets the dead line first.
        c.timeoutSeconds = 3;
        c.exitCode = kExitPortFailed;
        c.log = LogLines(n - 1, kErrorLine);
        c.log.emplace_back(kPortLostLine);
        c.simOutcome = "finished";
    }
    return c;
}

// The controller hangs up once it has written reply n, when the host's next
// command comes.
MatrixCase HangUpAfter(const Transfer& t, const std::string& phase, int n) {
    MatrixCase c{t.name + "_HangUp" + phase,
                 &t,
                 Option("--hangup-at", n),
                 Ending::ByController,
                 1,
                 {},
                 kExitPortFailed,
                 LogLines(n, kErrorLine),
                 "hung up",
                 n,
                 n};
    c.log.emplace_back(kPortLostLine);
    return c;
}

// n: the reply whose stray byte holds the host in the state; 0 for a
// controller that never greets.
MatrixCase CtrlCIn(const Transfer& t, const std::string& state, int n) {
    MatrixCase c{t.name + "_CtrlCIn" + state,
                 &t,
                 n > 0 ? Option("--stray-at", n) : Option("--beacons", 1'000'000),
                 Ending::ByCtrlC,
                 1,
                 {},
                 kExitInterrupted,
                 LogLines(std::max(0, n - 1), kStopLine),
                 "host closed the port",
                 n,
                 std::max(0, n - 1)};
    if (n > 0) {
        c.ctrlCAfter = "hc:   ?" + t.replies[static_cast<std::size_t>(n - 1)];
    }
    return c;
}

std::vector<MatrixCase> ErrorReplyCases() {
    std::vector<MatrixCase> cases;
    for (const Transfer* t : {&Firmware(), &Catalogue()}) {
        for (int n = 1; n <= static_cast<int>(t->replies.size()); ++n) {
            cases.push_back(ErrorInsteadOf(*t, n));
        }
    }
    return cases;
}

// Every cut of every reply, the version's fifteen included.
std::vector<MatrixCase> SplitCases() {
    std::vector<MatrixCase> cases;
    for (const Transfer* t : {&Firmware(), &Catalogue()}) {
        for (int k = 1; k <= 15; ++k) {
            cases.push_back(Finished(*t,
                                     "SplitAt" + std::string(k < 10 ? "0" : "") + std::to_string(k),
                                     Option("--split-at", k)));
        }
    }
    return cases;
}

// A zero byte is no character of a reply; any other byte is.
std::vector<MatrixCase> ExtraByteCases() {
    std::vector<MatrixCase> cases{Finished(Firmware(), "ZeroBeforeEveryReply", {"--zero-before"}),
                                  Finished(Catalogue(), "ZeroBeforeEveryReply", {"--zero-before"})};
    for (int n : {1, 2, 3, 4, 5, 6, 9}) {
        cases.push_back(StrayBefore(Firmware(), n));
    }
    // The first sector's erase, its blank check, the first block's write.
    for (int n : {3, 4, 140}) {
        cases.push_back(StrayBefore(Catalogue(), n));
    }
    return cases;
}

std::vector<MatrixCase> HangUpCases() {
    return {
        HangUpAfter(Firmware(), "AfterGreeting", 1),
        HangUpAfter(Firmware(), "AfterVersion", 2),
        HangUpAfter(Firmware(), "AfterErase", 3),
        HangUpAfter(Firmware(), "AfterBlankCheck", 4),
        HangUpAfter(Catalogue(), "InSweep", 71),
        HangUpAfter(Firmware(), "AfterBlock", 5),
        HangUpAfter(Firmware(), "AfterWrite", 6),
        // The quit command meets a dead line.
        HangUpAfter(Firmware(), "AtQuit", 8),
    };
}

std::vector<MatrixCase> CtrlCCases() {
    return {
        CtrlCIn(Firmware(), "State0AwaitGreeting", 0),
        CtrlCIn(Firmware(), "State1AwaitVersion", 2),
        CtrlCIn(Firmware(), "State2AwaitFirstErase", 3),
        CtrlCIn(Firmware(), "State3AwaitBlankCheck", 4),
        CtrlCIn(Catalogue(), "State4AwaitSectorErase", 5),
        CtrlCIn(Firmware(), "State5AwaitWrite", 6),
        CtrlCIn(Firmware(), "State6AwaitBlockOrQuit", 5),
    };
}

// The ends of a transfer, one each, for the desktop program.
std::vector<MatrixCase> WindowCases() {
    return {
        Finished(Firmware(), "Finished", {}),
        ErrorInsteadOf(Catalogue(), 71),
        HangUpAfter(Firmware(), "AfterBlock", 5),
        CtrlCIn(Firmware(), "State3AwaitBlankCheck", 4),
    };
}

std::vector<std::string> SplitLines(const std::string& text, std::string_view end) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t at = text.find(end, from);
        if (at == std::string::npos) {
            lines.push_back(text.substr(from) + "<no line end>");
            break;
        }
        lines.push_back(text.substr(from, at - from));
        from = at + end.size();
    }
    return lines;
}

bool WaitForLog(const Sim& sim, const std::string& text) {
    return QTest::qWaitFor([&] { return sim.Log().find(text) != std::string::npos; }, kWaitMs);
}

struct CliRun {
    int exitCode = -1;
    std::vector<std::string> lines;
    std::string err;
    std::string report;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A report with what differs from run to run put in words: the times, the
// program's version, the system, the port's device and the data file's path.
std::string Masked(std::string report, const Sim& sim, const fs::path& file) {
    report = std::regex_replace(report, std::regex(R"(\d{4}-\d\d-\d\d )"), "<date> ");
    report = std::regex_replace(report, std::regex(R"(\d\d:\d\d:\d\d\.\d{3})"), "<time>");
    report = std::regex_replace(report, std::regex(R"((Program: [a-z-]+) .*)"), "$1 <version>");
    report = std::regex_replace(report, std::regex("System: .*"), "System: <system>");
    for (const auto& [text, mask] :
         {std::pair{sim.Link(), "<link>"}, std::pair{fs::absolute(file).string(), "<file>"}}) {
        for (std::size_t at = report.find(text); at != std::string::npos;
             at = report.find(text, at)) {
            report.replace(at, text.size(), mask);
        }
    }
    return report;
}

// The value of a report's "name: value" line; the log lines, without their
// times, for "Log".
std::vector<std::string> ReportField(const std::string& report, const std::string& name) {
    std::vector<std::string> values;
    std::istringstream lines(report);
    bool inLog = false;
    for (std::string line; std::getline(lines, line);) {
        if (inLog) {
            values.push_back(line.substr(std::min(line.size(), std::size_t{14})));
        } else if (line == name + ":") {
            inLog = true;
        } else if (line.starts_with(name + ": ")) {
            values.push_back(line.substr(name.size() + 2));
        }
    }
    return values;
}

// What the report of a case says of its end, from the case alone.
void ExpectReportOf(const MatrixCase& c, const std::string& report) {
    SCOPED_TRACE(report);
    const std::vector<std::string> received = ReportField(report, "Last received");
    ASSERT_EQ(received.size(), 1U);
    std::string ended;
    switch (c.exitCode) {
        case kExitFinished:
            ended = "finished";
            break;
        case kExitErrorReply:
            ended = "error reply " + received[0];
            EXPECT_TRUE(received[0].starts_with(":") && received[0].ends_with("_ERR#"));
            break;
        case kExitPortFailed:
            ended = "port lost (the device went away, or the line was hung up)";
            break;
        case kExitTimeout:
            ended = "stopped by the time limit (no reply from the hand controller for " +
                    std::to_string(c.timeoutSeconds) + " s)";
            break;
        default:
            ended = "stopped by the user";
            break;
    }
    EXPECT_EQ(ReportField(report, "Ended"), std::vector<std::string>{ended});
    const auto first = c.transfer->replies.begin();
    const auto blocks = std::count(first, first + c.accepted, std::string(":RB_OK#"));
    EXPECT_EQ(ReportField(report, "Blocks acknowledged"),
              std::vector<std::string>{std::to_string(blocks)});
    EXPECT_EQ(ReportField(report, "Log"), c.log);
}

CliRun RunCli(const MatrixCase& c, const Sim& sim, const fs::path& file) {
    const fs::path report = file.parent_path() / "report.txt";
    QStringList args{"download",
                     "--port",
                     QString::fromStdString(sim.Link()),
                     "--type",
                     c.transfer->type,
                     QString::fromStdString(file.string()),
                     "--report",
                     QString::fromStdString(report.string())};
    if (c.ending == Ending::ByTimeout) {
        args << "--timeout" << QString::number(c.timeoutSeconds);
    }
    QProcess cli;
    cli.start(VELMORO_CLI, args);
    if (c.ending == Ending::ByCtrlC) {
        if (c.ctrlCAfter.empty()) {
            EXPECT_TRUE(cli.waitForReadyRead(kWaitMs));
            QTest::qWait(300);
        } else {
            EXPECT_TRUE(WaitForLog(sim, c.ctrlCAfter)) << sim.Log();
        }
        ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
    }
    cli.waitForFinished(kWaitMs);
    CliRun run;
    run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    run.lines = SplitLines(cli.readAllStandardOutput().toStdString(), "\n");
    run.err = cli.readAllStandardError().toStdString();
    run.report = ReadAll(report);
    return run;
}

class CliFault : public ::testing::TestWithParam<MatrixCase> {};

TEST_P(CliFault, EndsAsStated) {
    const MatrixCase& c = GetParam();
    TempFile file(c.transfer->contents);
    Sim sim(c.simOptions, c.ending == Ending::ByCtrlC);
    ASSERT_TRUE(sim.Listening());
    const CliRun cli = RunCli(c, sim, file.Path());
    EXPECT_EQ(cli.exitCode, c.exitCode) << cli.err;
    EXPECT_EQ(cli.lines, c.log);
    EXPECT_EQ(sim.Finish(), Summary(*c.transfer, c.simOutcome, c.repliesSent));
    EXPECT_EQ(sim.ExitCode(), 0) << "only beacons may reach the controller after an end";
    ExpectReportOf(c, cli.report);
    if (c.exitCode == kExitFinished && c.transfer == &Firmware()) {
        const std::string& image = c.transfer->contents;
        EXPECT_EQ(sim.Flash("internal.bin"), image + std::string(2048 - image.size(), '\0'));
    }
}

INSTANTIATE_TEST_SUITE_P(MatrixErrorReply, CliFault, ::testing::ValuesIn(ErrorReplyCases()),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(MatrixSplitReply, CliFault, ::testing::ValuesIn(SplitCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(MatrixExtraByte, CliFault, ::testing::ValuesIn(ExtraByteCases()),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(MatrixHangUp, CliFault, ::testing::ValuesIn(HangUpCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(MatrixCtrlC, CliFault, ::testing::ValuesIn(CtrlCCases()), CaseName);

class WindowFault : public ::testing::TestWithParam<MatrixCase> {
protected:
    WindowFault() {
        updateType = UpdateType::MainProgram;
        toolkit::SetMessageBoxHook([this](const toolkit::MessageRequest& request) {
            boxes.push_back(request.text.toStdString());
            return toolkit::IDOK;
        });
        qputenv("VELMORO_REPORTS_DIR", QByteArray::fromStdString(ReportsDir().string()));
        dialog.Create();
        dialog.show();
    }
    ~WindowFault() override {
        toolkit::SetMessageBoxHook({});
        toolkit::SetFileOpenHook({});
        qunsetenv("VELMORO_COM1");
        qputenv("VELMORO_REPORTS_DIR", reportsBefore);
        updateType = UpdateType::MainProgram;
    }

    fs::path ReportsDir() const { return reportsHome.Path().parent_path() / "reports"; }

    QPushButton* Button(int id) const { return dialog.Item<QPushButton>(id); }

    // Runs the case through the window as a user would; returns its log lines.
    std::vector<std::string> RunWindow(const MatrixCase& c, const Sim& sim, const fs::path& file) {
        qputenv("VELMORO_COM1", QByteArray::fromStdString(sim.Link()));
        if (c.transfer == &Catalogue()) {
            QTest::mouseClick(dialog.Item<QRadioButton>(ids::IDC_OBJECT_CATALOG), Qt::LeftButton);
        }
        toolkit::SetFileOpenHook([file] { return QString::fromStdString(file.string()); });
        QTest::mouseClick(Button(ids::IDC_OPEN), Qt::LeftButton);
        QTest::mouseClick(Button(ids::IDC_START_STOP), Qt::LeftButton);
        if (c.ending == Ending::ByCtrlC) {
            EXPECT_TRUE(WaitForLog(sim, c.ctrlCAfter)) << sim.Log();
            // Stop once the window holds the spoilt reply, which its report
            // names.
            const std::string spoilt = c.ctrlCAfter.substr(c.ctrlCAfter.find('?'));
            EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.Engine().State().replyText == spoilt; },
                                        kWaitMs));
            EXPECT_TRUE(dialog.Engine().State().busy);
            QTest::mouseClick(Button(ids::IDC_START_STOP), Qt::LeftButton);
        }
        EXPECT_TRUE(QTest::qWaitFor([this] { return !dialog.Engine().State().busy; }, kWaitMs));
        return SplitLines(dialog.LogText().toStdString(), "\r\n");
    }

    TempFile reportsHome{""};
    QByteArray reportsBefore = qgetenv("VELMORO_REPORTS_DIR");
    CDownloaderDlg dialog;
    std::vector<std::string> boxes;
};

// The command line's report of each window case, as it must read.
std::string ExpectedReport(const std::string& name) {
    // The stray byte ("?") stands before the blank check's reply.
    static const std::map<std::string, std::string> kReports = {
        {"Main_Finished", R"(Velmoro Downloader transfer report

Program: velmoro-downloader-cli <version>
System: <system>
Started: <date> <time> UTC
Ended: finished

Device: <link>
Line settings: 115200 baud, no parity, 8 data bits, 1 stop bit

Update type: Main Program
Data file: <file>
Size: 1500 bytes
SHA-256: aaa91dc41a970fb5134b300c3fb87b197712b759c3d989007d500ae05feff729

Blocks acknowledged: 2
Last sent: :QUIT_COMM#
Last received: :QUIT_OK#

Log:
<time>  Please reset the KARVELIN(MORDAVEX),Waiting for connection ... 
<time>  Connected.
<time>  Processing ...   Please wait ...
<time>  Download successfully finished!
)"},
        {"Catalog_ErrorInsteadOfReply071_EX_OK", R"(Velmoro Downloader transfer report

Program: velmoro-downloader-cli <version>
System: <system>
Started: <date> <time> UTC
Ended: error reply :EX_ERR#

Device: <link>
Line settings: 115200 baud, no parity, 8 data bits, 1 stop bit

Update type: Object Catalog
Data file: <file>
Size: 334 bytes
SHA-256: 3ee2d6a6861c2737178061a27046aecc6f6d090789356008ac81428c72f8eeee

Blocks acknowledged: 0
Last sent: :ERASE_EXT 8116E000#
Last received: :EX_ERR#

Log:
<time>  Please reset the KARVELIN(MORDAVEX),Waiting for connection ... 
<time>  Connected.
<time>  Processing ...   Please wait ...
<time>  Error occurs! Transmission stop. Please check all the devices, then try again.
)"},
        {"Main_HangUpAfterBlock", R"(Velmoro Downloader transfer report

Program: velmoro-downloader-cli <version>
System: <system>
Started: <date> <time> UTC
Ended: port lost (the device went away, or the line was hung up)
System error: the device went away, or the line was hung up

Device: <link>
Line settings: 115200 baud, no parity, 8 data bits, 1 stop bit

Update type: Main Program
Data file: <file>
Size: 1500 bytes
SHA-256: aaa91dc41a970fb5134b300c3fb87b197712b759c3d989007d500ae05feff729

Blocks acknowledged: 1
Last sent: :RAMTO_INT 00004000#
Last received: :RB_OK#

Log:
<time>  Please reset the KARVELIN(MORDAVEX),Waiting for connection ... 
<time>  Connected.
<time>  Processing ...   Please wait ...
<time>  Error occurs! Transmission stop. Please check all the devices, then try again.
<time>  The port was lost (the device went away, or the line was hung up). Plug the adapter back in, choose its port again, then click "Start Download".
)"},
        {"Main_CtrlCInState3AwaitBlankCheck", R"(Velmoro Downloader transfer report

Program: velmoro-downloader-cli <version>
System: <system>
Started: <date> <time> UTC
Ended: stopped by the user

Device: <link>
Line settings: 115200 baud, no parity, 8 data bits, 1 stop bit

Update type: Main Program
Data file: <file>
Size: 1500 bytes
SHA-256: aaa91dc41a970fb5134b300c3fb87b197712b759c3d989007d500ae05feff729

Blocks acknowledged: 0
Last sent: :CHKBL_INT#
Last received: ?:BI_OK#

Log:
<time>  Please reset the KARVELIN(MORDAVEX),Waiting for connection ... 
<time>  Connected.
<time>  Processing ...   Please wait ...
<time>  Please make sure everything is OK, then click "Start Download".
)"},
    };
    const auto found = kReports.find(name);
    return found == kReports.end() ? std::string() : found->second;
}

TEST_P(WindowFault, ShowsTheLogOfTheCommandLine) {
    const MatrixCase& c = GetParam();
    TempFile file(c.transfer->contents);
    CliRun cli;
    {
        Sim sim(c.simOptions, true);
        ASSERT_TRUE(sim.Listening());
        cli = RunCli(c, sim, file.Path());
        EXPECT_EQ(cli.exitCode, c.exitCode) << cli.err;
        ASSERT_EQ(cli.lines, c.log);
        EXPECT_EQ(Masked(cli.report, sim, file.Path()), ExpectedReport(c.name));
        sim.Finish();
    }

    Sim sim(c.simOptions, true);
    ASSERT_TRUE(sim.Listening());
    const std::vector<std::string> window = RunWindow(c, sim, file.Path());
    // The window keeps the same report, but for its name and the port chosen.
    // Both programs keep their reports; the window's came last.
    const std::vector<fs::path> kept = KeptReports(ReportsDir());
    ASSERT_EQ(kept.size(), 2U);
    std::string report = Masked(ReadAll(kept[1]), sim, file.Path());
    const std::string port = "Port: COM1\n";
    ASSERT_NE(report.find(port), std::string::npos) << report;
    report.erase(report.find(port), port.size());
    report.replace(report.find("velmoro-downloader "), 19, "velmoro-downloader-cli ");
    EXPECT_EQ(report, ExpectedReport(c.name));
    // Stop empties the window's log before its line; a terminal keeps what
    // it has printed.
    const std::vector<std::string> expected =
        c.ending == Ending::ByCtrlC ? std::vector<std::string>{cli.lines.back()} : cli.lines;
    EXPECT_EQ(window, expected);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_EQ(Button(ids::IDC_START_STOP)->text(), "Start Download(&D)");
    EXPECT_TRUE(Button(ids::IDC_OPEN)->isEnabled());

    // The window keeps its port open after every end: whatever it sent after
    // the end has time to reach the controller, which is then stopped here.
    QTest::qWait(300);
    const std::string outcome = c.ending == Ending::ByCtrlC ? "stopped by signal" : c.simOutcome;
    EXPECT_EQ(sim.Finish(true), Summary(*c.transfer, outcome, c.repliesSent));
    EXPECT_EQ(sim.ExitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(MatrixWindow, WindowFault, ::testing::ValuesIn(WindowCases()), CaseName);

}  // namespace
}  // namespace velmoro::testing
