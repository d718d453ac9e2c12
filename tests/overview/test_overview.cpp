// The overview's logic without a display: its command line, what it reads of name.txt, the device
// list as devices come, and a line watched beside the real boardsim, into a real history file.
#include "apps/overview/device_watch.h"
#include "apps/overview/line_watch.h"
#include "apps/overview/names.h"
#include "apps/overview/options.h"
#include "apps/overview/timeline_scale.h"

#include "history/queries.h"
#include "naming/gbk.h"
#include "support/program_folder.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace overview;

namespace {

// The options as one line, or the exit's code and text, "kestrel-overview: TEXT (… --help tells
// more)" shown as "TEXT …".
QString Summary(const std::variant<Options, board::ExitNow>& parsed)
{
    if (const auto* exit = std::get_if<board::ExitNow>(&parsed))
        return QString("exit %1: %2")
            .arg(exit->code)
            .arg(exit->text.section(u'\n', 0, 0)
                     .replace(
                         QRegularExpression(
                             "^kestrel-overview: (.*) \\(kestrel-overview --help tells more\\)$"),
                         "\\1 …"));
    const Options& o = std::get<Options>(parsed);
    return QString("port %1, device %2, addresses %3, any %4, history %5, keep %6")
        .arg(o.port ? QString::number(*o.port) : "-", o.device, AddressText(o.addresses))
        .arg(o.anyAddress)
        .arg(o.historyFile)
        .arg(o.keepDays);
}

// Each board's link as digits of Link, in the order of the list.
QString Links(const LineWatch& watch)
{
    QString links;
    for (const BoardView& board : watch.boards())
        links += QString::number(int(board.link));
    return links;
}

// The events of the filter, oldest first, as "event channel name" words.
QStringList Events(const QString& path, history::Filter filter)
{
    filter.limit = 100;
    QStringList events;
    for (const history::Row& row : history::Events(path, filter).rows)
        events.prepend(QStringList{history::EventName(row.event),
                                   row.channel ? QString::number(*row.channel) : "", row.name}
                           .join(u' ')
                           .trimmed());
    return events;
}

const history::Recorder::Names kNames = [](std::uint8_t address, int channel) {
    return QString("%1.%2").arg(address).arg(channel);
};

} // namespace

class OverviewTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home; // the user's folder: comN links and names of their own

private slots:
    void initTestCase()
    {
        qputenv("LC_ALL", "C");
        qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
    }

    void options_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("summary");
        const QString none = "port -, device , addresses , any 0, history , keep 0";
        QTest::newRow("nothing") << "" << none;
        QTest::newRow("a wall screen")
            << "--port 3 --address 7,1-3,5 --history h --keep-days 30"
            << "port 3, device , addresses 7,1-3,5, any 0, history h, keep 30";
        QTest::newRow("one board, any address")
            << "--device /dev/ttyUSB0 --address 9 --any-address"
            << "port -, device /dev/ttyUSB0, addresses 9, any 1, history , keep 0";
        QTest::newRow("two lines") << "--port 1 --device /dev/x"
                                   << "exit 2: --port or --device, not both. …";
        QTest::newRow("any address of two")
            << "--address 1,2 --any-address"
            << "exit 2: --any-address is only for one address given with --address. …";
        QTest::newRow("port") << "--port 256"
                              << "exit 2: port '256' is not 0..255. …";
        QTest::newRow("list") << "--address 1,,2"
                              << "exit 2: address '1,,2' is not an address 0..255 or a list "
                                 "such as 1-8,12. …";
        QTest::newRow("days") << "--keep-days 36501"
                              << "exit 2: days '36501' is not 0..36500. …";
        QTest::newRow("word") << "watch"
                              << "exit 2: unexpected argument: watch …";
        QTest::newRow("help") << "--help"
                              << "exit 0: Usage: kestrel-overview [--port N | --device PATH] "
                                 "[--address LIST [--any-address]]";
    }
    void options()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, summary);
        QCOMPARE(Summary(ParseOptions(QStringList{"kestrel-overview"} +
                                      arguments.split(u' ', Qt::SkipEmptyParts))),
                 summary);
    }

    // The accessible names tests and screen readers read (in English, a lamp's "on" is read in
    // test_overview_window).
    void accessibleNames()
    {
        qputenv("LC_ALL", "zh_CN.UTF-8");
        using history::State;
        QCOMPARE((QStringList{BoardName(2), LampName(2, 5, State::On), LampName(2, 6, State::Off),
                              LampName(2, 7, State::Unknown), LampName(2, 8, State::Closed)}),
                 (QStringList{"地址2", "地址2 第5路 连接", "地址2 第6路 断开",
                              "地址2 第7路 状态未知", "地址2 第8路 状态未知"}));
        qputenv("LC_ALL", "C");
    }

    // The title and an address's names from a GBK file, one an editor saved as UTF-8, or none.
    void names_data()
    {
        QTest::addColumn<QByteArray>("content"); // nothing: no file
        QTest::addColumn<QStringList>("read");   // title, channel 1 and 2 of address 2, error
        const QString text = "[软件属性]\r\n名称=泵房\r\n[地址码2]\r\n第1路名称=进水泵\r\n";
        QTest::newRow("GBK") << *naming::gbk::Encode(text)
                             << QStringList{"泵房", "进水泵", "第2路", ""};
        QTest::newRow("UTF-8") << "\xEF\xBB\xBF" + text.toUtf8()
                               << QStringList{"泵房", "进水泵", "第2路", ""};
        QTest::newRow("none") << QByteArray() << QStringList{"", "第1路", "第2路", ""};
    }
    void names()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, read);
        QTemporaryDir dir;
        if (!content.isNull())
            Put(dir.filePath("name.txt"), content);
        const NameBook book(dir.filePath("name.txt"));
        QCOMPARE((QStringList{book.title(), book.channel(2, 1), book.channel(2, 2), book.error()}),
                 read);
    }

    // What lies under the mouse on a timeline of a real history: strips 1000 px wide over 1000 s,
    // a lane of 10 px a channel.
    void timelinePoints_data()
    {
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<QString>("under"); // channel, state, the stretch's seconds
        QTest::newRow("while on") << QPointF(150, 5) << "1 0 100-300";
        QTest::newRow("off, to the closing") << QPointF(599.5, 9.9) << "1 1 300-600";
        QTest::newRow("the bottom edge") << QPointF(650, 240) << "24 3 600-1000";
        QTest::newRow("left of the strips") << QPointF(-1, 5) << "none";
    }
    void timelinePoints()
    {
        QFETCH(QPointF, point);
        QFETCH(QString, under);
        QTemporaryDir dir;
        const QString path = dir.filePath("h.sqlite");
        const QDateTime base(QDate(2025, 3, 1), QTime(0, 0), Qt::UTC);
        history::Writer writer(path);
        using history::Event;
        for (const auto& [second, channel, event] : {std::tuple{0, 0, Event::Opened},
                                                     {100, 1, Event::On},
                                                     {300, 1, Event::Off},
                                                     {600, 0, Event::Closed}})
            writer.append(
                {base.addSecs(second), "/dev/a", channel ? std::optional(1) : std::nullopt,
                 channel ? std::optional(channel) : std::nullopt, event, channel ? "pump" : ""});
        writer.close();
        const auto lanes = history::Reader(path).timeline({}, 1, base, base.addSecs(1000));
        const TimelineScale scale{QRectF(0, 0, 1000, 240), base, base.addSecs(1000)};
        QCOMPARE(scale.x(base.addSecs(300)), 300.0);
        const auto found = scale.at(lanes, point);
        QCOMPARE(found ? QString("%1 %2 %3-%4")
                             .arg(found->first)
                             .arg(int(found->second.state))
                             .arg(base.secsTo(found->second.from))
                             .arg(base.secsTo(found->second.to))
                       : "none",
                 under);
        if (found && found->first == 1 && found->second.state == history::State::On)
            QCOMPARE(StretchText(1, found->second),
                     "channel 1 pump\non\n" +
                         base.addSecs(100).toLocalTime().toString("yyyy-MM-dd HH:mm:ss") + " – " +
                         base.addSecs(300).toLocalTime().toString("yyyy-MM-dd HH:mm:ss"));
    }

    // A comN link made beside the program shows in the list, with its number, soon after.
    void devicesCome()
    {
        QTemporaryDir program;
        const PseudoTerminal pty;
        DeviceWatch devices(program.path());
        const auto port = [&] {
            for (const board::SerialDevice& device : devices.devices())
                if (device.links.contains(program.filePath("com7")))
                    return device.port;
            return -1;
        };
        QSignalSpy changed(&devices, &DeviceWatch::changed);
        QVERIFY(changed.wait());
        QCOMPARE(port(), -1);
        QVERIFY(QFile::link(pty.slavePath(), program.filePath("com7")));
        QTRY_COMPARE(port(), 7);
    }

    // Three boards asked on a bus of two: rows and history as boards answer, fall silent, come
    // back, and the line goes away and comes back.
    void watchesLine()
    {
        QTemporaryDir dir;
        BoardsimProcess sim(dir.path(), {"--address", "1,2", "--pattern", "0x000005"});
        QVERIFY(sim.started());
        const QString path = dir.filePath("h.sqlite");
        history::Writer writer(path);
        LineWatch watch(dir.path(), writer, kNames);
        QSignalSpy down(&watch, &LineWatch::lineDown);
        QVERIFY(watch.start({1, {}}, {1, 2, 3}, false, false).ok);
        QTRY_COMPARE(Links(watch), "224"); // answering, answering, never answered
        const BoardView& one = watch.boards()[0];
        QCOMPARE((std::array{one.lamp(1), one.lamp(2), one.lamp(3)}),
                 (std::array{history::State::On, history::State::Off, history::State::On}));

        QVERIFY(sim.control("@2 silent on"));
        QTRY_COMPARE(Links(watch), "234");
        QVERIFY(qAbs(watch.boards()[1].silentSince.secsTo(QDateTime::currentDateTime())) < 5);
        QCOMPARE(watch.boards()[1].lamp(1), history::State::Unknown);
        QVERIFY(sim.control("@2 silent off") && sim.control("@1 pattern 0x000004"));
        QTRY_COMPARE(Links(watch), "224");
        QTRY_COMPARE(watch.boards()[0].lamp(1), history::State::Off);

        QVERIFY(sim.control("unplug"));
        QTRY_COMPARE(down.size(), 1);
        QCOMPARE(Links(watch), "000");
        QCOMPARE(watch.boards()[0].lamp(1), history::State::Closed);
        QVERIFY(sim.control("replug"));
        QTRY_COMPARE(Links(watch), "224"); // the absent board is told again
        watch.stop();
        QCOMPARE(Links(watch), "000");
        // The line is free again for another program.
        history::Writer otherHistory(dir.filePath("other.sqlite"));
        LineWatch other(dir.path(), otherHistory, kNames);
        QVERIFY(other.start({1, {}}, {1}, false, false).ok);
        writer.close();

        using history::Event;
        QCOMPARE(Events(path, {.events = {Event::Opened, Event::Closed, Event::PortLost}}),
                 QStringList({"opened", "port_lost", "opened", "closed"}));
        QCOMPARE(Events(path, {.address = 2, .events = {Event::Lost, Event::Ok}}),
                 QStringList({"lost", "ok", "lost", "ok"}));
        QCOMPARE(Events(path, {.address = 3}), QStringList{"absent"});
        QCOMPARE(Events(path, {.address = 1, .channel = 1}),
                 QStringList({"on 1 1.1", "off 1 1.1", "off 1 1.1"}));
    }

    // A wall screen started before its adapter: told, then watching once the line is there.
    void waitsForLine()
    {
        QTemporaryDir dir;
        history::Writer writer(dir.filePath("h.sqlite"));
        LineWatch watch(dir.path(), writer, kNames);
        QVERIFY(!watch.active());
        QSignalSpy down(&watch, &LineWatch::lineDown);
        const Line line{1, dir.filePath("com1")};
        QVERIFY(!watch.start(line, {1}, false, false).ok);
        QVERIFY(!watch.active() && down.isEmpty());
        QVERIFY(!watch.start(line, {1}, false, true).ok);
        QCOMPARE(down.size(), 1);
        QVERIFY2(down[0][0].toString().startsWith("Device " + line.device + " cannot be opened."),
                 qPrintable(down[0][0].toString()));
        const BoardsimProcess sim(dir.path(), {});
        QTRY_COMPARE(Links(watch), "2");
    }
};

QTEST_GUILESS_MAIN(OverviewTest)
#include "test_overview.moc"
