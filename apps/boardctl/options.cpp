#include "options.h"

#include "exit_codes.h"
#include "link/frame.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <cmath>

namespace boardctl {
namespace {

constexpr int kMaxTimeoutMs = 3'600'000;
// QTimer counts in int milliseconds: a longer run is left to a signal.
constexpr double kMaxDurationSeconds = 2'000'000;

const char* const kHelp = R"(boardctl %1 — 从命令行查看和操作 24 路检测板，不需要图形界面。
用法：
  boardctl [--port N | --device PATH] [--address A] [--names FILE] [--json | --csv] 命令 [参数]
    status [--expect PATTERN] [--timeout MS]
    watch  [--duration SECONDS]
    toggle CHANNEL [--timeout MS]
  boardctl --help | --version

命令：
  status          每 50 毫秒询问一次，收到第一个有效应答就列出 24 路的状态并退出。
                  --expect：24 个字符依次对应第 1～24 路，1 连接、0 断开、x 不论，
                  或 all-on、all-off；不符时列出不符的通道。--timeout：最多等待的毫秒数（默认 1000）。
  watch           每 50 毫秒询问一次，每个事件输出一行：第一个有效应答（及链路恢复后）时每一路的状态，
                  之后每一次变化；链路中断（六次询问没有有效应答）和恢复。设备被拔出后每秒重新打开一次。
                  收到 SIGINT/SIGTERM 或 --duration 秒到时，输出每一路的汇总（掉线次数、断开总时长、
                  最长一次）和链路中断次数，然后退出。
  toggle CHANNEL  与 Wrenfield 中点击指示灯相同：等到有效应答，该路连接则发送 0x11，断开则发送 0x12，
                  再在 --timeout 毫秒（默认 1000）内等待显示该路已改变的应答，输出它的新状态。

选项：
  --port N        串口号（默认 1）：依次取程序所在文件夹中的 comN、/dev/ttyUSB<N-1>、
                  /dev/ttyACM<N-1>、/dev/ttyS<N-1> 中第一个存在的
  --device PATH   打开这个设备
  --address A     检测板地址 0～255（默认 1）
  --names FILE    通道名称文件（默认与 Kestrel 相同：程序旁边的 name.txt，程序文件夹不可写时为
                  ~/.local/share/kestrel/name.txt，如果有）；没有名称的通道叫“第n路”
  --json          JSON 输出（watch 每个事件一行）
  --csv           CSV 输出：表头，然后是 time,event,channel,name,state 各行
  -h, --help      显示本说明
  --version       显示版本

退出码：0 完成（且符合 --expect）；1 不符合 --expect，或 toggle 没有看到变化；2 用法错误；
        3 串口无法打开；4 规定时间内没有有效应答。

boardctl — the 24-channel detection board from the command line, with no display needed.
Commands:
  status          polls every 50 ms, prints the 24 channels at the first valid answer and exits.
                  --expect: 24 characters for channels 1..24, 1 connected, 0 disconnected, x either,
                  or all-on / all-off; a mismatch names the channels that differ.
                  --timeout: how long to wait, in ms (default 1000).
  watch           polls every 50 ms and prints one line per event: every channel at the first valid
                  answer (and after the link comes back), then each change; the link lost (six polls
                  without a valid answer) and back. A device that goes away is reopened every second.
                  On SIGINT/SIGTERM or after --duration seconds it prints a summary per channel
                  (drops, time down, longest drop) and how often the link was lost, and exits.
  toggle CHANNEL  what a click on Wrenfield's lamp does: waits for a valid answer, sends 0x11 if the
                  channel is connected or 0x12 if not, waits up to --timeout ms (default 1000) for an
                  answer that shows the change and prints the channel's new state.
Options:
  --port N        port number (default 1): the first that exists of comN in boardctl's folder,
                  /dev/ttyUSB<N-1>, /dev/ttyACM<N-1>, /dev/ttyS<N-1>
  --device PATH   open this device
  --address A     board address 0..255 (default 1)
  --names FILE    channel names (default, if there is one: Kestrel's name.txt beside boardctl, or
                  ~/.local/share/kestrel/name.txt when that folder cannot be written); a channel
                  without a name is "第n路"
  --json          JSON output (watch: one event per line)
  --csv           CSV output: a header, then time,event,channel,name,state rows
Exit codes: 0 done (and --expect matched); 1 --expect did not match, or toggle saw no change;
  2 wrong usage; 3 the port cannot be opened; 4 no valid answer in time.)";

ExitNow UsageError(const QString& message)
{
    return {kExitUsage, QStringLiteral("boardctl：%1\n%2").arg(message, UsageLine())};
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

QString UsageLine()
{
    return QStringLiteral("用法：boardctl [--port N | --device PATH] [--address A] [--names FILE] "
                          "[--json | --csv] status [--expect PATTERN] [--timeout MS] | watch "
                          "[--duration SECONDS] | toggle CHANNEL [--timeout MS]"
                          "（boardctl --help 查看说明）");
}

std::variant<Options, ExitNow> ParseOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, {});
    const QCommandLineOption version("version", {});
    const QCommandLineOption port("port", {}, "N");
    const QCommandLineOption device("device", {}, "PATH");
    const QCommandLineOption address("address", {}, "A");
    const QCommandLineOption names("names", {}, "FILE");
    const QCommandLineOption json("json", {});
    const QCommandLineOption csv("csv", {});
    const QCommandLineOption expect("expect", {}, "PATTERN");
    const QCommandLineOption timeout("timeout", {}, "MS");
    const QCommandLineOption duration("duration", {}, "SECONDS");
    parser.addOptions(
        {help, version, port, device, address, names, json, csv, expect, timeout, duration});

    if (!parser.parse(arguments)) {
        if (!parser.unknownOptionNames().isEmpty()) {
            QStringList unknown;
            for (const QString& name : parser.unknownOptionNames())
                unknown << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
            return UsageError(
                QStringLiteral("未知的选项：%1").arg(unknown.join(QStringLiteral("、"))));
        }
        // Qt's only other complaint is a value missing after an option; it names the option.
        const QString option =
            QRegularExpression(QStringLiteral("'([^']*)'")).match(parser.errorText()).captured(1);
        return UsageError(QStringLiteral("选项 %1 后面缺少取值。").arg(option));
    }
    if (parser.isSet(help))
        return ExitNow{kExitDone, QString::fromUtf8(kHelp).arg(QStringLiteral(PROJECT_VERSION))};
    if (parser.isSet(version))
        return ExitNow{kExitDone, QStringLiteral("boardctl " PROJECT_VERSION)};

    Options options;
    const QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return UsageError(QStringLiteral("缺少命令（status、watch 或 toggle）。"));
    const QString& command = words.first();
    if (command == QLatin1String("status"))
        options.command = Command::Status;
    else if (command == QLatin1String("watch"))
        options.command = Command::Watch;
    else if (command == QLatin1String("toggle"))
        options.command = Command::Toggle;
    else
        return UsageError(QStringLiteral("未知的命令：%1").arg(command));

    const qsizetype wordsWanted = options.command == Command::Toggle ? 2 : 1;
    if (options.command == Command::Toggle && words.size() < 2)
        return UsageError(QStringLiteral("toggle 需要通道号 1～24。"));
    if (words.size() > wordsWanted)
        return UsageError(QStringLiteral("多余的参数：%1").arg(words.mid(wordsWanted).join(u' ')));
    if (options.command == Command::Toggle) {
        const std::optional<int> channel = WholeNumber(words[1], 1, board::kChannels);
        if (!channel)
            return UsageError(QStringLiteral("通道号“%1”不在 1～24 之间。").arg(words[1]));
        options.channel = *channel;
    }

    if (parser.isSet(port) && parser.isSet(device))
        return UsageError(QStringLiteral("--port 和 --device 只能用一个。"));
    if (parser.isSet(json) && parser.isSet(csv))
        return UsageError(QStringLiteral("--json 和 --csv 只能用一个。"));
    if (parser.isSet(port)) {
        const std::optional<int> number = WholeNumber(parser.value(port), 0, 255);
        if (!number)
            return UsageError(
                QStringLiteral("串口号“%1”不在 0～255 之间。").arg(parser.value(port)));
        options.port = *number;
    }
    if (parser.isSet(device)) {
        options.device = parser.value(device);
        if (options.device.isEmpty())
            return UsageError(QStringLiteral("--device 需要设备路径。"));
    }
    if (parser.isSet(address)) {
        const std::optional<int> number = WholeNumber(parser.value(address), 0, 255);
        if (!number)
            return UsageError(
                QStringLiteral("地址“%1”不在 0～255 之间。").arg(parser.value(address)));
        options.address = *number;
    }
    options.namesFile = parser.value(names);
    if (parser.isSet(names) && options.namesFile.isEmpty())
        return UsageError(QStringLiteral("--names 需要文件路径。"));
    options.format = parser.isSet(json)  ? Format::Json
                     : parser.isSet(csv) ? Format::Csv
                                         : Format::Text;

    if (parser.isSet(expect)) {
        if (options.command != Command::Status)
            return UsageError(QStringLiteral("--expect 只用于 status。"));
        options.expect = ParseChannelPattern(parser.value(expect));
        if (!options.expect)
            return UsageError(QStringLiteral("期望“%1”不是 24 个 1/0/x，也不是 all-on 或 all-off。")
                                  .arg(parser.value(expect)));
    }
    if (parser.isSet(timeout)) {
        if (options.command == Command::Watch)
            return UsageError(QStringLiteral("--timeout 只用于 status 和 toggle。"));
        const std::optional<int> ms = WholeNumber(parser.value(timeout), 1, kMaxTimeoutMs);
        if (!ms)
            return UsageError(QStringLiteral("超时“%1”不在 1～%2 毫秒之间。")
                                  .arg(parser.value(timeout))
                                  .arg(kMaxTimeoutMs));
        options.timeoutMs = *ms;
    }
    if (parser.isSet(duration)) {
        if (options.command != Command::Watch)
            return UsageError(QStringLiteral("--duration 只用于 watch。"));
        bool ok = false;
        const double seconds = parser.value(duration).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > kMaxDurationSeconds)
            return UsageError(QStringLiteral("时长“%1”不是 0～%2 之间的秒数。")
                                  .arg(parser.value(duration))
                                  .arg(kMaxDurationSeconds));
        options.durationSeconds = seconds;
    }
    return options;
}

} // namespace boardctl
