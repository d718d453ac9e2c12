// The history on real SQLite files: batches, files refused and left alone, a read-only file, a
// full disk, two writers at once, and the queries behind the history view and the timeline.
#include "history/queries.h"
#include "history/writer.h"

#include <QBuffer>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <unistd.h>

#include <future>
#include <numeric>

using namespace history;
Q_DECLARE_METATYPE(history::Filter)

namespace {

const QDateTime kBase(QDate(2025, 3, 1), QTime(0, 0), Qt::UTC);
const QStringList kLog = {"01 opened", "02 on 3 7 泵,\"甲\"\n乙", "02 off 3 8", "03 lost 3",
                          "04 on 4 7", "05 closed /dev/b",        "06 ok 3"};
const QString kNotWritten = QStringLiteral("The history file %1 cannot be written: %2.");

// "MM event [address [channel [name]]] [/device]": minute MM, on /dev/a unless another is named.
Row R(const QString& entry)
{
    QStringList part = entry.split(u' ');
    const QString device = part.last().startsWith(u'/') ? part.takeLast() : "/dev/a";
    const auto number = [&part](int i) {
        return part.size() > i ? std::optional(part[i].toInt()) : std::nullopt;
    };
    return {kBase.addSecs(part[0].toInt() * 60),
            device,
            number(2),
            number(3),
            *EventFromName(part[1]),
            part.value(4)};
}

QByteArray Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Transactions in the write-ahead log: after its 32-byte header, frames of a 24-byte header
// (which gives the database's size in a commit) and a page.
int WalCommits(const QString& path)
{
    const QByteArray log = Bytes(path + "-wal");
    int commits = 0;
    for (qsizetype at = 32; at + 24 <= log.size();
         at += 24 + qFromBigEndian<quint32>(log.data() + 8))
        commits += qFromBigEndian<quint32>(log.data() + at + 4) != 0;
    return commits;
}

} // namespace

class HistoryTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;

    void write(const QStringList& entries, QList<Row> rows = {})
    {
        Writer writer(m_path);
        for (const QString& entry : entries)
            rows << R(entry);
        for (const Row& row : rows)
            writer.append(row);
        writer.close();
        QCOMPARE(writer.notWritten(), 0);
    }
    qsizetype count() { return Events(m_path, {.limit = 1000}).rows.size(); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = m_dir->filePath("d/h"); // the writer makes the folder
    }

    // Rows appended as a poll would, 20 ms apart, go in one transaction, each once; closing
    // writes what is pending.
    void batches()
    {
        Writer writer(m_path);
        writer.append(R("01 opened"));
        QTRY_COMPARE(count(), 1);
        const int commits = WalCommits(m_path);
        for (const char* entry : {"02 on 1 1", "02 off 1 2", "03 lost 1"})
            writer.append(R(entry)), QTest::qWait(20);
        QTRY_COMPARE(count(), 4);
        QCOMPARE(WalCommits(m_path), commits + 1);
        writer.append(R("04 closed"));
        writer.close();
        QCOMPARE(count(), 5);
    }

    // Rows older than keepDays go when a writer opens the file; newer ones stay.
    void prunes()
    {
        write({"01 opened"}, {{QDateTime::currentDateTimeUtc().addDays(-1), "/dev/a"}});
        Writer writer(m_path, 2);
        QTRY_COMPARE(count(), 1);
    }

    // A file the writer cannot use is told once, in a sentence, and left as it was; the rows
    // given meanwhile are counted. Each row's shell command spoils the history h in folder d.
    void unwritable_data()
    {
        QTest::addColumn<QString>("spoil");
        QTest::addColumn<QString>("told"); // a Chinese sentence under a Chinese locale
        const auto row = [](const char* name, const char* spoil, const QString& told) {
            QTest::newRow(name) << QString(spoil) << told;
        };
        const auto en = [](const char* reason) { return kNotWritten.arg("%1", reason); };
        row("text", "printf '[地址码0]\\n' >h", en("it is not an SQLite database"));
        row("one byte", "printf x >h", "历史文件“%1”无法写入：它不是 SQLite 数据库。");
        row("other tables", "rm h && sqlite3 h 'CREATE TABLE t(x)'",
            en("it holds other tables, not a history"));
        row("later version", "rm h && sqlite3 h 'CREATE TABLE events(x); PRAGMA user_version = 2'",
            en("its tables are of version 2; this program knows version 1"));
        row("other columns",
            "rm h && sqlite3 h 'CREATE TABLE events(time TEXT); PRAGMA user_version = 1'",
            en("its events table is not a history's"));
        // Immutable binds root too; a tmpfs of 256 KiB is full after 480 KB of names.
        row("read-only", "chattr +i h", en("it is read-only"));
        row("full disk",
            "mv h .. && mount -t tmpfs -o size=256k tmpfs . && cd \"$PWD\" && mv ../h .",
            en("the disk is full"));
    }
    void unwritable()
    {
        QFETCH(QString, spoil);
        QFETCH(QString, told);
        if (::geteuid() != 0 && (spoil.contains("chattr") || spoil.contains("mount")))
            QSKIP("chattr +i and mount need root");
        write({"01 opened"});
        const auto undo = qScopeGuard([this] {
            QProcess::execute("sh", {"-c", "cd \"$0\"; chattr -i d/h; umount -q d", m_dir->path()});
        });
        QCOMPARE(QProcess::execute("sh", {"-c", "cd \"$0\" && " + spoil, m_dir->filePath("d")}), 0);
        const QByteArray before = Bytes(m_path);
        qputenv("LC_ALL", told.startsWith(u'历') ? "zh_CN.UTF-8" : "");
        const auto english = qScopeGuard([] { qunsetenv("LC_ALL"); });
        Writer writer(m_path);
        QSignalSpy spy(&writer, &Writer::failed);
        for (int batch = 0; batch < 2; ++batch) {
            for (int i = 0; i < 40; ++i)
                writer.append(R("02 on 1 1 " + QString(4000, u'名')));
            QTRY_COMPARE(spy.size(), 1); // at the first batch, and not again at the second
        }
        writer.close();
        QCOMPARE(QList<QVariantList>(spy), QList<QVariantList>{{told.arg(m_path)}});
        QCOMPARE(writer.notWritten(), 80);
        QCOMPARE(Bytes(m_path), before);
    }

    // A file refused as the writer closes, before an event loop ran, is still told.
    void toldAtClose()
    {
        Writer writer(m_dir->path());
        QSignalSpy spy(&writer, &Writer::failed);
        writer.close();
        QCOMPARE(spy.size(), 1);
    }

    // While one program holds the write lock the writers wait for it, then both write.
    void twoWriters()
    {
        write({});
        Connection holder(m_path, false);
        QVERIFY(holder.open().isEmpty());
        QSqlQuery lock(holder.db());
        QVERIFY(lock.exec("BEGIN IMMEDIATE"));
        Writer first(m_path), second(m_path);
        first.append(R("01 opened"));
        second.append(R("01 opened /dev/b"));
        auto closed = std::async(std::launch::async, [&] { first.close(), second.close(); });
        QVERIFY(closed.wait_for(std::chrono::milliseconds(300)) == std::future_status::timeout);
        QVERIFY(lock.exec("COMMIT"));
        closed.wait();
        QCOMPARE(first.notWritten() + second.notWritten(), 0);
        QCOMPARE(count(), 2);
    }

    // The history view: rows newest first (rows of one moment as written), each filter, pages.
    void events_data()
    {
        QTest::addColumn<Filter>("filter");
        QTest::addColumn<QString>("pages"); // kLog's rows by index, a page each between bars
        QTest::newRow("all") << Filter{} << "6543210";
        QTest::newRow("line") << Filter{.device = "/dev/b"} << "5";
        QTest::newRow("board") << Filter{.address = 3} << "6321";
        QTest::newRow("its channel") << Filter{.address = 3, .channel = 7} << "1";
        QTest::newRow("channel") << Filter{.channel = 7} << "41";
        QTest::newRow("kinds") << Filter{.events = {Event::Lost, Event::Ok}} << "63";
        QTest::newRow("span") << Filter{.from = kBase.addSecs(120), .to = kBase.addSecs(240)}
                              << "321";
        QTest::newRow("pages") << Filter{.limit = 3} << "654|321|0";
        QTest::newRow("one full page") << Filter{.limit = 7} << "6543210";
        QTest::newRow("a page ends in a moment") << Filter{.address = 3, .limit = 3} << "632|1";
    }
    void events()
    {
        QFETCH(Filter, filter);
        QFETCH(QString, pages);
        QList<Row> log;
        for (const QString& entry : kLog)
            log << R(entry);
        write({}, log);
        QStringList shown;
        for (std::optional<Filter> next = filter; next;) {
            const Page page = Events(m_path, *next);
            shown << QString();
            for (const Row& row : page.rows)
                shown.last() += QString::number(log.indexOf(row));
            next = page.next;
        }
        QCOMPARE(shown.join(u'|'), pages);
    }

    // Exported as the table's columns: empty for NULL, quoted where RFC 4180 says.
    void csv()
    {
        write(kLog);
        QBuffer out;
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(Reader(m_path).exportCsv({.address = 3, .events = {Event::On, Event::Lost}}, out),
                 QString());
        QCOMPARE(QString::fromUtf8(out.data()), "time,device,address,channel,event,name\r\n"
                                                "2025-03-01T00:03:00.000Z,/dev/a,3,,lost,\r\n"
                                                "2025-03-01T00:02:00.000Z,/dev/a,3,7,on,"
                                                "\"泵,\"\"甲\"\"\n乙\"\r\n");
    }

    // Channel 7 of board 3 on /dev/a from minute 10 to 60: its state at each change.
    void timeline_data()
    {
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QString>("lane");
        QTest::newRow("the last before the span")
            << QStringList{"02 opened", "04 off 3 7", "05 lost 3", "06 off 3 7", "06 on 3 7 泵"}
            << "on@10泵";
        QTest::newRow("lost before the span")
            << QStringList{"03 on 3 7", "05 lost 3"} << "unknown@10";
        QTest::newRow("lost, absent: unknown until on or off")
            << QStringList{"02 opened", "03 on 3 7",  "20 lost 3",
                           "25 ok 3",   "30 off 3 7", "40 absent 3"}
            << "on@10 unknown@20 off@30 unknown@40";
        QTest::newRow("closed, then opened: unknown until a frame")
            << QStringList{"03 on 3 7", "20 closed", "30 opened", "40 on 3 7", "50 port_lost"}
            << "on@10 closed@20 unknown@30 on@40 closed@50";
        QTest::newRow("nothing known") << QStringList{"30 opened"} << "closed@10 unknown@30";
        QTest::newRow("other boards, channels, lines")
            << QStringList{"03 on 3 7", "20 lost 4", "21 off 3 8", "22 closed /dev/b",
                           "23 off 3 7 /dev/b"}
            << "on@10";
    }
    void timeline()
    {
        QFETCH(QStringList, log);
        QFETCH(QString, lane);
        write(log);
        const QDateTime from = kBase.addSecs(600), to = kBase.addSecs(3600);
        const Lanes lanes = Reader(m_path).timeline("/dev/a", 3, from, to);
        for (const QList<Stretch>& lane : lanes.channels) // each lane goes on to the span's end
            for (qsizetype i = 0; i < lane.size(); ++i)
                QCOMPARE(lane[i].to, i + 1 < lane.size() ? lane[i + 1].from : to);
        QStringList shown;
        for (const Stretch& stretch : lanes.channels[6])
            shown << QStringList{"on", "off", "unknown", "closed"}[int(stretch.state)] + '@' +
                         QString::number(kBase.secsTo(stretch.from) / 60) + stretch.name;
        QCOMPARE(shown.join(u' '), lane);
    }
};

QTEST_GUILESS_MAIN(HistoryTest)
#include "test_history.moc"
