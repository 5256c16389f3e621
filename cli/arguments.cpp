// velmoro-downloader-cli: the downloader without a window. Its arguments,
// the same on every platform:
//   download --port PORT --type main|catalog FILE [--timeout SECONDS] [--force]
//            [--report REPORT]
//   check CATALOG [--show]
//   convert CATALOG OUTPUT
//   ports
//   reports
//   doctor [--port PORT]
// Options take their value as the next argument or after "=" (--port=COM1),
// and may stand before or after the command's other arguments; "--" ends the
// options.

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <limits>
#include <map>
#include <string_view>

#include "commands.h"
#include "velmoro_version.h"

namespace velmoro {

namespace {

const char kProgram[] = "velmoro-downloader-cli";

const char kHelp[] =
    "Usage: velmoro-downloader-cli [options] command\n"
    "Loads a firmware image (main) or an object catalogue (catalog) into the hand controller.\n"
    "\n"
    "Commands:\n"
    "  download --port PORT --type main|catalog FILE [--timeout SECONDS] [--force]\n"
    "           [--report REPORT]\n"
    "      PORT is COM1..COM9 or a device path. Log lines go to stdout.\n"
    "      A file that looks wrong (a text file as main, a catalogue with problems or\n"
    "      without a single object) is not sent unless --force is given.\n"
    "      Exit: 0 finished, 1 error reply, 2 usage, 3 data file missing, unreadable,\n"
    "      refused or not sent, 4 port cannot be opened, 5 no reply within --timeout,\n"
    "      6 port failed, 7 finished but REPORT could not be written, 130 stopped\n"
    "      with Ctrl-C.\n"
    "      Every download leaves a report (see reports); --report also writes it to\n"
    "      REPORT, however the download ends; REPORT is replaced only once the new\n"
    "      report is written whole.\n"
    "  check CATALOG [--show]\n"
    "      Lists every problem of a catalogue's lines as FILE:LINE:COLUMN: problem;\n"
    "      --show also prints every record as the controller will hold it.\n"
    "      Exit: 0 no problems, 1 problems found, 3 unreadable or refused.\n"
    "  convert CATALOG OUTPUT\n"
    "      Writes the block payloads a catalogue download sends, a line per block.\n"
    "  ports\n"
    "      Shows the device that each of COM1..COM9 reaches, and the serial devices.\n"
    "  reports\n"
    "      Lists the reports of the last 20 transfers, oldest first, and their folder.\n"
    "      Attach the report of a failed transfer when asking for help.\n"
    "  doctor [--port PORT]\n"
    "      Checks a port (COM1..COM9 when left out): whether the device exists, whether\n"
    "      this user may open it, programs and services that hold it, the USB adapter\n"
    "      and its driver's latency; says what to do about each finding. Changes nothing.\n"
    "      On Windows it checks that the port exists and opens; the deeper checks are\n"
    "      Linux-only.\n"
    "      Exit: 0 no problems (warnings allowed), 1 a problem found, 2 usage.\n"
    "\n"
    "On Linux and macOS, COMn is the n-th serial device present (USB adapters first);\n"
    "the variable VELMORO_COM<n> names the device of COMn explicitly. On Windows, COMn\n"
    "is the port of that name.\n"
    "\n"
    "Options:\n"
    "  -h, --help           Displays help on commandline options.\n"
    "  -v, --version        Displays version information.\n"
    "  --port <PORT>        download, doctor: COM1..COM9 or a serial device path.\n"
    "  --type <TYPE>        download: main (firmware) or catalog (object catalogue).\n"
    "  --timeout <SECONDS>  download: stop when the controller has sent nothing for\n"
    "                       SECONDS.\n"
    "  --force              download: send a file that looks wrong without asking.\n"
    "  --report <REPORT>    download: write the transfer's report to REPORT too.\n"
    "  --show               check: print every record as the controller will hold it.\n"
    "\n"
    "Arguments:\n"
    "  command              download, check, convert, ports, reports or doctor.\n";

const char kBadPort[] = "--port must be COM1 to COM9 or a device path.";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "%s: %s\n\n%s", kProgram, problem.c_str(), kHelp);
    return kExitUsage;
}

bool StartsWithCom(std::string_view text) {
    return text.size() >= 3 && (text[0] | 0x20) == 'c' && (text[1] | 0x20) == 'o' &&
           (text[2] | 0x20) == 'm';
}

// COM1..COM9, any case (number 1 to 9), or a device path (number 0).
bool ParsePort(const std::string& text, int& number) {
    if (text.size() == 4 && StartsWithCom(text) && text[3] >= '1' && text[3] <= '9') {
        number = text[3] - '0';
        return true;
    }
    number = 0;
    return !text.empty() && !StartsWithCom(text);
}

// The arguments taken apart: options with their values, in order, and the
// positional arguments (the command first).
struct Parsed {
    std::multimap<std::string, std::string> values;
    std::vector<std::string> flags;  // help, version, and the command's flags
    std::vector<std::string> positional;
    std::string error;  // empty when the arguments parse

    bool Has(const std::string& name) const {
        return values.count(name) > 0 || std::find(flags.begin(), flags.end(), name) != flags.end();
    }
    // The value given last, as with options given more than once.
    std::string Value(const std::string& name) const {
        auto range = values.equal_range(name);
        return range.first == range.second ? std::string() : std::prev(range.second)->second;
    }
    std::vector<std::string> Values(const std::string& name) const {
        std::vector<std::string> all;
        for (auto [at, end] = values.equal_range(name); at != end; ++at) {
            all.push_back(at->second);
        }
        return all;
    }
};

// The options of this command: valueOptions take a value, flagOptions none.
Parsed Parse(const std::vector<std::string>& arguments,
             const std::vector<std::string>& valueOptions,
             const std::vector<std::string>& flagOptions = {}) {
    Parsed parsed;
    std::vector<std::string> unknown;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            parsed.positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const bool isLong = argument[1] == '-';
        std::string name = argument.substr(isLong ? 2 : 1);
        std::string value;
        const std::size_t equals = isLong ? name.find('=') : std::string::npos;
        const bool hasValue = equals != std::string::npos;
        if (hasValue) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "h" || name == "?" || name == "help" || name == "help-all") {
            parsed.flags.emplace_back("help");
        } else if (name == "v" || name == "version") {
            parsed.flags.emplace_back("version");
        } else if (isLong &&
                   std::find(flagOptions.begin(), flagOptions.end(), name) != flagOptions.end()) {
            parsed.flags.push_back(name);
        } else if (!isLong || std::find(valueOptions.begin(), valueOptions.end(), name) ==
                                  valueOptions.end()) {
            unknown.push_back(name);
            continue;
        } else {
            if (!hasValue) {
                if (i + 1 == arguments.size()) {
                    parsed.error = "Missing value after '" + argument + "'.";
                    continue;
                }
                value = arguments[++i];
            }
            parsed.values.emplace(name, value);
            continue;
        }
        if (hasValue) {
            parsed.error = "Unexpected value after '--" + name + "'.";
        }
    }
    if (unknown.size() == 1) {
        parsed.error = "Unknown option '" + unknown[0] + "'.";
    } else if (unknown.size() > 1) {
        parsed.error = "Unknown options: " + unknown[0];
        for (std::size_t i = 1; i < unknown.size(); ++i) {
            parsed.error += ", " + unknown[i];
        }
        parsed.error += ".";
    }
    return parsed;
}

// The silence timer counts milliseconds in an int.
constexpr int kMaxTimeoutSeconds = std::numeric_limits<int>::max() / 1000;

// Digits only: a unit, a fraction, a sign or a space after or before them
// refuses the value whole rather than leaving the number where it stops.
bool ParseSeconds(const std::string& text, int& seconds) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, seconds);
    return !text.empty() && error == std::errc() && stop == end && seconds > 0 &&
           seconds <= kMaxTimeoutSeconds;
}

int Download(const std::vector<std::string>& arguments) {
    const Parsed parsed = Parse(arguments, {"port", "type", "timeout", "report"}, {"force"});
    if (!parsed.error.empty()) {
        return Usage(parsed.error);
    }
    if (parsed.positional.size() != 2) {
        return Usage("download takes exactly one data file.");
    }
    DownloadOptions options;
    const std::string port = parsed.Value("port");
    if (!ParsePort(port, options.portNumber)) {
        return Usage(kBadPort);
    }
    if (options.portNumber == 0) {
        options.devicePath = port;
    }
    const std::string type = parsed.Value("type");
    if (type == "main") {
        options.type = UpdateType::MainProgram;
    } else if (type == "catalog") {
        options.type = UpdateType::ObjectCatalog;
    } else {
        return Usage("--type must be main or catalog.");
    }
    if (parsed.Has("timeout") && !ParseSeconds(parsed.Value("timeout"), options.timeoutSeconds)) {
        return Usage("--timeout takes a whole number of seconds from 1 to " +
                     std::to_string(kMaxTimeoutSeconds) + ".");
    }
    options.force = parsed.Has("force");
    if (parsed.Has("report")) {
        if (parsed.Value("report").empty()) {
            return Usage("--report takes a file name.");
        }
        options.reportFile = PathFromArgument(parsed.Value("report"));
    }
    options.dataFile = PathFromArgument(parsed.positional[1]);
    return RunDownload(options);
}

int Check(const std::vector<std::string>& arguments) {
    const Parsed parsed = Parse(arguments, {}, {"show"});
    if (!parsed.error.empty()) {
        return Usage(parsed.error);
    }
    if (parsed.positional.size() != 2) {
        return Usage("check takes exactly one catalogue.");
    }
    return RunCheck(PathFromArgument(parsed.positional[1]), parsed.Has("show"));
}

int Doctor(const std::vector<std::string>& arguments) {
    const Parsed parsed = Parse(arguments, {"port"});
    if (!parsed.error.empty()) {
        return Usage(parsed.error);
    }
    if (parsed.positional.size() != 1) {
        return Usage("doctor takes no arguments besides --port.");
    }
    std::vector<std::string> ports;
    for (const std::string& port : parsed.Values("port")) {
        int number = 0;
        if (!ParsePort(port, number)) {
            return Usage(kBadPort);
        }
        ports.push_back(number > 0 ? "COM" + std::to_string(number) : port);
    }
    return RunDoctor(ports);
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments) {
    // Help and version are looked for first, wherever they stand; the
    // options of the commands are checked by each command.
    const Parsed first = Parse(arguments, {});
    const auto wants = [&first](const char* flag) {
        return std::find(first.flags.begin(), first.flags.end(), flag) != first.flags.end();
    };
    if (wants("version")) {
        std::printf("%s %s\n", kProgram, build::kVersionLine);
        return kExitFinished;
    }
    if (wants("help")) {
        std::fputs(kHelp, stdout);
        return kExitFinished;
    }
    if (first.positional.empty()) {
        return Usage("no command given.");
    }
    const std::string& command = first.positional.front();
    if (command == "download") {
        return Download(arguments);
    }
    if (command == "doctor") {
        return Doctor(arguments);
    }
    if (command == "check") {
        return Check(arguments);
    }
    if (!first.error.empty()) {
        return Usage(first.error);
    }
    if (command == "convert") {
        if (first.positional.size() != 3) {
            return Usage("convert takes a catalogue and an output file.");
        }
        return RunConvert(PathFromArgument(first.positional[1]),
                          PathFromArgument(first.positional[2]));
    }
    if (command == "ports") {
        return RunPorts();
    }
    if (command == "reports") {
        if (first.positional.size() != 1) {
            return Usage("reports takes no arguments.");
        }
        return RunReports();
    }
    return Usage("unknown command " + command + ".");
}

}  // namespace velmoro
