#include "options.h"

#include "board_state.h"

#include <QCommandLineParser>

#include <limits>

namespace boardsim {
namespace {

constexpr auto kMaxMs = 3'600'000u;
constexpr auto kUnlimited = std::numeric_limits<std::uint32_t>::max();

const char* const kDescription =
    "Plays the 24-channel detection board on a pseudo-terminal, so that Kestrel and Wrenfield\n"
    "can be run and tested without hardware. The terminal is linked as DIR/comN, which the\n"
    "programs open as port N.";

const char* const kMoreHelp = R"(
Commands on standard input, one a line, each acknowledged with "ok <command>"
(or "error <command>: <reason>"):
  pattern HEX    set the channels, bit n-1 = channel n (e.g. pattern 0xFF00FF)
  silence MS     answer nothing for MS milliseconds
  silent on|off  stop or resume answering
  burst          send a status frame and 4 stray bytes in one go (12 bytes)
  noise N        send N random bytes now
  invalid        give the next reply a wrong checksum
  unplug         close the terminal and remove the link, as if the cable were pulled
  replug         open a new terminal and link it again
  help           list these commands
  quit           remove the link and exit (so do Ctrl+C and SIGTERM)
The end of standard input is not a reason to stop.

With --log every frame is printed as it passes:
  rx 55 01 10 00 00 00 00 66   a request frame received
  tx 22 01 00 00 5A 5A 5A 31   a reply sent
  skip 13 00                   bytes received that were not part of a valid request
  noise 7F                     stray bytes sent

Examples:
  boardsim
      port 1 in the current directory, board address 1, channels 0x5A5A5A
  boardsim --dir build/bin --port 2 --address 7 --walk 500
      a board at address 7, linked as build/bin/com2, whose pattern moves every 0.5 s
  boardsim --log --noise-every 10 --invalid-every 25
      a noisy line; every frame printed
  boardsim --silent
      a board that never answers)";

struct NumberOption
{
    QCommandLineOption option;
    std::uint32_t min;
    std::uint32_t max;
};

NumberOption Number(const QString& name, const QString& description, const QString& valueName,
                    const QString& fallback, std::uint32_t min, std::uint32_t max)
{
    return {QCommandLineOption(name, description, valueName, fallback), min, max};
}

} // namespace

std::variant<SimOptions, ExitNow> ParseOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption dir("dir", "Directory for the comN link (default: .).", "DIR", ".");
    const NumberOption port =
        Number("port", "Port number N: the link is DIR/comN (default: 1).", "N", "1", 0, 255);
    const NumberOption address = Number(
        "address", "Board address 0..255 that the board answers (default: 1).", "A", "1", 0, 255);
    const QCommandLineOption pattern(
        "pattern", "Initial channels as hex, bit n-1 = channel n (default: 0x5A5A5A).", "HEX",
        "0x5A5A5A");
    const NumberOption walk = Number(
        "walk", "Rotate the pattern by one channel every MS milliseconds.", "MS", "0", 0, kMaxMs);
    const NumberOption delay =
        Number("delay", "Wait MS milliseconds before each reply.", "MS", "0", 0, kMaxMs);
    const QCommandLineOption silent("silent", "Never answer (commands are still carried out).");
    const NumberOption invalidEvery =
        Number("invalid-every", "Give every Nth reply a wrong checksum.", "N", "0", 0, kUnlimited);
    const NumberOption noiseEvery = Number(
        "noise-every", "Send a random stray byte before every Nth reply.", "N", "0", 0, kUnlimited);
    const NumberOption seed = Number("seed", "Seed for the random bytes, to repeat a run exactly.",
                                     "N", "", 0, kUnlimited);
    const QCommandLineOption log("log", "Print every frame received and sent on stdout.");

    parser.addOption(help);
    parser.addOption(dir);
    for (const NumberOption* number : {&port, &address})
        parser.addOption(number->option);
    parser.addOption(pattern);
    for (const NumberOption* number : {&walk, &delay})
        parser.addOption(number->option);
    parser.addOption(silent);
    for (const NumberOption* number : {&invalidEvery, &noiseEvery, &seed})
        parser.addOption(number->option);
    parser.addOption(log);

    const auto usageError = [&](const QString& what) {
        return ExitNow{2, ("boardsim: " + what + "\nTry 'boardsim --help'.").toStdString()};
    };
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        // Qt names the program by the full path it was started with; the bare name reads better.
        QString text = parser.helpText();
        text.replace(0, text.indexOf('\n'), "Usage: boardsim [options]");
        return ExitNow{0, (text + kMoreHelp).toStdString()};
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError("unexpected argument '" + parser.positionalArguments().first() + "'");

    std::optional<QString> badNumber;
    const auto numberOf = [&](const NumberOption& number) -> std::uint32_t {
        bool ok = false;
        const QString text = parser.value(number.option);
        const auto value = text.toULong(&ok, 10);
        if (!ok || value < number.min || value > number.max) {
            badNumber = QString("--%1 wants a whole number from %2 to %3, not '%4'")
                            .arg(number.option.names().first())
                            .arg(number.min)
                            .arg(number.max)
                            .arg(text);
            return 0;
        }
        return static_cast<std::uint32_t>(value);
    };

    SimOptions options;
    options.dir = parser.value(dir).toStdString();
    options.port = numberOf(port);
    options.address = static_cast<std::uint8_t>(numberOf(address));
    options.walkMs = numberOf(walk);
    options.delayMs = numberOf(delay);
    options.invalidEvery = numberOf(invalidEvery);
    options.noiseEvery = numberOf(noiseEvery);
    if (parser.isSet(seed.option))
        options.seed = numberOf(seed);
    options.silent = parser.isSet(silent);
    options.logTraffic = parser.isSet(log);
    if (badNumber)
        return usageError(*badNumber);

    const auto initial = ParsePattern(parser.value(pattern).toStdString());
    if (!initial)
        return usageError("--pattern wants 1 to 6 hex digits (e.g. 0x5A5A5A), not '" +
                          parser.value(pattern) + "'");
    options.pattern = *initial;
    if (options.dir.empty())
        return usageError("--dir must not be empty");
    return options;
}

} // namespace boardsim
