#pragma once

// How a transfer ended. The engine tells every front end once per Start:
// when the controller said it is done, when the user stopped it, when the
// command line's time limit stopped it, when the controller replied with an
// error, when the port went away, or when Start
// refused before anything reached the controller. The command line's exit
// code and every report come from this one value.

#include <cstdint>
#include <string>
#include <string_view>

namespace velmoro {

enum class Ending : std::uint8_t {
    Finished,
    Stopped,     // the user pressed Stop (Ctrl-C presses it too)
    TimeLimit,   // --timeout stopped it as Stop does; detail: the limit it met
    ErrorReply,  // detail: the error reply, such as ":WE_ERR#"
    PortLost,    // detail: what the system reported, possibly empty
    Refused,     // nothing was sent; refusal says why, detail the text shown
};

enum class Refusal : std::uint8_t {
    None,
    PortOpen,        // the port could not be opened; detail: the port's words
    NoDataFile,      // no such file
    UnreadableFile,  // the file is there, but opening or reading it failed
    FileTooLarge,    // larger than the most a data file may be
    FileRefused,     // the file can never work
    Declined,        // the file looks wrong and the user said No
};

// The data file as Start read it; loaded stays false when it never was.
struct DataFileFacts {
    bool loaded = false;
    std::string path;  // UTF-8
    std::uint64_t size = 0;
    std::string sha256;  // lowercase hex
};

struct TransferEnd {
    Ending ending = Ending::Finished;
    Refusal refusal = Refusal::None;
    std::string detail;
    DataFileFacts file;
    // Data blocks the controller acknowledged with ":RB_OK#".
    std::int32_t blocksAcknowledged = 0;
    // The last command or data block sent, and the last reply received (or
    // what had come of the next one, its last kLastReceivedBytes at most),
    // as bytes; empty when there was none.
    std::string lastSent;
    std::string lastReceived;
};

// One line saying how it ended, for people: "finished", "stopped by the
// user", "stopped by the time limit (no reply ... for 30 s)", "error reply
// :WE_ERR#", "port lost (reason)", "refused before
// sending: ...".
std::string DescribeEnding(const TransferEnd& end);

// Bytes as text, each byte that is not printable ASCII as <xx> in hex.
std::string PrintableBytes(std::string_view bytes);

}  // namespace velmoro
