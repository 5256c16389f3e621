#include "look.h"

namespace velmoro::window {

namespace {

constexpr std::string_view kLookKey = "look=";
constexpr std::string_view kNightValue = "night";
constexpr std::string_view kDayValue = "day";

}  // namespace

drawing::Look StartingLook(drawing::Look remembered, const std::vector<std::string>& arguments) {
    drawing::Look look = remembered;
    for (const std::string& argument : arguments) {
        drawing::LookFromArgument(argument, look);
    }
    return look;
}

drawing::Look ChooseOtherLook(drawing::Look current) {
    const drawing::Look other =
        current == drawing::Look::kNight ? drawing::Look::kDay : drawing::Look::kNight;
    RememberLook(other);
    return other;
}

std::string LookSettings(drawing::Look look) {
    return std::string(kLookKey) +
           std::string(look == drawing::Look::kNight ? kNightValue : kDayValue) + "\n";
}

drawing::Look LookFromSettings(std::string_view text) {
    drawing::Look look = drawing::Look::kDay;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        // A file edited on Windows keeps its line ends.
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.starts_with(kLookKey)) {
            const std::string_view value = line.substr(kLookKey.size());
            look = value == kNightValue ? drawing::Look::kNight : drawing::Look::kDay;
        }
    }
    return look;
}

}  // namespace velmoro::window
