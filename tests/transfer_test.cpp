// The transfer state machine one event at a time: Start and Stop, the
// beacon, and every row of the reply table, accepted and rejected.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "catalog.h"
#include "fakes.h"
#include "preflight.h"
#include "temp_file.h"
#include "transfer.h"
#include "transfer_report.h"

#ifdef __linux__
#include <dlfcn.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#endif

namespace velmoro::testing {
namespace {

const std::string kImage1500(1500, 'x');

// Catalogue of two record lines, the separator and two more.
const std::string kSmallCatalog =
    "OBJ1   ,First sample    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n"
    "OBJ2   ,Second~sample   ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n"
    "-----\r\n"
    "42,Star  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5\r\n"
    "43,Star  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5\r\n";

class TransferTest : public ::testing::Test {
protected:
    void StartWith(const TempFile& file, UpdateType type) {
        rig.window.dataFilePath = file.Path();
        rig.window.updateType = type;
        rig.engine.OnStartStop();
        rig.trace.clear();
        rig.port.TakeWrites();
    }

    const TransferState& State() const { return rig.engine.State(); }

    EngineRig rig;
};

// The one end a Start told the window, with its reason and detail.
void ExpectEnded(const FakeWindow& window, Ending ending, Refusal refusal = Refusal::None,
                 const std::string& detail = {}) {
    ASSERT_EQ(window.ends.size(), 1U) << "each Start ends once";
    EXPECT_EQ(window.ends[0].ending, ending);
    EXPECT_EQ(window.ends[0].refusal, refusal);
    EXPECT_EQ(window.ends[0].detail, detail);
}

TEST_F(TransferTest, StartPreparesEverythingInOrder) {
    TempFile image(kImage1500);
    rig.window.dataFilePath = image.Path();
    rig.window.log = {"old line\r\n"};
    rig.engine.OnStartStop();

    const std::vector<std::string> expected = {
        "clear",
        "prepare",
        "append " + std::string(texts::kResetPrompt),
        "range 0 2",
        "pos 0",
        "disable open",
        "caption Stop Download(&D)",
        "timer start 100",
    };
    EXPECT_EQ(rig.trace, expected);
    EXPECT_TRUE(State().busy);
    EXPECT_TRUE(State().dataFile.IsOpen());
    EXPECT_TRUE(rig.port.writes.empty()) << "nothing goes out before the first beacon tick";
}

TEST_F(TransferTest, MissingOrUnusableDataFileEndsStartWithItsLine) {
    TempFile existing("");
    const std::filesystem::path missing = existing.Path().parent_path() / "missing.bin";
    const std::filesystem::path directory = existing.Path().parent_path();
    for (const auto& path : {missing, directory}) {
        EngineRig fresh;
        fresh.window.dataFilePath = path;
        fresh.engine.OnStartStop();
        const std::vector<std::string> expected = {"clear", "prepare",
                                                   "append " + std::string(texts::kNoDataFile)};
        EXPECT_EQ(fresh.trace, expected) << path;
        ExpectEnded(fresh.window, Ending::Refused, Refusal::NoDataFile,
                    std::string(texts::kNoDataFile));
        EXPECT_FALSE(fresh.window.ends[0].file.loaded);
        EXPECT_FALSE(fresh.engine.State().busy);
        EXPECT_TRUE(fresh.port.open) << "the port stays open";
        EXPECT_FALSE(fresh.window.timerRunning);
        EXPECT_EQ(fresh.window.caption, texts::kStartCaption);
        EXPECT_TRUE(fresh.window.openEnabled);
    }
}

#ifdef __linux__
// A failing disk, whose reads fail with an error while it is set.
bool diskFails = false;
// Opening a file fails with this error while it is not 0, as it does for a
// file the user may not read.
int openFails = 0;
#endif

}  // namespace
}  // namespace velmoro::testing

#ifdef __linux__
extern "C" std::size_t fread(void* buffer, std::size_t size, std::size_t count, std::FILE* file) {
    using Real = std::size_t (*)(void*, std::size_t, std::size_t, std::FILE*);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "fread"));
    return velmoro::testing::diskFails ? 0 : real(buffer, size, count, file);
}
extern "C" int ferror(std::FILE* file) noexcept {
    using Real = int (*)(std::FILE*);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "ferror"));
    return velmoro::testing::diskFails ? 1 : real(file);
}
namespace {
std::FILE* OpenUnlessDenied(const char* realName, const char* path, const char* mode) {
    using Real = std::FILE* (*)(const char*, const char*);
    if (velmoro::testing::openFails != 0) {
        errno = velmoro::testing::openFails;
        return nullptr;
    }
    return reinterpret_cast<Real>(::dlsym(RTLD_NEXT, realName))(path, mode);
}
}  // namespace
extern "C" std::FILE* fopen(const char* path, const char* mode) {
    return OpenUnlessDenied("fopen", path, mode);
}
extern "C" std::FILE* fopen64(const char* path, const char* mode) {
    return OpenUnlessDenied("fopen64", path, mode);
}
#endif

namespace velmoro::testing {
namespace {

#ifdef __linux__
// A data file that fails to read at Start sends nothing, an image and a
// catalogue alike.
TEST_F(TransferTest, DataFileThatFailsToReadSendsNothing) {
    for (const auto& [contents, type] : {std::pair{kImage1500, UpdateType::MainProgram},
                                         std::pair{kSmallCatalog, UpdateType::ObjectCatalog}}) {
        TempFile file(contents);
        EngineRig fresh;
        fresh.window.dataFilePath = file.Path();
        fresh.window.updateType = type;
        diskFails = true;
        fresh.engine.OnStartStop();
        diskFails = false;
        const std::string line = "ERROR! Cannot read data file (Input/output error)!\r\n";
        EXPECT_EQ(fresh.window.log, std::vector<std::string>{line});
        ExpectEnded(fresh.window, Ending::Refused, Refusal::UnreadableFile, line);
        EXPECT_FALSE(fresh.engine.State().busy);
        EXPECT_FALSE(fresh.window.timerRunning);
        EXPECT_TRUE(fresh.port.writes.empty());
    }
}

// A file that is there but may not be read is not called missing: the log
// says it cannot be read, and why.
TEST_F(TransferTest, DataFileThatMayNotBeReadSaysWhy) {
    TempFile file(kImage1500);
    EngineRig fresh;
    fresh.window.dataFilePath = file.Path();
    openFails = EACCES;
    fresh.engine.OnStartStop();
    openFails = 0;
    const std::string line = "ERROR! Cannot read data file (Permission denied)!\r\n";
    EXPECT_EQ(fresh.window.log, std::vector<std::string>{line});
    ExpectEnded(fresh.window, Ending::Refused, Refusal::UnreadableFile, line);
    EXPECT_TRUE(fresh.port.writes.empty());
}
#endif

// The system's reason stands in the line as a phrase: without the full stop
// and line break some systems end their words with, and as its number where
// its words are not UTF-8 text.
TEST_F(TransferTest, UnreadableFileLineGivesTheSystemsReasonAsAPhrase) {
    class CSystemWords : public std::error_category {
    public:
        const char* name() const noexcept override { return "words"; }
        std::string message(int value) const override {
            return value == 5 ? "Access is denied.\r\n" : "Zugriff verweigert\xE4";
        }
    };
    static const CSystemWords words;
    EXPECT_EQ(DataFileLoadText(FileLoad::Unreadable, std::error_code(5, words)),
              "ERROR! Cannot read data file (Access is denied)!\r\n");
    EXPECT_EQ(DataFileLoadText(FileLoad::Unreadable, std::error_code(6, words)),
              "ERROR! Cannot read data file (system error 6)!\r\n");
    EXPECT_EQ(DataFileLoadText(FileLoad::Unreadable, {}), texts::kUnreadableDataFile);
}

// The reader hands back the file and nothing else, whatever the buffer and
// the reason held before: bytes and a reason left from an earlier read.
TEST_F(TransferTest, DataFileReadLeavesNothingOfAnEarlierRead) {
    TempFile file("\x01\x02\x03");
    FileBytes bytes = {0xEE, 0xEE};
    std::error_code reason = std::make_error_code(std::errc::permission_denied);
    EXPECT_EQ(LoadDataFile(file.Path(), bytes, &reason), FileLoad::Loaded);
    EXPECT_EQ(bytes, (FileBytes{0x01, 0x02, 0x03}));
    EXPECT_FALSE(reason);
    reason = std::make_error_code(std::errc::permission_denied);
    EXPECT_EQ(LoadDataFile(file.Path().string() + ".gone", bytes, &reason), FileLoad::NotFound);
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(reason);
}

// A data file is read whole up to the limit, and not at all beyond it.
TEST_F(TransferTest, DataFileIsReadUpToTheLimitAndNotBeyond) {
    TempFile file("");
    for (const std::uintmax_t size : {kMaxDataFileBytes, kMaxDataFileBytes + 1}) {
        std::filesystem::resize_file(file.Path(), size);  // zeros: no text, no question
        EngineRig fresh;
        fresh.window.dataFilePath = file.Path();
        fresh.engine.OnStartStop();
        const bool read = size == kMaxDataFileBytes;
        EXPECT_EQ(fresh.engine.State().busy, read) << size;
        if (read) {
            EXPECT_EQ(fresh.window.rangeUpper, static_cast<int>(size / kPayloadSize + 1));
        } else {
            EXPECT_EQ(fresh.window.log,
                      std::vector<std::string>{std::string(texts::kDataFileTooLarge)});
            ExpectEnded(fresh.window, Ending::Refused, Refusal::FileTooLarge,
                        std::string(texts::kDataFileTooLarge));
        }
    }
}

// Drives a Main Program transfer from the blank check's reply to its end,
// with `during` done once the first block has gone out; returns the
// payloads sent, in order.
std::string SentImage(EngineRig& rig, const std::function<void()>& during) {
    std::string payloads;
    for (const char* reply : {":OK#", ":English Ver1.0#", ":EI_OK#", ":BI_OK#"}) {
        rig.Receive(reply);
    }
    if (during) {
        during();
    }
    for (int i = 0; i < 1000 && rig.engine.State().busy; ++i) {
        const std::vector<std::string> writes = rig.port.TakeWrites();
        for (const std::string& sent : writes) {
            if (sent.size() == kDataBlockSize) {
                payloads += sent.substr(0, kPayloadSize);
            }
        }
        const std::string last = writes.empty() ? std::string() : writes.back();
        rig.Receive(last == commands::kQuit           ? replies::kQuitOk
                    : last.starts_with(":RAMTO_INT ") ? replies::kWriteInternalOk
                                                      : replies::kBlockReceivedOk);
    }
    return payloads;
}

// What is sent is the file as Start read it: emptied or rewritten while the
// question is open or while the transfer runs, it changes nothing of what
// goes out, nor of the progress range Start set.
TEST_F(TransferTest, SendsTheFileAsStartReadIt) {
    // Text with line breaks: a firmware download asks about it.
    const std::string text = "A\nB\n" + std::string(1500, 'x');
    std::string expected = text;
    expected.resize(2 * kPayloadSize, '\0');
    for (const bool duringQuestion : {true, false}) {
        for (const std::string& later : {std::string(), std::string(5000, 'y')}) {
            const std::string context = std::string(duringQuestion ? "question" : "transfer") +
                                        ", rewritten with " + std::to_string(later.size());
            TempFile file(text);
            EngineRig fresh;
            fresh.window.dataFilePath = file.Path();
            fresh.window.answer = true;
            const auto rewrite = [&file, &later] {
                std::ofstream(file.Path(), std::ios::binary | std::ios::trunc) << later;
            };
            if (duringQuestion) {
                fresh.window.whileAsking = rewrite;
            }
            fresh.engine.OnStartStop();
            ASSERT_EQ(fresh.window.questions.size(), 1U) << context;
            EXPECT_EQ(fresh.window.rangeUpper, 2) << context;
            EXPECT_EQ(SentImage(fresh, duringQuestion ? std::function<void()>() : rewrite),
                      expected)
                << context;
            EXPECT_EQ(fresh.window.log.back(), texts::kFinished) << context;
        }
    }
}

TEST_F(TransferTest, PortFailureIsReportedAndNothingStarts) {
    TempFile image(kImage1500);
    rig.window.dataFilePath = image.Path();
    rig.port.openError = "COM3: no such device";
    rig.engine.OnStartStop();
    const std::vector<std::string> expected = {"clear", "prepare",
                                               "port failure COM3: no such device"};
    EXPECT_EQ(rig.trace, expected);
    ExpectEnded(rig.window, Ending::Refused, Refusal::PortOpen, "COM3: no such device");
    EXPECT_FALSE(State().busy);
    EXPECT_FALSE(State().dataFile.IsOpen());
    EXPECT_TRUE(rig.window.log.empty());
}

TEST_F(TransferTest, BeaconGoesOutWhilePortIsOpenAndStopsTheTimerOtherwise) {
    TempFile image(kImage1500);
    StartWith(image, UpdateType::MainProgram);
    rig.engine.OnBeaconTimer();
    rig.engine.OnBeaconTimer();
    EXPECT_EQ(rig.port.TakeWrites(), (std::vector<std::string>{"\xAA", "\xAA"}));

    rig.port.open = false;
    rig.engine.OnBeaconTimer();
    EXPECT_TRUE(rig.port.TakeWrites().empty());
    EXPECT_FALSE(rig.window.timerRunning);
}

TEST_F(TransferTest, StopBeforeTheGreetingLeavesTheBeaconRunning) {
    TempFile image(kImage1500);
    StartWith(image, UpdateType::MainProgram);
    rig.engine.OnStartStop();

    EXPECT_EQ(rig.window.log, std::vector<std::string>{std::string(texts::kStopped)});
    EXPECT_FALSE(State().busy);
    EXPECT_EQ(rig.window.caption, texts::kStartCaption);
    EXPECT_TRUE(rig.window.openEnabled);
    EXPECT_TRUE(rig.window.timerRunning);
    EXPECT_FALSE(State().dataFile.IsOpen()) << "the data file is closed at Stop";
    ExpectEnded(rig.window, Ending::Stopped);
    rig.engine.OnBeaconTimer();
    EXPECT_EQ(rig.port.TakeWrites(), std::vector<std::string>{"\xAA"});

    // A late greeting is not taken from the port while no transfer runs.
    rig.Receive(":OK#");
    EXPECT_EQ(ToText(rig.port.input), ":OK#");
    EXPECT_TRUE(rig.port.TakeWrites().empty());
}

TEST_F(TransferTest, StopAfterTheGreetingKeepsTheTimerStopped) {
    TempFile image(kImage1500);
    StartWith(image, UpdateType::MainProgram);
    rig.Receive(":OK#");
    rig.Receive(":English Ver1.0#");
    rig.engine.OnStartStop();
    EXPECT_FALSE(rig.window.timerRunning);
    EXPECT_EQ(rig.window.log, std::vector<std::string>{std::string(texts::kStopped)});
    EXPECT_EQ(State().state, ProtocolState::AwaitFirstErase)
        << "state keeps its value until the next Start";
    EXPECT_TRUE(State().replyText.empty());
}

TEST_F(TransferTest, LostPortEndsTheTransferWithTheErrorLine) {
    TempFile image(kImage1500);
    StartWith(image, UpdateType::MainProgram);
    rig.Receive(":OK#");
    rig.port.commEvent = kCommEventPortLost;
    rig.port.lossReason = "The device does not recognize the command.";
    rig.engine.OnCommEvent();
    EXPECT_FALSE(State().busy);
    // The error line, then what the system reported and what to do.
    ASSERT_EQ(rig.window.log.size(), 3U);
    EXPECT_EQ(rig.window.log[1], texts::kErrorReply);
    EXPECT_EQ(rig.window.log[2],
              "The port was lost (The device does not recognize the command). Plug the adapter "
              "back in, choose its port again, then click \"Start Download\".\r\n");
    EXPECT_EQ(rig.window.caption, texts::kStartCaption);
    EXPECT_TRUE(rig.window.openEnabled);
    EXPECT_FALSE(State().dataFile.IsOpen());
    // Once ended, a second report changes nothing.
    rig.engine.OnCommEvent();
    EXPECT_EQ(rig.window.log.size(), 3U);
    ExpectEnded(rig.window, Ending::PortLost, Refusal::None,
                "The device does not recognize the command.");
    EXPECT_EQ(rig.window.ends[0].lastReceived, ":OK#");
    EXPECT_EQ(rig.window.ends[0].lastSent, commands::kGetVersion);
}

// The port goes away while the question about an odd file is open (the
// transfer is not running yet): after Yes, the Start opens it afresh, and
// ends with the port failure when it cannot, sending nothing.
TEST_F(TransferTest, PortLostDuringTheQuestionEndsTheStartWithThePortFailure) {
    TempFile catalogue("OBJ1   ,Andromeda Galaxi\xC3\xA9  ,1234,7,1,2,3,4,5,6,7,8,\r\n");
    rig.window.dataFilePath = catalogue.Path();
    rig.window.updateType = UpdateType::MainProgram;
    rig.window.answer = true;
    rig.window.whileAsking = [this] {
        rig.port.open = false;
        rig.port.commEvent = kCommEventPortLost;
        rig.engine.OnCommEvent();
        rig.port.openError = "Cannot open COM3: gone";
    };
    rig.engine.OnStartStop();
    ASSERT_EQ(rig.window.questions.size(), 1U);
    EXPECT_EQ(rig.window.portFailure, "Cannot open COM3: gone");
    // The loss while no transfer ran is no end of its own.
    ExpectEnded(rig.window, Ending::Refused, Refusal::PortOpen, "Cannot open COM3: gone");
    EXPECT_EQ(rig.port.prepareCount, 2);
    EXPECT_FALSE(State().busy);
    EXPECT_FALSE(rig.window.timerRunning);
    EXPECT_TRUE(rig.window.openEnabled);
    EXPECT_TRUE(rig.port.writes.empty());
}

TEST_F(TransferTest, OtherSerialEventsLeaveTheBytesWaiting) {
    TempFile image(kImage1500);
    StartWith(image, UpdateType::MainProgram);
    rig.port.commEvent = 3;
    rig.Receive(":OK#");
    EXPECT_EQ(State().state, ProtocolState::AwaitGreeting);
    EXPECT_EQ(ToText(rig.port.input), ":OK#");
    rig.port.commEvent = kCommEventReceive;
    rig.engine.OnCommEvent();
    EXPECT_EQ(State().state, ProtocolState::AwaitVersion);
}

// Where a transfer can stand, and how it got there.
struct Situation {
    const char* name;
    UpdateType type;
    std::vector<const char*> replies;
    ProtocolState state;
    bool firstBlankCheck;
};

// The greeting, the version and the whole erase sweep, then what follows.
std::vector<const char*> AfterSweep(std::vector<const char*> more) {
    std::vector<const char*> replies = {":OK#", ":English Ver1.0#"};
    for (int sector = 0; sector < 68; ++sector) {
        replies.push_back(":EX_OK#");
        replies.push_back(":BX_OK#");
    }
    replies.insert(replies.end(), more.begin(), more.end());
    return replies;
}

const std::vector<Situation> kSituations = {
    {"greeting", UpdateType::MainProgram, {}, ProtocolState::AwaitGreeting, true},
    {"version", UpdateType::MainProgram, {":OK#"}, ProtocolState::AwaitVersion, true},
    {"internal erase",
     UpdateType::MainProgram,
     {":OK#", ":English Ver1.0#"},
     ProtocolState::AwaitFirstErase,
     true},
    {"internal blank check",
     UpdateType::MainProgram,
     {":OK#", ":English Ver1.0#", ":EI_OK#"},
     ProtocolState::AwaitBlankCheck,
     true},
    {"block acknowledge",
     UpdateType::MainProgram,
     {":OK#", ":English Ver1.0#", ":EI_OK#", ":BI_OK#"},
     ProtocolState::AwaitBlockOrQuit,
     true},
    {"write",
     UpdateType::MainProgram,
     {":OK#", ":English Ver1.0#", ":EI_OK#", ":BI_OK#", ":RB_OK#"},
     ProtocolState::AwaitWrite,
     true},
    {"first sector erase",
     UpdateType::ObjectCatalog,
     {":OK#", ":English Ver1.0#"},
     ProtocolState::AwaitFirstErase,
     true},
    {"sector blank check",
     UpdateType::ObjectCatalog,
     {":OK#", ":English Ver1.0#", ":EX_OK#"},
     ProtocolState::AwaitBlankCheck,
     false},
    {"later sector erase",
     UpdateType::ObjectCatalog,
     {":OK#", ":English Ver1.0#", ":EX_OK#", ":BX_OK#"},
     ProtocolState::AwaitSectorErase,
     false},
    {"catalogue block acknowledge", UpdateType::ObjectCatalog, AfterSweep({}),
     ProtocolState::AwaitBlockOrQuit, false},
    {"catalogue write", UpdateType::ObjectCatalog, AfterSweep({":RB_OK#"}),
     ProtocolState::AwaitWrite, false},
};

// Starts a transfer of the situation's type and replies up to its state.
void DriveTo(EngineRig& rig, const Situation& situation, const TempFile& image,
             const TempFile& catalog) {
    rig.window.dataFilePath =
        situation.type == UpdateType::MainProgram ? image.Path() : catalog.Path();
    rig.window.updateType = situation.type;
    rig.engine.OnStartStop();
    for (const char* earlier : situation.replies) {
        rig.Receive(earlier);
    }
}

// Replies about one memory are taken only in transfers to that memory.
bool Accepts(const Situation& s, std::string_view reply) {
    const ProtocolState state = s.state;
    const bool internal = s.type == UpdateType::MainProgram;
    if (reply == ":OK#") {
        return state == ProtocolState::AwaitGreeting;
    }
    if (reply == ":English Ver1.0#") {
        return state == ProtocolState::AwaitVersion;
    }
    if (reply == ":EI_OK#") {
        return state == ProtocolState::AwaitFirstErase && internal;
    }
    if (reply == ":EX_OK#") {
        return !internal && ((state == ProtocolState::AwaitFirstErase && s.firstBlankCheck) ||
                             (state == ProtocolState::AwaitSectorErase && !s.firstBlankCheck));
    }
    if (reply == ":BI_OK#" || reply == ":BX_OK#") {
        return state == ProtocolState::AwaitBlankCheck && internal == (reply == ":BI_OK#");
    }
    if (reply == ":RB_OK#" || reply == ":QUIT_OK#") {
        return state == ProtocolState::AwaitBlockOrQuit;
    }
    if (reply == ":WI_OK#" || reply == ":WE_OK#") {
        return state == ProtocolState::AwaitWrite && internal == (reply == ":WI_OK#");
    }
    return false;
}

TEST_F(TransferTest, EveryReplyIsAcceptedExactlyInItsStates) {
    const char* kReplies[] = {":OK#",    ":English Ver1.0#", ":EI_OK#",          ":EX_OK#",
                              ":BI_OK#", ":BX_OK#",          ":RB_OK#",          ":WI_OK#",
                              ":WE_OK#", ":QUIT_OK#",        ":English Ver2.0#", ":ok#"};
    TempFile image(kImage1500);
    TempFile catalog(kSmallCatalog);
    for (const Situation& situation : kSituations) {
        for (const char* reply : kReplies) {
            EngineRig fresh;
            DriveTo(fresh, situation, image, catalog);
            const TransferState& state = fresh.engine.State();
            ASSERT_EQ(state.state, situation.state) << situation.name;
            ASSERT_EQ(state.firstBlankCheck, situation.firstBlankCheck) << situation.name;
            ASSERT_TRUE(state.replyText.empty());
            fresh.port.TakeWrites();

            fresh.Receive(reply);
            const bool accepted = state.replyText != reply || !state.busy;
            EXPECT_EQ(accepted, Accepts(situation, reply)) << situation.name << " / " << reply;
            if (!accepted) {
                EXPECT_EQ(state.state, situation.state);
                EXPECT_TRUE(fresh.port.TakeWrites().empty()) << situation.name << " / " << reply;
                EXPECT_TRUE(state.busy);
            }
        }
    }
}

TEST_F(TransferTest, AcceptedRepliesSendTheNextCommand) {
    TempFile image(kImage1500);
    StartWith(image, UpdateType::MainProgram);
    rig.Receive(":OK#");
    EXPECT_FALSE(rig.window.timerRunning) << "the greeting stops the beacon";
    EXPECT_EQ(rig.port.TakeWrites(), std::vector<std::string>{":GET_VER00#"});
    rig.Receive(":English Ver1.0#");
    EXPECT_EQ(rig.window.log, (std::vector<std::string>{std::string(texts::kResetPrompt),
                                                        std::string(texts::kConnected),
                                                        std::string(texts::kProcessing)}));
    EXPECT_EQ(rig.port.TakeWrites(), std::vector<std::string>{":ERASE_INT#"});
    rig.Receive(":EI_OK#");
    EXPECT_EQ(rig.port.TakeWrites(), std::vector<std::string>{":CHKBL_INT#"});
}

TEST_F(TransferTest, ReplyInPiecesIsAcceptedWhenTheLastPieceArrives) {
    TempFile catalog(kSmallCatalog);
    StartWith(catalog, UpdateType::ObjectCatalog);
    rig.Receive(":OK#");
    rig.Receive(":English Ver1.0#");
    rig.port.TakeWrites();
    rig.Receive(":EX_");
    EXPECT_EQ(State().replyText, ":EX_");
    EXPECT_TRUE(rig.port.TakeWrites().empty());
    rig.Receive("OK#");
    EXPECT_EQ(rig.port.TakeWrites(), std::vector<std::string>{":CHKBL_EXT 81140000#"});
    // One byte an event works the same.
    for (char c : std::string(":BX_OK#")) {
        rig.Receive(std::string(1, c));
    }
    EXPECT_EQ(rig.port.TakeWrites(), std::vector<std::string>{":ERASE_EXT 81141000#"});
}

TEST_F(TransferTest, ZeroBytesAreDroppedButAnyOtherStrayByteBlocksTheMatch) {
    TempFile image(kImage1500);
    StartWith(image, UpdateType::MainProgram);
    rig.Receive(std::string("\0:O\0K#", 6));
    EXPECT_EQ(State().state, ProtocolState::AwaitVersion);

    rig.Receive("\xFF:English Ver1.0#");
    EXPECT_EQ(State().state, ProtocolState::AwaitVersion);
    rig.Receive(":English Ver1.0#");
    EXPECT_EQ(State().state, ProtocolState::AwaitVersion)
        << "the stray byte stays in front of every later reply";
    EXPECT_EQ(State().replyText, "\xFF:English Ver1.0#:English Ver1.0#");
    EXPECT_TRUE(State().busy) << "the transfer waits until Stop";
    rig.engine.OnStartStop();
    EXPECT_FALSE(State().busy);
}

TEST_F(TransferTest, GreetingOutOfPlaceStaysInTheReplyText) {
    TempFile image(kImage1500);
    StartWith(image, UpdateType::MainProgram);
    for (const char* reply : {":OK#", ":English Ver1.0#", ":EI_OK#", ":OK#", ":BI_OK#"}) {
        rig.Receive(reply);
    }
    EXPECT_EQ(State().replyText, ":OK#:BI_OK#");
    EXPECT_EQ(State().state, ProtocolState::AwaitBlankCheck);
}

TEST_F(TransferTest, EveryErrorReplyEndsTheTransferInAnyState) {
    TempFile image(kImage1500);
    TempFile catalog(kSmallCatalog);
    for (const Situation& situation : kSituations) {
        for (std::string_view error : replies::kErrors) {
            EngineRig fresh;
            DriveTo(fresh, situation, image, catalog);
            fresh.port.TakeWrites();
            const bool timerBefore = fresh.window.timerRunning;

            fresh.Receive(error);
            const TransferState& state = fresh.engine.State();
            EXPECT_FALSE(state.busy) << situation.name << " / " << error;
            EXPECT_EQ(fresh.window.log.back(), texts::kErrorReply);
            EXPECT_TRUE(fresh.window.openEnabled);
            EXPECT_EQ(fresh.window.caption, texts::kStartCaption);
            EXPECT_TRUE(state.replyText.empty());
            EXPECT_EQ(state.state, situation.state);
            EXPECT_EQ(fresh.window.timerRunning, timerBefore)
                << "the beacon goes on only if the greeting had not come";
            EXPECT_FALSE(state.dataFile.IsOpen()) << "the data file is closed at an error";
            EXPECT_TRUE(fresh.port.TakeWrites().empty());
            ExpectEnded(fresh.window, Ending::ErrorReply, Refusal::None, std::string(error));
            EXPECT_EQ(fresh.window.ends[0].lastReceived, error);
        }
    }
}

TEST_F(TransferTest, ErrorReplyBehindAStrayCharacterIsNotAnError) {
    TempFile image(kImage1500);
    StartWith(image, UpdateType::MainProgram);
    for (const char* reply : {":OK#", ":English Ver1.0#", ":EI_OK#", ":BI_OK#"}) {
        rig.Receive(reply);
    }
    rig.Receive("x:RB_ERR#");
    EXPECT_TRUE(State().busy);
    EXPECT_EQ(State().replyText, "x:RB_ERR#");
}

TEST_F(TransferTest, LongReceiveEventIsTakenWhole) {
    TempFile image(kImage1500);
    StartWith(image, UpdateType::MainProgram);
    const std::string burst = std::string(150, 'z') + ":OK#";
    rig.Receive(burst);
    EXPECT_EQ(State().replyText, burst);
}

TEST_F(TransferTest, UpdateTypeChosenAtStartHoldsForTheWholeTransfer) {
    TempFile image(kImage1500);
    StartWith(image, UpdateType::MainProgram);
    rig.window.updateType = UpdateType::ObjectCatalog;
    for (const char* reply : {":OK#", ":English Ver1.0#", ":EI_OK#", ":BI_OK#", ":RB_OK#"}) {
        rig.Receive(reply);
    }
    const auto writes = rig.port.TakeWrites();
    EXPECT_EQ(writes[1], ":ERASE_INT#");
    EXPECT_EQ(writes.back(), ":RAMTO_INT 00004000#");
    EXPECT_EQ(rig.window.positions.back(), 1);

    TempFile catalog(kSmallCatalog);
    EngineRig other;
    other.window.dataFilePath = catalog.Path();
    other.window.updateType = UpdateType::ObjectCatalog;
    other.engine.OnStartStop();
    other.window.updateType = UpdateType::MainProgram;
    other.Receive(":OK#");
    other.Receive(":English Ver1.0#");
    EXPECT_EQ(other.port.TakeWrites().back(), ":ERASE_EXT 81140000#");
}

TEST_F(TransferTest, RefusedCatalogueStopsAtStartBeforeAnythingIsSent) {
    std::string lines = "-\r\n";
    lines += "-\r\n";
    TempFile catalog(lines);
    rig.window.dataFilePath = catalog.Path();
    rig.window.updateType = UpdateType::ObjectCatalog;
    rig.engine.OnStartStop();
    ASSERT_EQ(rig.window.log.size(), 1U);
    EXPECT_EQ(rig.window.log[0].rfind("ERROR! ", 0), 0U);
    EXPECT_NE(rig.window.log[0].find("line 2"), std::string::npos) << rig.window.log[0];
    EXPECT_FALSE(State().busy);
    EXPECT_FALSE(rig.window.timerRunning);
    EXPECT_TRUE(rig.window.openEnabled);
    EXPECT_EQ(rig.window.caption, texts::kStartCaption);
    EXPECT_TRUE(rig.port.writes.empty());
    ExpectEnded(rig.window, Ending::Refused, Refusal::FileRefused, rig.window.log[0]);
}

// Before anything is sent, Start refuses what can never work and asks about
// what looks wrong; No, the default, leaves everything as it was.
TEST_F(TransferTest, FilesThatLookWrongAreRefusedOrAskedAbout) {
    const std::string badByte = "OBJ1   ,First sample    ,1234,300,1,2,3,4,5,6,7,8,\r\n";
    const std::string looksLikeText = "Download not started: " + std::string(texts::kLooksLikeText);
    const std::string noObjects = "Download not started: " + std::string(texts::kNoObjects);
    const std::string mark(kByteOrderMark);
    const std::string galaxy = "OBJ1   ,Andromeda Galaxi\xC3\xA9  ,1234,7,1,2,3,4,5,6,7,8,\r\n";
    // A catalogue whose next byte stands at offset `at`, on the line after
    // the separator and `at` bytes' worth of whole records: the places a
    // byte may take against the reads of a file (64 KiB at a time).
    const auto recordsUpTo = [](std::size_t at) {
        std::string text = "-----\r\n";
        const std::string record = "42,Star  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5\r\n";
        const std::size_t count = (at - text.size()) / record.size();
        const std::size_t longer = (at - text.size()) % record.size();
        for (std::size_t i = 0; i < count; ++i) {
            text += i < longer ? "42,Star  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.50\r\n" : record;
        }
        return text;
    };
    const auto lineAfter = [](const std::string& text) {
        return "line " + std::to_string(std::count(text.begin(), text.end(), '\n') + 1) +
               ", column ";
    };
    const std::string lastOfFirstRead = recordsUpTo(65535);
    const std::string firstOfSecondRead = recordsUpTo(65536);
    const std::string pastFirstRead = recordsUpTo(100003);
    const std::string tail = "43,Star  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5\r\n";
    const std::string latin1 = " holds the byte 0xE9, which is not catalogue text: it is not UTF-8";
    const std::string atEdge = lineAfter(lastOfFirstRead) + "1" + latin1;
    const std::string pastEdge = lineAfter(firstOfSecondRead) + "1" + latin1;
    const std::string past = lineAfter(pastFirstRead) + "1" + latin1;
    const std::string brokenAcross =
        lineAfter(lastOfFirstRead) + "1 holds the byte 0xE2, which is not catalogue text";
    const std::string afterCharacterAcross = lineAfter(lastOfFirstRead) + "2" + latin1;
    const struct {
        const char* what;
        std::string contents;
        UpdateType type;
        const char* refusal;  // part of the one log line; nullptr: not refused
        bool asks;
        std::string notStarted;  // the log line after No
    } cases[] = {
        {"empty image",
         "",
         UpdateType::MainProgram,
         "ERROR! The data file is empty!\r\n",
         false,
         {}},
        {"catalogue as image", kSmallCatalog, UpdateType::MainProgram, nullptr, true,
         looksLikeText},
        {"text with LF line ends", "A\nB\n", UpdateType::MainProgram, nullptr, true, looksLikeText},
        {"text with CR line ends", "A\rB\r", UpdateType::MainProgram, nullptr, true, looksLikeText},
        {"text without a line break", "ABC", UpdateType::MainProgram, nullptr, false, {}},
        {"image with a control byte", "AB\x01\r\n", UpdateType::MainProgram, nullptr, false, {}},
        {"image as catalogue",
         std::string("\x7F"
                     "ELF\0\1",
                     6),
         UpdateType::ObjectCatalog,
         "line 1, column 1 holds the byte 0x7F",
         false,
         {}},
        {"catalogue with a byte of 300", badByte, UpdateType::ObjectCatalog, nullptr, true,
         "Download not started: the catalogue has problems in 1 line, the first at line 1, "
         "column 31: the byte value 300 is above 255; the controller would store 44."},
        {"clean catalogue", kSmallCatalog, UpdateType::ObjectCatalog, nullptr, false, {}},
        // Goes with a log line about the mark; columns count after it.
        {"catalogue with a byte order mark",
         mark + kSmallCatalog,
         UpdateType::ObjectCatalog,
         nullptr,
         false,
         {}},
        {"catalogue with a byte order mark and a UTF-8 name", mark + galaxy,
         UpdateType::ObjectCatalog, nullptr, true,
         "Download not started: the catalogue has problems in 1 line, the first at line 1, "
         "column 25: U+00E9 '\xC3\xA9' in the text; the controller shows each of its 2 bytes (0xC3 "
         "0xA9) as a character of its own."},
        {"catalogue with a Latin-1 byte",
         "OBJ1   ,Galaxi\xE9  ,1,2,1,2,3,4,5,6,7,8,\r\n",
         UpdateType::ObjectCatalog,
         "column 15 holds the byte 0xE9, which is not catalogue text: it "
         "is not UTF-8",
         false,
         {}},
        // Where the reads of the file meet: the byte that ends the first, the
        // one that begins the second, one far past them, a character whose
        // bytes both reads hold, broken or whole.
        {"catalogue with a Latin-1 byte that ends the first read",
         lastOfFirstRead + "\xE9" + tail,
         UpdateType::ObjectCatalog,
         atEdge.c_str(),
         false,
         {}},
        {"catalogue with a Latin-1 byte that begins the second read",
         firstOfSecondRead + "\xE9" + tail,
         UpdateType::ObjectCatalog,
         pastEdge.c_str(),
         false,
         {}},
        {"catalogue with a Latin-1 byte past the first read",
         pastFirstRead + "\xE9" + tail,
         UpdateType::ObjectCatalog,
         past.c_str(),
         false,
         {}},
        {"catalogue with a character broken across the reads",
         lastOfFirstRead + "\xE2\x82" + tail,
         UpdateType::ObjectCatalog,
         brokenAcross.c_str(),
         false,
         {}},
        {"catalogue with a Latin-1 byte after a character across the reads",
         lastOfFirstRead + "\xE2\x82\xAC\xE9" + tail,
         UpdateType::ObjectCatalog,
         afterCharacterAcross.c_str(),
         false,
         {}},
        {"catalogue with a zero byte",
         kSmallCatalog + std::string(1, '\0'),
         UpdateType::ObjectCatalog,
         "line 6, column 1 holds the byte 0x00",
         false,
         {}},
        {"UTF-8 catalogue as image", galaxy, UpdateType::MainProgram, nullptr, true, looksLikeText},
        // It would erase the whole catalogue and write no object.
        {"empty catalogue", "", UpdateType::ObjectCatalog, nullptr, true, noObjects},
        {"catalogue of a separator line alone", "-\r\n", UpdateType::ObjectCatalog, nullptr, true,
         noObjects},
    };
    for (const auto& c : cases) {
        for (const bool yes : {false, true}) {
            TempFile file(c.contents);
            EngineRig fresh;
            fresh.window.dataFilePath = file.Path();
            fresh.window.updateType = c.type;
            fresh.window.answer = yes;
            fresh.engine.OnStartStop();
            const std::string context = std::string(c.what) + (yes ? ", Yes" : ", No");
            EXPECT_EQ(fresh.window.questions.size(), c.asks ? 1U : 0U) << context;
            const bool goes = c.refusal == nullptr && (!c.asks || yes);
            EXPECT_EQ(fresh.engine.State().busy, goes) << context;
            EXPECT_EQ(fresh.window.timerRunning, goes) << context;
            EXPECT_EQ(fresh.window.openEnabled, !goes) << context;
            EXPECT_EQ(fresh.engine.State().dataFile.IsOpen(), goes) << context;
            EXPECT_TRUE(fresh.port.writes.empty()) << context;
            if (goes) {
                EXPECT_TRUE(fresh.window.ends.empty()) << context;
                std::vector<std::string> log = {std::string(texts::kResetPrompt)};
                if (c.contents.starts_with(mark) && c.type == UpdateType::ObjectCatalog) {
                    log.insert(log.begin(), std::string(texts::kByteOrderMarkLeftOut));
                }
                EXPECT_EQ(fresh.window.log, log) << context;
                continue;
            }
            ASSERT_EQ(fresh.window.log.size(), 1U) << context;
            const std::string& line = fresh.window.log[0];
            ExpectEnded(fresh.window, Ending::Refused,
                        c.refusal != nullptr ? Refusal::FileRefused : Refusal::Declined, line);
            EXPECT_TRUE(line.ends_with("\r\n")) << line;
            if (c.refusal != nullptr) {
                EXPECT_NE(line.find(c.refusal), std::string::npos) << line;
            } else {
                EXPECT_EQ(line, c.notStarted + "\r\n");
                // The line keeps the reason the question gave.
                const std::string reason = line.substr(texts::kNotStarted.size(), 30);
                const std::string& question = fresh.window.questions[0];
                EXPECT_NE(question.find(reason.substr(4)), std::string::npos)
                    << question << " / " << line;
                // Each paragraph of the question begins with a capital.
                for (std::size_t at = 0; at != std::string::npos;
                     at = question.find("\n\n", at + 1)) {
                    const std::size_t first = at == 0 ? 0 : at + 2;
                    EXPECT_TRUE(std::isupper(static_cast<unsigned char>(question[first])))
                        << question;
                }
            }
        }
    }
}

#ifdef __linux__
std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// The file is read at Start and let go at once: nothing holds it open while
// the transfer runs, so an editor or a build may replace it meanwhile.
TEST_F(TransferTest, DataFileIsNotHeldOpenDuringTheTransfer) {
    TempFile image(kImage1500);
    const std::size_t before = OpenDescriptors();
    rig.window.dataFilePath = image.Path();
    rig.engine.OnStartStop();
    ASSERT_TRUE(State().busy);
    EXPECT_EQ(OpenDescriptors(), before);
}
#endif

// A report holds every line of its transfer, the question and its answer,
// even those the window's log lost at Stop; the next Start begins a new one.
TEST(ReportTest, HoldsTheWholeTransferAcrossStopAndStartsAfresh) {
    std::vector<std::string> trace;
    FakePort port{trace};
    FakeWindow window{trace};
    std::vector<std::string> reports;
    auto now = std::chrono::system_clock::time_point{} + std::chrono::hours(24 * 365 * 57);
    // What the system says of the adapter: gone by the time a lost port
    // ends the transfer, so the report keeps what it said once the port
    // opened.
    std::string adapter = "CH340";
    CTransferReporter reporter(
        window,
        [&adapter] {
            return ReportContext{"p 1", "s 2", {{"Port", "COM3"}, {"Adapter", adapter}}, "line"};
        },
        [&reports](const std::string& report, const TransferEnd&) { reports.push_back(report); },
        [&now] { return now += std::chrono::milliseconds(1500); });
    CTransferEngine engine(port, reporter);
    TempFile image("A\nB\n");
    window.dataFilePath = image.Path();
    window.answer = true;
    engine.OnStartStop();
    adapter.clear();
    // A line that never makes a reply: the report keeps its last bytes.
    port.input.assign(1000, 'x');
    port.input.back() = 'y';
    engine.OnCommEvent();
    engine.OnStartStop();
    ASSERT_EQ(reports.size(), 1U);
    ASSERT_EQ(window.ends.size(), 1U);
    EXPECT_EQ(window.ends[0].lastReceived, std::string(kLastReceivedBytes - 1, 'x') + "y");
    EXPECT_EQ(window.log, std::vector<std::string>{std::string(texts::kStopped)});
    const std::string& report = reports[0];
    for (const std::string expected :
         {"Program: p 1\n", "System: s 2\n", "Started: 2026-12-18 00:00:01.500 UTC\n",
          "Ended: stopped by the user\n", "Port: COM3\n", "Adapter: CH340\n",
          "Line settings: line\n", "Update type: Main Program\n", "Size: 4 bytes\n",
          "SHA-256: daee1cd25194ae952d046ad9b9c81d3c07dc5332440b58d6d7461b248be56712\n",
          "Blocks acknowledged: 0\n", "Last sent: -\n",
          "  [asked: The data file looks like a text file, perhaps an object catalogue, not a "
          "firmware image.  Send it as Main Program anyway?]\n",
          "  [answered Yes]\n",
          "\n00:00:06.000  Please reset the KARVELIN(MORDAVEX),Waiting for connection ... \n",
          "  Please make sure everything is OK, then click \"Start Download\".\n"}) {
        EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
    }
    EXPECT_LT(report.find("[answered Yes]"), report.find("Please reset"));

    // A port that does not open: the type and the file chosen are still
    // named, and the system's words stay on their line.
    port.openError = "busy\n\nplug it in";
    window.updateType = UpdateType::ObjectCatalog;
    engine.OnStartStop();
    ASSERT_EQ(reports.size(), 2U);
    EXPECT_EQ(reports[1].find("[asked"), std::string::npos) << "a new Start, a new report";
    for (const std::string& expected : std::vector<std::string>{
             "[the port could not be opened: busy  plug it in]",
             "\nSystem error: busy  plug it in\n", "\nUpdate type: Object Catalog\n",
             "\nData file: " + image.Path().string() + "\n"}) {
        EXPECT_NE(reports[1].find(expected), std::string::npos) << expected << "\n" << reports[1];
    }
}

// The ending as a report's "Ended" line gives it, for every ending and every
// reason a Start is refused.
TEST(ReportTest, EveryEndingIsSaidInWords) {
    const struct {
        Ending ending;
        Refusal refusal;
        const char* detail;
        const char* said;
    } rows[] = {
        {Ending::Finished, Refusal::None, "", "finished"},
        {Ending::Stopped, Refusal::None, "", "stopped by the user"},
        {Ending::TimeLimit, Refusal::None, "no reply for 9 s",
         "stopped by the time limit (no reply for 9 s)"},
        {Ending::ErrorReply, Refusal::None, ":WE_ERR#", "error reply :WE_ERR#"},
        {Ending::PortLost, Refusal::None, "gone", "port lost (gone)"},
        {Ending::PortLost, Refusal::None, "", "port lost"},
        {Ending::Refused, Refusal::PortOpen, "x",
         "refused before sending: the port could not be opened"},
        {Ending::Refused, Refusal::NoDataFile, "x", "refused before sending: no data file"},
        {Ending::Refused, Refusal::UnreadableFile, "x",
         "refused before sending: the data file could not be read"},
        {Ending::Refused, Refusal::FileTooLarge, "x",
         "refused before sending: the data file is too large"},
        {Ending::Refused, Refusal::FileRefused, "x",
         "refused before sending: the data file can never work"},
        {Ending::Refused, Refusal::Declined, "x",
         "refused before sending: the user declined a file that looks wrong"},
        {Ending::Refused, Refusal::None, "x", "refused before sending: no reason given"},
    };
    for (const auto& row : rows) {
        TransferEnd end;
        end.ending = row.ending;
        end.refusal = row.refusal;
        end.detail = row.detail;
        EXPECT_EQ(DescribeEnding(end), row.said);
    }
}

// The last thing sent: a command as it went, a data block by its size and
// CRC-8 rather than its 1025 bytes.
TEST(ReportTest, ADataBlockIsNamedNotPrinted) {
    TransferEnd end;
    std::string block(1024, '\x01');
    block.push_back('\xab');
    for (const auto& [sent, said] :
         {std::pair{std::string(":DOWN DATA#"), std::string(":DOWN DATA#")},
          std::pair{block, std::string("a data block (1025 bytes, CRC-8 ab)")},
          std::pair{":" + block.substr(1), ":" + std::string(1023, '\x01') + "<ab>"},
          std::pair{std::string(), std::string("-")}}) {
        end.lastSent = sent;
        const std::string report = FormatReport({}, UpdateType::MainProgram, {}, {}, end);
        std::string expected = "\nLast sent: ";
        for (char c : said) {
            expected += c == '\x01' ? std::string("<01>") : std::string(1, c);
        }
        EXPECT_NE(report.find(expected + "\n"), std::string::npos) << report;
    }
}

// The folder keeps the newest 20 reports; two ending in the same
// millisecond are both kept, in order.
TEST(ReportTest, TheTwentyFirstReportRemovesTheOldest) {
    TempFile place("");
    const std::filesystem::path folder = place.Path().parent_path() / "kept";
    const auto start = std::chrono::system_clock::time_point{} + std::chrono::hours(500000);
    std::string error;
    // The user's own files there are neither counted nor removed.
    std::filesystem::create_directories(folder);
    for (const char* own : {"transfer-1.txt", "transfer-notes.txt", "transfer-20261208-1.txt"}) {
        std::ofstream(folder / own) << "mine";
    }
    std::vector<std::filesystem::path> written;
    for (int i = 0; i < 21; ++i) {
        const auto ended = start + std::chrono::seconds(i < 20 ? i : 19);
        written.push_back(KeepReport(folder, "report " + std::to_string(i), ended, error));
        ASSERT_FALSE(written.back().empty()) << error;
    }
    const std::vector<std::filesystem::path> kept = KeptReports(folder);
    ASSERT_EQ(kept.size(), kKeptReports);
    EXPECT_EQ(kept.front(), written[1]);
    EXPECT_EQ(kept[18], written[19]);
    EXPECT_EQ(kept[19], written[20]);
    EXPECT_NE(written[19], written[20]);
    EXPECT_FALSE(std::filesystem::exists(written[0]));
    EXPECT_TRUE(std::filesystem::exists(folder / "transfer-1.txt"));
    EXPECT_TRUE(std::filesystem::exists(folder / "transfer-20261208-1.txt"));
    std::ifstream last(kept.back());
    std::string text;
    std::getline(last, text);
    EXPECT_EQ(text, "report 20");
}

// A report file rewritten keeps who may read it; a read-only one, or a
// folder, is left as it was, and the failure says why. Nothing is left
// beside any of them.
TEST(ReportTest, AReportFileKeepsItsPermissionsAndAReadOnlyOneStays) {
    namespace fs = std::filesystem;
    const auto contents = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    TempFile mine("earlier\n", "report.txt");
    fs::permissions(mine.Path(), fs::perms::owner_read | fs::perms::owner_write);
    const fs::perms own = fs::status(mine.Path()).permissions();
    std::string error;
    ASSERT_TRUE(WriteWholeFile(mine.Path(), "report\n", error)) << error;
    EXPECT_EQ(contents(mine.Path()), "report\n");
    EXPECT_EQ(fs::status(mine.Path()).permissions(), own);

    TempFile locked("earlier\n", "report.txt");
    const fs::perms readOnly =
        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(locked.Path(), readOnly);
    EXPECT_FALSE(WriteWholeFile(locked.Path(), "report\n", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(contents(locked.Path()), "earlier\n");
    fs::permissions(locked.Path(), own);
    const fs::path folder = mine.Path().parent_path() / "folder";
    fs::create_directory(folder);
    EXPECT_FALSE(WriteWholeFile(folder, "report\n", error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(folder));
    for (const auto& [place, files] :
         {std::pair{mine.Path().parent_path(), 2}, std::pair{locked.Path().parent_path(), 1}}) {
        EXPECT_EQ(std::distance(fs::directory_iterator(place), fs::directory_iterator()), files);
    }
}

// A clock set back behind the newest kept report gives the new one the
// oldest name of all: it stays, and the oldest of the others goes.
TEST(ReportTest, AReportWrittenWithTheClockSetBackIsKept) {
    TempFile place("");
    const std::filesystem::path folder = place.Path().parent_path() / "kept";
    const auto start = std::chrono::system_clock::time_point{} + std::chrono::hours(500000);
    std::string error;
    std::vector<std::filesystem::path> written;
    for (int i = 0; i < 20; ++i) {
        written.push_back(KeepReport(folder, "report", start + std::chrono::seconds(i), error));
    }
    const std::filesystem::path behind =
        KeepReport(folder, "written behind", start - std::chrono::hours(1), error);
    ASSERT_FALSE(behind.empty()) << error;
    const std::vector<std::filesystem::path> kept = KeptReports(folder);
    ASSERT_EQ(kept.size(), kKeptReports);
    EXPECT_EQ(kept.front(), behind);
    EXPECT_FALSE(std::filesystem::exists(written[0]));
    EXPECT_EQ(kept[1], written[1]);
    EXPECT_EQ(kept.back(), written[19]);
}

}  // namespace
}  // namespace velmoro::testing
