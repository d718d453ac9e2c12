#include "writer.h"

#include "link/text.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>

namespace history {

namespace {

using std::chrono::steady_clock;

// Old rows go in steps of this many, each its own transaction, so that another writer waits for
// one step and never for the whole deletion.
constexpr int kPruneStep = 5000;
constexpr auto kPruneEvery = std::chrono::hours(1);

} // namespace

Writer::Writer(const QString& path, int keepDays, QObject* parent)
    : QObject(parent), m_path(path), m_keepDays(keepDays), m_thread([this] { run(); })
{
}

Writer::~Writer()
{
    close();
}

void Writer::append(Row row)
{
    std::unique_lock lock(m_mutex);
    if (m_closing) {
        ++m_notWritten;
        return;
    }
    const bool first = m_pending.isEmpty();
    if (first)
        m_firstPending = steady_clock::now();
    m_pending.append(std::move(row));
    lock.unlock();
    if (first) // later rows wait for the batch that the first one started
        m_wake.notify_one();
}

void Writer::close()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
    tell();
}

// A thread of its own rather than a timer on the caller's: a write can wait seconds for another
// program's lock or for the disk, and the polling must not.
void Writer::run()
{
    Connection connection(m_path, false);
    QDir().mkpath(QFileInfo(m_path).absolutePath()); // a failure shows when the file is opened
    auto pruned = steady_clock::time_point::min();   // never yet
    bool failing = false;
    bool last = false;
    QList<Row> rows; // taken from the queue once, so never written twice
    for (;;) {
        QString why = connection.db().isOpen() ? QString() : connection.open();
        if (why.isEmpty() && !rows.isEmpty())
            why = write(connection, rows);
        if (!why.isEmpty())
            m_notWritten += rows.size();
        if (why.isEmpty() && m_keepDays > 0 && steady_clock::now() > pruned + kPruneEvery) {
            why = prune(connection);
            pruned = steady_clock::now();
        }
        if (!why.isEmpty() && !failing)
            report(why);
        failing = !why.isEmpty();

        if (last) // closing was asked before these rows were taken, so no row came after them
            return;
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_closing || !m_pending.isEmpty(); });
        m_wake.wait_until(lock, m_firstPending + kBatch, [this] { return m_closing; });
        rows = std::exchange(m_pending, {});
        last = m_closing;
    }
}

QString Writer::write(Connection& connection, const QList<Row>& rows)
{
    return connection.transaction([&]() -> QString {
        QSqlQuery query(connection.db());
        query.prepare(QStringLiteral("INSERT INTO events VALUES (?, ?, ?, ?, ?, ?)"));
        for (const Row& row : rows) {
            query.bindValue(0, Stamp(row.time));
            query.bindValue(1, row.device);
            query.bindValue(2, row.address ? QVariant(*row.address) : QVariant());
            query.bindValue(3, row.channel ? QVariant(*row.channel) : QVariant());
            query.bindValue(4, EventName(row.event));
            query.bindValue(5, row.name.isNull() ? QVariant() : QVariant(row.name));
            if (!query.exec())
                return Reason(query.lastError());
        }
        return {};
    });
}

QString Writer::prune(Connection& connection)
{
    const auto closing = [this] {
        const std::lock_guard lock(m_mutex);
        return m_closing;
    };
    QSqlQuery query(connection.db());
    query.prepare(QStringLiteral(
        "DELETE FROM events WHERE rowid IN (SELECT rowid FROM events WHERE time < ? LIMIT ?)"));
    query.addBindValue(Stamp(QDateTime::currentDateTimeUtc().addDays(-m_keepDays)));
    query.addBindValue(kPruneStep);
    do {
        if (!query.exec())
            return Reason(query.lastError());
    } while (query.numRowsAffected() == kPruneStep && !closing());
    return {};
}

void Writer::report(const QString& reason)
{
    {
        const std::lock_guard lock(m_mutex);
        m_untold =
            board::Tr("历史文件“%1”无法写入：%2。", "The history file %1 cannot be written: %2.")
                .arg(m_path, reason);
    }
    QMetaObject::invokeMethod(this, &Writer::tell, Qt::QueuedConnection);
}

void Writer::tell()
{
    QString message;
    {
        const std::lock_guard lock(m_mutex);
        message = std::exchange(m_untold, {});
    }
    if (!message.isEmpty())
        emit failed(message);
}

} // namespace history
