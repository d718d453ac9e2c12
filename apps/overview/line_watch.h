// One line watched as the overview shows it: each board's link and lamps, the line's own state,
// and every event written into the history through the Recorder boardctl's watch uses, so both
// write the same rows. No widgets.
#pragma once

#include "history/queries.h"
#include "history/recorder.h"
#include "link/board_session.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>

#include <optional>
#include <vector>

namespace overview {

// A board's link: the line closed; opened and no answer yet; answering; its watchdog ran out
// after answers; never answered through as many polls as a silence takes.
enum class Link { Closed, Waiting, Answering, Silent, Absent };

struct BoardView
{
    std::uint8_t address = 0;
    Link link = Link::Closed;
    std::uint32_t channels = 0; // what the last frame said, while answering
    QDateTime silentSince{};    // Silent: when the watchdog ran out

    // The lamp's look, as the timeline draws it too.
    history::State lamp(int channel) const;
    // "answering", "silent since 08:01:02", ..., in Tr's language.
    QString linkText() const;
};

// "地址A 第n路 S" (S 连接, 断开, 状态未知) or "address A channel n S" (on, off, unknown): the
// lamp's accessible name.
QString LampName(int address, int channel, history::State state);
// "地址A" or "address A": the board row's accessible name.
QString BoardName(int address);

// What to open: port number N as the windows number it, or a device path.
struct Line
{
    int port = 1;
    QString device; // used when not empty
};

class LineWatch : public QObject
{
    Q_OBJECT

public:
    // A line that went away, or that could not be opened with retries asked for, is tried this
    // often.
    static constexpr int kRetryMs = 1000;

    // Events go through `writer`, with the channels' names from `names`.
    LineWatch(const QString& programDir, history::Writer& writer, history::Recorder::Names names,
              QObject* parent = nullptr);
    ~LineWatch() override; // stop()

    // Opens the line and asks the boards in turn, the next as soon as an answer is in, an answer
    // counting only from the board asked unless anyAddress (one board). With `retry` (a wall
    // screen started before its adapter) a line that cannot be opened is tried every second;
    // otherwise it stays closed.
    board::OpenResult start(const Line& line, const std::vector<std::uint8_t>& addresses,
                            bool anyAddress, bool retry);
    void stop();
    // Started and not stopped: open, or waiting to open again.
    bool active() const { return m_active; }
    const std::vector<BoardView>& boards() const { return m_boards; }

signals:
    void boardChanged(int index);
    // The line went away or cannot be opened, and is tried every second: one sentence, said
    // again only for another reason.
    void lineDown(const QString& message);
    // The line is open (again).
    void lineUp(const QString& message);

private:
    void opened();
    void retry();
    void frame(std::uint8_t address, std::uint32_t channels);
    void silent(std::uint8_t address);
    void lost(const QString& reason);
    void record(std::size_t index, const std::vector<board::WatchEvent>& events);
    void setLink(std::size_t index, Link link);
    std::optional<std::size_t> indexOf(std::uint8_t address) const;

    board::BoardSession m_session;
    history::Writer& m_writer;
    const history::Recorder::Names m_names;
    std::optional<history::Recorder> m_recorder; // once the line has opened: it names the device
    std::vector<BoardView> m_boards;
    std::vector<board::WatchLog> m_logs;
    // Polls finding each board silent since it last answered or the line opened.
    std::vector<int> m_quiet;
    QElapsedTimer m_clock; // the logs' durations, from a monotonic clock
    QTimer m_retry;
    QString m_lastFailure;
    bool m_active = false;
    bool m_everOpened = false; // a retry opens again what was opened, never another device
};

} // namespace overview
