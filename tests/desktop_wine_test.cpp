// The Windows desktop program ($VELMORO_WINDOWS_DESKTOP) under Wine, driven
// as a user drives it: keys and mouse clicks through the X display that
// tests/wine/suite.sh starts (xdotool), in the Wine prefix it sets up, where
// COM1 reaches the link $VELMORO_WINE_COM1_LINK (each test points it at its
// simulator) and COM8 reaches nothing. What reached the controller's flash is
// compared with what the engine must send.

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "data_block.h"
#include "sim_process.h"
#include "temp_file.h"
#include "transfer_report.h"
#include "window_scenarios.h"

namespace velmoro::testing {
namespace {

namespace fs = std::filesystem;

const QString kTitle = QStringLiteral("^Velmoro Downloader V2.0$");

// Runs xdotool and returns what it prints.
std::string Xdo(const QStringList& args) {
    QProcess xdo;
    xdo.start(QStringLiteral("xdotool"), args);
    xdo.waitForFinished(kWaitMs);
    return xdo.readAllStandardOutput().toStdString();
}

int WindowsNamed(const QString& pattern) {
    const std::string ids = Xdo({"search", "--onlyvisible", "--name", pattern});
    return static_cast<int>(std::count(ids.begin(), ids.end(), '\n'));
}

// Waits until count windows of that name are shown.
bool WaitForWindows(const QString& pattern, int count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (std::chrono::steady_clock::now() < end) {
        if (WindowsNamed(pattern) == count) {
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}

// The path as the program's file dialog takes it: on Wine's drive Z.
std::string WinePath(const fs::path& path) {
    std::string text = "Z:" + path.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

// COM1, pointed at the simulator.
void PointCom1At(const Sim& sim) {
    const fs::path link = qEnvironmentVariable("VELMORO_WINE_COM1_LINK").toStdString();
    std::error_code ignored;
    fs::remove(link, ignored);
    fs::create_symlink(sim.Link(), link);
}

// The program, from its start to the end of the test.
class CDesktop {
public:
    CDesktop() {
        // The serial lines a pseudo-terminal lacks: the program waits for
        // serial events as on a real port (sim/pty_serial_lines.cpp).
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LD_PRELOAD", VELMORO_PTY_SERIAL_LINES);
        program_.setProcessEnvironment(environment);
        program_.start(QStringLiteral("/usr/lib/wine/wine64"),
                       {qEnvironmentVariable("VELMORO_WINDOWS_DESKTOP")});
        shown_ = WaitForWindows(kTitle, 1);
        if (shown_) {
            window_ = QString::fromStdString(Xdo({"search", "--onlyvisible", "--name", kTitle}))
                          .trimmed();
        }
    }
    ~CDesktop() {
        program_.kill();
        program_.waitForFinished(kWaitMs);
        // Gone from the display too, so the next test finds its own window.
        WaitForWindows(kTitle, 0);
    }
    CDesktop(const CDesktop&) = delete;
    CDesktop& operator=(const CDesktop&) = delete;

    bool Shown() const { return shown_; }

    void Key(const QString& keys) {
        Xdo({"windowfocus", window_});
        Xdo({"key", "--delay", "50", keys});
        QThread::msleep(200);
    }
    // A click at a point given in the dialog's own units (template 102 is
    // 332 by 200): the program's layout, whatever its font.
    void Click(int x, int y) {
        const std::string geometry = Xdo({"getwindowgeometry", "--shell", window_});
        const auto value = [&geometry](const std::string& name) {
            const std::size_t at = geometry.find(name + "=");
            return std::stoi(geometry.substr(at + name.size() + 1));
        };
        const int px = value("WIDTH") * x / 332;
        const int py = value("HEIGHT") * y / 200;
        Xdo({"mousemove", "--window", window_, QString::number(px), QString::number(py)});
        Xdo({"click", "1"});
        QThread::msleep(200);
    }
    // Alt+O, the path typed into the file dialog, Enter.
    bool OpenDataFile(const fs::path& path) {
        Key("alt+o");
        if (!WaitForWindows("^Open$", 1)) {
            return false;
        }
        Xdo({"type", "--delay", "10", QString::fromStdString(WinePath(path))});
        Xdo({"key", "Return"});
        return WaitForWindows("^Open$", 0);
    }

private:
    QProcess program_;
    QString window_;
    bool shown_ = false;
};

class DesktopUnderWine : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("VELMORO_WINDOWS_DESKTOP")) {
            GTEST_SKIP() << "tests/wine/suite.sh runs these";
        }
    }
};

TEST_F(DesktopUnderWine, FirmwareByKeyboardReachesTheFlashExactly) {
    Sim sim({});
    ASSERT_TRUE(sim.Listening());
    PointCom1At(sim);
    const std::string image = PseudoRandomImage(5000, 7);
    TempFile file(image);
    // The program keeps the transfer's report where the variable says.
    const fs::path kept = file.Path().parent_path() / "kept";
    const QByteArray reportsBefore = qgetenv("VELMORO_REPORTS_DIR");
    qputenv("VELMORO_REPORTS_DIR", QByteArray::fromStdString(WinePath(kept)));
    CDesktop desktop;
    qputenv("VELMORO_REPORTS_DIR", reportsBefore);
    ASSERT_TRUE(desktop.Shown());
    ASSERT_TRUE(desktop.OpenDataFile(file.Path()));
    desktop.Key("alt+d");
    const std::size_t blocks = image.size() / kPayloadSize + 1;
    EXPECT_EQ(sim.Finish(), "velmoro-hc-sim: finished; " + std::to_string(blocks * 2 + 4) +
                                " commands, " + std::to_string(blocks) +
                                " blocks written, 0 violations\n");
    EXPECT_EQ(sim.Flash("internal.bin"),
              image + std::string(blocks * kPayloadSize - image.size(), '\0'));
    for (int i = 0; i < 100 && KeptReports(kept).empty(); ++i) {
        QThread::msleep(100);
    }
    const std::vector<fs::path> reports = KeptReports(kept);
    ASSERT_EQ(reports.size(), 1U);
    std::ifstream in(reports[0], std::ios::binary);
    const std::string report{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (const char* expected :
         {"\nProgram: velmoro-downloader ", "\nSystem: Windows ", "\nDevice: COM1\n",
          "\nEnded: finished\n", "\nSize: 5000 bytes\n"}) {
        EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
    }
}

TEST_F(DesktopUnderWine, CatalogueByKeyboardAndMouseReachesItsRanges) {
    Sim sim({});
    ASSERT_TRUE(sim.Listening());
    PointCom1At(sim);
    TempFile file(
        "M31   ,Andromeda Galaxy    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n"
        "----- second section -----\r\n"
        "1,Star 1  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5\r\n");
    CDesktop desktop;
    ASSERT_TRUE(desktop.Shown());
    ASSERT_TRUE(desktop.OpenDataFile(file.Path()));
    desktop.Click(250, 43);  // the Object Catalog radio button
    desktop.Key("alt+d");
    sim.Finish();
    ExpectCatalogInFlash(file.Path(), sim);
}

// The shared window scenarios, each played by the Windows build's test
// program (velmoro_win32_tests.exe, beside the desktop program's folder) in
// a Wine process of its own, with the scenario's controller behind COM1;
// once more with the program started at night ("--night"), whose message
// boxes are its own.
class WindowScenarioUnderWine : public DesktopUnderWine,
                                public ::testing::WithParamInterface<scenarios::Scenario> {
protected:
    void Play(const char* look);
};

class NightWindowScenarioUnderWine : public WindowScenarioUnderWine {};

TEST_P(WindowScenarioUnderWine, PlaysAsWritten) {
    Play(nullptr);
}

TEST_P(NightWindowScenarioUnderWine, PlaysAsWritten) {
    Play("--night");
}

void WindowScenarioUnderWine::Play(const char* look) {
    const scenarios::Scenario& scenario = GetParam();
    QStringList options;
    for (const std::string& option : scenario.simOptions) {
        options << QString::fromStdString(option);
    }
    Sim sim(options);
    ASSERT_TRUE(sim.Listening());
    const fs::path link = qEnvironmentVariable("VELMORO_WINE_COM1_LINK").toStdString();
    std::error_code ignored;
    fs::remove(link, ignored);
    // A port above COM9 reaches the controller through a device link of its
    // own, which Wine follows when the port is opened; COM1 then reaches
    // nothing.
    const fs::path above = fs::path(qEnvironmentVariable("WINEPREFIX").toStdString()) /
                           "dosdevices" / ("com" + std::to_string(scenario.simPort));
    if (scenario.port == scenarios::Port::Simulator) {
        fs::create_symlink(sim.Link(), scenario.simPort > 9 ? above : link);
    }
    struct Unlink {
        fs::path path;
        ~Unlink() {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    } const unlinkAbove{scenario.simPort > 9 ? above : fs::path()};
    const fs::path tests = fs::path(qEnvironmentVariable("VELMORO_WINDOWS_DESKTOP").toStdString())
                               .parent_path()
                               .parent_path() /
                           "tests" / "velmoro_win32_tests.exe";
    QProcess test;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VELMORO_SCENARIO_ON_COM1", "1");
    if (look != nullptr) {
        environment.insert("VELMORO_SCENARIO_LOOK", look);
    }
    test.setProcessEnvironment(environment);
    test.setProcessChannelMode(QProcess::MergedChannels);
    test.start(QStringLiteral("/usr/lib/wine/wine64"),
               {QString::fromStdString(tests.string()),
                "--gtest_filter=Scenarios/WindowScenario.PlaysAsWritten/" +
                    QString::fromUtf8(scenario.name.data(),
                                      static_cast<qsizetype>(scenario.name.size()))});
    ASSERT_TRUE(test.waitForFinished(4 * kWaitMs));
    const std::string output = test.readAll().toStdString();
    EXPECT_EQ(test.exitCode(), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    scenarios::ExpectSimSummary(scenario, sim.Finish(true));
    if (scenario.flash) {
        EXPECT_EQ(sim.Flash("internal.bin"), scenarios::ExpectedInternalFlash(*scenario.flash));
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, WindowScenarioUnderWine, ::testing::ValuesIn(scenarios::All()),
                         scenarios::ScenarioName());
INSTANTIATE_TEST_SUITE_P(Scenarios, NightWindowScenarioUnderWine,
                         ::testing::ValuesIn(scenarios::All()), scenarios::ScenarioName());

}  // namespace
}  // namespace velmoro::testing
