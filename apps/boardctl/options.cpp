#include "options.h"

#include "exit_codes.h"

#include "link/board_session.h"
#include "link/text.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <cmath>

namespace boardctl {
namespace {

using board::Tr;

constexpr int kMaxMs = 3'600'000;
// QTimer counts in int milliseconds: a longer run is left to a signal.
constexpr int kMaxDurationSeconds = 2'000'000;

const char* const kHelpZh = R"(boardctl %1 — 从命令行查看和操作 24 路检测板，不需要图形界面。
用法：
  boardctl [--port N | --device PATH] [--address 地址 [--any-address]] [--names FILE]
           [--json | --csv] 命令 [参数]
    status [--expect PATTERN] [--timeout MS] [--interval MS]
    watch  [--duration SECONDS] [--interval MS]
    toggle CHANNEL [--timeout MS]
    scan   [--from A] [--to B] [--timeout MS] [--retries N]
  boardctl --help | --version

命令：
  status          轮流询问各块检测板，每块板收到第一个有效应答时列出它 24 路的状态，都列出后退出。
                  --expect：24 个字符依次对应第 1～24 路，1 连接、0 断开、x 不论，或 all-on、all-off；
                  不符时列出不符的通道。--timeout：最多等待的毫秒数（默认 1000，地址多时足够
                  把每块板问两遍）。
  watch           轮流询问，每个事件输出一行：第一个有效应答（及链路恢复后）时每一路的状态，之后每一次
                  变化；链路中断（一块板六次询问没有有效应答）和恢复；从未应答的板六次询问后报告
                  absent。设备被拔出后每秒重新打开同一个设备。询问从不等待输出：读取方跟不上时，
                  来不及写出的行有上限，超出的行被丢弃并计数。收到 SIGINT、SIGTERM 或 SIGHUP，或
                  --duration 秒到时，输出每块板每一路的汇总（掉线次数、断开总时长、最长一次）和链路
                  中断次数，然后退出。
  toggle CHANNEL  与 Wrenfield 中点击指示灯相同（一个地址）：等到有效应答，该路连接则发送 0x11，断开则发送
                  0x12，再在 --timeout 毫秒（默认 1000）内等待显示该路已改变的应答，输出它的新状态。
  scan            依次询问 --from～--to（默认 0～255）的每个地址，每个等待应答 --timeout 毫秒（默认 30），
                  再把没有应答的地址重问 --retries 次（默认 0）；每找到一块板就输出它的地址和 24 路状态。

选项：
  --port N        串口号（默认 1）：依次取程序所在文件夹中的 comN、~/.local/share/kestrel/comN、
                  /dev/ttyUSB<N-1>、/dev/ttyACM<N-1>、/dev/ttyS<N-1> 中第一个存在的
  --device PATH   打开这个设备
  --address 地址  检测板地址 0～255（默认 1）；status 和 watch 可以给出列表，如 1,3-5。
                  只接受应答第 1 字节中是该地址的应答
  --any-address   接受任何有效应答，不看其中的地址（只用于一个地址，给不发送自己地址的检测板）
  --interval MS   两次询问之间的毫秒数（默认 50）；0：收到应答或等满 50 毫秒后立即询问下一个
  --names FILE    通道名称文件（默认与 Kestrel 相同：程序旁边的 name.txt，程序文件夹不可写时为
                  ~/.local/share/kestrel/name.txt，如果有）；没有名称的通道叫“第n路”
  --json          JSON 输出（每行一个对象）
  --csv           CSV 输出：表头，然后是 time,event,channel,name,state 各行
                  多个地址时每行都带地址：JSON 的 "address"，CSV 在 time 之后的 address 列
  -h, --help      显示本说明
  --version       显示版本

退出码：0 完成（且符合 --expect）；1 不符合 --expect，或 toggle 没有看到变化；2 用法错误；
        3 串口无法打开（或在 status、toggle、scan 期间断开）；4 规定时间内没有有效应答（scan：
        没有检测板应答）；5 输出没能全部写出；128+n 被信号 n 终止（watch 输出汇总后为 0）。)";

const char* const kHelpEn =
    R"(boardctl %1 — the 24-channel board from the command line, no display needed.
Usage:
  boardctl [--port N | --device PATH] [--address A [--any-address]]
           [--names FILE] [--json | --csv] COMMAND [ARGS]
    status [--expect PATTERN] [--timeout MS] [--interval MS]
    watch  [--duration SECONDS] [--interval MS]
    toggle CHANNEL [--timeout MS]
    scan   [--from A] [--to B] [--timeout MS] [--retries N]
  boardctl --help | --version

Commands:
  status          asks the boards in turn and prints each board's 24 channels at
                  its first valid answer; exits when all are printed. --expect:
                  24 characters for channels 1..24, 1 connected, 0 disconnected,
                  x either, or all-on / all-off; a mismatch names the channels
                  that differ. --timeout: how long to wait, in ms (default 1000,
                  or long enough to ask every board twice).
  watch           asks in turn and prints one line per event: every channel at
                  the first valid answer (and after the link comes back), then
                  each change; the link lost (six polls of a board without a
                  valid answer) and back; a board never answering, as absent.
                  A device that goes away is reopened every second, the same
                  device. Polling never waits on the output: lines a reader has
                  not taken wait in a bounded backlog, and those dropped beyond
                  it are counted. On SIGINT, SIGTERM or SIGHUP, or after
                  --duration seconds, it prints a summary per board and channel
                  (drops, time down, longest drop) and how often the link was
                  lost, and exits.
  toggle CHANNEL  what a click on Wrenfield's lamp does (one address): waits for
                  a valid answer, sends 0x11 if the channel is connected or 0x12
                  if not, waits up to --timeout ms (default 1000) for an answer
                  that shows the change and prints the channel's new state.
  scan            asks each address from --from to --to (default 0..255) once,
                  waiting --timeout ms (default 30) for its answer, then the
                  silent ones again --retries times (default 0); prints every
                  board that answers, with its 24 channels, as soon as found.

Options:
  --port N        port number (default 1): the first that exists of comN in
                  boardctl's folder, ~/.local/share/kestrel/comN,
                  /dev/ttyUSB<N-1>, /dev/ttyACM<N-1>, /dev/ttyS<N-1>
  --device PATH   open this device
  --address A     board address 0..255 (default 1); status and watch take a list
                  such as 1,3-5. An answer counts only when byte 1 carries it.
  --any-address   take any valid answer, whatever address it carries (one
                  address only, for a board that does not send its own)
  --interval MS   time between requests (default 50); 0: the next as soon as
                  the answer is in, or after 50 ms
  --names FILE    channel names (default, if there is one: Kestrel's name.txt
                  beside boardctl, or ~/.local/share/kestrel/name.txt when that
                  folder cannot be written); a channel without a name is "第n路"
  --json          JSON output, one object per line
  --csv           CSV output: a header, then time,event,channel,name,state rows
                  With several addresses every line carries the address:
                  "address" in JSON, an address column after time in CSV
  -h, --help      show this help
  --version       show the version

Exit codes: 0 done (and --expect matched); 1 --expect did not match, or toggle
  saw no change; 2 wrong usage; 3 the port cannot be opened (or went away during
  status, toggle or scan); 4 no valid answer in time (scan: no board answered);
  5 the output could not all be written; 128+n stopped by signal n (watch: 0,
  after its summary).)";

ExitNow UsageError(const QString& message)
{
    return {kExitUsage, Tr("boardctl：%1\n%2", "boardctl: %1\n%2")
                            .arg(message)
                            .arg(Tr("用法：boardctl [选项] status | watch | toggle CHANNEL | scan"
                                    "（boardctl --help 查看说明）",
                                    "Usage: boardctl [options] status | watch | toggle CHANNEL | "
                                    "scan (boardctl --help tells more)"))};
}

std::optional<int> WholeNumber(const QString& text, int min, int max)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

} // namespace

std::variant<Options, ExitNow> ParseOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, {}), version("version", {});
    const QCommandLineOption json("json", {}), csv("csv", {}), anyAddress("any-address", {});
    QList<QCommandLineOption> valued;
    for (const char* name : {"port", "device", "address", "names", "expect", "timeout", "duration",
                             "interval", "from", "to", "retries"})
        valued << QCommandLineOption(name, {}, "VALUE");
    parser.addOptions(QList{help, version, json, csv, anyAddress} + valued);
    const auto isSet = [&](const char* name) { return parser.isSet(QString(name)); };
    const auto value = [&](const char* name) { return parser.value(QString(name)); };

    if (!parser.parse(arguments)) {
        if (!parser.unknownOptionNames().isEmpty()) {
            QStringList unknown;
            for (const QString& name : parser.unknownOptionNames())
                unknown << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
            return UsageError(
                Tr("未知的选项：%1", "unknown option: %1").arg(unknown.join(Tr("、", ", "))));
        }
        // Qt's only other complaint is a value missing after an option; it names the option.
        const QString option =
            QRegularExpression(QStringLiteral("'([^']*)'")).match(parser.errorText()).captured(1);
        return UsageError(Tr("选项 %1 后面缺少取值。", "option %1 wants a value.").arg(option));
    }
    if (parser.isSet(help))
        return ExitNow{kExitDone, Tr(kHelpZh, kHelpEn).arg(QStringLiteral(PROJECT_VERSION))};
    if (parser.isSet(version))
        return ExitNow{kExitDone, QStringLiteral("boardctl " PROJECT_VERSION)};

    Options options;
    const QStringList words = parser.positionalArguments();
    const QStringList commands{"status", "watch", "toggle", "scan"};
    if (words.isEmpty())
        return UsageError(Tr("缺少命令（status、watch、toggle 或 scan）。",
                             "no command (status, watch, toggle or scan)."));
    if (!commands.contains(words.first()))
        return UsageError(Tr("未知的命令：%1", "unknown command: %1").arg(words.first()));
    options.command = Command(commands.indexOf(words.first()));
    const Command command = options.command;
    const qsizetype wordsWanted = command == Command::Toggle ? 2 : 1;
    if (command == Command::Toggle && words.size() < 2)
        return UsageError(Tr("toggle 需要通道号 1～24。", "toggle wants a channel 1..24."));
    if (words.size() > wordsWanted)
        return UsageError(
            Tr("多余的参数：%1", "unexpected argument: %1").arg(words.mid(wordsWanted).join(u' ')));
    if (command == Command::Toggle) {
        const std::optional<int> channel = WholeNumber(words[1], 1, board::kChannels);
        if (!channel)
            return UsageError(
                Tr("通道号“%1”不在 1～24 之间。", "channel '%1' is not 1..24.").arg(words[1]));
        options.channel = *channel;
    }

    // The commands each option serves (none: all), its range and what is said out of range.
    struct Limit
    {
        const char* name;
        QStringList commands;
        int min, max;
        int* target;
        const char* zh = nullptr;
        const char* en = nullptr;
    };
    int from = 0, to = 255;
    if (command == Command::Scan)
        options.timeoutMs = 30; // at 9600 Bd an answer is in 17 ms after its request starts
    const Limit limits[] = {
        {"port",
         {},
         0,
         255,
         &options.port,
         "串口号“%1”不在 0～%2 之间。",
         "port '%1' is not 0..%2."},
        {"timeout",
         {"status", "toggle", "scan"},
         1,
         kMaxMs,
         &options.timeoutMs,
         "超时“%1”不在 1～%2 毫秒之间。",
         "timeout '%1' is not 1..%2 ms."},
        {"interval",
         {"status", "watch"},
         0,
         kMaxMs,
         &options.intervalMs,
         "间隔“%1”不在 0～%2 毫秒之间。",
         "interval '%1' is not 0..%2 ms."},
        {"from",
         {"scan"},
         0,
         255,
         &from,
         "地址“%1”不在 0～%2 之间。",
         "address '%1' is not 0..%2."},
        {"to", {"scan"}, 0, 255, &to, "地址“%1”不在 0～%2 之间。", "address '%1' is not 0..%2."},
        {"retries",
         {"scan"},
         0,
         100,
         &options.retries,
         "重问次数“%1”不在 0～%2 之间。",
         "retries '%1' is not 0..%2."},
        {"expect", {"status"}, 0, 0, nullptr},
        {"duration", {"watch"}, 0, 0, nullptr}};
    for (const Limit& limit : limits) {
        if (!isSet(limit.name))
            continue;
        if (!limit.commands.isEmpty() && !limit.commands.contains(words.first()))
            return UsageError(
                Tr("--%1 只用于 %2。", "--%1 is only for %2.")
                    .arg(QLatin1String(limit.name), limit.commands.join(Tr("、", ", "))));
        if (!limit.target)
            continue;
        const std::optional<int> number = WholeNumber(value(limit.name), limit.min, limit.max);
        if (!number)
            return UsageError(Tr(limit.zh, limit.en).arg(value(limit.name)).arg(limit.max));
        *limit.target = *number;
    }
    if (isSet("port") && isSet("device"))
        return UsageError(Tr("--port 和 --device 只能用一个。", "--port or --device, not both."));
    if (parser.isSet(json) && parser.isSet(csv))
        return UsageError(Tr("--json 和 --csv 只能用一个。", "--json or --csv, not both."));
    options.device = value("device");
    options.namesFile = value("names");
    if (isSet("device") && options.device.isEmpty())
        return UsageError(Tr("--device 需要设备路径。", "--device wants a device path."));
    if (isSet("names") && options.namesFile.isEmpty())
        return UsageError(Tr("--names 需要文件路径。", "--names wants a file path."));
    options.format = parser.isSet(json)  ? Format::Json
                     : parser.isSet(csv) ? Format::Csv
                                         : Format::Text;
    if (isSet("address")) {
        if (command == Command::Scan)
            return UsageError(Tr("scan 用 --from 和 --to，不用 --address。",
                                 "scan takes --from and --to, not --address."));
        const auto addresses = board::ParseAddresses(value("address"));
        if (!addresses)
            return UsageError(Tr("地址“%1”不是 0～255 的地址或列表（如 1,3-5）。",
                                 "address '%1' is not an address 0..255 or a list such as 1,3-5.")
                                  .arg(value("address")));
        if (command == Command::Toggle && addresses->size() > 1)
            return UsageError(Tr("toggle 只用于一个地址。", "toggle takes one address."));
        options.addresses = *addresses;
    }
    options.anyAddress = parser.isSet(anyAddress);
    if (options.anyAddress && (command == Command::Scan || options.addresses.size() > 1))
        return UsageError(Tr("--any-address 只用于一个地址（status、watch 或 toggle）。",
                             "--any-address is only for one address (status, watch or toggle)."));
    // Long enough for every board of the list to be asked twice, and the second answer to come.
    if (command == Command::Status && !isSet("timeout"))
        options.timeoutMs = std::max<qsizetype>(
            options.timeoutMs,
            (2 * options.addresses.size() + 1) *
                (options.intervalMs ? options.intervalMs : board::kPollIntervalMs));
    if (command == Command::Scan) {
        if (from > to)
            return UsageError(Tr("--from 不能大于 --to。", "--from must not be above --to."));
        options.addresses.clear();
        for (int address = from; address <= to; ++address)
            options.addresses.push_back(static_cast<std::uint8_t>(address));
    }
    if (isSet("expect")) {
        options.expect = ParseChannelPattern(value("expect"));
        if (!options.expect)
            return UsageError(Tr("期望“%1”不是 24 个 1/0/x，也不是 all-on 或 all-off。",
                                 "expected state '%1' is not 24 of 1/0/x, nor all-on or all-off.")
                                  .arg(value("expect")));
    }
    if (isSet("duration")) {
        bool ok = false;
        const double seconds = value("duration").toDouble(&ok);
        // QTimer counts whole milliseconds: less than one would end at once.
        if (!ok || !std::isfinite(seconds) || seconds < 0.001 || seconds > kMaxDurationSeconds)
            return UsageError(Tr("时长“%1”不是 0.001～%2 之间的秒数。",
                                 "duration '%1' is not a number of seconds in 0.001..%2.")
                                  .arg(value("duration"))
                                  .arg(kMaxDurationSeconds));
        options.durationSeconds = seconds;
    }
    return options;
}

} // namespace boardctl
