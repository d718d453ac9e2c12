#include "events.h"

#include "link/port_names.h"
#include "link/text.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <iterator>

namespace history {

namespace {

using board::Tr;

const char* const kNames[] = {"on", "off", "lost", "ok", "absent", "opened", "closed", "port_lost"};

// PRAGMA table_info's name, type and not-null flag of each column, as the table is made below.
const char* const kColumns =
    "time TEXT 1,device TEXT 1,address INTEGER 0,channel INTEGER 0,event TEXT 1,name TEXT 0";
const char* const kCreate[] = {
    "CREATE TABLE events(time TEXT NOT NULL, device TEXT NOT NULL, address INTEGER, "
    "channel INTEGER, event TEXT NOT NULL, name TEXT)",
    "CREATE INDEX events_time ON events(time)",
    "CREATE INDEX events_board ON events(address, channel, time)",
    "PRAGMA user_version = 1",
};
static_assert(kSchemaVersion == 1, "kCreate makes the table of version 1");

// SQLite's primary result codes, which its extended codes keep in their low byte.
enum : int {
    kBusy = 5,
    kLocked = 6,
    kReadOnly = 8,
    kCorrupt = 11,
    kFull = 13,
    kCantOpen = 14,
    kNotADatabase = 26
};

QString NotSqlite()
{
    return Tr("它不是 SQLite 数据库", "it is not an SQLite database");
}

QString Exec(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery query(db);
    return query.exec(sql) ? QString() : Reason(query.lastError());
}

} // namespace

QString EventName(Event event)
{
    return QString::fromLatin1(kNames[int(event)]);
}

std::optional<Event> EventFromName(const QString& name)
{
    for (int i = 0; i < int(std::size(kNames)); ++i)
        if (name == QLatin1String(kNames[i]))
            return Event(i);
    return std::nullopt;
}

QString DefaultPath()
{
    return QDir(board::UserFolder()).filePath(QStringLiteral("history.sqlite"));
}

QString Stamp(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QString Reason(const QSqlError& error)
{
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case kBusy:
    case kLocked:
        return Tr("另一个程序锁住它已超过 %1 秒",
                  "another program has kept it locked for over %1 s")
            .arg(kBusyMs / 1000);
    case kReadOnly:
        return Tr("它是只读的", "it is read-only");
    case kCorrupt:
        return Tr("它已损坏", "it is damaged");
    case kFull:
        return Tr("磁盘已满", "the disk is full");
    case kCantOpen:
        return Tr("无法打开或创建它", "it cannot be opened or made");
    case kNotADatabase:
        return NotSqlite();
    }
    return error.text();
}

Connection::Connection(const QString& path, bool readOnly) : m_path(path), m_readOnly(readOnly)
{
    static std::atomic<int> made;
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                     QStringLiteral("history-%1").arg(++made));
    m_db.setDatabaseName(path);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1%2")
                               .arg(kBusyMs)
                               .arg(readOnly ? ";QSQLITE_OPEN_READONLY" : ""));
}

Connection::~Connection()
{
    const QString name = m_db.connectionName();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

QString Connection::open()
{
    if (!m_db.isValid())
        return Tr("缺少 Qt 的 SQLite 驱动（软件包 libqt6sql6-sqlite）",
                  "Qt's SQLite driver is missing (package libqt6sql6-sqlite)");
    if (m_readOnly && !QFileInfo::exists(m_path))
        return Tr("没有这个文件", "there is no such file");
    // SQLite takes a file shorter than a page for an empty database, and would write over it.
    if (QFile file(m_path); file.open(QIODevice::ReadOnly) && file.size() > 0 &&
                            file.read(16) != QByteArrayView("SQLite format 3", 16))
        return NotSqlite();
    if (!m_db.isOpen() && !m_db.open())
        return Reason(m_db.lastError());
    bool empty = false;
    QString why = checkSchema(&empty);
    if (why.isEmpty() && empty)
        why = m_readOnly ? Tr("其中还没有历史", "it holds no history yet") : create();
    // WAL lets a window and a boardctl write and read at once; a commit then waits for the disk
    // only at checkpoints, and a power cut can lose the last commits but never break the file.
    for (const char* pragma : {"PRAGMA journal_mode = WAL", "PRAGMA synchronous = NORMAL"})
        if (why.isEmpty() && !m_readOnly)
            why = Exec(m_db, QString::fromLatin1(pragma));
    if (!why.isEmpty())
        m_db.close();
    return why;
}

QString Connection::checkSchema(bool* empty)
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT (SELECT user_version FROM pragma_user_version), "
                                   "(SELECT count(*) FROM sqlite_master)")) ||
        !query.next())
        return Reason(query.lastError());
    const int version = query.value(0).toInt();
    *empty = version == 0 && query.value(1).toInt() == 0;
    if (*empty)
        return {};
    if (version == 0)
        return Tr("其中是别的表，不是历史", "it holds other tables, not a history");
    if (version != kSchemaVersion)
        return Tr("它的表是第 %1 版，本程序只认第 %2 版",
                  "its tables are of version %1; this program knows version %2")
            .arg(version)
            .arg(kSchemaVersion);
    QStringList columns;
    if (!query.exec(QStringLiteral("PRAGMA table_info(events)")))
        return Reason(query.lastError());
    while (query.next()) // cid, name, type, notnull, dflt_value, pk
        columns << QStringLiteral("%1 %2 %3")
                       .arg(query.value(1).toString(), query.value(2).toString(),
                            query.value(3).toString());
    if (columns.join(u',') != QLatin1String(kColumns))
        return Tr("其中的 events 表不是历史的表", "its events table is not a history's");
    return {};
}

QString Connection::create()
{
    // Looked at again under the write lock, so that two writers starting on one new file make
    // the table once.
    return transaction([this] {
        bool empty = false;
        QString why = checkSchema(&empty);
        for (const char* sql : kCreate)
            if (why.isEmpty() && empty)
                why = Exec(m_db, QString::fromLatin1(sql));
        return why;
    });
}

QString Connection::transaction(const std::function<QString()>& body)
{
    if (const QString why = Exec(m_db, QStringLiteral("BEGIN IMMEDIATE")); !why.isEmpty())
        return why;
    QString why = body();
    if (why.isEmpty())
        why = Exec(m_db, QStringLiteral("COMMIT"));
    if (!why.isEmpty())
        Exec(m_db, QStringLiteral("ROLLBACK"));
    return why;
}

} // namespace history
