// What a history view and a timeline ask of a history file: events newest first, page by page,
// their export as CSV, and each channel's stretches of state over a span. No widgets.
#pragma once

#include "events.h"

#include "link/frame.h"

#include <QList>

#include <array>

class QIODevice;

namespace history {

// Where a page ended: the next page starts below it.
struct Position
{
    QString time;
    qint64 rowid = 0;
};

// Each field set narrows the rows; an empty filter takes them all.
struct Filter
{
    QString device{};                 // one line
    std::optional<int> address{};     // one board (the line's own events have none)
    std::optional<int> channel{};     // one channel (a board's link events have none)
    QList<Event> events{};            // these kinds only
    QDateTime from{};                 // from this time on
    QDateTime to{};                   // before this time
    int limit = 500;                  // rows a page
    std::optional<Position> before{}; // set by Page::next
};

struct Page
{
    QList<Row> rows{};            // newest first
    std::optional<Filter> next{}; // the filter of the next page, when there are more rows
    QString error{};              // one sentence when the file could not be read
};

// green, red, yellow (board silent, lost or absent; the port opened and no answer yet), grey
// (the port closed or lost; nothing known yet).
enum class State { On, Off, Unknown, Closed };

struct Stretch
{
    QDateTime from{}; // when the state began (or the span's start)
    QDateTime to{};
    State state = State::Closed;
    QString name{}; // the channel's name with an on or off; empty for the others
};

struct Lanes
{
    std::array<QList<Stretch>, board::kChannels> channels{}; // index 0: channel 1
    QString error{};
};

// A read connection to a history file, for one thread; opening checks the schema.
class Reader
{
public:
    // Why the file cannot be read shows in what each query returns.
    explicit Reader(const QString& path = DefaultPath());

    Page events(const Filter& filter);
    // Every row of the filter (its limit aside), newest first: a header of the table's columns,
    // then RFC 4180 rows. Empty when all was written, else why not.
    QString exportCsv(const Filter& filter, QIODevice& out);
    // The stretches of one board's channels from `from` to `to`, beginning with the state
    // the last events before the span left. An empty device takes every line's events.
    Lanes timeline(const QString& device, int address, const QDateTime& from, const QDateTime& to);

private:
    QString failed(const QString& reason) const;

    Connection m_connection;
    QString m_error;
};

// The one query a caller runs on a file.
Page Events(const QString& path, const Filter& filter);

} // namespace history
