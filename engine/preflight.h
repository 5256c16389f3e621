#pragma once

// What Start makes of a data file before anything reaches the controller:
// refuse what can never work, ask about what looks wrong, go on otherwise.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "faces.h"

namespace velmoro {

namespace texts {
inline constexpr std::string_view kEmptyDataFile = "ERROR! The data file is empty!\r\n";
inline constexpr std::string_view kNotStarted = "Download not started: ";
inline constexpr std::string_view kLooksLikeText =
    "the data file looks like a text file, perhaps an object catalogue, not a firmware image.";
// A catalogue without a single object would leave the controller with none.
inline constexpr std::string_view kNoObjects =
    "the catalogue holds no objects; sending it erases the hand controller's whole catalogue "
    "and leaves it empty.";
inline constexpr std::string_view kNoObjectsQuestion =
    "The catalogue holds no objects.\n\nYes erases the hand controller's whole catalogue and "
    "leaves it empty; No leaves the catalogue in it as it is.\n\nSend the empty catalogue "
    "anyway?";
}  // namespace texts

struct Preflight {
    enum class Verdict { Go, Ask, Refuse };
    Verdict verdict = Verdict::Go;
    // Refuse: the log line. Ask: the reason, which the question shows and
    // which the log line keeps when the answer is No.
    std::string reason;
    std::string question;
    // A log line for a file that goes: what the transfer leaves out of it.
    std::string notice;
    // Upper end of the progress range: the steps the transfer will make.
    std::int32_t progressUpper = 0;
};

// bytes: the data file as Start read it; units: its unit count.
Preflight CheckDataFile(std::span<const std::uint8_t> bytes, UpdateType type, std::int32_t units);

// The log line for a question answered No.
std::string NotStartedText(std::string_view reason);

}  // namespace velmoro
