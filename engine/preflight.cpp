#include "preflight.h"

#include <algorithm>
#include <cctype>

#include "catalog.h"
#include "data_file.h"
#include "transfer.h"

namespace velmoro {

namespace {

std::string Capitalised(std::string text) {
    if (!text.empty()) {
        text.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(text.front())));
    }
    return text;
}

Preflight CheckImage(const std::filesystem::path& path, std::int32_t units) {
    Preflight result;
    result.progressUpper = units;
    const TextScan scan = ScanText(path);
    if (scan.readable && scan.size == 0) {
        result.verdict = Preflight::Verdict::Refuse;
        result.reason = texts::kEmptyDataFile;
    } else if (scan.readable && scan.text && scan.lineBreak) {
        result.verdict = Preflight::Verdict::Ask;
        result.reason = texts::kLooksLikeText;
        result.question = Capitalised(result.reason) + "\n\nSend it as Main Program anyway?";
    }
    return result;
}

Preflight CheckCatalog(const std::filesystem::path& path) {
    Preflight result;
    const CatalogPlan plan = PlanCatalog(path);
    result.progressUpper = plan.blocks + kSweepProgressSteps;
    if (!plan.fits) {
        result.verdict = Preflight::Verdict::Refuse;
        result.reason = plan.errorText;
        return result;
    }
    if (plan.byteOrderMark) {
        result.notice = texts::kByteOrderMarkLeftOut;
    }
    const auto first = std::find_if(plan.findings.begin(), plan.findings.end(),
                                    [](const CatalogFinding& finding) { return !finding.note; });
    if (first == plan.findings.end()) {
        return result;
    }
    const std::string place =
        "line " + std::to_string(first->line) + ", column " + std::to_string(first->column);
    const std::string count = plan.problemLines == 1 ? std::string("1 line")
                                                     : std::to_string(plan.problemLines) + " lines";
    result.verdict = Preflight::Verdict::Ask;
    result.reason = "the catalogue has problems in " + count + ", the first at " + place + ": " +
                    first->text + ".";
    result.question = "The catalogue has problems in " + count +
                      "; they would reach the hand controller as something other than what "
                      "they say. The first:\n\n" +
                      Capitalised(place) + ": " + first->text + ".\n\nSend the catalogue anyway?";
    return result;
}

}  // namespace

Preflight CheckDataFile(const std::filesystem::path& path, UpdateType type, std::int32_t units) {
    return type == UpdateType::MainProgram ? CheckImage(path, units) : CheckCatalog(path);
}

std::string NotStartedText(std::string_view reason) {
    return std::string(texts::kNotStarted) + std::string(reason) + "\r\n";
}

}  // namespace velmoro
