// velmoro-hc-sim over a real pseudo-terminal, with the host's side played by
// hand: what the tests of the downloader rely on when they run against it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "data_block.h"
#include "hc_model.h"
#include "temp_file.h"

extern char** environ;

namespace velmoro::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kTimeoutMs = 5000;
const std::string kClosed = "<closed>";

// One run of the simulator and the host's end of its line.
class SimRun {
public:
    explicit SimRun(std::vector<std::string> options) : scratch_("") {
        link_ = (scratch_.Path().parent_path() / "hc").string();
        std::vector<std::string> args = {VELMORO_HC_SIM, "--link", link_};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        int out[2];
        EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
        while (output_.find('\n') == std::string::npos && ReadOutput()) {
        }
    }
    ~SimRun() {
        CloseHost();
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
    }

    fs::path Dir() const { return scratch_.Path().parent_path(); }
    const std::string& Link() const { return link_; }
    bool Listening() const { return output_.starts_with("velmoro-hc-sim: listening on /dev/"); }

    // Opens the line as the downloader does; `change` alters its settings.
    void OpenHost(const std::function<void(termios&)>& change = {}) {
        host_ = ::open(link_.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(host_, 0) << link_;
        termios modes{};
        ::tcgetattr(host_, &modes);
        ::cfmakeraw(&modes);
        ::cfsetspeed(&modes, B115200);
        if (change) {
            change(modes);
        }
        ::tcsetattr(host_, TCSANOW, &modes);
    }
    void CloseHost() {
        if (host_ >= 0) {
            ::close(host_);
            host_ = -1;
        }
    }
    // Sends the bytes and returns the next reply up to its '#', zero bytes
    // left out as the host does; kClosed when the line is gone, empty after a
    // time-out.
    std::string Exchange(const std::string& bytes, int timeoutMs = kTimeoutMs) {
        if (::write(host_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            return kClosed;
        }
        std::string reply;
        while (reply.empty() || reply.back() != '#') {
            pollfd wait{host_, POLLIN, 0};
            if (::poll(&wait, 1, timeoutMs) != 1) {
                return {};
            }
            char byte = 0;
            if (::read(host_, &byte, 1) != 1) {
                return kClosed;
            }
            if (byte != '\0') {
                reply += byte;
            }
        }
        return reply;
    }

    // Sends the bytes and returns the reply as the reads took it, one string
    // per read, up to its '#'.
    std::vector<std::string> ReadPieces(const std::string& bytes) {
        std::vector<std::string> pieces;
        if (::write(host_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            return pieces;
        }
        while (pieces.empty() || pieces.back().back() != '#') {
            pollfd wait{host_, POLLIN, 0};
            char buffer[64];
            const ssize_t count =
                ::poll(&wait, 1, kTimeoutMs) == 1 ? ::read(host_, buffer, sizeof buffer) : -1;
            if (count <= 0) {
                break;
            }
            pieces.emplace_back(buffer, static_cast<std::size_t>(count));
        }
        return pieces;
    }

    // Waits for the simulator to end; returns its exit status.
    int Wait() {
        CloseHost();
        while (ReadOutput()) {
        }
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_ || !WIFEXITED(status)) {
            return -1;
        }
        pid_ = -1;
        return WEXITSTATUS(status);
    }
    void Signal(int number) { ::kill(pid_, number); }
    // What it printed after the listening line.
    std::string Report() const { return output_.substr(output_.find('\n') + 1); }

private:
    bool ReadOutput() {
        pollfd wait{out_, POLLIN, 0};
        char buffer[512];
        if (::poll(&wait, 1, kTimeoutMs) != 1) {
            return false;
        }
        const ssize_t count = ::read(out_, buffer, sizeof buffer);
        if (count <= 0) {
            return false;
        }
        output_.append(buffer, static_cast<std::size_t>(count));
        return true;
    }

    TempFile scratch_;
    std::string link_;
    pid_t pid_ = -1;
    int out_ = -1;
    int host_ = -1;
    std::string output_;
};

std::string Block(const Payload& payload) {
    const DataBlock block = MakeDataBlock(payload);
    return ":DOWN DATA#" + std::string(block.begin(), block.end());
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Greeting and version, each step with the reply it should get.
const std::vector<std::pair<std::string, std::string>> kOpening = {
    {"\xAA", ":OK#"},
    {":GET_VER00#", ":English Ver1.0#"},
};

TEST(HcSim, WholeImageReachesInternalFlash) {
    TempFile scratch("");
    const fs::path flash = scratch.Path().parent_path() / "flash";
    SimRun sim({"--beacons", "2", "--pieces", "--seed", "7", "--zero-before", "--flash-out",
                flash.string()});
    ASSERT_TRUE(sim.Listening());
    sim.OpenHost();
    EXPECT_EQ(sim.Exchange("\xAA", 200), "") << "greeted after one beacon of two";

    std::string image(1500, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>(i * 7 + 3);
    }
    for (const auto& [command, reply] : kOpening) {
        EXPECT_EQ(sim.Exchange(command), reply) << "after " << command;
    }
    EXPECT_EQ(sim.Exchange(":ERASE_INT#"), ":EI_OK#");
    EXPECT_EQ(sim.Exchange(":CHKBL_INT#"), ":BI_OK#");
    for (std::uint32_t n = 0; n < 2; ++n) {
        Payload payload{};
        const std::string piece = image.substr(n * kPayloadSize, kPayloadSize);
        std::copy(piece.begin(), piece.end(), payload.begin());
        EXPECT_EQ(sim.Exchange(Block(payload)), ":RB_OK#");
        char write[32];
        std::snprintf(write, sizeof write, ":RAMTO_INT %08X#", 0x4000 + n * 0x400);
        EXPECT_EQ(sim.Exchange(write), ":WI_OK#");
    }
    EXPECT_EQ(sim.Exchange(":QUIT_COMM#"), ":QUIT_OK#");

    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_EQ(sim.Report(),
              "velmoro-hc-sim: finished; 8 commands, 2 blocks written, 0 violations\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(sim.Link())));
    EXPECT_EQ(ReadFile(flash / "internal.bin"), image + std::string(2048 - 1500, '\0'));
    EXPECT_EQ(ReadFile(flash / "external-1.bin"), std::string(0x4000, '\xFF'));
    EXPECT_EQ(ReadFile(flash / "external-2.bin"), std::string(0x40000, '\xFF'));
}

struct FaultCase {
    const char* name;
    std::vector<std::string> options;
    // After the opening: what the host sends, and the reply it should get.
    std::vector<std::pair<std::string, std::string>> steps;
    std::string report;
    int status;
};

class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, EndTheSessionAsReported) {
    const FaultCase& c = GetParam();
    SimRun sim(c.options);
    ASSERT_TRUE(sim.Listening());
    sim.OpenHost();
    std::vector<std::pair<std::string, std::string>> steps = kOpening;
    steps.insert(steps.end(), c.steps.begin(), c.steps.end());
    for (const auto& [bytes, reply] : steps) {
        EXPECT_EQ(sim.Exchange(bytes, reply.empty() ? 200 : kTimeoutMs), reply)
            << "after " << bytes;
    }
    EXPECT_EQ(sim.Wait(), c.status);
    EXPECT_EQ(sim.Report(), c.report);
}

const Payload kZeros{};

INSTANTIATE_TEST_SUITE_P(
    Options, Faults,
    ::testing::Values(
        // A host that never saw its greeting keeps beaconing: no fault of its.
        FaultCase{"ErrorAtAnswersTheCommand",
                  {"--error-at", "4"},
                  {{":ERASE_INT#", ":EI_OK#"}, {":CHKBL_INT#", ":BI_ERR#"}, {"\xAA", ""}},
                  "velmoro-hc-sim: error reply sent; 3 commands, 0 blocks written, 0 violations\n",
                  0},
        FaultCase{"CommandAfterAnErrorIsAViolation",
                  {"--error-at", "3", "--error-reply", ":NO#"},
                  {{":ERASE_INT#", ":NO#"}, {":CHKBL_INT#", ""}},
                  "velmoro-hc-sim: error reply sent; 2 commands, 0 blocks written, 1 violations\n"
                  "velmoro-hc-sim: violation: bytes after the end, the first 0x3A\n",
                  1},
        FaultCase{"StrayByteLeavesTheHostWaiting",
                  {"--stray-at", "4", "--stray-byte", "21"},
                  {{":ERASE_INT#", ":EI_OK#"}, {":CHKBL_INT#", "!:BI_OK#"}},
                  "velmoro-hc-sim: host closed the port; 3 commands, 0 blocks written, "
                  "0 violations\n",
                  0},
        FaultCase{"WrongCheckByteIsRefused",
                  {},
                  {{":ERASE_INT#", ":EI_OK#"},
                   {":CHKBL_INT#", ":BI_OK#"},
                   {Block(kZeros).substr(0, 11 + kPayloadSize) + "\x01", ":RB_ERR#"}},
                  "velmoro-hc-sim: error reply sent; 4 commands, 0 blocks written, 1 violations\n"
                  "velmoro-hc-sim: violation: block with a wrong check byte\n",
                  1},
        // The sim hangs up as it writes the third reply, before the host can
        // send the next command.
        FaultCase{"HangupClosesTheLine",
                  {"--hangup-at", "3"},
                  {{":ERASE_INT#", ":EI_OK#"}, {":CHKBL_INT#", kClosed}},
                  "velmoro-hc-sim: hung up; 2 commands, 0 blocks written, 0 violations\n",
                  0},
        FaultCase{"StatsNeedAFinishedTransfer",
                  {"--stats", "--error-at", "3"},
                  {{":ERASE_INT#", ":EI_ERR#"}},
                  "velmoro-hc-sim: error reply sent; 2 commands, 0 blocks written, 0 violations\n"
                  "velmoro-hc-sim: stats: no finished transfer\n",
                  0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HcSim, BaudPacesBothDirections) {
    SimRun sim({"--baud", "1200"});
    ASSERT_TRUE(sim.Listening());
    sim.OpenHost();
    ASSERT_EQ(sim.Exchange("\xAA"), ":OK#");
    const auto sent = Clock::now();
    ASSERT_EQ(sim.Exchange(":GET_VER00#"), ":English Ver1.0#");
    // 11 bytes in and 16 out, 10 bits each at 1200 baud: 225 ms.
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent);
    EXPECT_GE(took.count(), 225);
    EXPECT_LT(took.count(), 1000);
}

// Each reply waits for the next tick of the latency timer, so replies that
// each answer the one before go out at least a period apart: the exchanges
// from the first command's sending to the last reply take at least
// (replies - 1) periods, however busy the machine is.
TEST(HcSim, LatencyHoldsEachReplyForTheNextTick) {
    SimRun sim({"--latency", "200"});
    ASSERT_TRUE(sim.Listening());
    sim.OpenHost();
    const auto sent = Clock::now();
    ASSERT_EQ(sim.Exchange("\xAA"), ":OK#");
    ASSERT_EQ(sim.Exchange(":GET_VER00#"), ":English Ver1.0#");
    ASSERT_EQ(sim.Exchange(":ERASE_INT#"), ":EI_OK#");
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent);
    EXPECT_GE(took.count(), 2 * 200);
    EXPECT_EQ(sim.Wait(), 0);
}

TEST(HcSim, SplitAtCutsLongerRepliesInTwo) {
    // On a slow line the second piece comes some 90 ms after the first, so
    // each read takes one piece.
    SimRun sim({"--split-at", "5", "--baud", "1200"});
    ASSERT_TRUE(sim.Listening());
    sim.OpenHost();
    EXPECT_EQ(sim.ReadPieces("\xAA"), std::vector<std::string>{":OK#"});
    EXPECT_EQ(sim.ReadPieces(":GET_VER00#"), (std::vector<std::string>{":Engl", "ish Ver1.0#"}));
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_EQ(sim.Report(),
              "velmoro-hc-sim: host closed the port; 1 commands, 0 blocks written, 0 violations\n");
}

// The counts are the wire bytes between the greeting and ":QUIT_OK#": a
// beacon in flight and the zero bytes in front of the replies belong to them.
TEST(HcSim, StatsCountTheTransferSpan) {
    SimRun sim({"--stats", "--zero-before"});
    ASSERT_TRUE(sim.Listening());
    sim.OpenHost();
    ASSERT_EQ(sim.Exchange("\xAA"), ":OK#");
    // A beacon is no answer to the greeting: that reaction lasts until the
    // command, at least this wait, and is the slowest of the six.
    EXPECT_EQ(sim.Exchange("\xAA", 100), "");
    EXPECT_EQ(sim.Exchange(":GET_VER00#"), ":English Ver1.0#");
    EXPECT_EQ(sim.Exchange(":ERASE_INT#"), ":EI_OK#");
    EXPECT_EQ(sim.Exchange(":CHKBL_INT#"), ":BI_OK#");
    EXPECT_EQ(sim.Exchange(Block(Payload{})), ":RB_OK#");
    EXPECT_EQ(sim.Exchange(":RAMTO_INT 00004000#"), ":WI_OK#");
    EXPECT_EQ(sim.Exchange(":QUIT_COMM#"), ":QUIT_OK#");
    EXPECT_EQ(sim.Wait(), 0);

    // In: 1 + 11 * 4 + 1036 + 20. Out: 16 + 7 * 4 + 9, and a zero byte each.
    // Ideal: 1160 bytes of 10 bits at 115200 baud.
    const std::regex line(
        "velmoro-hc-sim: finished; 6 commands, 1 blocks written, 0 violations\n"
        "velmoro-hc-sim: stats: transfer ([0-9.]+) s, 1101 bytes in, 59 bytes out, "
        "ideal 0\\.101 s, ratio [0-9.]+, reaction median ([0-9.]+) ms, p99 ([0-9.]+) ms, "
        "6 reactions\n");
    std::smatch match;
    const std::string report = sim.Report();
    ASSERT_TRUE(std::regex_match(report, match, line)) << report;
    const double transferMs = std::stod(match[1]) * 1000;
    const double medianMs = std::stod(match[2]);
    const double p99Ms = std::stod(match[3]);
    EXPECT_GE(p99Ms, 100);
    EXPECT_LE(medianMs, p99Ms);
    // The span is printed to the millisecond, the reactions to the microsecond.
    EXPECT_GE(transferMs + 1, p99Ms);
}

// What a pseudo-terminal keeps of the host's settings: the rate, the stop
// bits and both kinds of flow control. The host is told nothing.
TEST(HcSim, LineSettingsOtherThanTheControllersAreAViolation) {
    SimRun sim({});
    ASSERT_TRUE(sim.Listening());
    sim.OpenHost([](termios& modes) {
        ::cfsetspeed(&modes, B9600);
        modes.c_cflag |= CSTOPB | CRTSCTS;
        modes.c_iflag |= IXON;
    });
    EXPECT_EQ(sim.Exchange("\xAA"), ":OK#");
    EXPECT_EQ(sim.Wait(), 1);
    EXPECT_EQ(sim.Report(),
              "velmoro-hc-sim: host closed the port; 0 commands, 0 blocks written, 1 violations\n"
              "velmoro-hc-sim: violation: line set to 9600 baud, 8 data bits, no parity, 2 stop "
              "bits, RTS/CTS flow control (CRTSCTS), XON/XOFF flow control (IXON); the "
              "controller uses 115200 baud, 8 data bits, no parity, 1 stop bit, no flow control\n");
}

TEST(HcSim, SignalEndsCleanly) {
    SimRun sim({});
    ASSERT_TRUE(sim.Listening());
    EXPECT_TRUE(fs::is_symlink(sim.Link()));
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_EQ(sim.Report(),
              "velmoro-hc-sim: stopped by signal; 0 commands, 0 blocks written, 0 violations\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(sim.Link())));
}

TEST(HcSim, BadOptionsAreUsageErrors) {
    for (const char* option : {"--error-at=x", "--nonsense"}) {
        SimRun sim({option});
        EXPECT_EQ(sim.Wait(), 2) << option;
    }
    // Every number option at both ends of its range and just past them, and
    // with something before or after its digits: a value is taken whole or
    // refused, never read up to where the number stops.
    struct NumberOption {
        const char* name;
        const char* lowest;
        const char* highest;
        const char* belowLowest;
        const char* aboveHighest;
    } const options[] = {
        {"--beacons", "1", "1000000", "0", "1000001"},
        {"--seed", "0", "4294967295", "-1", "4294967296"},
        {"--split-at", "1", "1000000", "0", "1000001"},
        {"--error-at", "1", "1000000", "0", "1000001"},
        {"--stray-at", "1", "1000000", "0", "1000001"},
        {"--stray-byte", "0", "FF", "-1", "100"},
        {"--write-delay", "0", "600000", "-1", "600001"},
        {"--latency", "1", "255", "0", "256"},
        {"--baud", "1", "10000000", "0", "10000001"},
        {"--hangup-at", "1", "1000000", "0", "1000001"},
    };
    for (const NumberOption& option : options) {
        for (const char* value : {option.lowest, option.highest}) {
            SimRun sim({option.name, value});
            EXPECT_TRUE(sim.Listening()) << option.name << " " << value;
        }
        for (const std::string& value :
             {std::string(option.belowLowest), std::string(option.aboveHighest),
              std::string(option.highest) + "0000000000000000000", std::string("1s"),
              std::string("2m"), std::string("1.5"), std::string("+1"), std::string(" 1"),
              std::string("1 "), std::string("")}) {
            SimRun sim({option.name, value});
            if (sim.Listening()) {
                ADD_FAILURE() << option.name << " '" << value << "' taken";
                continue;
            }
            EXPECT_EQ(sim.Wait(), 2) << option.name << " '" << value << "'";
        }
    }
}

// After an error only beacons may still come: a host whose greeting was lost
// keeps sending them.
TEST(HcModel, AbortLetsOnlyBeaconsThrough) {
    sim::CHandControllerModel model;
    const std::uint8_t beacon = sim::kBeaconByteValue;
    EXPECT_EQ(model.Receive(&beacon, 1), ":OK#");
    model.Abort();
    EXPECT_TRUE(model.Ended());
    EXPECT_FALSE(model.Finished());
    EXPECT_EQ(model.Receive(&beacon, 1), "");
    EXPECT_TRUE(model.Violations().empty());
    const std::string command = ":GET_VER00#";
    EXPECT_EQ(model.Receive(reinterpret_cast<const std::uint8_t*>(command.data()), command.size()),
              "");
    EXPECT_EQ(model.Violations().size(), 1U) << "one report, not one per byte";
    EXPECT_EQ(model.BytesAfterEnd(), 1 + command.size());
}

}  // namespace
}  // namespace velmoro::testing
