// boardsim: the 24-channel detection board, played on a pseudo-terminal.
#include "link/command_line.h"
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
    "Plays the 24-channel detection board on a pseudo-terminal, so that Kestrel and\n"
    "Wrenfield can be run and tested without hardware. The terminal is linked as\n"
    "DIR/comN, which the programs open as port N: they look beside themselves first,\n"
    "then in the user's folder.";

const char* const kMoreHelp = R"(
With --log every frame is printed as it passes:
  rx 55 01 10 00 00 00 00 66   a request frame received
  tx 22 01 00 00 5A 5A 5A 31   a reply sent
  skip 13 00                   bytes received outside a valid request
  noise 7F                     stray bytes sent

Examples:
  boardsim &
      port 1 beside the programs (or in the user's folder), address 1,
      channels 0x5A5A5A
  boardsim --dir build/bin --port 2 --address 7 --walk 500
      a board at address 7 as build/bin/com2, its pattern moving every 0.5 s
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

// An option: how its value is read, and its name, argument, default, range and help.
struct SimOption
{
    // Takes the value, or the default, into `options`; what is wrong with it, if anything.
    QString (*read)(const SimOption& option, boardsim::SimOptions& options, const QString& value);
    board::OptionText text;
    unsigned boardsim::SimOptions::*number = nullptr; // where a whole number goes
};

QString ReadNumber(const SimOption& option, boardsim::SimOptions& options, const QString& value)
{
    const auto [min, max] = std::pair(qint64(option.text.min), qint64(option.text.max));
    const auto number = board::WholeNumber(value, min, max);
    options.*option.number = unsigned(number.value_or(0));
    return number ? QString()
                  : QString("--%1 wants a whole number from %2 to %3, not '%4'")
                        .arg(option.text.name, QString::number(min), QString::number(max), value);
}

constexpr double kUnlimited = 0xFFFFFFFF;
using boardsim::SimOptions;

// clang-format off
const SimOption kOptions[] = {
    // Read after the others, for the link's name has the port's number in it.
    {nullptr, {"dir", "DIR", nullptr, 0, -1, nullptr, "directory for the comN link (default: the "
     "program's own folder when it can be written, else %1)"}},
    {ReadNumber, {"port", "N", "1", 0, 255, nullptr, "port number N: the link is DIR/comN"},
     &SimOptions::port},
    {[](auto&, auto& o, auto& list) {
         o.addresses = board::ParseAddresses(list).value_or(std::vector<std::uint8_t>());
         return o.addresses.empty() ? "--address wants addresses 0..255 such as 7, 1,2,7 or 1-8, "
             "not '" + list + "'" : QString();
     }, {"address", "A", "1", 0, 255, nullptr, "board address that the board answers; a list such "
     "as 1,2,7 or 1-8 makes a bus, one board per address, each answering only its own"}},
    {[](auto&, auto& o, auto& hex) {
         const auto pattern = boardsim::ParsePattern(hex);
         o.pattern = pattern.value_or(0);
         return pattern ? QString()
                        : "--pattern wants 1 to 6 hex digits (e.g. 0x5A5A5A), not '" + hex + "'";
     }, {"pattern", "HEX", "0x5A5A5A", 0, -1, nullptr,
     "each board's first channels as hex, bit n-1 = channel n"}},
    {ReadNumber, {"walk", "MS", "0", 0, board::kMaxMs, nullptr,
     "rotate each board's pattern by one channel every MS milliseconds; 0: never"},
     &SimOptions::walkMs},
    {ReadNumber, {"delay", "MS", "0", 0, board::kMaxMs, nullptr,
     "wait MS milliseconds before each reply"},
     &SimOptions::delayMs},
    {ReadNumber, {"baud", "N", nullptr, 0, 4'000'000, nullptr, "send at N baud, 10 bits a byte, "
     "and answer only once a whole request could have arrived, so that timings on the terminal "
     "mean what they would on a wire; 0 sends at once; by default 9600 on a bus, else 0"},
     &SimOptions::baud},
    {[](auto&, auto& o, auto&) { return o.silent = true, QString(); },
     {"silent", nullptr, nullptr, 0, -1, nullptr, "never answer (commands are still carried out)"}},
    {ReadNumber, {"invalid-every", "N", "0", 0, kUnlimited, nullptr,
     "give every Nth reply a wrong checksum; 0: none"}, &SimOptions::invalidEvery},
    {ReadNumber, {"noise-every", "N", "0", 0, kUnlimited, nullptr,
     "send a random stray byte before every Nth reply; 0: none"}, &SimOptions::noiseEvery},
    {ReadNumber, {"seed", "N", nullptr, 0, kUnlimited, nullptr,
     "seed for the random bytes, to repeat a run exactly; by default a random one"},
     &SimOptions::seed},
    {[](auto&, auto& o, auto&) { return o.log = true, QString(); },
     {"log", nullptr, nullptr, 0, -1, nullptr, "print every frame received and sent on stdout"}},
    {nullptr, {"help", nullptr, nullptr, 0, -1, nullptr, "show this help and exit"}},
};
// clang-format on

QString Help()
{
    QList<std::pair<QString, QString>> rows;
    for (const SimOption& option : kOptions) {
        rows << board::HelpRow(option.text);
        rows.last().second.replace("%1", board::UserFolder()); // --dir's, as it is here
    }
    QString text = QString("Usage: boardsim [options]\n") + kDescription + "\n\nOptions:\n" +
                   board::HelpRows(rows) +
                   "\nCommands on standard input, one a line, each acknowledged with \"ok "
                   "<command>\"\n(or \"error <command>: <reason>\"); the end of standard input "
                   "does not stop it:\n";
    for (const QString& line : boardsim::Simulator::commandHelp())
        text += "  " + line + '\n';
    return text + kMoreHelp;
}

std::variant<SimOptions, board::ExitNow> ParseOptions(const QStringList& arguments)
{
    const auto usageError = [](const QString& what) {
        return board::ExitNow{2, "boardsim: " + what + "\nTry 'boardsim --help'."};
    };
    QCommandLineParser parser;
    if (!board::Parse(parser, kOptions, arguments))
        return usageError(parser.errorText());
    if (parser.isSet("help"))
        return board::ExitNow{0, Help()};
    if (!parser.positionalArguments().isEmpty())
        return usageError("unexpected argument '" + parser.positionalArguments().first() + "'");
    SimOptions options;
    for (const SimOption& row : kOptions) {
        const bool given = parser.isSet(row.text.name);
        const QString bad =
            row.read && (given || row.text.fallback)
                ? row.read(row, options, given ? parser.value(row.text.name) : row.text.fallback)
                : QString();
        if (!bad.isEmpty())
            return usageError(bad);
    }
    if (!parser.isSet("baud") && options.addresses.size() > 1)
        options.baud = 9600;
    if (!parser.isSet("seed"))
        options.seed = std::random_device{}();
    const QString dir = parser.isSet("dir") ? parser.value("dir") : DefaultDir();
    if (dir.isEmpty())
        return usageError("--dir must not be empty");
    if (const QFileInfo info(dir); !info.isDir())
        return board::ExitNow{1, "boardsim: --dir " + dir +
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
        if (const auto* exit = std::get_if<board::ExitNow>(&parsed)) {
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
