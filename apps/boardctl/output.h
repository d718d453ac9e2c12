// boardctl's output: readable text, JSON (one object per line) and CSV rows of
// time,event,channel,name,state. Other programs parse the last two, so their shapes are fixed.
// With several boards every line carries the board's address.
#pragma once

#include "link/port_names.h"
#include "link/watch_log.h"
#include "options.h"

#include "link/frame.h"

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace boardctl {

using ChannelNames = std::array<QString, board::kChannels>;
// The 24 names of an address (index 0 = channel 1; an empty name stands for "第n路").
using NameSource = std::function<ChannelNames(std::uint8_t address)>;
// Members of a JSON object, keys in the order the documentation shows them, which QJsonObject
// would sort.
using Members = QList<std::pair<const char*, QString>>;

// --names FILE, else name.txt where the windows keep it for a program in programDir, if there is
// one, else no names. Nothing when the file that --names asks for cannot be read (after saying
// why); a default file that cannot be read is reported and left out.
std::optional<NameSource> NameSourceFor(const Options& options, const QString& programDir);

// Standard output, written by a thread of its own so that polling never waits on a reader: lines
// wait in a bounded backlog, and those that do not fit are dropped and counted.
class Output
{
public:
    static constexpr qsizetype kBacklogBytes = 128 * 1024;

    // closed: standard output was closed at start, so nothing can be written.
    explicit Output(bool closed);

    // Queues the lines, each with its newline, and returns at once. Lines that do not fit the
    // backlog are dropped and counted (the first drop is told on standard error), unless
    // `always` (a summary). False while writing fails, until a write works again.
    bool print(const QStringList& lines, bool always = false);
    // Waits until every queued line is written or writing failed, at most until the deadline or
    // a signal on stopFd (-1: none); true when all was written.
    bool flush(int stopFd, QDeadlineTimer deadline = QDeadlineTimer::Forever);
    // Why writing failed last (a system error text); empty while nothing has failed.
    QString failure() const;
    qint64 dropped() const;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared; // the writer thread holds it too, and outlives this
};

// A message on standard error, after "boardctl：".
void PrintError(const QString& message);

// Now, ISO 8601 with milliseconds and the local offset.
QString Timestamp();

class Formatter
{
public:
    // `bus`: every line carries its address.
    Formatter(Format format, NameSource names, bool bus);

    QString name(std::uint8_t address, int channel) const;

    // Printed once before anything else (the CSV header); empty for the other formats.
    QStringList header() const;
    // A board's 24 channels; the first board's after the header (status and scan print them).
    QStringList status(const QString& time, std::uint8_t address, std::uint32_t channels) const;
    QString event(const QString& time, std::uint8_t address, const board::WatchEvent& event) const;
    // toggle's answer: the channel's new state.
    QString channel(const QString& time, std::uint8_t address, int channel, bool on) const;
    // `answered`: false for a board that never answered, which the summary says.
    QStringList summary(const QString& time, std::uint8_t address, int linkLost,
                        const std::array<board::ChannelTotals, board::kChannels>& totals,
                        bool answered) const;
    // boardctl ports: a line (text, JSON) or a CSV row per device, after the CSV header.
    QStringList devices(const std::vector<board::SerialDevice>& devices) const;
    // The name a channel has in the name file, or "第n路", as it is (no escapes).
    QString stored(std::uint8_t address, int channel) const;
    // After the summaries, when lines of output had to be dropped: how many.
    QString dropped(const QString& time, qint64 lines) const;

private:
    QString json(const QString& time, std::uint8_t address, bool withAddress, Members rest) const;
    QString text(const QString& time, std::uint8_t address) const;
    QString csvRow(const QString& time, std::uint8_t address, const QString& event, int channel,
                   const QString& state) const;

    Format m_format;
    NameSource m_source;
    mutable std::map<std::uint8_t, ChannelNames> m_names; // read once an address
    mutable bool m_headed = false;                        // a status came with the header
    bool m_bus;
};

} // namespace boardctl
