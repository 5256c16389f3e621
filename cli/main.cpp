// velmoro-downloader-cli: the downloader without a window.
//   download --port PORT --type main|catalog FILE [--timeout SECONDS] [--force]
//   check CATALOG [--show]
//   convert CATALOG OUTPUT
//   ports
//   doctor [--port PORT]

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <cstdio>

#include "commands.h"

namespace {

using namespace velmoro;

int Usage(const QCommandLineParser& parser, const QString& problem) {
    std::fprintf(stderr, "velmoro-downloader-cli: %s\n\n%s", problem.toLocal8Bit().constData(),
                 parser.helpText().toLocal8Bit().constData());
    return kExitUsage;
}

const char kDescription[] =
    "Loads a firmware image (main) or an object catalogue (catalog) into the hand controller.\n"
    "\n"
    "Commands:\n"
    "  download --port PORT --type main|catalog FILE [--timeout SECONDS] [--force]\n"
    "      PORT is COM1..COM9 or a device path. Log lines go to stdout.\n"
    "      A file that looks wrong (a text file as main, a catalogue with problems) is\n"
    "      not sent unless --force is given.\n"
    "      Exit: 0 finished, 1 error reply, 2 usage, 3 data file missing, unreadable,\n"
    "      refused or not sent, 4 port cannot be opened, 5 no reply within --timeout,\n"
    "      6 port failed, 130 stopped with Ctrl-C.\n"
    "  check CATALOG [--show]\n"
    "      Lists every problem of a catalogue's lines as FILE:LINE:COLUMN: problem;\n"
    "      --show also prints every record as the controller will hold it.\n"
    "      Exit: 0 no problems, 1 problems found, 3 unreadable or refused.\n"
    "  convert CATALOG OUTPUT\n"
    "      Writes the block payloads a catalogue download sends, a line per block.\n"
    "  ports\n"
    "      Shows the device that each of COM1..COM9 reaches, and the serial devices.\n"
    "  doctor [--port PORT]\n"
    "      Checks a port (COM1..COM9 when left out): whether the device exists, whether\n"
    "      this user may open it, programs and services that hold it, the USB adapter\n"
    "      and its driver's latency; says what to do about each finding. Changes nothing.\n"
    "      Exit: 0 no problems (warnings allowed), 1 a problem found, 2 usage.\n"
    "\n"
    "On Linux and macOS, COMn is the n-th serial device present (USB adapters first);\n"
    "the variable VELMORO_COM<n> names the device of COMn explicitly.";

const char kBadPort[] = "--port must be COM1 to COM9 or a device path.";

// COM1..COM9 (number 1 to 9) or a device path (number 0).
bool ParsePort(const QString& text, int& number) {
    static const QRegularExpression comName("^COM([1-9])$",
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comName.match(text);
    if (match.hasMatch()) {
        number = match.captured(1).toInt();
        return true;
    }
    number = 0;
    return !text.isEmpty() && !text.startsWith("COM", Qt::CaseInsensitive);
}

int Download(QCommandLineParser& parser, const QStringList& arguments) {
    const QCommandLineOption port("port", "COM1..COM9 or a serial device path.", "PORT");
    const QCommandLineOption type("type", "main (firmware) or catalog (object catalogue).", "TYPE");
    const QCommandLineOption timeout(
        "timeout", "Stop when the controller has sent nothing for SECONDS.", "SECONDS");
    const QCommandLineOption force("force", "Send a file that looks wrong without asking.");
    parser.addOptions({port, type, timeout, force});
    if (!parser.parse(arguments)) {
        return Usage(parser, parser.errorText());
    }
    const QStringList files = parser.positionalArguments().mid(1);
    if (files.size() != 1) {
        return Usage(parser, "download takes exactly one data file.");
    }
    DownloadOptions options;
    const QString portText = parser.value(port);
    if (!ParsePort(portText, options.portNumber)) {
        return Usage(parser, kBadPort);
    }
    if (options.portNumber == 0) {
        options.devicePath = portText;
    }
    if (parser.value(type) == "main") {
        options.type = UpdateType::MainProgram;
    } else if (parser.value(type) == "catalog") {
        options.type = UpdateType::ObjectCatalog;
    } else {
        return Usage(parser, "--type must be main or catalog.");
    }
    if (parser.isSet(timeout)) {
        bool ok = false;
        options.timeoutSeconds = parser.value(timeout).toInt(&ok);
        if (!ok || options.timeoutSeconds <= 0) {
            return Usage(parser, "--timeout takes a whole number of seconds above 0.");
        }
    }
    options.force = parser.isSet(force);
    options.dataFile = files[0].toStdU16String();
    return RunDownload(options);
}

int Check(QCommandLineParser& parser, const QStringList& arguments) {
    const QCommandLineOption show("show", "Print every record as the controller will hold it.");
    parser.addOption(show);
    if (!parser.parse(arguments)) {
        return Usage(parser, parser.errorText());
    }
    const QStringList files = parser.positionalArguments().mid(1);
    if (files.size() != 1) {
        return Usage(parser, "check takes exactly one catalogue.");
    }
    return RunCheck(files[0].toStdU16String(), parser.isSet(show));
}

int Doctor(QCommandLineParser& parser, const QStringList& arguments) {
    const QCommandLineOption port("port", "COM1..COM9 or a serial device path; may be repeated.",
                                  "PORT");
    parser.addOption(port);
    if (!parser.parse(arguments)) {
        return Usage(parser, parser.errorText());
    }
    if (parser.positionalArguments().size() != 1) {
        return Usage(parser, "doctor takes no arguments besides --port.");
    }
    QStringList ports;
    for (const QString& portText : parser.values(port)) {
        int number = 0;
        if (!ParsePort(portText, number)) {
            return Usage(parser, kBadPort);
        }
        ports << (number > 0 ? QStringLiteral("COM%1").arg(number) : portText);
    }
    return RunDoctor(ports);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("velmoro-downloader-cli");
    QCoreApplication::setApplicationVersion("2.0");

    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("command", "download, check, convert, ports or doctor.");
    const QStringList arguments = QCoreApplication::arguments();
    // Options of the commands are not known yet: take only help and version.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.parse(arguments);
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet("version")) {
        parser.showVersion();
    }
    if (parser.isSet("help") || parser.isSet("help-all")) {
        parser.showHelp(0);
    }
    if (positional.isEmpty()) {
        return Usage(parser, "no command given.");
    }
    const QString& command = positional.first();
    if (command == "download") {
        return Download(parser, arguments);
    }
    if (command == "doctor") {
        return Doctor(parser, arguments);
    }
    if (command == "check") {
        return Check(parser, arguments);
    }
    if (!parser.parse(arguments)) {
        return Usage(parser, parser.errorText());
    }
    if (command == "convert") {
        if (positional.size() != 3) {
            return Usage(parser, "convert takes a catalogue and an output file.");
        }
        return RunConvert(positional[1].toStdU16String(), positional[2].toStdU16String());
    }
    if (command == "ports") {
        return RunPorts();
    }
    return Usage(parser, "unknown command " + command + ".");
}
