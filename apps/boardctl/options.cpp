#include "options.h"

#include "exit_codes.h"

#include "link/board_session.h"
#include "link/text.h"

#include <QRegularExpression>

#include <cmath>

namespace boardctl {
namespace {

using board::Tr;

// Bit n: Command(n). kAll: the commands that talk to boards; ports lists the devices.
constexpr unsigned kStatus = 1, kWatch = 2, kToggle = 4, kScan = 8, kAll = 15, kPorts = 16;

// An option: the commands it is for (none: it stands in for a command), how its value is read,
// and its name, argument, default, range and help. A name may have a row per command: the row for
// a command is the one that serves it, else the first, whose default holds all the same (toggle
// polls at --interval's default).
struct Option
{
    unsigned commands;
    // Takes the value, or the default, into `options`; what is wrong with it, if anything.
    QString (*read)(const Option& option, Options& options, const QString& value);
    board::OptionText text;
    int Options::*number = nullptr;                  // where a whole number goes
    const char *zhNoun = nullptr, *enNoun = nullptr; // a number out of range: "port '256' is..."
};

QString ReadNumber(const Option& row, Options& options, const QString& value)
{
    return board::ReadNumber(row.text, row.zhNoun, row.enNoun, value, options.*row.number);
}

// 24 characters 1/0/x for channels 1..24, or "all-on" / "all-off"; nothing when malformed.
std::optional<ChannelPattern> ParseChannelPattern(const QString& text)
{
    static const QRegularExpression form(QRegularExpression::anchoredPattern("[01xX]{24}"));
    const QString bits = text == QLatin1String("all-on")    ? QString(board::kChannels, u'1')
                         : text == QLatin1String("all-off") ? QString(board::kChannels, u'0')
                                                            : text;
    if (!form.match(bits).hasMatch())
        return std::nullopt;
    ChannelPattern pattern;
    for (int i = 0; i < board::kChannels; ++i) {
        pattern.care |= std::uint32_t(bits[i].toLower() != u'x') << i;
        pattern.on |= std::uint32_t(bits[i] == u'1') << i;
    }
    return pattern;
}

// clang-format off
const Option kOptions[] = {
    {kAll, ReadNumber, {"port", "N", "1", 0, 255,
     "串口号：依次取程序所在文件夹中的 comN、~/.local/share/kestrel/comN、/dev/ttyUSB<N-1>、"
     "/dev/ttyACM<N-1>、/dev/ttyS<N-1> 中第一个存在的",
     "port number: the first that exists of comN in boardctl's folder, "
     "~/.local/share/kestrel/comN, /dev/ttyUSB<N-1>, /dev/ttyACM<N-1>, /dev/ttyS<N-1>"},
     &Options::port, "串口号", "port"},
    {kAll, [](auto& row, auto& o, auto& path) { return board::ReadPath(row.text, path, o.device); },
     {"device", "PATH", nullptr, 0, -1, "打开这个设备", "open this device"}},
    {kAll, [](auto&, auto& o, auto& list) {
         o.addresses = board::ParseAddresses(list).value_or(std::vector<std::uint8_t>());
         return o.addresses.empty() ? Tr("地址“%1”不是 0～255 的地址或列表（如 1,3-5）。",
             "address '%1' is not an address 0..255 or a list such as 1,3-5.").arg(list) : "";
     }, {"address", "A", "1", 0, 255,
     "检测板地址；status 和 watch 可以给出列表，如 1,3-5。只接受应答第 1 字节中是该地址的应答",
     "board address; status and watch take a list such as 1,3-5. An answer counts only when "
     "byte 1 carries it"}},
    {kAll, [](auto&, auto& o, auto&) { return o.anyAddress = true, QString(); }, {"any-address",
     nullptr, nullptr, 0, -1,
     "接受任何有效应答，不看其中的地址（只用于一个地址，给不发送自己地址的检测板）",
     "take any valid answer, whatever address it carries (one address only, for a board that "
     "does not send its own)"}},
    {kAll, [](auto& row, auto& o, auto& file) {
         return board::ReadPath(row.text, file, o.namesFile);
     }, {"names", "FILE", nullptr, 0, -1,
     "通道名称文件（默认与 Kestrel 相同：程序旁边的 name.txt，程序文件夹不可写时为 "
     "~/.local/share/kestrel/name.txt，如果有）；没有名称的通道叫“第n路”",
     "channel names (by default, if there is one, Kestrel's name.txt beside boardctl, or "
     "~/.local/share/kestrel/name.txt when that folder cannot be written); a channel without a "
     "name is \"第n路\""}},
    {kAll | kPorts, [](auto&, auto& o, auto&) { return o.format = Format::Json, QString(); },
     {"json", nullptr, nullptr, 0, -1, "JSON 输出（每行一个对象）",
      "JSON output, one object per line"}},
    {kAll | kPorts, [](auto&, auto& o, auto&) { return o.format = Format::Csv, QString(); }, {"csv", nullptr,
     nullptr, 0, -1, "CSV 输出：表头，然后是 time,event,channel,name,state 各行。多个地址时每行都带"
     "地址：JSON 的 \"address\"，CSV 在 time 之后的 address 列",
     "CSV output: a header, then time,event,channel,name,state rows. With several addresses "
     "every line carries the address: \"address\" in JSON, an address column after time in CSV"}},
    {kStatus, [](auto&, auto& o, auto& pattern) {
         o.expect = ParseChannelPattern(pattern);
         return o.expect ? "" : Tr("期望“%1”不是 24 个 1/0/x，也不是 all-on 或 all-off。",
             "expected state '%1' is not 24 of 1/0/x, nor all-on or all-off.").arg(pattern);
     }, {"expect", "PATTERN", nullptr, 0, -1,
     "24 个字符依次对应第 1～24 路，1 连接、0 断开、x 不论，或 all-on、all-off；"
     "不符时列出不符的通道",
     "24 characters for channels 1..24, 1 connected, 0 disconnected, x either, or all-on / "
     "all-off; a mismatch names the channels that differ"}},
    // QTimer counts whole milliseconds in an int: less than one would end at once, and a longer
    // run is left to a signal.
    {kWatch, [](auto& self, auto& o, auto& text) {
         bool ok = false;
         const double seconds = text.toDouble(&ok);
         const auto [min, max] = std::pair(self.text.min, self.text.max);
         if (ok && std::isfinite(seconds) && seconds >= min && seconds <= max)
             return o.durationSeconds = seconds, QString();
         return Tr("时长“%1”不是 %2～%3 之间的秒数。", "duration '%1' is not a number of seconds "
             "in %2..%3.").arg(text, QString::number(min), QString::number(max, 'f', 0));
     }, {"duration", "SECONDS", nullptr, 0.001, 2'000'000, "到时输出汇总并退出的秒数",
     "seconds after which it prints the summary and exits"}},
    {kWatch, [](auto& row, auto& o, auto& file) {
         return board::ReadPath(row.text, file, o.historyFile);
     }, {"history", "FILE", nullptr, 0, -1,
     "把事件也写入这个 SQLite 历史文件（总览窗口的文件是 ~/.local/share/kestrel/history.sqlite）",
     "write the events into this SQLite history too (the overview window's is "
     "~/.local/share/kestrel/history.sqlite)"}},
    {kWatch, ReadNumber, {"keep-days", "N", "0", 0, 36500,
     "--history：删除早于 N 天的记录；0：全部保留", "--history: rows older than N days are deleted; "
     "0: all are kept"}, &Options::keepDays, "天数", "days"},
    {kScan, ReadNumber, {"from", "A", "0", 0, 255, "询问的第一个地址", "the first address asked"},
     &Options::from, "地址", "address"},
    {kScan, ReadNumber, {"to", "B", "255", 0, 255, "询问的最后一个地址", "the last address asked"},
     &Options::to, "地址", "address"},
    {kStatus | kToggle, ReadNumber, {"timeout", "MS", "1000", 1, board::kMaxMs,
     "最多等待的毫秒数；status 在地址多时等到足够把每块板问两遍",
     "how long to wait, in ms; status waits long enough to ask every board twice, if that is "
     "longer"}, &Options::timeoutMs, "超时", "timeout"},
    // At 9600 Bd an answer is in 17 ms after its request starts.
    {kScan, ReadNumber, {"timeout", "MS", "30", 1, board::kMaxMs, "每个地址等待应答的毫秒数",
     "how long to wait for each answer, in ms"}, &Options::timeoutMs, "超时", "timeout"},
    {kStatus | kWatch, ReadNumber, {"interval", "MS", "50", 0, board::kMaxMs,
     "两次询问之间的毫秒数；0：收到应答或等满 50 毫秒后立即询问下一个",
     "time between requests, in ms; 0: the next as soon as the answer is in, or after 50 ms"},
     &Options::intervalMs, "间隔", "interval"},
    {kScan, ReadNumber, {"retries", "N", "0", 0, 100, "没有应答的地址重问的次数",
     "asks of a silent address after the first"}, &Options::retries, "重问次数", "retries"},
    {0, nullptr, {"help", nullptr, nullptr, 0, -1, "显示本说明", "show this help"}},
    {0, nullptr, {"version", nullptr, nullptr, 0, -1, "显示版本", "show the version"}},
};

// The commands in the order of Command, each with the word it takes.
struct CommandText
{
    const char *name, *zh, *en;
    QString word() const { return QString(name).section(' ', 0, 0); } // "toggle CHANNEL": toggle
};
const CommandText kCommands[] = {
    {"status", "轮流询问各块检测板，每块板收到第一个有效应答时列出它 24 路的状态，都列出后退出",
     "asks the boards in turn and prints each board's 24 channels at its first valid answer; "
     "exits when all are printed"},
    {"watch",
     "轮流询问，每个事件输出一行：第一个有效应答（及链路恢复后）时每一路的状态，之后每一次变化；"
     "链路中断（一块板六次询问没有有效应答）和恢复；从未应答的板六次询问后报告 absent。设备被拔出"
     "后每秒重新打开同一个设备。询问从不等待输出：读取方跟不上时，来不及写出的行有上限，超出的行被"
     "丢弃并计数。收到 SIGINT、SIGTERM 或 SIGHUP，或 --duration 到时，输出每块板每一路的汇总（掉线"
     "次数、断开总时长、最长一次）和链路中断次数，然后退出",
     "asks in turn and prints one line per event: every channel at the first valid answer (and "
     "after the link comes back), then each change; the link lost (six polls of a board without a "
     "valid answer) and back; a board never answering, as absent. A device that goes away is "
     "reopened every second, the same device. Polling never waits on the output: lines a reader "
     "has not taken wait in a bounded backlog, and those dropped beyond it are counted. On SIGINT, "
     "SIGTERM or SIGHUP, or after --duration, it prints a summary per board and channel (drops, "
     "time down, longest drop) and how often the link was lost, and exits"},
    {"toggle CHANNEL",
     "与 Wrenfield 中点击指示灯相同（一个地址）：等到有效应答，该路连接则发送 0x11，断开则发送 "
     "0x12，再在 --timeout 内等待显示该路已改变的应答，输出它的新状态",
     "what a click on Wrenfield's lamp does (one address): waits for a valid answer, sends 0x11 "
     "if the channel is connected or 0x12 if not, waits up to --timeout for an answer that shows "
     "the change and prints the channel's new state"},
    {"scan", "依次询问 --from～--to 的每个地址，每个等待应答 --timeout，再把没有应答的地址重问 "
     "--retries 次；每找到一块板就输出它的地址和 24 路状态",
     "asks each address from --from to --to once, waiting --timeout for its answer, then the "
     "silent ones again --retries times; prints every board that answers, with its 24 channels, "
     "as soon as found"},
    {"ports", "列出所有串口设备：设备、/dev/serial/by-id 名称、打开它的串口号、指向它的 comN 链接、"
     "正在占用它的程序",
     "lists the serial devices: each with its /dev/serial/by-id name, the port number that opens "
     "it, the comN links that lead to it and the program that holds it now"},
};
// clang-format on

// Options of which a command line may give one or the other, not both.
const std::pair<const char*, const char*> kEitherOr[] = {{"port", "device"}, {"json", "csv"}};

const char* const kExitCodesZh =
    R"(退出码：0 完成（且符合 --expect）；1 不符合 --expect，或 toggle 没有看到变化；2 用法错误；
        3 串口无法打开（或在 status、toggle、scan 期间断开）；4 规定时间内没有有效应答（scan：
        没有检测板应答）；5 输出没能全部写出；128+n 被信号 n 终止（watch 输出汇总后为 0）。)";
const char* const kExitCodesEn =
    R"(Exit codes: 0 done (and --expect matched); 1 --expect did not match, or toggle
  saw no change; 2 wrong usage; 3 the port cannot be opened (or went away during
  status, toggle or scan); 4 no valid answer in time (scan: no board answered);
  5 the output could not all be written; 128+n stopped by signal n (watch: 0,
  after its summary).)";

// The row of `name` for `command` (see Option), and every command its rows serve.
std::pair<const Option*, unsigned> RowFor(const QString& name, unsigned command)
{
    const Option* found = nullptr;
    unsigned serving = 0;
    for (const Option& row : kOptions) {
        if (name != QLatin1String(row.text.name))
            continue;
        found = !found || (row.commands & command && !(found->commands & command)) ? &row : found;
        serving |= row.commands;
    }
    return {found, serving};
}

QString CommandNames(unsigned commands)
{
    QStringList names;
    for (int command = 0; command < int(std::size(kCommands)); ++command)
        if (commands >> command & 1)
            names << kCommands[command].word();
    return names.join(Tr("、", ", "));
}

// "[--port N | --device PATH] [--names FILE]": the options of the rows whose commands are
// `wanted`, a pair of kEitherOr in one bracket.
QStringList Usage(const auto& wanted)
{
    QStringList parts;
    for (const Option& row : kOptions) {
        const QString usage = QString("--%1 %2").arg(row.text.name, row.text.argument).trimmed();
        if (!wanted(row.commands))
            continue;
        if (std::ranges::any_of(kEitherOr, [&](auto& pair) {
                return usage.startsWith(QString("--") + pair.second);
            }))
            parts.last().insert(parts.last().size() - 1, " | " + usage);
        else
            parts << '[' + usage + ']';
    }
    return parts;
}

QString Help()
{
    const QStringList global = Usage([](unsigned commands) { return (commands & kAll) == kAll; })
                               << Tr("命令 [参数]", "COMMAND [ARGS]");
    QString text = Tr("boardctl %1 — 从命令行查看和操作 24 路检测板，不需要图形界面。\n用法：\n",
                      "boardctl %1 — the 24-channel board from the command line, no display "
                      "needed.\nUsage:\n")
                       .arg(PROJECT_VERSION) +
                   "  boardctl " + board::Wrap(global.join(' '), 69).join('\n' + QString(11, ' '));
    QList<std::pair<QString, QString>> commands, options;
    for (unsigned command = 0; command < std::size(kCommands); ++command) {
        const QString name = kCommands[command].name;
        const auto own = [&](unsigned rows) {
            return (rows & kAll) != kAll && rows >> command & 1;
        };
        text += "\n    " + (name.leftJustified(6) + ' ' + Usage(own).join(' ')).trimmed();
        commands.append({name, Tr(kCommands[command].zh, kCommands[command].en)});
    }
    for (const Option& row : kOptions)
        options << board::HelpRow(row.text, row.commands && (row.commands & kAll) != kAll
                                                ? CommandNames(row.commands) + Tr("：", ": ")
                                                : "");
    return text + "\n  boardctl " +
           Usage([](unsigned commands) { return !commands; })
               .join(" | ")
               .remove(QRegularExpression("[][]")) +
           Tr("\n\n命令：\n", "\n\nCommands:\n") + board::HelpRows(commands) +
           Tr("\n选项：\n", "\nOptions:\n") + board::HelpRows(options) + '\n' +
           Tr(kExitCodesZh, kExitCodesEn);
}

ExitNow UsageError(const QString& message)
{
    return {kExitUsage, Tr("boardctl：%1\n%2", "boardctl: %1\n%2")
                            .arg(message)
                            .arg(Tr("用法：boardctl [选项] status | watch | toggle CHANNEL | scan "
                                    "| ports（boardctl --help 查看说明）",
                                    "Usage: boardctl [options] status | watch | toggle CHANNEL | "
                                    "scan | ports (boardctl --help tells more)"))};
}

// The command and, for toggle, its channel.
QString ReadCommand(const QStringList& words, Options& options)
{
    if (words.isEmpty())
        return Tr("缺少命令（status、watch、toggle、scan 或 ports）。",
                  "no command (status, watch, toggle, scan or ports).");
    const auto* command = std::ranges::find(kCommands, words.first(), &CommandText::word);
    if (command == std::end(kCommands))
        return Tr("未知的命令：%1", "unknown command: %1").arg(words.first());
    options.command = Command(command - kCommands);
    const qsizetype wordsWanted = QString(command->name).count(' ') + 1;
    if (words.size() < wordsWanted)
        return Tr("toggle 需要通道号 1～24。", "toggle wants a channel 1..24.");
    if (words.size() > wordsWanted)
        return Tr("多余的参数：%1", "unexpected argument: %1")
            .arg(words.mid(wordsWanted).join(' '));
    const auto channel = board::WholeNumber(words.value(1), 1, board::kChannels);
    options.channel = int(channel.value_or(0));
    return channel || wordsWanted == 1
               ? ""
               : Tr("通道号“%1”不在 1～24 之间。", "channel '%1' is not 1..24.").arg(words[1]);
}

// Each option's value, or its default, through its row.
QString ReadOptions(const QCommandLineParser& parser, Options& options)
{
    const unsigned command = 1u << int(options.command);
    if (command == kScan && parser.isSet("address"))
        return Tr("scan 用 --from 和 --to，不用 --address。",
                  "scan takes --from and --to, not --address.");
    for (const Option& row : kOptions) {
        const auto [found, serving] = RowFor(row.text.name, command);
        const bool given = parser.isSet(row.text.name);
        if (given && !(serving & command))
            return Tr("--%1 只用于 %2。", "--%1 is only for %2.")
                .arg(QLatin1String(row.text.name), CommandNames(serving));
        const QString value = given ? parser.value(row.text.name) : row.text.fallback;
        if (const QString bad = found == &row && row.read && (given || row.text.fallback)
                                    ? row.read(row, options, value)
                                    : "";
            !bad.isEmpty())
            return bad;
    }
    return {};
}

// The rules between options, and the defaults that depend on other options.
QString CheckRules(const QCommandLineParser& parser, Options& options)
{
    for (const auto& [one, other] : kEitherOr)
        if (parser.isSet(one) && parser.isSet(other))
            return Tr("--%1 和 --%2 只能用一个。", "--%1 or --%2, not both.")
                .arg(QLatin1String(one), QLatin1String(other));
    const Command command = options.command;
    if (command == Command::Toggle && options.addresses.size() > 1)
        return Tr("toggle 只用于一个地址。", "toggle takes one address.");
    if (options.anyAddress && (command == Command::Scan || options.addresses.size() > 1))
        return Tr("--any-address 只用于一个地址（status、watch 或 toggle）。",
                  "--any-address is only for one address (status, watch or toggle).");
    // Long enough for every board of the list to be asked twice, and the second answer to come.
    if (command == Command::Status && !parser.isSet("timeout"))
        options.timeoutMs = std::max<qsizetype>(
            options.timeoutMs,
            (2 * options.addresses.size() + 1) *
                (options.intervalMs ? options.intervalMs : board::kPollIntervalMs));
    if (command != Command::Scan)
        return {};
    if (options.from > options.to)
        return Tr("--from 不能大于 --to。", "--from must not be above --to.");
    options.addresses.clear();
    for (int address = options.from; address <= options.to; ++address)
        options.addresses.push_back(static_cast<std::uint8_t>(address));
    return {};
}

} // namespace

std::variant<Options, ExitNow> ParseOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    if (!board::Parse(parser, kOptions, arguments))
        return UsageError(board::ParseError(parser));
    if (parser.isSet("help"))
        return ExitNow{kExitDone, Help()};
    if (parser.isSet("version"))
        return ExitNow{kExitDone, QStringLiteral("boardctl " PROJECT_VERSION)};
    Options options;
    QString bad = ReadCommand(parser.positionalArguments(), options);
    if (bad.isEmpty())
        bad = ReadOptions(parser, options);
    if (bad.isEmpty())
        bad = CheckRules(parser, options);
    if (!bad.isEmpty())
        return UsageError(bad);
    return options;
}

} // namespace boardctl
