// The history of a line: one SQLite table, `events`, written by the windows and by boardctl and
// read by them and by users with sqlite3. Its columns are a public interface: a change comes
// with a migration under a new user_version.
#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <optional>

class QSqlError;

namespace history {

// on/off: a channel; lost/ok/absent: a board's link; opened/closed/port_lost: the line.
enum class Event { On, Off, Lost, Ok, Absent, Opened, Closed, PortLost };

// The event column's words: "on", "off", "lost", "ok", "absent", "opened", "closed", "port_lost".
QString EventName(Event event);
std::optional<Event> EventFromName(const QString& name);

struct Row
{
    QDateTime time{};
    QString device{};             // the line: the device of its port
    std::optional<int> address{}; // the board; none for the line's events
    std::optional<int> channel{}; // 1..24 for on and off; none otherwise
    Event event = Event::On;
    QString name{}; // the channel's name at that moment (on, off); null otherwise

    bool operator==(const Row&) const = default;
};

inline constexpr int kSchemaVersion = 1;
// How long a write waits for another program's write to end before it counts as failed.
inline constexpr int kBusyMs = 5000;

// $XDG_DATA_HOME/kestrel/history.sqlite, beside the user's name.txt.
QString DefaultPath();

// UTC to the millisecond, "2025-03-01T08:00:00.125Z": the time column, which sorts as text.
QString Stamp(const QDateTime& time);

// Why SQLite failed, as a clause for a sentence, in Tr's language.
QString Reason(const QSqlError& error);

// A QSQLITE connection under a name of its own, removed with this object; for one thread.
class Connection
{
public:
    Connection(const QString& path, bool readOnly);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens the file, checks that it holds this history's schema (a writer makes it in a new or
    // empty file, in WAL mode) and returns why it cannot be used; empty when it can. A file that
    // holds anything else is never changed.
    QString open();
    QSqlDatabase& db() { return m_db; }
    const QString& path() const { return m_path; }
    // Runs `body` in a write transaction: committed when it returns empty, else rolled back.
    // Returns why it failed; empty when it was committed.
    QString transaction(const std::function<QString()>& body);

private:
    QString checkSchema(bool* empty);
    QString create();

    QString m_path;
    bool m_readOnly;
    QSqlDatabase m_db;
};

} // namespace history
