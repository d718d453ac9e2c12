#include "commands.h"

#include "exit_codes.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>

namespace boardctl {
namespace {

// How often `watch` tries to reopen a device that went away, and how many silent polls (a second)
// pass before it says that it is still waiting for a first answer.
constexpr int kReopenMs = 1000;
constexpr int kSilentTicksBeforeNote = 20;

// Opens the port and polls at once: a status check waits for nothing.
bool OpenOrSay(const Context& c)
{
    const board::OpenResult opened = c.session.open();
    if (!opened.ok)
        PrintError(board::OpenFailure(opened));
    else
        c.session.Timer1_Timer();
    return opened.ok;
}

// "串口 N" or the device path, for messages.
QString PortName(const Context& c)
{
    return c.options.device.isEmpty() ? QStringLiteral("串口 %1").arg(c.options.port)
                                      : c.options.device;
}

QString NoAnswer(const Context& c, const QString& after)
{
    return QStringLiteral("%1%2 毫秒内没有收到检测板（地址 %3，%4）的有效应答。")
        .arg(after)
        .arg(c.options.timeoutMs)
        .arg(c.options.address)
        .arg(PortName(c));
}

QString Lost(const Context& c, const QString& reason)
{
    return QStringLiteral("%1 断开了（%2）。").arg(PortName(c), reason);
}

// Calls onStop with the signal's number when SIGINT or SIGTERM arrives, while the result lives.
std::unique_ptr<QSocketNotifier> OnStopSignal(const board::StopSignals& stops,
                                              const std::function<void(int)>& onStop)
{
    auto notifier = std::make_unique<QSocketNotifier>(stops.fd(), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [&stops, onStop] {
        if (const std::optional<int> signal = stops.take())
            onStop(*signal);
    });
    return notifier;
}

// A command that a signal cut short ends the way a shell expects of a killed program.
int SignalExit(int signal)
{
    return 128 + signal;
}

} // namespace

int RunStatus(const Context& c)
{
    if (!OpenOrSay(c))
        return kExitNoPort;
    QEventLoop loop;
    const auto stop = OnStopSignal(c.stops, [&](int signal) { loop.exit(SignalExit(signal)); });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        PrintError(NoAnswer(c, {}));
        loop.exit(kExitNoAnswer);
    });
    QObject::connect(&c.session, &board::BoardSession::portLost, &loop, [&](const QString& reason) {
        PrintError(Lost(c, reason));
        loop.exit(kExitNoPort);
    });
    QObject::connect(
        &c.session, &board::BoardSession::frameTaken, &loop,
        [&](std::uint8_t, std::uint32_t channels) {
            c.session.close();
            deadline.stop();
            PrintLines(c.formatter.header() + c.formatter.status(Timestamp(), channels));
            if (!c.options.expect)
                return loop.exit(kExitDone);
            QStringList differing;
            for (const int ch : Mismatches(*c.options.expect, channels))
                differing << QStringLiteral("通道 %1 %2（期望%3，实际%4）")
                                 .arg(ch)
                                 .arg(c.formatter.name(ch), StateWord(!Bit(channels, ch)),
                                      StateWord(Bit(channels, ch)));
            if (differing.isEmpty())
                return loop.exit(kExitDone);
            PrintError(QStringLiteral("与期望不符：%1").arg(differing.join(QStringLiteral("、"))));
            loop.exit(kExitMismatch);
        });
    deadline.start(c.options.timeoutMs);
    const int code = loop.exec();
    c.session.close();
    return code;
}

int RunToggle(const Context& c)
{
    if (!OpenOrSay(c))
        return kExitNoPort;
    const int ch = c.options.channel;
    std::optional<bool> before;     // the channel's state when the command was queued
    bool answeredAfterSend = false; // a valid frame came after the command went out
    QEventLoop loop;
    const auto stop = OnStopSignal(c.stops, [&](int signal) { loop.exit(SignalExit(signal)); });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        if (!before) {
            PrintError(NoAnswer(c, {}));
            return loop.exit(kExitNoAnswer);
        }
        const QString sent = QStringLiteral("已向通道 %1 发送 0x%2，")
                                 .arg(ch)
                                 .arg(*before ? board::kCmdSwitchOff : board::kCmdSwitchOn, 2, 16);
        if (!answeredAfterSend) {
            PrintError(NoAnswer(c, sent + QStringLiteral("但 ")));
            return loop.exit(kExitNoAnswer);
        }
        PrintError(sent + QStringLiteral("但 %1 毫秒内的应答中该路没有变化（仍为%2）。")
                              .arg(c.options.timeoutMs)
                              .arg(StateWord(*before)));
        loop.exit(kExitMismatch);
    });
    QObject::connect(&c.session, &board::BoardSession::portLost, &loop, [&](const QString& reason) {
        PrintError(Lost(c, reason));
        loop.exit(kExitNoPort);
    });
    QObject::connect(&c.session, &board::BoardSession::frameTaken, &loop,
                     [&](std::uint8_t, std::uint32_t channels) {
                         const bool on = Bit(channels, ch);
                         if (!before) {
                             // What a click on the lamp sends: switch off a connected channel, on a
                             // disconnected.
                             before = on;
                             c.session.QueueCommand(
                                 {on ? board::kCmdSwitchOff : board::kCmdSwitchOn, 0,
                                  static_cast<std::uint8_t>(ch)});
                             deadline.start(c.options.timeoutMs);
                             return;
                         }
                         if (c.session.commandWaiting())
                             return; // an answer to a poll from before the command
                         answeredAfterSend = true;
                         if (on == *before)
                             return;
                         c.session.close();
                         deadline.stop();
                         PrintLines(c.formatter.header() +
                                    QStringList{c.formatter.channel(Timestamp(), ch, on)});
                         loop.exit(kExitDone);
                     });
    deadline.start(c.options.timeoutMs);
    const int code = loop.exec();
    c.session.close();
    return code;
}

int RunWatch(const Context& c)
{
    if (!OpenOrSay(c))
        return kExitNoPort;
    QElapsedTimer clock; // durations from a monotonic clock: a clock change at night moves none
    clock.start();
    WatchLog log;
    int silentSinceOpen = 0;
    bool answeredSinceOpen = false;
    QString lastReopenFailure;
    QEventLoop loop;

    bool outputFailing = false;
    const auto printLines = [&](const QStringList& lines) {
        const bool written = PrintLines(lines);
        if (!written && !outputFailing) // once, not once an event, until writing works again
            PrintError(QStringLiteral("无法写入输出（%1），其间的事件会丢失。")
                           .arg(QString::fromLocal8Bit(std::strerror(errno))));
        outputFailing = !written;
    };
    const auto print = [&](const std::vector<WatchEvent>& events) {
        const QString time = Timestamp();
        QStringList lines;
        for (const WatchEvent& event : events)
            lines << c.formatter.event(time, event);
        if (!lines.isEmpty())
            printLines(lines);
    };
    bool finished = false;
    const auto finish = [&] {
        if (std::exchange(finished, true))
            return;
        c.session.close();
        printLines(c.formatter.summary(Timestamp(), log.linkLost(), log.totals(clock.elapsed())));
        loop.exit(kExitDone);
    };
    const auto stop = OnStopSignal(c.stops, [&](int) { finish(); });
    QTimer duration;
    duration.setSingleShot(true);
    QObject::connect(&duration, &QTimer::timeout, &loop, finish);
    QTimer reopen;
    reopen.setInterval(kReopenMs);

    QObject::connect(&c.session, &board::BoardSession::frameTaken, &loop,
                     [&](std::uint8_t, std::uint32_t channels) {
                         answeredSinceOpen = true;
                         print(log.frame(clock.elapsed(), channels));
                     });
    QObject::connect(&c.session, &board::BoardSession::silentTick, &loop, [&] {
        print(log.silent(clock.elapsed()));
        if (!answeredSinceOpen && ++silentSinceOpen == kSilentTicksBeforeNote)
            PrintError(QStringLiteral("检测板（地址 %1，%2）还没有有效应答，继续等待……")
                           .arg(c.options.address)
                           .arg(PortName(c)));
    });
    QObject::connect(&c.session, &board::BoardSession::portLost, &loop, [&](const QString& reason) {
        PrintError(Lost(c, reason) + QStringLiteral("每秒尝试重新打开一次……"));
        print(log.silent(clock.elapsed()));
        lastReopenFailure.clear();
        reopen.start();
    });
    QObject::connect(&reopen, &QTimer::timeout, &loop, [&] {
        const board::OpenResult opened = c.session.open();
        if (!opened.ok) {
            // Said once per reason: a night without the adapter is not thousands of lines.
            if (opened.reason != lastReopenFailure)
                PrintError(QStringLiteral("仍无法打开 %1：%2").arg(opened.device, opened.reason));
            lastReopenFailure = opened.reason;
            return;
        }
        reopen.stop();
        silentSinceOpen = 0;
        answeredSinceOpen = false;
        PrintError(c.options.device.isEmpty()
                       ? QStringLiteral("%1 已重新打开（%2）。").arg(PortName(c), opened.device)
                       : QStringLiteral("%1 已重新打开。").arg(PortName(c)));
    });

    printLines(c.formatter.header());
    if (c.options.durationSeconds)
        duration.start(static_cast<int>(*c.options.durationSeconds * 1000));
    return loop.exec();
}

} // namespace boardctl
