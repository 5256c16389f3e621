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

Preflight CheckImage(std::span<const std::uint8_t> bytes, std::int32_t units) {
    Preflight result;
    result.progressUpper = units;
    if (bytes.empty()) {
        result.verdict = Preflight::Verdict::Refuse;
        result.reason = texts::kEmptyDataFile;
        return result;
    }
    const TextScan scan = ScanText(bytes);
    if (scan.text && scan.lineBreak) {
        result.verdict = Preflight::Verdict::Ask;
        result.reason = texts::kLooksLikeText;
        result.question = Capitalised(result.reason) + "\n\nSend it as Main Program anyway?";
    }
    return result;
}

Preflight CheckCatalog(std::span<const std::uint8_t> bytes) {
    Preflight result;
    const CatalogPlan plan = PlanCatalog(bytes);
    result.progressUpper = plan.blocks + kSweepProgressSteps;
    if (!plan.fits) {
        result.verdict = Preflight::Verdict::Refuse;
        result.reason = plan.errorText;
        return result;
    }
    if (plan.byteOrderMark) {
        result.notice = texts::kByteOrderMarkLeftOut;
    }
    if (plan.records == 0) {
        result.verdict = Preflight::Verdict::Ask;
        result.reason = texts::kNoObjects;
        result.question = texts::kNoObjectsQuestion;
        return result;
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

Preflight CheckDataFile(std::span<const std::uint8_t> bytes, UpdateType type, std::int32_t units) {
    return type == UpdateType::MainProgram ? CheckImage(bytes, units) : CheckCatalog(bytes);
}

std::string NotStartedText(std::string_view reason) {
    return std::string(texts::kNotStarted) + std::string(reason) + "\r\n";
}

}  // namespace velmoro
