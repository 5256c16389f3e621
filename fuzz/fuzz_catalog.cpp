// Any file at all taken as an object catalogue: the plan that accepts or
// refuses it, the blocks it turns into, and a whole transfer of it into the
// simulated controller. A catalogue that is sent must never reach flash
// outside the two erased ranges, nor the same block twice; one that is
// refused must not send a single byte.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "catalog.h"
#include "data_block.h"
#include "fakes.h"
#include "fuzz_support.h"
#include "hc_model.h"
#include "loopback_rig.h"
#include "transfer.h"

namespace {

using namespace velmoro;
using fuzz::Check;

using Flash = std::map<std::uint32_t, Payload>;

struct PredictedSlot {
    bool empty = true;
    bool firstLayout = true;
    std::string_view line;
};

struct PredictedBlock {
    std::array<PredictedSlot, kRecordsPerBlock> slots{};
    std::uint32_t address = 0;
};

struct Prediction {
    std::vector<PredictedBlock> blocks;
    bool fits = false;
};

// Reads the catalogue from memory by the rules the transfer follows, apart
// from the file reader, so that the reader's end-of-file behaviour is checked
// too: line pieces of at most 254 characters up to and including LF; a read
// that runs out of bytes before its LF and before 254 characters sets the end
// mark, so a last line with a line break is followed by one more read that
// finds nothing; a block starts only while the mark is clear; the separator
// empties the rest of its block and sends every later block to the second
// range.
Prediction Predict(std::string_view data) {
    Prediction prediction;
    std::size_t pos = 0;
    bool atEnd = false;
    auto readPiece = [&]() {
        const std::size_t start = pos;
        while (pos < data.size() && pos - start < kMaxLineRead) {
            if (data[pos++] == '\n') {
                return data.substr(start, pos - start);
            }
        }
        if (pos - start < kMaxLineRead) {
            atEnd = true;
        }
        return data.substr(start, pos - start);
    };

    bool firstLayout = true;
    int separators = 0;
    std::size_t separatorBlock = 0;  // from 1; 0 while none was read
    while (!atEnd) {
        PredictedBlock block;
        bool sectionEnded = false;
        for (PredictedSlot& slot : block.slots) {
            if (atEnd || sectionEnded) {
                continue;
            }
            const std::string_view piece = readPiece();
            if (piece.empty()) {
                continue;
            }
            if (IsSeparatorLine(piece)) {
                if (++separators == 1) {
                    separatorBlock = prediction.blocks.size() + 1;
                }
                firstLayout = false;
                sectionEnded = true;
                continue;
            }
            slot = {false, firstLayout, piece};
        }
        prediction.blocks.push_back(block);
    }

    const std::size_t total = prediction.blocks.size();
    const std::size_t firstSection = separatorBlock == 0 ? total : separatorBlock;
    prediction.fits = separators <= 1 &&
                      firstSection <= static_cast<std::size_t>(kFirstRangeBlocks) &&
                      total - firstSection <= static_cast<std::size_t>(kSecondRangeBlocks);
    if (prediction.fits) {
        for (std::size_t n = 1; n <= total; ++n) {
            const auto first = static_cast<std::uint32_t>(n - 1);
            const auto second = static_cast<std::uint32_t>(n - firstSection - 1);
            prediction.blocks[n - 1].address =
                n <= firstSection ? sim::kExternalFirstBase + first * sim::kBlockBytes
                                  : sim::kExternalSecondBase + second * sim::kBlockBytes;
        }
    }
    return prediction;
}

bool InErasedRange(std::uint32_t address) {
    return (address >= sim::kExternalFirstBase && address < sim::kExternalFirstEnd) ||
           (address >= sim::kExternalSecondBase && address < sim::kExternalSecondEnd);
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::array<std::uint8_t, kRecordSize> ExpectedSlot(const PredictedSlot& slot) {
    std::array<std::uint8_t, kRecordSize> record{};
    if (slot.empty) {
        record.fill(kEmptySlotByte);
    } else if (slot.firstLayout) {
        ConvertFirstLayout(slot.line, record);
    } else {
        ConvertSecondLayout(slot.line, record);
    }
    return record;
}

// The refusal is the whole story of a Start: one log line, nothing on the
// wire, no transfer running.
void CheckRefusal(const CatalogPlan& plan, const std::filesystem::path& path) {
    Check(plan.errorText.starts_with("ERROR! ") && plan.errorText.ends_with("\r\n"),
          "a refusal is an error line", plan.errorText);
    testing::EngineRig rig;
    rig.window.dataFilePath = path;
    rig.window.updateType = UpdateType::ObjectCatalog;
    rig.engine.OnStartStop();
    Check(rig.port.writes.empty(), "a refused catalogue sends nothing");
    Check(!rig.engine.State().busy, "a refused catalogue leaves the engine idle");
    Check(!rig.window.timerRunning, "a refused catalogue starts no beacon");
    Check(rig.window.log.size() == 1 && rig.window.log.front() == plan.errorText,
          "the refusal is the only log line", plan.errorText);
}

// Walks the blocks the transfer would send, against the prediction; returns
// them by flash address.
Flash CheckBlocks(const std::filesystem::path& path, const CatalogPlan& plan,
                  const Prediction& prediction) {
    FileBytes bytes;
    Check(LoadDataFile(path, bytes) == FileLoad::Loaded, "the catalogue reads");
    CCatalogBlocks blocks;
    blocks.Open(bytes);
    // Checking the lines as they are converted must change no record.
    CatalogFindings findings;
    blocks.CheckLines(&findings);
    Flash flash;
    Payload payload{};
    CatalogBlockInfo info;
    std::int32_t v = 0;
    std::size_t n = 0;
    while (blocks.Next(payload, info, v)) {
        Check(n < prediction.blocks.size(), "no more blocks than the reading rules give");
        const PredictedBlock& predicted = prediction.blocks[n];
        const DataBlock block = MakeDataBlock(payload);
        Check(std::equal(payload.begin(), payload.end(), block.begin()) &&
                  block[kPayloadSize] == Crc8(payload),
              "a block is its payload and the payload's check byte");
        const std::uint32_t address = static_cast<std::uint32_t>(v) * sim::kBlockBytes;
        // The failure texts are built only on failure: this runs for every
        // block of every input.
        if (!InErasedRange(address)) {
            fuzz::Fail("every block lands in an erased range", Hex(address));
        }
        if (flash.contains(address)) {
            fuzz::Fail("no block is written twice", Hex(address));
        }
        if (address != predicted.address) {
            fuzz::Fail("the block goes where the rules put it",
                       Hex(address) + " instead of " + Hex(predicted.address));
        }
        for (std::size_t slot = 0; slot < kRecordsPerBlock; ++slot) {
            const auto expected = ExpectedSlot(predicted.slots[slot]);
            if (!std::equal(expected.begin(), expected.end(),
                            payload.begin() + static_cast<std::ptrdiff_t>(slot * kRecordSize))) {
                fuzz::Fail("a slot is empty or the record of its line",
                           "block " + std::to_string(n + 1) + " slot " + std::to_string(slot));
            }
        }
        flash.emplace(address, payload);
        ++n;
    }
    Check(n == prediction.blocks.size(), "as many blocks as the reading rules give");
    Check(static_cast<std::int32_t>(n) == plan.blocks, "as many blocks as the plan counted");
    return flash;
}

void CheckTransfer(const std::filesystem::path& path, const CatalogPlan& plan,
                   const Flash& planned) {
    sim::CLoopbackRig rig;
    rig.SetDataFile(path);
    rig.SetUpdateType(UpdateType::ObjectCatalog);
    rig.Run();
    const sim::CHandControllerModel& controller = rig.Controller();
    Check(controller.Violations().empty(), "the controller accepts every step",
          controller.Violations().empty() ? "" : controller.Violations().front());
    Check(controller.Finished(), "the transfer reaches its end");
    Check(!rig.Engine().State().busy, "the engine is idle after the end");
    Check(!rig.Log().empty() && rig.Log().back() == texts::kFinished,
          "the log ends with the finish line");
    Check(controller.External().size() == static_cast<std::size_t>(plan.blocks),
          "the controller holds as many blocks as planned");
    Check(controller.External() == planned, "the controller holds exactly the planned blocks");
    Check(controller.BytesAfterEnd() == 0, "nothing reaches the controller after the end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path path = fuzz::ScratchPath("catalog.txt");
    // Other bytes become catalogue syntax, so that the fuzzer explores what
    // lies beyond the text check; an input that starts with 0xFF is taken as
    // it is, for the check itself.
    std::string contents(reinterpret_cast<const char*>(data), size);
    if (size == 0 || data[0] != 0xFF) {
        static constexpr std::string_view kSyntax = "0123456789,.- \r\n";
        for (char& c : contents) {
            const auto byte = static_cast<std::uint8_t>(c);
            if (!IsTextByte(byte)) {
                c = kSyntax[byte % kSyntax.size()];
            }
        }
    }
    fuzz::WriteFile(path, reinterpret_cast<const std::uint8_t*>(contents.data()), contents.size());
    const bool text = std::all_of(contents.begin(), contents.end(),
                                  [](char c) { return IsTextByte(static_cast<std::uint8_t>(c)); });

    FileBytes bytes;
    const CatalogPlan plan = PlanCatalogFile(path, bytes);
    const Prediction prediction = Predict(contents);
    Check(plan.fits == (text && prediction.fits),
          plan.fits ? "accepted what is not text or does not fit the erased ranges"
                    : "refused text that fits the erased ranges",
          plan.errorText);
    if (!plan.fits) {
        Check(text || plan.errorText.find("not catalogue text") != std::string::npos,
              "a file that is not text is refused as such", plan.errorText);
        CheckRefusal(plan, path);
        return 0;
    }
    const Flash planned = CheckBlocks(path, plan, prediction);
    CheckTransfer(path, plan, planned);
    return 0;
}
