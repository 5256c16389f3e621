#include "transfer_end.h"

#include <cstdio>

namespace velmoro {

std::string DescribeEnding(const TransferEnd& end) {
    switch (end.ending) {
        case Ending::Finished:
            return "finished";
        case Ending::Stopped:
            return "stopped by the user";
        case Ending::TimeLimit:
            return "stopped by the time limit (" + end.detail + ")";
        case Ending::ErrorReply:
            return "error reply " + PrintableBytes(end.detail);
        case Ending::PortLost:
            return end.detail.empty() ? "port lost" : "port lost (" + end.detail + ")";
        case Ending::Refused:
            break;
    }
    std::string why;
    switch (end.refusal) {
        case Refusal::PortOpen:
            why = "the port could not be opened";
            break;
        case Refusal::NoDataFile:
            why = "no data file";
            break;
        case Refusal::UnreadableFile:
            why = "the data file could not be read";
            break;
        case Refusal::FileTooLarge:
            why = "the data file is too large";
            break;
        case Refusal::FileRefused:
            why = "the data file can never work";
            break;
        case Refusal::Declined:
            why = "the user declined a file that looks wrong";
            break;
        case Refusal::None:
            why = "no reason given";
            break;
    }
    return "refused before sending: " + why;
}

std::string PrintableBytes(std::string_view bytes) {
    std::string text;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            text.push_back(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "<%02x>", byte);
            text += hex;
        }
    }
    return text;
}

}  // namespace velmoro
