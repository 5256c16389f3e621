#pragma once

// The cases every serial back-end must pass, written once: on a line that
// the test watches from the device's end. tests/serial_test.cpp runs them
// with the Qt back-end on pseudo-terminals, tests/win32_serial_test.cpp with
// the Win32 back-end on a driver in memory, under Wine.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "faces.h"
#include "ms_comm.h"

namespace velmoro::testing {

// The settings the program last asked of the line.
struct AskedLine {
    int baud = 0;
    char parity = 'n';  // n, e, o, m or s
    int dataBits = 8;
    int stopTenths = 10;
    bool flowControl = false;
    // DTR and RTS raised; unknown where the line cannot show them.
    std::optional<bool> linesRaised = std::nullopt;
};

// One device, seen from its own end.
class WatchedLine {
public:
    WatchedLine() = default;
    virtual ~WatchedLine() = default;
    WatchedLine(const WatchedLine&) = delete;
    WatchedLine& operator=(const WatchedLine&) = delete;

    // Makes comm open this device.
    virtual void PointAt(CMSComm& comm) = 0;
    virtual AskedLine Asked() const = 0;
    // Whether the line can have one and a half stop bits (else one is asked).
    virtual bool HasOneAndAHalfStopBits() const = 0;
    // Bytes from the device.
    virtual void Send(const std::string& bytes) = 0;
    // What the program sent, once count bytes are there (or five seconds
    // have passed); the program's events run meanwhile.
    virtual std::string Sent(std::size_t count) = 0;
    // Runs the program's events until done holds, for five seconds at most.
    virtual void RunEventsUntil(const std::function<bool()>& done) = 0;
};

// The line a settings text gives an opened port; a text that is not
// understood leaves the settings as they were (2400,n,8,1).
inline void SettingsTextReachesTheLine(const std::function<std::unique_ptr<WatchedLine>()>& make) {
    const struct {
        const char* settings;
        bool understood;
        AskedLine line;
    } cases[] = {
        {"115200,n,8,1", true, {115200, 'n', 8, 10, false}},
        {"9600,E,7,2", true, {9600, 'e', 7, 20, false}},
        {" 1200 , o , 5 , 1 ", true, {1200, 'o', 5, 10, false}},
        {"19200,m,6,1", true, {19200, 'm', 6, 10, false}},
        {"4800,s,8,1", true, {4800, 's', 8, 10, false}},
        {"9600,n,8,1.5", true, {9600, 'n', 8, 15, false}},
        {"115200,n,8", false, {2400, 'n', 8, 10, false}},
        {"115200,n,8,1,1", false, {2400, 'n', 8, 10, false}},
        {"0,n,8,1", false, {2400, 'n', 8, 10, false}},
        {"fast,n,8,1", false, {2400, 'n', 8, 10, false}},
        {"9600baud,n,8,1", false, {2400, 'n', 8, 10, false}},
        {"9600,x,8,1", false, {2400, 'n', 8, 10, false}},
        {"9600,no,8,1", false, {2400, 'n', 8, 10, false}},
        {"9600,e,4,1", false, {2400, 'n', 8, 10, false}},
        {"9600,e,9,1", false, {2400, 'n', 8, 10, false}},
        {"9600,e,seven,1", false, {2400, 'n', 8, 10, false}},
        {"9600,e,7,3", false, {2400, 'n', 8, 10, false}},
    };
    for (const auto& c : cases) {
        const std::unique_ptr<WatchedLine> line = make();
        CMSComm comm;
        line->PointAt(comm);
        ASSERT_TRUE(comm.SetSettings("2400,n,8,1"));
        EXPECT_EQ(comm.SetSettings(c.settings), c.understood) << c.settings;
        ASSERT_TRUE(comm.SetPortOpen(true)) << comm.ErrorText();
        const AskedLine asked = line->Asked();
        const int stopTenths =
            c.line.stopTenths == 15 && !line->HasOneAndAHalfStopBits() ? 10 : c.line.stopTenths;
        EXPECT_EQ(asked.baud, c.line.baud) << c.settings;
        EXPECT_EQ(asked.parity, c.line.parity) << c.settings;
        EXPECT_EQ(asked.dataBits, c.line.dataBits) << c.settings;
        EXPECT_EQ(asked.stopTenths, stopTenths) << c.settings;
        EXPECT_FALSE(asked.flowControl) << "no flow control: " << c.settings;
        EXPECT_TRUE(asked.linesRaised.value_or(true)) << "DTR and RTS raised: " << c.settings;
        EXPECT_TRUE(comm.SetPortOpen(true)) << "an open port stays open";
    }
}

// On an open port: bytes and text go out as they are, in order, counted from
// the opening; received bytes raise the receive event and are taken whole,
// or at most InputLen of them, the rest waiting for the next call; a closed
// port takes nothing, and counts nothing; opened again, it counts afresh.
inline void BytesGoOutInOrderAndInputIsTakenAsAsked(WatchedLine& line, CMSComm& comm) {
    int events = 0;
    comm.SetRThreshold(1);
    comm.SetOnComm([&events] { ++events; });
    const std::uint8_t beacon = 0xAA;
    comm.SetOutput(std::span<const std::uint8_t>(&beacon, 1));
    comm.SetOutput(std::string_view(":GET_VER00#"));
    EXPECT_EQ(line.Sent(12), "\xAA:GET_VER00#");
    EXPECT_EQ(comm.BytesSent(), 12) << "counted from the opening of the port";
    line.Send(":English Ver1.0#");
    line.RunEventsUntil([&events] { return events > 0; });
    EXPECT_EQ(comm.GetCommEvent(), kCommEventReceive);
    const std::vector<std::uint8_t> input = comm.GetInput();
    EXPECT_EQ(std::string(input.begin(), input.end()), ":English Ver1.0#");
    events = 0;
    line.Send(":OK#");
    line.RunEventsUntil([&events] { return events > 0; });
    comm.SetInputLen(1);
    const std::vector<std::uint8_t> first = comm.GetInput();
    EXPECT_EQ(std::string(first.begin(), first.end()), ":");
    comm.SetInputLen(0);
    const std::vector<std::uint8_t> rest = comm.GetInput();
    EXPECT_EQ(std::string(rest.begin(), rest.end()), "OK#");
    comm.SetPortOpen(false);
    comm.SetOutput(std::string_view(":QUIT_COMM#"));
    EXPECT_EQ(comm.BytesSent(), 12);
    ASSERT_TRUE(comm.SetPortOpen(true)) << comm.ErrorText();
    EXPECT_EQ(comm.BytesSent(), 0) << "counted afresh from the next opening";
}

}  // namespace velmoro::testing
