// Everything a catalogue download would make of a file, without a
// controller: every problem of its record lines and, on request, every
// record as the controller will hold it.

#include <cstdio>
#include <map>
#include <string>

#include "catalog.h"
#include "commands.h"

namespace velmoro {

namespace {

std::uint32_t LittleEndian(const std::uint8_t* bytes, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = count; i > 0; --i) {
        value = (value << 8) | bytes[i - 1];
    }
    return value;
}

// A text slot as the controller holds it. The controller shows every byte as
// a character of its own, so a byte above 0x7F is written as \xHH rather
// than left for the terminal to join with its neighbours into one character.
std::string Slot(const std::uint8_t* bytes, std::size_t count) {
    std::string text = "\"";
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] >= 0x80) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", bytes[i]);
            text += escaped;
        } else {
            text += static_cast<char>(bytes[i]);
        }
    }
    return text + "\"";
}

void PrintRecord(std::uint32_t address, std::int64_t line, bool firstLayout,
                 const std::uint8_t* record) {
    std::printf("%08X line %lld:", address, static_cast<long long>(line));
    std::size_t realsAt = 0;
    std::size_t reals = 0;
    if (firstLayout) {
        std::printf(" key %s text %s word %u byte %u", Slot(record, 7).c_str(),
                    Slot(record + 8, 22).c_str(), LittleEndian(record + 30, 2), record[7]);
        realsAt = 32;
        reals = 8;
    } else {
        std::printf(" number %d text %s word %u byte %u",
                    static_cast<std::int32_t>(LittleEndian(record, 4)),
                    Slot(record + 4, 21).c_str(), LittleEndian(record + 26, 2), record[25]);
        realsAt = 28;
        reals = 9;
    }
    std::printf(" reals");
    for (std::size_t k = 0; k < reals; ++k) {
        // Nine significant digits tell every single-precision value apart.
        std::printf(" %.9g",
                    static_cast<double>(RealFromBits(LittleEndian(record + realsAt + 4 * k, 4))));
    }
    std::printf("\n");
}

void PrintFinding(const std::string& name, const CatalogFinding& finding) {
    std::printf("%s:%lld:%lld: %s%s\n", name.c_str(), static_cast<long long>(finding.line),
                static_cast<long long>(finding.column), finding.note ? "note: " : "",
                finding.text.c_str());
}

std::string Count(std::int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

int RunCheck(const std::filesystem::path& catalog, bool show) {
    const std::string name = catalog.string();
    FileBytes bytes;
    const CatalogPlan plan = PlanCatalogFile(catalog, bytes);
    if (!plan.fits) {
        std::string reason = plan.errorText;
        if (reason.size() >= 2) {
            reason.resize(reason.size() - 2);  // the log line's CR LF
        }
        std::fprintf(stderr, "velmoro-downloader-cli: %s: %s\n", name.c_str(), reason.c_str());
        return kExitDataFile;
    }
    std::int64_t notes = 0;
    for (const CatalogFinding& finding : plan.findings) {
        notes += finding.note ? 1 : 0;
    }
    if (show) {
        std::multimap<std::int64_t, const CatalogFinding*> byLine;
        for (const CatalogFinding& finding : plan.findings) {
            byLine.emplace(finding.line, &finding);
        }
        CCatalogBlocks blocks;
        blocks.Open(bytes);
        Payload payload{};
        CatalogBlockInfo info;
        std::int32_t v = 0;
        while (blocks.Next(payload, info, v)) {
            for (std::size_t slot = 0; slot < kRecordsPerBlock; ++slot) {
                const std::int64_t line = info.slotLines[slot];
                if (line == 0) {
                    continue;
                }
                PrintRecord(static_cast<std::uint32_t>(v) * 0x400U, line, blocks.InFirstSection(),
                            payload.data() + slot * kRecordSize);
                // With the findings of its line go those of lines before it
                // that made no record, such as the note on a byte order mark
                // before a separator line.
                const auto to = byLine.upper_bound(line);
                for (auto it = byLine.begin(); it != to; ++it) {
                    PrintFinding(name, *it->second);
                }
                byLine.erase(byLine.begin(), to);
            }
        }
        for (const auto& [line, finding] : byLine) {
            PrintFinding(name, *finding);
        }
    } else {
        for (const CatalogFinding& finding : plan.findings) {
            PrintFinding(name, finding);
        }
    }
    std::printf("%s: %s in %s; %s, %s\n", name.c_str(),
                Count(plan.records, "record", "records").c_str(),
                Count(plan.blocks, "block", "blocks").c_str(),
                plan.problemLines == 0
                    ? "no problems"
                    : ("problems in " + Count(plan.problemLines, "line", "lines")).c_str(),
                Count(notes, "note", "notes").c_str());
    return plan.problemLines == 0 ? kExitFinished : kExitProblemFound;
}

}  // namespace velmoro
