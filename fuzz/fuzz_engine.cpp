// The transfer engine against a controller that may say anything, in any
// pieces, at any moment, while the user clicks Start and Stop and the port
// may go away. Whatever comes in, what goes out must stay harmless: known
// commands only, one per event; blocks with their check byte right after
// ":DOWN DATA#"; erases and writes only in the memory of the transfer's
// update type, writes only where the transfer erased and never twice; and
// after an end nothing but the beacon.
//
// Input: byte 0 picks the update type and the data file; every later byte is
// an operation, its low three bits the kind and the high five an argument:
//   0 receive the next (arg + 1) input bytes as one receive event
//   1 receive the reply a well-behaved controller would give now; arg bits
//     0-1: 1 split in two pieces (bits 2-4 pick where), 2 a zero byte in
//     front, otherwise whole
//   2 receive a reply of the protocol, well-formed but maybe not the one
//     expected: arg % 17 picks one of the seven error replies or the ten
//     others
//   3 beacon timer tick (only while the window's timer runs)
//   4 click Start/Stop
//   5 the next (arg >> 3) input bytes arrive, but the event has another code
//     (arg & 7 picks it), so they stay waiting in the port
//   6 the port is lost; with arg bit 0 it is closed as well
//   7 the user picks the other update type

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data_block.h"
#include "fakes.h"
#include "fuzz_support.h"
#include "preflight.h"
#include "transfer.h"

namespace {

using namespace velmoro;
using fuzz::Check;
using fuzz::Fail;
using testing::Bytes;

constexpr std::uint32_t kInternalFlashBase = 0x00004000;
constexpr std::uint32_t kExternalFirstBase = 0x81140000;
constexpr std::uint32_t kExternalFirstEnd = 0x81144000;
constexpr std::uint32_t kExternalSecondBase = 0x81150000;
constexpr std::uint32_t kExternalSecondEnd = 0x81190000;
constexpr std::uint32_t kSectorBytes = 0x1000;
constexpr std::uint32_t kBlockBytes = 0x400;

// Serial event codes other than a receive and a lost port: line errors,
// the send event, and codes no port raises at all.
constexpr std::array<int, 8> kOtherEvents = {0, 1, 3, 1001, 1002, 1004, 1009, 1010};

// Every reply a controller can give, the error replies first.
constexpr std::array<std::string_view, 17> kAllReplies = {
    replies::kErrors[0],       replies::kErrors[1],       replies::kErrors[2],
    replies::kErrors[3],       replies::kErrors[4],       replies::kErrors[5],
    replies::kErrors[6],       replies::kGreeting,        replies::kVersion,
    replies::kEraseInternalOk, replies::kEraseExternalOk, replies::kBlankInternalOk,
    replies::kBlankExternalOk, replies::kBlockReceivedOk, replies::kWriteInternalOk,
    replies::kWriteExternalOk, replies::kQuitOk,
};

// The data files of the two update types, made once per process. Each list
// ends with a path that does not exist; the catalogues include one that is
// refused (two separator lines).
struct DataFiles {
    std::vector<std::filesystem::path> images;
    std::vector<std::filesystem::path> catalogues;
};

DataFiles& Files() {
    static DataFiles files;
    return files;
}

std::string FirstLayoutLine(int i) {
    return "OBJ" + std::to_string(i) + "   ,Object " + std::to_string(i) +
           "    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n";
}

std::string SecondLayoutLine(int i) {
    return std::to_string(i) + ",Star " + std::to_string(i) +
           "  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5\r\n";
}

std::string Lines(std::string (*line)(int), int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += line(i);
    }
    return text;
}

std::filesystem::path MakeFile(const std::filesystem::path& dir, const std::string& name,
                               const std::string& contents) {
    std::filesystem::path path = dir / name;
    fuzz::WriteFile(path, reinterpret_cast<const std::uint8_t*>(contents.data()), contents.size());
    return path;
}

void MakeDataFiles() {
    const std::filesystem::path dir = fuzz::ScratchPath("engine");
    std::filesystem::create_directories(dir);
    DataFiles& files = Files();
    for (std::size_t size : {0U, 1U, 1024U, 1500U, 3000U}) {
        std::string image(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            image[i] = static_cast<char>((i * 131 + 7) & 0xFFU);
        }
        files.images.push_back(MakeFile(dir, "image" + std::to_string(size), image));
    }
    files.images.push_back(dir / "missing");
    files.catalogues = {
        MakeFile(dir, "two-sections",
                 Lines(FirstLayoutLine, 3) + "------\r\n" + Lines(SecondLayoutLine, 2)),
        MakeFile(dir, "separator-first", "-\r\n" + Lines(SecondLayoutLine, 3)),
        MakeFile(dir, "no-separator", Lines(FirstLayoutLine, 20)),
        MakeFile(dir, "two-separators",
                 FirstLayoutLine(1) + "-\r\n" + SecondLayoutLine(1) + "-\r\n"),
        dir / "missing",
    };
}

bool IsHex(std::string_view text) {
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

std::uint32_t ParseHex(std::string_view text) {
    std::uint32_t value = 0;
    for (char c : text) {
        value = value * 16 + static_cast<std::uint32_t>(c <= '9' ? c - '0' : c - 'A' + 10);
    }
    return value;
}

bool InExternalRanges(std::uint32_t address) {
    return (address >= kExternalFirstBase && address < kExternalFirstEnd) ||
           (address >= kExternalSecondBase && address < kExternalSecondEnd);
}

// Takes "prefix" + digits hexadecimal digits + tail; false when text is not
// of that form.
bool ParseAddressCommand(std::string_view text, std::string_view prefix, std::size_t digits,
                         std::string_view tail, std::uint32_t& value) {
    if (!text.starts_with(prefix) || text.size() != prefix.size() + digits + tail.size() ||
        !text.ends_with(tail)) {
        return false;
    }
    const std::string_view number = text.substr(prefix.size(), digits);
    if (!IsHex(number)) {
        return false;
    }
    value = ParseHex(number);
    return true;
}

bool IsEndText(std::string_view text) {
    return text == texts::kFinished || text == texts::kErrorReply || text == texts::kStopped ||
           text == texts::kUnreadableDataFile;
}

bool IsStartFailureText(std::string_view text) {
    return text == texts::kNoDataFile || text == texts::kUnreadableDataFile ||
           ((text.starts_with("ERROR! ") || text.starts_with(texts::kNotStarted)) &&
            text.ends_with("\r\n"));
}

enum class WriteKind { Text, Bytes };

// Records how each write went out, so that a command and a byte array are
// told apart by how the engine sent them rather than by their contents.
class TaggingPort : public testing::FakePort {
public:
    using FakePort::FakePort;

    void SetOutput(std::string_view text) override {
        kinds.push_back(WriteKind::Text);
        FakePort::SetOutput(text);
    }
    void SetOutput(std::span<const std::uint8_t> bytes) override {
        kinds.push_back(WriteKind::Bytes);
        FakePort::SetOutput(bytes);
    }

    std::vector<WriteKind> kinds;
};

class Script {
public:
    Script(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool AtEnd() const { return pos_ >= size_; }
    std::uint8_t Next() { return AtEnd() ? 0 : data_[pos_++]; }
    std::string Take(std::size_t count) {
        const std::size_t n = std::min(count, size_ - pos_);
        std::string taken(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return taken;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

enum Op : std::uint8_t {
    kRawReceive,
    kExpectedReply,
    kAnyReply,
    kTimerTick,
    kClick,
    kOtherEvent,
    kPortLost,
    kFlipType,
};

class Harness {
public:
    Harness(const std::filesystem::path& dataFile, UpdateType type) {
        window_.dataFilePath = dataFile;
        window_.updateType = type;
    }

    void Run(Script& script) {
        Do(kClick, 0, script);
        while (!script.AtEnd()) {
            const std::uint8_t op = script.Next();
            Do(static_cast<Op>(op & 7U), static_cast<std::uint8_t>(op >> 3), script);
        }
    }

private:
    void Do(Op op, std::uint8_t arg, Script& script) {
        const bool busyBefore = engine_.State().busy;
        const bool timerBefore = window_.timerRunning;
        const std::size_t writesBefore = port_.writes.size();
        // A greeting that waits in the port when a transfer starts is taken
        // by the Start itself.
        std::string waiting;
        for (std::uint8_t byte : port_.input) {
            if (byte != 0) {
                waiting.push_back(static_cast<char>(byte));
            }
        }
        greetingWaiting_ = waiting.ends_with(replies::kGreeting);
        switch (op) {
            case kRawReceive:
                Receive(script.Take(arg + 1U));
                break;
            case kExpectedReply:
                ReceiveExpectedReply(arg);
                break;
            case kAnyReply:
                Receive(kAllReplies[arg % kAllReplies.size()]);
                break;
            case kTimerTick:
                if (!window_.timerRunning) {
                    return;
                }
                engine_.OnBeaconTimer();
                break;
            case kClick:
                engine_.OnStartStop();
                break;
            case kOtherEvent: {
                const std::string waiting = script.Take(arg >> 3U);
                port_.input.insert(port_.input.end(), waiting.begin(), waiting.end());
                port_.commEvent = kOtherEvents[arg & 7U];
                engine_.OnCommEvent();
                port_.commEvent = kCommEventReceive;
                break;
            }
            case kPortLost:
                if ((arg & 1U) != 0) {
                    port_.open = false;
                }
                port_.commEvent = kCommEventPortLost;
                engine_.OnCommEvent();
                port_.commEvent = kCommEventReceive;
                break;
            case kFlipType:
                window_.updateType = window_.updateType == UpdateType::MainProgram
                                         ? UpdateType::ObjectCatalog
                                         : UpdateType::MainProgram;
                break;
        }
        CheckEnds(op, busyBefore, timerBefore, writesBefore);
        CheckWrites(op, writesBefore);
    }

    void Receive(std::string_view bytes) {
        port_.input.insert(port_.input.end(), bytes.begin(), bytes.end());
        engine_.OnCommEvent();
    }

    // What a controller that does its job answers to the last thing sent in
    // this transfer; before anything was sent, or after a beacon, the
    // greeting.
    std::string ExpectedReply() const {
        if (port_.writes.size() == transferStart_) {
            return std::string(replies::kGreeting);
        }
        const Bytes& last = port_.writes.back();
        if (port_.kinds.back() == WriteKind::Bytes) {
            return std::string(last.size() == kDataBlockSize ? replies::kBlockReceivedOk
                                                             : replies::kGreeting);
        }
        const std::string command = testing::ToText(last);
        if (command == commands::kGetVersion) {
            return std::string(replies::kVersion);
        }
        if (command == commands::kEraseInternal) {
            return std::string(replies::kEraseInternalOk);
        }
        if (command == commands::kBlankCheckInternal) {
            return std::string(replies::kBlankInternalOk);
        }
        if (command.starts_with(":ERASE_EXT ")) {
            return std::string(replies::kEraseExternalOk);
        }
        if (command.starts_with(":CHKBL_EXT ")) {
            return std::string(replies::kBlankExternalOk);
        }
        if (command.starts_with(":RAMTO_INT ")) {
            return std::string(replies::kWriteInternalOk);
        }
        if (command.starts_with(":RAMTO_EXT ")) {
            return std::string(replies::kWriteExternalOk);
        }
        if (command == commands::kQuit) {
            return std::string(replies::kQuitOk);
        }
        return std::string(replies::kGreeting);
    }

    void ReceiveExpectedReply(std::uint8_t arg) {
        const std::string reply = ExpectedReply();
        switch (arg & 3U) {
            case 1: {
                const std::size_t cut =
                    1 + (static_cast<std::size_t>(arg) >> 2U) % (reply.size() - 1);
                Receive(std::string_view(reply).substr(0, cut));
                Receive(std::string_view(reply).substr(cut));
                break;
            }
            case 2:
                Receive(std::string(1, '\0') + reply);
                break;
            default:
                Receive(reply);
                break;
        }
    }

    // How a Start, a Stop and every end leave the engine and the window.
    void CheckEnds(Op op, bool busyBefore, bool timerBefore, std::size_t writesBefore) {
        const TransferState& state = engine_.State();
        const bool busy = state.busy;
        const std::size_t sent = port_.writes.size() - writesBefore;
        const std::vector<std::string>& log = window_.log;

        if (busy) {
            Check(window_.caption == texts::kStopCaption && !window_.openEnabled,
                  "while a transfer runs the button reads Stop and Open is disabled");
        } else {
            Check(window_.caption == texts::kStartCaption && window_.openEnabled,
                  "while idle the button reads Start and Open is enabled");
        }

        if (op == kClick && busyBefore) {
            Check(!busy, "Stop ends the transfer");
            Check(log.size() == 1 && log.front() == texts::kStopped,
                  "after Stop the log holds only the stop line");
            Check(sent == 0, "Stop sends nothing");
        } else if (op == kClick && busy) {
            Check(log.size() == 1 && log.front() == texts::kResetPrompt,
                  "a Start clears the log and asks for the reset");
            Check(port_.input.empty(), "Start takes or drops what waited in the port");
            if (greetingWaiting_) {
                Check(sent == 1 && testing::ToText(port_.writes.back()) == commands::kGetVersion,
                      "Start answers a greeting that waited with the version request");
                Check(!window_.timerRunning, "a greeting that waited stops the beacon");
                Check(state.state == ProtocolState::AwaitVersion,
                      "then Start waits for the version");
            } else {
                Check(sent == 0, "Start itself sends nothing; the beacon comes with the timer");
                Check(window_.timerRunning, "Start runs the beacon timer");
                Check(state.state == ProtocolState::AwaitGreeting, "Start waits for the greeting");
            }
            Check(state.updateType == window_.updateType, "Start takes the window's update type");
            transferStart_ = port_.writes.size();
            transferType_ = state.updateType;
            internalErased_ = false;
            erasedSectors_.clear();
            written_.clear();
        } else if (op == kClick) {
            Check(log.size() == 1 && IsStartFailureText(log.front()),
                  "a Start that fails leaves only its reason in the log",
                  log.empty() ? "" : log.front());
            Check(sent == 0, "a Start that fails sends nothing");
        } else if (busyBefore && !busy) {
            Check(!log.empty() && IsEndText(log.back()), "an end leaves an end line in the log",
                  log.empty() ? "" : log.back());
            Check(sent == 0, "an end sends nothing");
        } else if (!busyBefore) {
            Check(!busy, "only Start starts a transfer");
            Check(sent == 0 || (op == kTimerTick && timerBefore),
                  "after an end only the beacon timer sends");
        }

        if (op == kTimerTick) {
            Check(sent == (port_.open ? 1U : 0U), "a tick sends one beacon while the port is open");
            Check(port_.open || !window_.timerRunning, "a tick on a closed port stops the timer");
        }
    }

    void CheckWrites(Op op, std::size_t writesBefore) {
        int commandsSent = 0;
        for (std::size_t i = writesBefore; i < port_.writes.size(); ++i) {
            const Bytes& write = port_.writes[i];
            const bool afterDownData = i > 0 && port_.kinds[i - 1] == WriteKind::Text &&
                                       testing::ToText(port_.writes[i - 1]) == commands::kDownData;
            if (port_.kinds[i] == WriteKind::Bytes) {
                if (write.size() == 1 && write.front() == kBeaconByte) {
                    Check(op == kTimerTick, "the beacon goes out on timer ticks only");
                    Check(!afterDownData, "a block follows \":DOWN DATA#\" at once");
                } else {
                    Check(write.size() == kDataBlockSize,
                          "a byte array is the beacon or a whole block");
                    Check(afterDownData, "a block goes out right after \":DOWN DATA#\"");
                    const std::span<const std::uint8_t> payload(write.data(), kPayloadSize);
                    Check(Crc8(payload) == write[kPayloadSize], "a block carries its check byte");
                }
                continue;
            }
            Check(!afterDownData, "a block follows \":DOWN DATA#\" at once");
            ++commandsSent;
            CheckCommand(testing::ToText(write));
        }
        Check(commandsSent <= 1, "one command per event: the engine waits for each reply");
        Check(port_.writes.empty() || port_.kinds.back() != WriteKind::Text ||
                  testing::ToText(port_.writes.back()) != commands::kDownData,
              "a block follows \":DOWN DATA#\" in the same event");
    }

    // Each command must be one the controller knows, and must touch only the
    // memory of the transfer's update type; a write must land where this
    // transfer erased, and only once.
    void CheckCommand(const std::string& command) {
        const bool catalogue = transferType_ == UpdateType::ObjectCatalog;
        if (command == commands::kGetVersion || command == commands::kDownData ||
            command == commands::kQuit) {
            return;
        }
        if (command == commands::kEraseInternal || command == commands::kBlankCheckInternal) {
            Check(!catalogue, "a catalogue transfer leaves the internal flash alone", command);
            internalErased_ = internalErased_ || command == commands::kEraseInternal;
            return;
        }
        std::uint32_t value = 0;
        const bool erase = ParseAddressCommand(command, ":ERASE_EXT ", 5, "000#", value);
        if (erase || ParseAddressCommand(command, ":CHKBL_EXT ", 5, "000#", value)) {
            Check(catalogue, "a firmware transfer leaves the external flash alone", command);
            Check(InExternalRanges(value * kSectorBytes), "sectors lie in the catalogue ranges",
                  command);
            if (erase) {
                erasedSectors_.insert(value);
            } else {
                Check(erasedSectors_.contains(value), "a sector is blank-checked after its erase",
                      command);
            }
            return;
        }
        const bool internal = ParseAddressCommand(command, ":RAMTO_INT ", 6, "00#", value);
        if (!internal && !ParseAddressCommand(command, ":RAMTO_EXT ", 6, "00#", value)) {
            Fail("only known commands go out", command);
        }
        const std::uint32_t address = value * 0x100U;
        Check(address % kBlockBytes == 0, "writes are block aligned", command);
        Check(internal != catalogue, "writes go to the flash of the transfer's update type",
              command);
        if (internal) {
            Check(address >= kInternalFlashBase, "firmware writes stay above the boot area",
                  command);
            Check(internalErased_, "firmware writes come after the erase", command);
        } else {
            Check(InExternalRanges(address), "catalogue writes stay inside the two ranges",
                  command);
            Check(erasedSectors_.contains(address / kSectorBytes),
                  "catalogue writes go to sectors this transfer erased", command);
        }
        Check(written_.insert(address).second, "no block is written twice in one transfer",
              command);
    }

    std::vector<std::string> trace_;
    TaggingPort port_{trace_};
    testing::FakeWindow window_{trace_};
    CTransferEngine engine_{port_, window_};
    std::size_t transferStart_ = 0;
    UpdateType transferType_ = UpdateType::MainProgram;
    bool greetingWaiting_ = false;
    // What this transfer has erased and written so far.
    bool internalErased_ = false;
    std::set<std::uint32_t> erasedSectors_;
    std::set<std::uint32_t> written_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    MakeDataFiles();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    Script script(data, size);
    const std::uint8_t pick = script.Next();
    const bool catalogue = (pick & 1U) != 0;
    const std::vector<std::filesystem::path>& files =
        catalogue ? Files().catalogues : Files().images;
    Harness harness(files[(pick >> 1U) % files.size()],
                    catalogue ? UpdateType::ObjectCatalog : UpdateType::MainProgram);
    harness.Run(script);
    return 0;
}
