// boardsim: the 24-channel detection board, played on a pseudo-terminal.
#include "link/port_names.h"
#include "simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <csignal>
#include <cstdio>
#include <variant>

namespace {

const char* const kDescription =
    "Plays the 24-channel detection board on a pseudo-terminal, so that Kestrel and Wrenfield\n"
    "can be run and tested without hardware. The terminal is linked as DIR/comN, which the\n"
    "programs open as port N: they look beside themselves first, then in the user's folder.";

const char* const kMoreHelp = R"(
With --log every frame is printed as it passes:
  rx 55 01 10 00 00 00 00 66   a request frame received
  tx 22 01 00 00 5A 5A 5A 31   a reply sent
  skip 13 00                   bytes received that were not part of a valid request
  noise 7F                     stray bytes sent

Examples:
  boardsim &
      port 1 beside the programs (or in the user's folder), address 1, channels 0x5A5A5A
  boardsim --dir build/bin --port 2 --address 7 --walk 500
      a board at address 7, linked as build/bin/com2, whose pattern moves every 0.5 s
  boardsim --address 1-8 --walk 1000
      eight boards on one line at 9600 baud, their patterns moving every second
  boardsim --log --noise-every 10 --invalid-every 25
      a noisy line; every frame printed
  boardsim --silent
      a board that never answers)";

// Without --dir the link goes beside the program, where the programs look first, when that
// folder is ours to write; otherwise to the user's folder, where they look next.
QString DefaultDir()
{
    if (board::OwnFolderWritable(QCoreApplication::applicationDirPath()))
        return QCoreApplication::applicationDirPath();
    QDir().mkpath(board::UserFolder());
    return board::UserFolder();
}

// --help, or a command line that cannot be run: the text to print and the exit code.
struct ExitNow
{
    int code;
    QString text; // on stdout for code 0, else on stderr
};

std::variant<boardsim::SimOptions, ExitNow> ParseOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({
        {{"h", "help"}, "Show this help and exit."},
        {"dir",
         "Directory for the comN link (default: the program's own folder when it can be written, "
         "else " +
             board::UserFolder() + ").",
         "DIR"},
        {"port", "Port number N: the link is DIR/comN (default: 1).", "N", "1"},
        {"address",
         "Board address 0..255 that the board answers (default: 1); a list such as 1,2,7 or "
         "1-8 makes a bus, one board per address, each answering only its own.",
         "A", "1"},
        {"pattern", "Each board's first channels as hex, bit n-1 = channel n (default: 0x5A5A5A).",
         "HEX", "0x5A5A5A"},
        {"walk", "Rotate each board's pattern by one channel every MS milliseconds.", "MS", "0"},
        {"delay", "Wait MS milliseconds before each reply.", "MS", "0"},
        {"baud",
         "Send at N baud, 10 bits a byte, and answer only once a whole request could have "
         "arrived, so that timings on the terminal mean what they would on a wire; 0 sends at "
         "once (default: 9600 on a bus, else 0).",
         "N"},
        {"silent", "Never answer (commands are still carried out)."},
        {"invalid-every", "Give every Nth reply a wrong checksum.", "N", "0"},
        {"noise-every", "Send a random stray byte before every Nth reply.", "N", "0"},
        {"seed", "Seed for the random bytes, to repeat a run exactly.", "N"},
        {"log", "Print every frame received and sent on stdout."},
    });
    const auto usageError = [](const QString& what) {
        return ExitNow{2, "boardsim: " + what + "\nTry 'boardsim --help'."};
    };
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet("help")) {
        // Qt names the program by the full path it was started with; the bare name reads better.
        QString text = parser.helpText();
        text.replace(0, text.indexOf('\n'), "Usage: boardsim [options]");
        text +=
            "\nCommands on standard input, one a line, each acknowledged with \"ok <command>\"\n"
            "(or \"error <command>: <reason>\"); the end of standard input does not stop it:\n";
        for (const QString& line : boardsim::Simulator::commandHelp())
            text += "  " + line + '\n';
        return ExitNow{0, text + kMoreHelp};
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError("unexpected argument '" + parser.positionalArguments().first() + "'");

    std::optional<QString> bad;
    const auto number = [&](const QString& name, unsigned max) {
        bool ok = false;
        const unsigned value = parser.value(name).toUInt(&ok);
        if ((!ok || value > max) && !bad)
            bad = QString("--%1 wants a whole number from 0 to %2, not '%3'")
                      .arg(name)
                      .arg(max)
                      .arg(parser.value(name));
        return value;
    };
    constexpr unsigned kMaxMs = 3'600'000;
    constexpr unsigned kUnlimited = 0xFFFFFFFF;
    boardsim::SimOptions options;
    options.port = number("port", 255);
    options.baud = parser.isSet("baud") ? number("baud", 4'000'000) : 0;
    options.walkMs = number("walk", kMaxMs);
    options.delayMs = number("delay", kMaxMs);
    options.invalidEvery = number("invalid-every", kUnlimited);
    options.noiseEvery = number("noise-every", kUnlimited);
    options.seed = parser.isSet("seed") ? number("seed", kUnlimited) : std::random_device{}();
    options.silent = parser.isSet("silent");
    options.log = parser.isSet("log");
    if (bad)
        return usageError(*bad);
    const auto addresses = board::ParseAddresses(parser.value("address"));
    if (!addresses)
        return usageError("--address wants addresses 0..255 such as 7, 1,2,7 or 1-8, not '" +
                          parser.value("address") + "'");
    options.addresses = *addresses;
    if (!parser.isSet("baud") && addresses->size() > 1)
        options.baud = 9600;
    const auto pattern = boardsim::ParsePattern(parser.value("pattern"));
    if (!pattern)
        return usageError("--pattern wants 1 to 6 hex digits (e.g. 0x5A5A5A), not '" +
                          parser.value("pattern") + "'");
    options.pattern = *pattern;
    const QString dir = parser.isSet("dir") ? parser.value("dir") : DefaultDir();
    if (dir.isEmpty())
        return usageError("--dir must not be empty");
    if (const QFileInfo info(dir); !info.isDir())
        return ExitNow{1, "boardsim: --dir " + dir +
                              (info.exists() ? ": not a directory" : ": no such directory")};
    options.link = QDir::cleanPath(QDir(dir).absoluteFilePath(QString("com%1").arg(options.port)));
    return options;
}

} // namespace

int main(int argc, char* argv[])
{
    // A reader of stdout that goes away must not stop the board (its lines are lost), nor may the
    // terminal's job control when it runs in the background of a shell (reading stdin fails then).
    for (const int signal : {SIGPIPE, SIGTTIN, SIGTTOU})
        std::signal(signal, SIG_IGN);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // a script waits on each line as it is printed
    try {
        // Before anything could start a thread that would receive the signals instead.
        const board::StopSignals stopSignals;
        const QCoreApplication app(argc, argv);
        const auto parsed = ParseOptions(QCoreApplication::arguments());
        if (const auto* exit = std::get_if<ExitNow>(&parsed)) {
            std::fputs(qPrintable(exit->text + '\n'), exit->code == 0 ? stdout : stderr);
            return exit->code;
        }
        const boardsim::Simulator simulator(std::get<boardsim::SimOptions>(parsed), stopSignals);
        return QCoreApplication::exec();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "boardsim: %s\n", e.what());
        return 1;
    }
}
