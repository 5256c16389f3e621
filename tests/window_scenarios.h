#pragma once

// What a user does with the main window and what they see, written once and
// played against each desktop program through a small driver of its own: the
// Qt window offscreen (shell_test.cpp) and the Win32 window under Wine
// (win32_desktop_test.cpp, started once per scenario by desktop_wine_test.cpp
// with the controller the scenario asks for behind COM1). Only the standard
// library and GoogleTest: both builds compile it.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data_block.h"
#include "dialog_ids.h"
#include "keep_awake.h"
#include "main_window.h"
#include "preflight.h"
#include "transfer.h"

namespace velmoro::scenarios {

enum class Icon { Stop, Question };

// A message box as the user saw it, answered by the driver.
struct Question {
    std::string caption;
    std::string text;  // UTF-8
    Icon icon = Icon::Question;
    bool defaultYes = false;  // the button Enter presses
};

// One program's window, driven as a user drives it.
class IWindowDriver {
public:
    virtual ~IWindowDriver() = default;

    // Open Data File, and the file dialog confirmed with this path.
    virtual void ChooseFile(const std::filesystem::path& path) = 0;
    virtual void ClickRadio(int id) = 0;
    virtual void ClickStartStop() = 0;
    // Two presses in quick succession: the system makes the second one a
    // double click.
    virtual void DoubleClickStartStop() = 0;
    virtual void PressEscape() = 0;
    // The answer to every message box from now on (OK for a box without
    // Yes and No).
    virtual void AnswerQuestions(bool yes) = 0;
    // Every message box from now on answered with Enter: its default button.
    virtual void AnswerWithEnter() = 0;
    // Done once, while the next message box is up, before it is answered.
    virtual void WhenAsked(std::function<void()> act) = 0;
    // Runs the window's events until the condition holds; false after the
    // time-out.
    virtual bool WaitFor(const std::function<bool()>& condition) = 0;

    virtual std::string LogText() = 0;  // UTF-8, each line ending in "\r\n"
    virtual std::string StartStopCaption() = 0;
    virtual bool OpenEnabled() = 0;
    virtual std::string ProgressText() = 0;
    virtual bool WindowShown() = 0;
    virtual std::vector<Question> Questions() = 0;
    // What the system says, where the driver can ask it: whether it is kept
    // from sleeping, and whether the window lets the session end.
    virtual std::optional<bool> KeptAwake() = 0;
    virtual std::optional<bool> SessionMayEnd() = 0;

    // The port list: COMn chosen from it, as a user chooses; the system's
    // notice that the adapter behind COMn has been plugged in; the texts of
    // its items as it shows them dropped down (UTF-8), and what the closed
    // box shows.
    virtual void ChoosePort(int n) = 0;
    virtual void PlugIn(int n) = 0;
    virtual std::vector<std::string> DroppedPortList() = 0;
    virtual std::string PortBox() = 0;

    // The system menu's Night Mode item chosen, and whether every pixel of
    // the window (and of a message box it has open) keeps within the night
    // limit, drawing::IsNightSafe. Only the scenarios AtNight ask.
    virtual void ChooseNightMode() { ADD_FAILURE() << "this driver has no night mode"; }
    virtual bool ShowsNightLook() {
        ADD_FAILURE() << "this driver cannot read the window's pixels";
        return false;
    }
};

// The controller behind the port the window opens.
enum class Port { Simulator, Missing };
enum class DataFile { Image5k, Image40k, Empty, Text };

enum class Act {
    ChooseFile,
    ClickObjectCatalog,
    ClickStartStop,
    DoubleClickStartStop,
    PressEscape,
    AnswerYes,
    AnswerWithEnter,
    WaitForLog,
    WaitForIdle,
    // The data file is written over with the step's contents: now, or
    // while the next question is open.
    RewriteFile,
    RewriteFileWhenAsked,
    // Waits for the step's keptAwake to come true.
    WaitForKeepAwake,
    // The step's port chosen in the list; its adapter plugged in.
    ChoosePort,
    PlugIn,
    ChooseNightMode
};

// What the user sees after a step; unset fields are not looked at.
struct Seen {
    std::optional<std::string_view> log = {};
    std::optional<std::string_view> logEnd = {};
    std::optional<std::string_view> caption = {};
    std::optional<bool> openEnabled = {};
    std::optional<std::string_view> progress = {};
    std::optional<bool> shown = {};
    // Looked at when the system has had its time to take or let go the
    // hold (a lock over D-Bus comes back later than the click).
    std::optional<bool> keptAwake = {};
    std::optional<bool> sessionMayEnd = {};
    std::optional<std::size_t> questions = {};  // boxes shown so far
    // The last box: its caption, the start of its text, icon, default.
    std::optional<std::string_view> questionCaption = {};
    std::optional<std::string_view> questionStart = {};
    std::optional<Icon> questionIcon = {};
    std::optional<bool> questionDefaultYes = {};
    // The port the closed list shows ("COM2"), and the start of each item
    // of the list dropped down ("COM2  \u2013  "), all of them in order.
    std::optional<std::string_view> portBox = {};
    std::optional<std::vector<std::string_view>> portItems = {};
    // Every pixel within the night limit.
    std::optional<bool> nightLook = {};
};

struct Step {
    Act act;
    std::string_view text = {};  // WaitForLog: a text the log comes to hold
    Seen seen = {};
    DataFile contents = DataFile::Empty;  // RewriteFile, RewriteFileWhenAsked
    int port = 0;                         // ChoosePort, PlugIn: COMn
};

struct Scenario {
    std::string_view name = {};
    std::vector<std::string> simOptions = {};
    Port port = Port::Simulator;
    // The port the controller is behind: COM1, or one above COM9, which
    // only Windows has (the Qt window leaves such a scenario out).
    int simPort = 1;
    DataFile file = DataFile::Image5k;
    std::vector<Step> steps = {};
    // The silence after which the window lets the computer sleep.
    std::chrono::milliseconds keepAwakeSilence = kKeepAwakeSilence;
    // What the simulator's summary line says afterwards, after its
    // "velmoro-hc-sim: ", when the test ends (the port may still be open).
    std::string_view simSummary = {};
    // What the controller's internal flash holds at the end: this file's
    // bytes, zero-filled to whole blocks.
    std::optional<DataFile> flash = {};
};

inline constexpr std::string_view kFinishedLog =
    "Please reset the KARVELIN(MORDAVEX),Waiting for connection ... \r\n"
    "Connected.\r\n"
    "Processing ...   Please wait ...\r\n"
    "Download successfully finished!\r\n";
inline constexpr std::string_view kTitle = "Velmoro Downloader V2.0";

// The file's bytes: images of reproducible bytes, or text that looks like
// a catalogue to a firmware download.
inline std::string FileContents(DataFile file) {
    const auto image = [](std::size_t size) {
        std::string bytes(size, '\0');
        std::uint32_t x = 7;
        for (char& c : bytes) {
            x = x * 1103515245U + 12345U;
            c = static_cast<char>(x >> 24);
        }
        return bytes;
    };
    switch (file) {
        case DataFile::Image5k:
            return image(5000);
        case DataFile::Image40k:
            return image(40 * 1024);
        case DataFile::Empty:
            return {};
        case DataFile::Text:
            return "OBJ1   ,First sample    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n";
    }
    return {};
}

inline std::string ExpectedInternalFlash(DataFile file) {
    std::string bytes = FileContents(file);
    bytes.resize((bytes.size() / kPayloadSize + 1) * kPayloadSize, '\0');
    return bytes;
}

inline void WriteFile(const std::filesystem::path& path, DataFile file) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << FileContents(file);
}

// The starts of the port list's items: COM1 to COM9, then those above.
inline std::vector<std::string_view> PortItemStarts(bool com12) {
    std::vector<std::string_view> starts = {"COM1  \u2013  ", "COM2  \u2013  ", "COM3  \u2013  ",
                                            "COM4  \u2013  ", "COM5  \u2013  ", "COM6  \u2013  ",
                                            "COM7  \u2013  ", "COM8  \u2013  ", "COM9  \u2013  "};
    if (com12) {
        starts.push_back("COM12  \u2013  ");
    }
    return starts;
}

inline const std::vector<Scenario>& All() {
    using namespace texts;
    const Seen running{.caption = kStopCaption, .openEnabled = false};
    // Running, and the computer kept awake: what each ending must let go.
    const Seen held{
        .caption = kStopCaption, .openEnabled = false, .keptAwake = true, .sessionMayEnd = false};
    // How every ending leaves the window: nothing held.
    const Seen letGo{
        .caption = kStartCaption, .openEnabled = true, .keptAwake = false, .sessionMayEnd = true};
    static const std::vector<Scenario> scenarios = {
        // Chosen by hand, then the controller's adapter plugged in: its
        // port is chosen, and the transfer goes through it. The list names
        // each port and keeps its nine items.
        {.name = "PluggedInAdapterIsChosen",
         .steps = {{Act::ChoosePort, {}, {.portBox = "COM2"}, DataFile::Empty, 2},
                   {Act::PlugIn,
                    {},
                    {.portBox = "COM1", .portItems = PortItemStarts(false)},
                    DataFile::Empty,
                    1},
                   {Act::ChooseFile},
                   {Act::ClickStartStop},
                   // While a transfer runs an adapter plugged in changes
                   // nothing.
                   {Act::ChoosePort, {}, {.portBox = "COM3"}, DataFile::Empty, 3},
                   {Act::PlugIn, {}, {.portBox = "COM3"}, DataFile::Empty, 1},
                   {Act::WaitForIdle, {}, {.log = kFinishedLog}}},
         .simSummary = "finished; 14 commands, 5 blocks written, 0 violations"},
        // A port above COM9 is listed after COM9, and plugged in it is
        // chosen and opened as itself.
        {.name = "PortAboveNineIsListedAndOpened",
         .simPort = 12,
         .steps = {{Act::ChoosePort,
                    {},
                    {.portBox = "COM2", .portItems = PortItemStarts(true)},
                    DataFile::Empty,
                    2},
                   {Act::PlugIn, {}, {.portBox = "COM12"}, DataFile::Empty, 12},
                   {Act::ChooseFile},
                   {Act::ClickStartStop},
                   {Act::WaitForIdle, {}, {.log = kFinishedLog}}},
         .simSummary = "finished; 14 commands, 5 blocks written, 0 violations"},
        {.name = "FinishedTransfer",
         // The computer is kept awake, and the session from ending, while
         // the transfer runs and no longer.
         .steps = {{Act::ChooseFile,
                    {},
                    {.caption = kStartCaption,
                     .openEnabled = true,
                     .keptAwake = false,
                     .sessionMayEnd = true}},
                   {Act::ClickStartStop,
                    {},
                    {.log = kResetPrompt,
                     .caption = kStopCaption,
                     .openEnabled = false,
                     .keptAwake = true,
                     .sessionMayEnd = false}},
                   {Act::WaitForIdle,
                    {},
                    {.log = kFinishedLog,
                     .caption = kStartCaption,
                     .openEnabled = true,
                     .progress = "100%",
                     .keptAwake = false,
                     .sessionMayEnd = true,
                     .questions = 0}}},
         .simSummary = "finished; 14 commands, 5 blocks written, 0 violations"},
        {.name = "StopEndsTheTransfer",
         .simOptions = {"--write-delay", "150"},
         .file = DataFile::Image40k,
         // A double click on Start is one click: the transfer it starts
         // goes on.
         .steps = {{Act::ChooseFile},
                   {Act::DoubleClickStartStop,
                    {},
                    {.log = kResetPrompt, .caption = kStopCaption, .openEnabled = false}},
                   {Act::WaitForLog, kProcessing, held},
                   {Act::ClickStartStop,
                    {},
                    {.log = kStopped,
                     .caption = kStartCaption,
                     .openEnabled = true,
                     .keptAwake = false,
                     .sessionMayEnd = true}}},
         // Stopped before the end: no ":QUIT_COMM#" reached the controller.
         .simSummary = "0 violations"},
        {.name = "SilentControllerLetsTheComputerSleep",
         // Each flash write answered after 1.2 s, the window letting go
         // after 0.3 s of silence: let go during each write, taken again
         // by each reply.
         .simOptions = {"--write-delay", "1200"},
         .steps = {{Act::ChooseFile},
                   {Act::ClickStartStop, {}, {.keptAwake = true, .sessionMayEnd = false}},
                   {Act::WaitForKeepAwake,
                    {},
                    {.caption = kStopCaption, .keptAwake = false, .sessionMayEnd = true}},
                   {Act::WaitForKeepAwake,
                    {},
                    {.caption = kStopCaption, .keptAwake = true, .sessionMayEnd = false}},
                   {Act::WaitForKeepAwake,
                    {},
                    {.caption = kStopCaption, .keptAwake = false, .sessionMayEnd = true}},
                   // Stopped while silent: nothing is held afterwards.
                   {Act::ClickStartStop,
                    {},
                    {.logEnd = kStopped,
                     .caption = kStartCaption,
                     .keptAwake = false,
                     .sessionMayEnd = true}}},
         .keepAwakeSilence = std::chrono::milliseconds(300),
         .simSummary = "0 violations"},
        {.name = "StopWhileTheControllerIsSilent",
         // The controller never greets: Stop while nothing has come from it,
         // long before the silence would let go of the hold.
         .simOptions = {"--beacons", "1000000"},
         .steps = {{Act::ChooseFile},
                   {Act::ClickStartStop, {}, held},
                   {Act::ClickStartStop, {}, letGo}},
         .simSummary = " 0 commands, 0 blocks written, 0 violations"},
        {.name = "ErrorReplyEndsTheTransfer",
         // Greeting, version, erase, blank check, then the first block's
         // ":RB_OK#"; each reply held for the adapter's latency timer, so
         // that the hold is seen before the end.
         .simOptions = {"--error-at", "5", "--latency", "200"},
         .steps = {{Act::ChooseFile},
                   {Act::ClickStartStop, {}, held},
                   {Act::WaitForIdle,
                    {},
                    {.logEnd = kErrorReply,
                     .caption = kStartCaption,
                     .openEnabled = true,
                     .keptAwake = false,
                     .sessionMayEnd = true,
                     .questions = 0}}},
         .simSummary = "error reply sent; 4 commands, 0 blocks written"},
        {.name = "LostPortEndsTheTransfer",
         // The line hung up after the first block's reply.
         .simOptions = {"--hangup-at", "5", "--latency", "200"},
         .steps = {{Act::ChooseFile},
                   {Act::ClickStartStop, {}, held},
                   {Act::WaitForIdle, {}, letGo}},
         .simSummary = "hung up"},
        {.name = "EmptyFileIsRefused",
         .file = DataFile::Empty,
         .steps = {{Act::ChooseFile},
                   {Act::ClickStartStop,
                    {},
                    {.log = kEmptyDataFile,
                     .caption = kStartCaption,
                     .openEnabled = true,
                     .keptAwake = false,
                     .sessionMayEnd = true,
                     .questions = 0}}},
         .simSummary = " 0 commands, 0 blocks written"},
        {.name = "PortThatWillNotOpenIsRefused",
         .port = Port::Missing,
         .steps = {{Act::ChooseFile},
                   {Act::ClickStartStop,
                    {},
                    {.log = "",
                     .caption = kStartCaption,
                     .openEnabled = true,
                     .keptAwake = false,
                     .sessionMayEnd = true,
                     .questions = 1,
                     .questionCaption = kTitle,
                     .questionIcon = Icon::Stop}}}},
        {.name = "QuestionAnsweredNo",
         .file = DataFile::Text,
         .steps = {{Act::ChooseFile},
                   {Act::ClickStartStop,
                    {},
                    {.logEnd = "not a firmware image.\r\n",
                     .caption = kStartCaption,
                     .openEnabled = true,
                     .questions = 1,
                     .questionCaption = kTitle,
                     .questionStart = "The data file looks like a text file",
                     .questionIcon = Icon::Question,
                     .questionDefaultYes = false}}},
         .simSummary = " 0 commands, 0 blocks written"},
        {.name = "QuestionAnsweredYes",
         .file = DataFile::Text,
         .steps = {{Act::ChooseFile},
                   {Act::AnswerYes},
                   {Act::ClickStartStop,
                    {},
                    {.log = kResetPrompt,
                     .caption = kStopCaption,
                     .openEnabled = false,
                     .questions = 1}},
                   {Act::WaitForIdle,
                    {},
                    {.log = kFinishedLog, .caption = kStartCaption, .openEnabled = true}}},
         .simSummary = "finished; 6 commands, 1 blocks written, 0 violations"},
        {.name = "QuitQuestionDuringATransfer",
         .simOptions = {"--write-delay", "150"},
         .file = DataFile::Image40k,
         .steps = {{Act::ChooseFile},
                   {Act::ClickStartStop},
                   {Act::WaitForLog, kConnected},
                   // Escape, then Enter before reading: the transfer goes on.
                   {Act::AnswerWithEnter},
                   {Act::PressEscape,
                    {},
                    {.caption = kStopCaption,
                     .openEnabled = false,
                     .shown = true,
                     .questions = 1,
                     .questionCaption = window::kQuitCaption,
                     .questionStart = window::kQuitDuringTransferQuestion,
                     .questionIcon = Icon::Question,
                     .questionDefaultYes = false}},
                   // Stopped, the question is the usual one, and Enter quits.
                   {Act::ClickStartStop, {}, {.caption = kStartCaption, .shown = true}},
                   {Act::PressEscape,
                    {},
                    {.shown = false,
                     .questions = 2,
                     .questionCaption = window::kQuitCaption,
                     .questionStart = window::kQuitQuestion,
                     .questionIcon = Icon::Question,
                     .questionDefaultYes = true}}}},
        // What goes is the file as Start read it, whatever happens to it
        // on disk afterwards.
        {.name = "FileEmptiedWhileAskedIsSentAsItWas",
         .file = DataFile::Text,
         .steps = {{Act::ChooseFile},
                   {Act::AnswerYes},
                   {Act::RewriteFileWhenAsked, {}, {}, DataFile::Empty},
                   {Act::ClickStartStop, {}, {.questions = 1}},
                   {Act::WaitForIdle, {}, {.log = kFinishedLog, .progress = "100%"}}},
         .simSummary = "finished; 6 commands, 1 blocks written, 0 violations",
         .flash = DataFile::Text},
        {.name = "FileRewrittenDuringTheTransferIsSentAsItWas",
         .simOptions = {"--write-delay", "20"},
         .file = DataFile::Image40k,
         .steps = {{Act::ChooseFile},
                   {Act::ClickStartStop},
                   {Act::WaitForLog, kConnected},
                   {Act::RewriteFile, {}, {}, DataFile::Text},
                   {Act::WaitForIdle, {}, {.log = kFinishedLog, .progress = "100%"}}},
         .simSummary = "finished; 86 commands, 41 blocks written, 0 violations",
         .flash = DataFile::Image40k},
    };
    return scenarios;
}

inline void ExpectSeen(IWindowDriver& window, const Seen& seen, std::size_t step) {
    SCOPED_TRACE("after step " + std::to_string(step + 1));
    if (seen.log) {
        EXPECT_EQ(window.LogText(), *seen.log);
    }
    if (seen.logEnd) {
        const std::string log = window.LogText();
        EXPECT_TRUE(
            log.size() >= seen.logEnd->size() &&
            log.compare(log.size() - seen.logEnd->size(), std::string::npos, *seen.logEnd) == 0)
            << log;
    }
    if (seen.caption) {
        EXPECT_EQ(window.StartStopCaption(), *seen.caption);
    }
    if (seen.openEnabled) {
        EXPECT_EQ(window.OpenEnabled(), *seen.openEnabled) << "Open Data File enabled";
    }
    if (seen.progress) {
        EXPECT_EQ(window.ProgressText(), *seen.progress);
    }
    if (seen.shown) {
        EXPECT_EQ(window.WindowShown(), *seen.shown);
    }
    if (seen.keptAwake && window.KeptAwake()) {
        EXPECT_TRUE(window.WaitFor([&] { return window.KeptAwake() == seen.keptAwake; }))
            << "kept awake: " << *seen.keptAwake << " expected";
    }
    if (seen.sessionMayEnd && window.SessionMayEnd()) {
        EXPECT_TRUE(window.WaitFor([&] { return window.SessionMayEnd() == seen.sessionMayEnd; }))
            << "the session may end: " << *seen.sessionMayEnd << " expected";
    }
    if (seen.portBox) {
        EXPECT_EQ(window.PortBox(), *seen.portBox);
    }
    if (seen.nightLook) {
        EXPECT_EQ(window.ShowsNightLook(), *seen.nightLook) << "the night look";
    }
    if (seen.portItems) {
        const std::vector<std::string> items = window.DroppedPortList();
        EXPECT_EQ(items.size(), seen.portItems->size());
        for (std::size_t i = 0; i < std::min(items.size(), seen.portItems->size()); ++i) {
            EXPECT_TRUE(items[i].starts_with((*seen.portItems)[i])) << items[i];
        }
        // Dropped and closed again, the box still shows the port chosen.
        if (seen.portBox) {
            EXPECT_EQ(window.PortBox(), *seen.portBox);
        }
    }
    const std::vector<Question> questions = window.Questions();
    if (seen.questions) {
        ASSERT_EQ(questions.size(), *seen.questions)
            << (questions.empty() ? "" : questions.back().text);
    }
    if (!seen.questionCaption && !seen.questionStart && !seen.questionIcon &&
        !seen.questionDefaultYes) {
        return;
    }
    ASSERT_FALSE(questions.empty());
    const Question& last = questions.back();
    if (seen.questionCaption) {
        EXPECT_EQ(last.caption, *seen.questionCaption);
    }
    if (seen.questionStart) {
        EXPECT_EQ(last.text.substr(0, seen.questionStart->size()), *seen.questionStart);
    }
    if (seen.questionIcon) {
        EXPECT_EQ(last.icon, *seen.questionIcon);
    }
    if (seen.questionDefaultYes) {
        EXPECT_EQ(last.defaultYes, *seen.questionDefaultYes);
    }
}

// Plays the scenario's steps with dataFile as the file chosen; the window
// starts as the program shows it, its port already behind the controller.
inline void Play(const Scenario& scenario, IWindowDriver& window,
                 const std::filesystem::path& dataFile) {
    window.AnswerQuestions(false);
    for (std::size_t i = 0; i < scenario.steps.size(); ++i) {
        const Step& step = scenario.steps[i];
        switch (step.act) {
            case Act::ChooseFile:
                window.ChooseFile(dataFile);
                break;
            case Act::ClickObjectCatalog:
                window.ClickRadio(ids::IDC_OBJECT_CATALOG);
                break;
            case Act::ClickStartStop:
                window.ClickStartStop();
                break;
            case Act::DoubleClickStartStop:
                window.DoubleClickStartStop();
                break;
            case Act::PressEscape:
                window.PressEscape();
                break;
            case Act::AnswerYes:
                window.AnswerQuestions(true);
                break;
            case Act::AnswerWithEnter:
                window.AnswerWithEnter();
                break;
            case Act::RewriteFile:
                WriteFile(dataFile, step.contents);
                break;
            case Act::RewriteFileWhenAsked:
                window.WhenAsked([&dataFile, &step] { WriteFile(dataFile, step.contents); });
                break;
            case Act::WaitForLog:
                ASSERT_TRUE(window.WaitFor([&window, &step] {
                    return window.LogText().find(step.text) != std::string::npos;
                })) << "step "
                    << i + 1 << " waits for " << step.text << "; the log: " << window.LogText();
                break;
            case Act::WaitForIdle:
                ASSERT_TRUE(window.WaitFor([&window] {
                    return window.StartStopCaption() == texts::kStartCaption;
                })) << "step "
                    << i + 1 << "; the log: " << window.LogText();
                break;
            case Act::ChoosePort:
                window.ChoosePort(step.port);
                break;
            case Act::PlugIn:
                window.PlugIn(step.port);
                break;
            case Act::ChooseNightMode:
                window.ChooseNightMode();
                break;
            case Act::WaitForKeepAwake:
                // What else the step sees is looked at once the hold has
                // come or gone.
                if (window.KeptAwake()) {
                    ASSERT_TRUE(window.WaitFor([&window, &step] {
                        return window.KeptAwake() == step.seen.keptAwake;
                    })) << "step "
                        << i + 1 << " waits for kept awake " << step.seen.keptAwake.value_or(false);
                }
                break;
        }
        ExpectSeen(window, step.seen, i);
        if (::testing::Test::HasFatalFailure()) {
            return;
        }
    }
}

// Every scenario again in the night look: Night Mode chosen before the
// first step, and the window night to the last pixel then and after the
// last step that leaves it open. What the user sees otherwise is the same.
inline const std::vector<Scenario>& AllAtNight() {
    static std::deque<std::string> names;
    static const std::vector<Scenario> scenarios = [] {
        std::vector<Scenario> night;
        for (Scenario scenario : All()) {
            names.push_back(std::string(scenario.name) + "AtNight");
            scenario.name = names.back();
            const auto open =
                std::find_if(scenario.steps.rbegin(), scenario.steps.rend(),
                             [](const Step& step) { return step.seen.shown.value_or(true); });
            if (open != scenario.steps.rend()) {
                open->seen.nightLook = true;
            }
            scenario.steps.insert(scenario.steps.begin(),
                                  Step{Act::ChooseNightMode, {}, {.nightLook = true}});
            night.push_back(std::move(scenario));
        }
        return night;
    }();
    return scenarios;
}

// The simulator's summary line as the scenario expects it: the controller
// finished exactly when the scenario says so.
inline void ExpectSimSummary(const Scenario& scenario, const std::string& summary) {
    EXPECT_NE(summary.find(scenario.simSummary), std::string::npos) << summary;
    EXPECT_EQ(summary.find("velmoro-hc-sim: finished;") == 0,
              scenario.simSummary.substr(0, 9) == "finished;")
        << summary;
}

// A failed case names its scenario.
inline void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

// The test names of the scenarios, for a parameterised test.
struct ScenarioName {
    std::string operator()(const ::testing::TestParamInfo<Scenario>& info) const {
        return std::string(info.param.name);
    }
};

}  // namespace velmoro::scenarios
