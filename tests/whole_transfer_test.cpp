// Whole transfers through the engine, reply by reply: the exact bytes on the
// wire for firmware images, and catalogue transfers against the simulated
// controller, which checks every command, check byte and flash address.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "catalog.h"
#include "data_block.h"
#include "fakes.h"
#include "hc_model.h"
#include "temp_file.h"

namespace velmoro::testing {
namespace {

std::string Image(std::size_t size) {
    std::string image(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    }
    return image;
}

// The block that carries image bytes from offset on, zero filled.
std::string ExpectedBlock(const std::string& image, std::size_t offset) {
    Payload payload{};
    const std::size_t n = offset < image.size() ? std::min(kPayloadSize, image.size() - offset) : 0;
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), n, payload.begin());
    const DataBlock block = MakeDataBlock(payload);
    return std::string(block.begin(), block.end());
}

TEST(WholeTransfer, FirmwareOf1500BytesMatchesTheTranscript) {
    const std::string image = Image(1500);
    TempFile file(image);
    EngineRig rig;
    rig.window.dataFilePath = file.Path();
    rig.engine.OnStartStop();

    // Three beacon ticks before the controller greets.
    for (int i = 0; i < 3; ++i) {
        rig.engine.OnBeaconTimer();
    }
    for (const char* reply : {":OK#", ":English Ver1.0#", ":EI_OK#", ":BI_OK#", ":RB_OK#",
                              ":WI_OK#", ":RB_OK#", ":WI_OK#", ":QUIT_OK#"}) {
        rig.Receive(reply);
    }
    const std::vector<std::string> expected = {
        "\xAA",
        "\xAA",
        "\xAA",
        ":GET_VER00#",
        ":ERASE_INT#",
        ":CHKBL_INT#",
        ":DOWN DATA#",
        ExpectedBlock(image, 0),
        ":RAMTO_INT 00004000#",
        ":DOWN DATA#",
        ExpectedBlock(image, 1024),
        ":RAMTO_INT 00004400#",
        ":QUIT_COMM#",
    };
    EXPECT_EQ(rig.port.TakeWrites(), expected);
    EXPECT_EQ(rig.window.log, (std::vector<std::string>{
                                  std::string(texts::kResetPrompt), std::string(texts::kConnected),
                                  std::string(texts::kProcessing), std::string(texts::kFinished)}));
    EXPECT_EQ(rig.window.rangeUpper, 2);
    EXPECT_EQ(rig.window.positions, (std::vector<int>{0, 1, 2}));
    const TransferState& state = rig.engine.State();
    EXPECT_FALSE(state.busy);
    EXPECT_EQ(state.replyText, ":QUIT_OK#");
    EXPECT_FALSE(state.dataFile.IsOpen());
    EXPECT_TRUE(rig.window.openEnabled);
    EXPECT_EQ(rig.window.caption, texts::kStartCaption);
    EXPECT_FALSE(rig.window.timerRunning);
    EXPECT_TRUE(rig.port.open) << "the port stays open after the end";

    // Later bytes are left alone; a new Start reopens the port.
    rig.Receive(":RB_OK#");
    EXPECT_TRUE(rig.port.TakeWrites().empty());
    rig.engine.OnStartStop();
    EXPECT_EQ(rig.port.prepareCount, 2);
    EXPECT_TRUE(rig.engine.State().busy);
    EXPECT_EQ(rig.engine.State().state, ProtocolState::AwaitGreeting);
}

// An engine answered by the simulated controller.
struct SimulatedRig : EngineRig {
    explicit SimulatedRig(const std::filesystem::path& path, UpdateType type) {
        window.dataFilePath = path;
        window.updateType = type;
        port.responder = [this](const Bytes& bytes) {
            return controller.Receive(bytes.data(), bytes.size());
        };
    }
    void Run() {
        engine.OnStartStop();
        Pump();
    }
    sim::CHandControllerModel controller{2};
};

struct ImageCase {
    std::size_t size;
    int upper;
    std::vector<std::uint32_t> addresses;
};

class FirmwareSizes : public ::testing::TestWithParam<ImageCase> {};

TEST_P(FirmwareSizes, SendsFloorOfSizeOver1024PlusOneBlocks) {
    const ImageCase& c = GetParam();
    const std::string image = Image(c.size);
    TempFile file(image);
    SimulatedRig rig(file.Path(), UpdateType::MainProgram);
    rig.Run();

    EXPECT_TRUE(rig.controller.Finished());
    EXPECT_TRUE(rig.controller.Violations().empty()) << rig.controller.Violations().front();
    EXPECT_EQ(rig.window.log.back(), texts::kFinished);
    ASSERT_EQ(rig.window.ends.size(), 1U);
    EXPECT_EQ(rig.window.ends[0].ending, Ending::Finished);
    EXPECT_EQ(rig.window.ends[0].file.size, c.size);
    EXPECT_EQ(rig.window.ends[0].blocksAcknowledged,
              static_cast<std::int32_t>(rig.controller.Internal().size()));
    EXPECT_EQ(rig.window.rangeUpper, c.upper);
    EXPECT_EQ(rig.window.positions.back(), c.upper);
    std::vector<std::uint32_t> addresses;
    for (const auto& [address, payload] : rig.controller.Internal()) {
        addresses.push_back(address);
        const std::string block = ExpectedBlock(image, address - 0x4000);
        EXPECT_EQ(std::string(payload.begin(), payload.end()), block.substr(0, kPayloadSize))
            << "block at " << address;
    }
    EXPECT_EQ(addresses, c.addresses);
    EXPECT_EQ(rig.controller.BytesAfterEnd(), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Images, FirmwareSizes,
    ::testing::Values(ImageCase{1, 1, {0x4000}}, ImageCase{1024, 2, {0x4000, 0x4400}},
                      ImageCase{1500, 2, {0x4000, 0x4400}},
                      ImageCase{2048, 3, {0x4000, 0x4400, 0x4800}},
                      ImageCase{5000, 5, {0x4000, 0x4400, 0x4800, 0x4C00, 0x5000}}),
    [](const ::testing::TestParamInfo<ImageCase>& info) {
        return "Bytes" + std::to_string(info.param.size);
    });

std::string FirstLayoutLine(int i) {
    return "OBJ" + std::to_string(i) + "   ,Object " + std::to_string(i) +
           "    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n";
}

std::string SecondLayoutLine(int i) {
    return std::to_string(i) + ",Star " + std::to_string(i) +
           "  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5\r\n";
}

std::string Catalog(int before, int after) {
    std::string text;
    for (int i = 1; i <= before; ++i) {
        text += FirstLayoutLine(i);
    }
    text += "------\r\n";
    for (int i = 1; i <= after; ++i) {
        text += SecondLayoutLine(i);
    }
    return text;
}

TEST(WholeTransfer, CatalogueSweepsThenWritesBothSections) {
    TempFile file(Catalog(17, 20));
    SimulatedRig rig(file.Path(), UpdateType::ObjectCatalog);
    rig.Run();

    ASSERT_TRUE(rig.controller.Finished());
    EXPECT_TRUE(rig.controller.Violations().empty()) << rig.controller.Violations().front();
    EXPECT_EQ(rig.window.log.back(), texts::kFinished);
    ASSERT_EQ(rig.window.ends.size(), 1U);
    EXPECT_EQ(rig.window.ends[0].blocksAcknowledged,
              static_cast<std::int32_t>(rig.controller.External().size()));

    // The sweep: each sector erased, then blank-checked, in order.
    std::vector<std::string> sweep;
    for (std::uint32_t sector : {0x81140U, 0x81141U, 0x81142U, 0x81143U}) {
        char text[32];
        std::snprintf(text, sizeof text, "%05X", sector);
        sweep.push_back(std::string(":ERASE_EXT ") + text + "000#");
        sweep.push_back(std::string(":CHKBL_EXT ") + text + "000#");
    }
    for (std::uint32_t sector = 0x81150; sector <= 0x8118F; ++sector) {
        char text[32];
        std::snprintf(text, sizeof text, "%05X", sector);
        sweep.push_back(std::string(":ERASE_EXT ") + text + "000#");
        sweep.push_back(std::string(":CHKBL_EXT ") + text + "000#");
    }
    const auto& commands = rig.controller.Commands();
    ASSERT_GT(commands.size(), 2 + sweep.size());
    EXPECT_TRUE(std::equal(sweep.begin(), sweep.end(), commands.begin() + 1));
    const std::vector<std::string> tail(commands.begin() + 1 + static_cast<long>(sweep.size()),
                                        commands.end());
    EXPECT_EQ(tail, (std::vector<std::string>{":DOWN DATA#", ":RAMTO_EXT 81140000#", ":DOWN DATA#",
                                              ":RAMTO_EXT 81140400#", ":DOWN DATA#",
                                              ":RAMTO_EXT 81150000#", ":DOWN DATA#",
                                              ":RAMTO_EXT 81150400#", ":QUIT_COMM#"}));

    // The sweep's 20 steps and four blocks: the bar ends at its range's end.
    EXPECT_EQ(rig.window.rangeUpper, 24);
    std::vector<int> expected = {0, 1};
    for (int p = 5; p <= 24; ++p) {
        expected.push_back(p);
    }
    EXPECT_EQ(rig.window.positions, expected);

    // Block 2 holds line 17, then only empty slots after the separator.
    const auto& external = rig.controller.External();
    const Payload& second = external.at(0x81140400);
    Payload record17{};
    ConvertFirstLayout(FirstLayoutLine(17), CatalogRecord(record17.data(), kRecordSize));
    EXPECT_TRUE(std::equal(record17.begin(), record17.begin() + 64, second.begin()));
    EXPECT_TRUE(std::all_of(second.begin() + 64, second.end(), [](auto b) { return b == 0xFF; }));
    // The second range begins with the first line after the separator.
    Payload star1{};
    ConvertSecondLayout(SecondLayoutLine(1), CatalogRecord(star1.data(), kRecordSize));
    EXPECT_TRUE(std::equal(star1.begin(), star1.begin() + 64, external.at(0x81150000).begin()));
    // The last block: four records, then the empty slots after the file's end.
    const Payload& last = external.at(0x81150400);
    EXPECT_TRUE(std::all_of(last.begin() + 4 * 64, last.end(), [](auto b) { return b == 0xFF; }));
    EXPECT_NE(last[3 * 64], 0xFF);
}

// The range is the steps the transfer makes: the sweep's 20 and one per
// block, whatever the catalogue's shape, so the bar ends at exactly 100%.
TEST(WholeTransfer, CatalogueProgressEndsAtTheEndOfItsRange) {
    const auto noBreak = [](std::string text) { return text.substr(0, text.size() - 2); };
    std::string noSeparator32;
    std::string noSeparator;
    for (int i = 1; i <= 40; ++i) {
        noSeparator += FirstLayoutLine(i);
        if (i == 32) {
            noSeparator32 = noSeparator;
        }
    }
    const struct {
        const char* shape;
        std::string text;
        std::size_t blocks;
    } cases[] = {
        {"17, separator, 20", Catalog(17, 20), 4},
        {"separator first", Catalog(0, 3), 2},
        {"separator at 16", Catalog(16, 16), 4},
        {"separator at 16, last line unbroken", noBreak(Catalog(16, 16)), 3},
        {"no separator", noSeparator, 3},
        {"no separator, 32 lines, the last unbroken", noBreak(noSeparator32), 2},
        {"empty", "", 1},
    };
    for (const auto& c : cases) {
        TempFile file(c.text);
        SimulatedRig rig(file.Path(), UpdateType::ObjectCatalog);
        rig.window.answer = true;  // the empty one goes only after Yes
        rig.Run();
        ASSERT_TRUE(rig.controller.Finished()) << c.shape;
        EXPECT_EQ(rig.controller.External().size(), c.blocks) << c.shape;
        EXPECT_EQ(rig.window.rangeUpper, static_cast<int>(20 + c.blocks)) << c.shape;
        EXPECT_EQ(rig.window.positions.back(), rig.window.rangeUpper) << c.shape;
    }
}

TEST(WholeTransfer, SeparatorFirstSendsAnEmptyBlockToTheFirstRange) {
    TempFile file(Catalog(0, 3));
    SimulatedRig rig(file.Path(), UpdateType::ObjectCatalog);
    rig.Run();
    ASSERT_TRUE(rig.controller.Finished());
    const auto& external = rig.controller.External();
    ASSERT_EQ(external.size(), 2U);
    const Payload& first = external.at(0x81140000);
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](auto b) { return b == 0xFF; }));
    EXPECT_EQ(external.count(0x81150000), 1U);
}

TEST(WholeTransfer, LargestCataloguesFillBothRangesExactly) {
    // 255 lines before the separator and 4096 after, the last without a line
    // break: 16 blocks in the first range, 256 in the second.
    std::string text = Catalog(255, 4096);
    text.resize(text.size() - 2);
    TempFile file(text);
    SimulatedRig rig(file.Path(), UpdateType::ObjectCatalog);
    rig.Run();
    ASSERT_TRUE(rig.controller.Finished());
    EXPECT_TRUE(rig.controller.Violations().empty()) << rig.controller.Violations().front();
    EXPECT_EQ(rig.controller.External().size(), 16U + 256U);
}

// A controller reset while the question about an odd file is open greets
// the beacon that the last transfer, stopped before any greeting, left
// running; then it ignores every beacon. The greeting waits in the port, and
// no new byte will raise another receive event: the transfer after Yes must
// take it, and go on to the end.
TEST(WholeTransfer, GreetingOfAControllerResetDuringTheQuestionIsTaken) {
    const std::string text = "A\nB\n";  // a firmware download asks about it
    TempFile file(text);
    EngineRig rig;
    std::unique_ptr<sim::CHandControllerModel> controller;  // none: switched off
    bool newInput = false;
    rig.port.responder = [&controller, &newInput](const Bytes& bytes) {
        std::string reply = controller ? controller->Receive(bytes.data(), bytes.size()) : "";
        newInput = newInput || !reply.empty();
        return reply;
    };
    // A receive event for new bytes only, as a port raises it.
    const auto run = [&rig, &newInput] {
        for (int i = 0; i < 10000 && rig.engine.State().busy; ++i) {
            if (newInput) {
                newInput = false;
                rig.engine.OnCommEvent();
            } else if (rig.window.timerRunning) {
                rig.engine.OnBeaconTimer();
            } else {
                return;
            }
        }
    };
    rig.window.dataFilePath = file.Path();
    rig.window.answer = true;
    rig.engine.OnStartStop();
    rig.engine.OnBeaconTimer();
    rig.engine.OnStartStop();  // stopped before the greeting: the beacon goes on
    ASSERT_TRUE(rig.window.timerRunning);
    rig.window.whileAsking = [&] {
        controller = std::make_unique<sim::CHandControllerModel>();
        rig.engine.OnBeaconTimer();
        rig.engine.OnCommEvent();  // no transfer runs: the greeting stays in the port
        newInput = false;
        rig.engine.OnBeaconTimer();
    };
    rig.engine.OnStartStop();
    run();
    EXPECT_TRUE(controller->Finished()) << rig.window.log.back();
    EXPECT_TRUE(controller->Violations().empty());
    ASSERT_FALSE(controller->Internal().empty());
    EXPECT_EQ(controller->Internal().begin()->second[0], 'A');
    EXPECT_EQ(rig.window.log.back(), texts::kFinished);

    // Other bytes that came meanwhile are no reply to this transfer: they
    // are dropped, and the greeting to its own beacon is taken as usual.
    controller = std::make_unique<sim::CHandControllerModel>();
    rig.window.whileAsking = [&rig] { rig.port.input = ToBytes(":QUIT_OK#\xAA?"); };
    rig.engine.OnStartStop();
    EXPECT_TRUE(rig.port.input.empty());
    run();
    EXPECT_TRUE(controller->Finished());
    EXPECT_EQ(rig.window.log.back(), texts::kFinished);
}

}  // namespace
}  // namespace velmoro::testing
