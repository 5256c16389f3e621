// The blocks a catalogue download would send, without a controller: every
// 1024-byte payload in order into one file, and a line per block.

#include <cstdio>
#include <fstream>

#include "catalog.h"
#include "commands.h"

namespace velmoro {

int ConvertCatalog(std::span<const std::uint8_t> bytes, const CatalogBlockSeen& onBlock) {
    CCatalogBlocks blocks;
    blocks.Open(bytes);
    Payload payload{};
    CatalogBlockInfo info;
    std::int32_t v = 0;
    int count = 0;
    while (blocks.Next(payload, info, v)) {
        ++count;
        onBlock(static_cast<std::uint32_t>(v) * 0x400U, info, payload);
    }
    return count;
}

int RunConvert(const std::filesystem::path& catalog, const std::filesystem::path& output) {
    FileBytes bytes;
    const CatalogPlan plan = PlanCatalogFile(catalog, bytes);
    if (!plan.fits) {
        std::string reason = plan.errorText;
        if (reason.size() >= 2) {
            reason.resize(reason.size() - 2);  // the log line's CR LF
        }
        std::fprintf(stderr, "velmoro-downloader-cli: %s\n", reason.c_str());
        return kExitDataFile;
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::fprintf(stderr, "velmoro-downloader-cli: cannot write %s\n", output.string().c_str());
        return kExitDataFile;
    }
    int number = 0;
    ConvertCatalog(bytes, [&out, &number](std::uint32_t address, const CatalogBlockInfo& info,
                                          const Payload& payload) {
        out.write(reinterpret_cast<const char*>(payload.data()),
                  static_cast<std::streamsize>(payload.size()));
        std::printf("%08X block %d: %d records%s\n", address, ++number, info.records,
                    info.separator ? ", then the separator" : "");
    });
    out.close();
    if (!out) {
        std::fprintf(stderr, "velmoro-downloader-cli: cannot write %s\n", output.string().c_str());
        return kExitDataFile;
    }
    return kExitFinished;
}

}  // namespace velmoro
