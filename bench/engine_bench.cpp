// Throughput of the engine's hot paths: the check byte over whole blocks,
// catalogue lines into records, and whole transfers against the simulated
// controller in memory (no serial line, so only the host's own cost shows).

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "catalog.h"
#include "data_block.h"
#include "data_file.h"
#include "loopback_rig.h"

namespace {

using namespace velmoro;

void BM_Crc8Block(benchmark::State& state) {
    Payload payload{};
    for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<std::uint8_t>(i * 31 + 7);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(Crc8(payload));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kPayloadSize));
    state.counters["blocks/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Crc8Block);

const std::string kFirstLine =
    "M31    ,Andromeda Galaxy      ,1234,7,0.7123,41.2692,3.4,190,0,0,0,0,\r\n";
const std::string kSecondLine =
    "  4096, HD 123456 Star  ,1234,7, 12.5956, 2.5956,0.1,300,0,0,0,0,2.5\r\n";

void ConvertBench(benchmark::State& state, const std::string& line, bool first) {
    Payload payload{};
    CatalogRecord record(payload.data(), kRecordSize);
    for (auto _ : state) {
        if (first) {
            ConvertFirstLayout(line, record);
        } else {
            ConvertSecondLayout(line, record);
        }
        benchmark::ClobberMemory();
    }
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ConvertFirstLayout(benchmark::State& state) {
    ConvertBench(state, kFirstLine, true);
}
BENCHMARK(BM_ConvertFirstLayout);

void BM_ConvertSecondLayout(benchmark::State& state) {
    ConvertBench(state, kSecondLine, false);
}
BENCHMARK(BM_ConvertSecondLayout);

// The largest catalogue the flash takes: 255 lines, the separator, 4096 lines.
std::filesystem::path LargestCatalog() {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "velmoro-bench-catalog.txt";
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 255; ++i) {
        out << kFirstLine;
    }
    out << "-\r\n";
    for (int i = 0; i < 4095; ++i) {
        out << kSecondLine;
    }
    out << kSecondLine.substr(0, kSecondLine.size() - 2);
    return path;
}

void BM_CatalogFileToBlocks(benchmark::State& state) {
    const std::filesystem::path path = LargestCatalog();
    FileBytes bytes;
    LoadDataFile(path, bytes);
    std::int64_t records = 0;
    for (auto _ : state) {
        CDataFile file;
        file.Open(bytes);
        CatalogPosition position;
        std::int32_t blockCounter = 0;
        Payload payload{};
        while (!file.AtEnd()) {
            records += BuildCatalogPayload(file, blockCounter++, position, payload).records;
            benchmark::DoNotOptimize(MakeDataBlock(payload));
            position.sectionEnded = false;  // as the transfer does after each write command
        }
    }
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
    std::filesystem::remove(path);
}
BENCHMARK(BM_CatalogFileToBlocks)->Unit(benchmark::kMillisecond);

// What Start spends before the reset prompt: the text scan, every block's
// place and every line checked against its layout.
void BM_PlanLargestCatalog(benchmark::State& state) {
    const std::filesystem::path path = LargestCatalog();
    for (auto _ : state) {
        FileBytes bytes;
        const CatalogPlan plan = PlanCatalogFile(path, bytes);
        if (!plan.fits || plan.problemLines != 0) {
            state.SkipWithError("the largest catalogue must fit without problems");
        }
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_PlanLargestCatalog)->Unit(benchmark::kMillisecond);

void BM_CatalogTransferInMemory(benchmark::State& state) {
    const std::filesystem::path path = LargestCatalog();
    for (auto _ : state) {
        sim::CLoopbackRig rig;
        rig.SetDataFile(path);
        rig.SetUpdateType(UpdateType::ObjectCatalog);
        rig.Run();
        if (!rig.Controller().Finished()) {
            state.SkipWithError("transfer did not finish");
        }
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_CatalogTransferInMemory)->Unit(benchmark::kMillisecond);

}  // namespace
