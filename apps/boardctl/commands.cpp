#include "commands.h"

#include "exit_codes.h"

#include "history/recorder.h"
#include "link/board_scan.h"
#include "link/text.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <map>
#include <set>

namespace boardctl {
namespace {

using board::BoardSession;
using board::Tr;

// How often `watch` tries to reopen a device that went away.
constexpr int kReopenMs = 1000;
// Answers carrying another address that a board which never answered gets before boardctl says
// that its board may not send its address.
constexpr int kOtherAnswersBeforeAdvice = 3;

// "连接" or "断开" in messages, which follow the locale.
QString StateWord(bool on)
{
    return on ? Tr("连接", "connected") : Tr("断开", "disconnected");
}

// A run of one command: the port opened, the event loop, a stop signal ending it.
class Run
{
public:
    explicit Run(const Context& c) : c(c), m_stop(c.stops.fd(), QSocketNotifier::Read)
    {
        QObject::connect(&m_stop, &QSocketNotifier::activated, &loop, [this] {
            if (const std::optional<int> signal = this->c.stops.take())
                onStop(*signal);
        });
        on(&BoardSession::portLost, [this](const QString& reason) { onLost(reason); });
        deadline.setSingleShot(true);
        // A scan asks addresses that may not exist: answers of the others are no advice.
        if (c.options.command == Command::Scan)
            return;
        on(&BoardSession::frameTaken, [this](std::uint8_t address) { m_answered.insert(address); });
        // Said once, when a board that never answered keeps getting answers with another address.
        on(&BoardSession::otherAddress, [this](std::uint8_t asked, std::uint8_t carried) {
            if (!m_answered.contains(asked) &&
                ++m_otherAnswers[asked] == kOtherAnswersBeforeAdvice &&
                !std::exchange(m_advised, true))
                PrintError(
                    Tr("应答中的地址是 %1（询问的是 %2）；如果检测板不在"
                       "应答中发送自己的地址，请使用 --any-address。",
                       "answers carry address %1 (asked: %2); if your board does not send its "
                       "address, use --any-address.")
                        .arg(carried)
                        .arg(asked));
        });
    }

    // Calls `handler` on the session's `signal` while the command runs.
    template <typename Signal, typename Handler> void on(Signal signal, Handler handler)
    {
        QObject::connect(&c.session, signal, &loop, std::move(handler));
    }

    // Opens the port and polls at once: a check waits for nothing. Says why when it cannot.
    bool open()
    {
        const board::OpenResult opened = c.session.open();
        if (opened.ok)
            c.session.Timer1_Timer();
        else
            PrintError(board::OpenFailure(opened));
        return opened.ok;
    }
    QString noAnswer(std::uint8_t address, const QString& after = {}) const
    {
        return Tr("%1%2 毫秒内没有收到检测板（地址 %3，%4）的有效应答。",
                  "%1no valid answer from the board (address %3, %4) within %2 ms.")
            .arg(after)
            .arg(c.options.timeoutMs)
            .arg(address)
            .arg(where());
    }
    QString where() const { return board::Where(c.session.opened()); }
    // Runs until the command ends, closes the port and waits for the lines to be written. A
    // reader that takes nothing holds the exit up only until a stop signal, or, once `finishing`
    // is set, its deadline.
    int exec()
    {
        const int code = loop.exec();
        c.session.close();
        const bool written = finishing ? c.out.flush(-1, *finishing) : c.out.flush(c.stops.fd());
        if (written || code >= 128)
            return code;
        PrintError(
            done +
            Tr("无法写入标准输出：%1。", "cannot write the output: %1.").arg(c.out.failure()));
        return kExitOutput;
    }

    const Context& c;
    QEventLoop loop;
    QTimer deadline; // --timeout
    std::optional<QDeadlineTimer> finishing;
    QString done; // what was done all the same, for a failed write to say first
    // A command that a signal cut short ends the way a shell expects of a killed program.
    std::function<void(int)> onStop = [this](int signal) { loop.exit(128 + signal); };
    std::function<void(const QString&)> onLost = [this](const QString& reason) {
        PrintError(board::LostText(c.session.opened(), reason));
        loop.exit(kExitNoPort);
    };

private:
    QSocketNotifier m_stop;
    std::set<std::uint8_t> m_answered;
    std::map<std::uint8_t, int> m_otherAnswers;
    bool m_advised = false;
};

int RunStatus(const Context& c)
{
    Run run(c);
    if (!run.open())
        return kExitNoPort;
    std::set<std::uint8_t> waiting(c.options.addresses.begin(), c.options.addresses.end());
    std::set<std::uint8_t> asked; // a poll of a board that has not answered finds it silent
    run.on(&BoardSession::silentTick, [&](std::uint8_t address) { asked.insert(address); });
    bool mismatch = false;
    QObject::connect(&run.deadline, &QTimer::timeout, &run.loop, [&] {
        for (const std::uint8_t address : waiting)
            PrintError(asked.contains(address)
                           ? run.noAnswer(address)
                           : Tr("%1 毫秒内没有轮到询问地址 %2：地址太多，或 --timeout 太短。",
                                "address %2 was not asked within %1 ms: too many addresses, or "
                                "--timeout too short.")
                                 .arg(c.options.timeoutMs)
                                 .arg(address));
        run.loop.exit(kExitNoAnswer);
    });
    run.on(&BoardSession::frameTaken, [&](std::uint8_t address, std::uint32_t channels) {
        if (waiting.erase(address) == 0)
            return;
        c.session.dropBoard(address);
        c.out.print(c.formatter.status(Timestamp(), address, channels));
        // Bit n-1 set: channel n differs from what was expected.
        const auto& expect = c.options.expect;
        const std::uint32_t wrong = expect ? (channels ^ expect->on) & expect->care : 0;
        QStringList differing;
        for (int ch = 1; ch <= board::kChannels; ++ch)
            if (board::ChannelOn(wrong, ch))
                differing << Tr("通道 %1 %2（期望%3，实际%4）",
                                "channel %1 %2 (expected %3, got %4)")
                                 .arg(ch)
                                 .arg(c.formatter.name(address, ch),
                                      StateWord(!board::ChannelOn(channels, ch)),
                                      StateWord(board::ChannelOn(channels, ch)));
        if (!differing.isEmpty()) {
            mismatch = true;
            PrintError(
                (c.options.addresses.size() > 1 ? Tr("地址 %1 ", "address %1: ").arg(address)
                                                : QString()) +
                Tr("与期望不符：%1", "not as expected: %1").arg(differing.join(Tr("、", ", "))));
        }
        if (waiting.empty())
            run.loop.exit(mismatch ? kExitMismatch : kExitDone);
    });
    run.deadline.start(c.options.timeoutMs);
    return run.exec();
}

int RunToggle(const Context& c)
{
    Run run(c);
    if (!run.open())
        return kExitNoPort;
    const int ch = c.options.channel;
    const std::uint8_t address = c.options.addresses.front();
    std::optional<bool> before;     // the channel's state when the command was queued
    bool answeredAfterSend = false; // a valid frame came after the command went out
    QObject::connect(&run.deadline, &QTimer::timeout, &run.loop, [&] {
        if (!before) {
            PrintError(run.noAnswer(address));
            return run.loop.exit(kExitNoAnswer);
        }
        const QString sent = Tr("已向通道 %1 发送 0x%2，", "sent 0x%2 to channel %1, ")
                                 .arg(ch)
                                 .arg(board::SwitchOver(ch, *before).command, 2, 16);
        if (!answeredAfterSend) {
            PrintError(run.noAnswer(address, sent + Tr("但 ", "but ")));
            return run.loop.exit(kExitNoAnswer);
        }
        PrintError(sent + Tr("但 %1 毫秒内的应答中该路没有变化（仍为%2）。",
                             "but the answers within %1 ms show no change (still %2).")
                              .arg(c.options.timeoutMs)
                              .arg(StateWord(*before)));
        run.loop.exit(kExitMismatch);
    });
    run.on(&BoardSession::frameTaken, [&](std::uint8_t, std::uint32_t channels) {
        const bool on = board::ChannelOn(channels, ch);
        if (!before) {
            // What a click on the lamp sends: switch off a connected channel, on a disconnected.
            before = on;
            c.session.QueueCommand(board::SwitchOver(ch, on));
            run.deadline.start(c.options.timeoutMs);
            return;
        }
        if (c.session.commandWaiting())
            return; // an answer to a poll from before the command
        answeredAfterSend = true;
        if (on == *before)
            return;
        run.deadline.stop();
        c.out.print(c.formatter.header() +
                    QStringList{c.formatter.channel(Timestamp(), address, ch, on)});
        run.done =
            Tr("通道 %1 已切换为%2，但", "channel %1 is now %2, but ").arg(ch).arg(StateWord(on));
        run.loop.exit(kExitDone);
    });
    run.deadline.start(c.options.timeoutMs);
    return run.exec();
}

// watch: events as they happen, the device reopened when it goes away, a summary at the end.
class Watch
{
public:
    explicit Watch(const Context& c) : c(c), m_run(c)
    {
        m_clock.start();
        for (const std::uint8_t address : c.options.addresses)
            m_logs[address];
        m_reopen.setInterval(kReopenMs);
        QObject::connect(&m_reopen, &QTimer::timeout, &m_run.loop, [this] { reopen(); });
        m_run.on(&BoardSession::frameTaken, [this](std::uint8_t address, std::uint32_t channels) {
            events(address, m_logs[address].frame(m_clock.elapsed(), channels));
        });
        if (!c.options.historyFile.isEmpty()) {
            m_writer.emplace(c.options.historyFile, c.options.keepDays);
            // Said once, and the watch goes on: the history is beside the output, not instead.
            QObject::connect(&*m_writer, &history::Writer::failed, &m_run.loop, PrintError);
        }
        m_run.on(&BoardSession::silentTick, [this](std::uint8_t address) {
            events(address, m_logs[address].silent(m_clock.elapsed()));
        });
        m_run.onStop = [this](int) { stop(); };
        m_run.onLost = [this](const QString& reason) { lost(reason); };
    }

    int exec()
    {
        if (!m_run.open())
            return kExitNoPort;
        if (m_writer) {
            m_recorder.emplace(*m_writer, c.session.opened().node,
                               std::bind_front(&Formatter::stored, &c.formatter));
            m_recorder->line(history::Event::Opened);
        }
        print(c.formatter.header());
        if (c.options.durationSeconds) // a coarse timer may end a run 5 % early
            QTimer::singleShot(static_cast<int>(*c.options.durationSeconds * 1000),
                               Qt::PreciseTimer, &m_run.loop, [this] { stop(); });
        return m_run.exec();
    }

private:
    void print(const QStringList& lines)
    {
        const bool written = c.out.print(lines);
        if (!written && !m_outputFailing) // once, not once an event, until writing works again
            PrintError(Tr("无法写入输出（%1），其间的事件会丢失。",
                          "cannot write the output (%1); events meanwhile are lost.")
                           .arg(c.out.failure()));
        m_outputFailing = !written;
    }

    void events(std::uint8_t address, const std::vector<board::WatchEvent>& happened)
    {
        // Most frames change nothing: no clock read, and no empty write taken for one that works.
        if (happened.empty())
            return;
        const QString time = Timestamp();
        if (m_recorder)
            m_recorder->board(address, happened);
        QStringList lines;
        for (const board::WatchEvent& event : happened) {
            lines << c.formatter.event(time, address, event);
            if (event.kind == board::WatchEvent::LinkAbsent) // for whoever reads the terminal
                PrintError(Tr("检测板（地址 %1，%2）没有有效应答，继续询问……",
                              "no valid answer from the board (address %1, %2); asking on…")
                               .arg(address)
                               .arg(m_run.where()));
        }
        print(lines);
    }

    void stop()
    {
        if (std::exchange(m_finished, true))
            return;
        c.session.close();
        if (m_recorder) {
            m_recorder->line(history::Event::Closed);
            m_writer->close();
            if (const qint64 lost = m_writer->notWritten(); lost > 0)
                PrintError(Tr("历史文件 %1 中有 %2 条记录没能写入。",
                              "%2 rows could not be written into the history %1.")
                               .arg(m_writer->path())
                               .arg(lost));
        }
        const QString time = Timestamp();
        for (const auto& [address, log] : m_logs)
            c.out.print(c.formatter.summary(time, address, log.linkLost(),
                                            log.totals(m_clock.elapsed()), log.answered()),
                        true);
        const qint64 dropped = c.out.dropped();
        if (dropped > 0) {
            c.out.print({c.formatter.dropped(time, dropped)}, true);
            PrintError(Tr("读取输出的程序没有跟上，共丢弃了 %1 行输出。",
                          "the reader did not keep up: %1 lines of output were dropped.")
                           .arg(dropped));
        }
        m_run.finishing = QDeadlineTimer(2000); // a reader that stalls gets two seconds for it
        // A write that failed is told when the output is flushed, and ends it with kExitOutput.
        m_run.loop.exit(dropped > 0 ? kExitOutput : kExitDone);
    }

    void lost(const QString& reason)
    {
        PrintError(board::LostText(c.session.opened(), reason) +
                   Tr("每秒尝试重新打开 %1……", " Reopening %1 every second…")
                       .arg(c.session.opened().path));
        if (m_recorder)
            m_recorder->line(history::Event::PortLost);
        for (auto& [address, log] : m_logs)
            events(address, log.silent(m_clock.elapsed()));
        m_lastReopenFailure.clear();
        m_reopen.start();
    }

    void reopen()
    {
        // The entry that was opened, never the next device of the list polled all night.
        const board::OpenResult opened = c.session.reopen();
        if (!opened.ok) {
            // Said once per reason: a night without the adapter is not thousands of lines.
            if (opened.reason != m_lastReopenFailure)
                PrintError(Tr("仍无法打开 %1：%2", "still cannot open %1: %2")
                               .arg(opened.device, opened.reason));
            m_lastReopenFailure = opened.reason;
            return;
        }
        m_reopen.stop();
        if (m_recorder)
            m_recorder->line(history::Event::Opened);
        PrintError(Tr("%1 已重新打开（%2）。", "%1 is open again (%2).")
                       .arg(m_run.where(), opened.device));
    }

    const Context& c;
    Run m_run;
    QElapsedTimer m_clock; // durations from a monotonic clock: a clock change at night moves none
    std::map<std::uint8_t, board::WatchLog> m_logs;
    QTimer m_reopen;
    QString m_lastReopenFailure;
    bool m_outputFailing = false;
    bool m_finished = false;
    std::optional<history::Writer> m_writer;
    std::optional<history::Recorder> m_recorder; // once the line is open
};

int RunScan(const Context& c)
{
    Run run(c);
    board::BoardScan scan(c.session, c.options.addresses, c.options.timeoutMs, c.options.retries);
    QObject::connect(&scan, &board::BoardScan::found, &run.loop,
                     [&](std::uint8_t address, std::uint32_t channels) {
                         c.out.print(c.formatter.status(Timestamp(), address, channels));
                     });
    QObject::connect(&scan, &board::BoardScan::finished, &run.loop,
                     [&](int found) { run.loop.exit(found > 0 ? kExitDone : kExitNoAnswer); });
    if (!run.open())
        return kExitNoPort;
    const int code = run.exec();
    if (code == kExitNoAnswer)
        PrintError(Tr("地址 %1～%2 没有检测板应答（%3）。", "no board answered at %1..%2 (%3).")
                       .arg(c.options.addresses.front())
                       .arg(c.options.addresses.back())
                       .arg(run.where()));
    return code;
}

int RunPorts(const Context& c)
{
    const auto devices = board::SerialDevices(QCoreApplication::applicationDirPath());
    c.out.print(c.formatter.devices(devices));
    if (devices.empty() && c.options.format == Format::Text)
        PrintError(Tr("没有找到串口设备。", "no serial device found."));
    return c.out.flush(c.stops.fd()) ? kExitDone : kExitOutput;
}

} // namespace

int RunCommand(const Context& c)
{
    // In the order of Command.
    static constexpr int (*kRuns[])(const Context&) = {
        RunStatus, [](const Context& c) { return Watch(c).exec(); }, RunToggle, RunScan, RunPorts};
    return kRuns[int(c.options.command)](c);
}

} // namespace boardctl
