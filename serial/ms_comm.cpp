// What the back-ends of CMSComm share: the settings text and the event.

#include "ms_comm.h"

#include <charconv>

namespace velmoro {

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

bool ParseInt(std::string_view text, int& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

}  // namespace

bool ParseLineSettings(std::string_view text, LineSettings& settings) {
    std::string_view parts[4];
    for (int i = 0; i < 4; ++i) {
        const std::size_t comma = text.find(',');
        if ((comma == std::string_view::npos) != (i == 3)) {
            return false;
        }
        parts[i] = Trimmed(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    }
    LineSettings parsed;
    if (!ParseInt(parts[0], parsed.baudRate) || parsed.baudRate <= 0) {
        return false;
    }
    if (parts[1].size() != 1) {
        return false;
    }
    const char parity = static_cast<char>(parts[1][0] | 0x20);  // either case
    if (parity != 'n' && parity != 'e' && parity != 'o' && parity != 'm' && parity != 's') {
        return false;
    }
    parsed.parity = parity;
    if (!ParseInt(parts[2], parsed.dataBits) || parsed.dataBits < 5 || parsed.dataBits > 8) {
        return false;
    }
    if (parts[3] == "1") {
        parsed.stopTenths = 10;
    } else if (parts[3] == "1.5") {
        parsed.stopTenths = 15;
    } else if (parts[3] == "2") {
        parsed.stopTenths = 20;
    } else {
        return false;
    }
    settings = parsed;
    return true;
}

bool CMSComm::SetSettings(std::string_view settings) {
    return ParseLineSettings(settings, settings_);
}

void CMSComm::SetOutput(std::string_view text) {
    SetOutput(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                            text.size()));
}

bool CMSComm::IsShownDevice(const std::string& device) {
    if (!shownDevice_ || *shownDevice_ == device) {
        return true;
    }
    const std::string port = "COM" + std::to_string(commPort_);
    errorText_ = "Cannot open " + port + ": it now reaches " + device + ", " +
                 (shownDevice_->empty() ? "where the port list showed nothing there"
                                        : "not " + *shownDevice_ + " as the port list showed") +
                 ". A serial device was plugged in or out since. Open the port list to see "
                 "the ports as they are now, and choose the port again.";
    return false;
}

void CMSComm::Raise(short event) {
    commEvent_ = event;
    if (onComm_) {
        onComm_();
    }
}

}  // namespace velmoro
