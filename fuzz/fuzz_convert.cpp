// The command-line "convert" with any file at all as the catalogue: it either
// writes exactly the payloads a catalogue download would send, or refuses the
// file exactly when a download would refuse it.
//
// convert reports a refused catalogue on stderr; run it with
// -close_fd_mask=2 to keep that out of the fuzzer's output (libFuzzer and the
// sanitizers keep a copy of stderr for themselves, and so does this target).

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "catalog.h"
#include "commands.h"
#include "fuzz_support.h"

namespace {

using namespace velmoro;
using fuzz::Check;

// The payloads of every block, in the order a download sends them.
std::string ExpectedOutput(const std::filesystem::path& catalog, std::int32_t& blocks) {
    FileBytes bytes;
    Check(LoadDataFile(catalog, bytes) == FileLoad::Loaded, "the catalogue reads");
    CCatalogBlocks walker;
    walker.Open(bytes);
    std::string output;
    Payload payload{};
    CatalogBlockInfo info;
    std::int32_t v = 0;
    blocks = 0;
    while (walker.Next(payload, info, v)) {
        output.append(reinterpret_cast<const char*>(payload.data()), payload.size());
        ++blocks;
    }
    return output;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // Invariant failures must still be seen when -close_fd_mask=2 silences
    // stderr, which libFuzzer does only after this.
    const int copy = ::dup(2);
    if (copy >= 0) {
        if (std::FILE* stream = ::fdopen(copy, "w")) {
            fuzz::ReportStream() = stream;
        }
    }
    // convert prints a line per block; only the output file matters here.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path catalog = fuzz::ScratchPath("convert-input.txt");
    static const std::filesystem::path output = fuzz::ScratchPath("convert-output.bin");
    fuzz::WriteFile(catalog, data, size);
    std::error_code ignored;
    std::filesystem::remove(output, ignored);

    const int code = RunConvert(catalog, output);
    FileBytes bytes;
    const CatalogPlan plan = PlanCatalogFile(catalog, bytes);
    if (code == kExitDataFile) {
        Check(!plan.fits, "convert refuses only what a download refuses");
        return 0;
    }
    Check(code == kExitFinished, "convert ends finished or refused", std::to_string(code));
    Check(plan.fits, "convert accepts only what a download accepts", plan.errorText);
    std::int32_t blocks = 0;
    const std::string expected = ExpectedOutput(catalog, blocks);
    const std::string written = fuzz::ReadFile(output);
    Check(blocks == plan.blocks, "the blocks are those the plan counted");
    Check(written.size() == kPayloadSize * static_cast<std::size_t>(plan.blocks),
          "the output holds 1024 bytes per block",
          std::to_string(written.size()) + " bytes for " + std::to_string(plan.blocks));
    Check(written == expected, "the output holds the payloads of the blocks, in order");
    return 0;
}
