// Writes rows into a history file without ever holding up its caller: the polling of a window or
// of boardctl appends, a thread of the writer's own writes.
#pragma once

#include "events.h"

#include <QList>
#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace history {

class Writer : public QObject
{
    Q_OBJECT

public:
    // Rows wait this long for others, to be written in one transaction.
    static constexpr std::chrono::milliseconds kBatch{250};

    // Opens (and in a new file makes) the history at once, on the writer's thread. keepDays > 0:
    // rows older than that many days are deleted then and every hour while rows come.
    explicit Writer(const QString& path = DefaultPath(), int keepDays = 0,
                    QObject* parent = nullptr);
    ~Writer() override; // close()

    // Queues the row and returns at once.
    void append(Row row);
    // Writes what is pending (waiting up to kBusyMs for another program's lock) and ends the
    // writer's thread; rows appended later are counted as not written.
    void close();
    // Rows that could not be written so far.
    qint64 notWritten() const { return m_notWritten; }
    const QString& path() const { return m_path; }

signals:
    // One sentence, the file and the reason, when writing starts to fail; told again only after
    // a write has worked in between. Emitted through the event loop of the writer's thread, or by
    // close() for its last write.
    void failed(const QString& message);

private:
    void run();
    QString write(Connection& connection, const QList<Row>& rows);
    QString prune(Connection& connection);
    void report(const QString& reason);
    void tell();

    const QString m_path;
    const int m_keepDays;
    std::mutex m_mutex; // guards the four below
    std::condition_variable m_wake;
    QList<Row> m_pending;
    std::chrono::steady_clock::time_point m_firstPending;
    bool m_closing = false;
    QString m_untold;
    std::atomic<qint64> m_notWritten = 0;
    std::thread m_thread; // last: it starts once the rest is there
};

} // namespace history
