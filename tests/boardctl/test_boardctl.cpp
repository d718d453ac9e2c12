// boardctl as a script runs it: the real binary, copied into a folder with boardsim's com1 link and
// a name.txt naming channel 1 "进水", with no display. Its stderr is read along with its stdout.
#include "apps/boardctl/options.h"
#include "history/queries.h"
#include "link/watch_log.h"
#include "support/line_process.h"
#include "support/script.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

class BoardctlTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qunsetenv("DISPLAY"); // the children inherit this environment, messages in Chinese
        qputenv("LC_ALL", "zh_CN.UTF-8");
    }

    // A drop's time counts until the channel is back, across a silence but not during it; a
    // channel off from the start is down time, not a drop.
    void watchTotals()
    {
        board::WatchLog log;
        QCOMPARE(log.frame(0, 0xFFFFFE).size(), size_t(24));  // channel 1 off, no "link ok"
        QCOMPARE(log.frame(100, 0xFFFFFC).size(), size_t(1)); // channel 2 drops
        QCOMPARE(log.silent(300).size(), size_t(1));
        QCOMPARE(log.frame(1000, 0xFFFFFC).size(), size_t(25)); // "link ok", then every channel
        log.frame(1100, 0xFFFFFB); // channel 3 drops and is still down at the end
        const auto totals = log.totals(2000);
        const auto of = [&](int ch) {
            const board::ChannelTotals& t = totals[size_t(ch - 1)];
            return QString("%1 %2 %3").arg(t.drops).arg(t.downMs).arg(t.longestDownMs);
        };
        QCOMPARE(of(1) + ", " + of(2) + ", " + of(3), "0 400 400, 1 300 300, 1 900 900");
        QCOMPARE(log.linkLost(), 1);
        board::WatchLog never; // absent once, at the sixth silent poll, as the watchdog counts
        QString absent;
        for (int poll = 1; poll <= 7; ++poll)
            absent += QString::number(never.silent(poll).size());
        QCOMPARE(absent, "0000010");
    }

    // The command line's rules, in-process: each row's arguments and the options they give
    // (command, port, format, any address, interval, timeout, retries, channel, duration, first
    // and last address), or the exit code and a piece of the message.
    void options_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char* args, const char* outcome) {
            QTest::newRow(args) << QString(args) << QString(outcome);
        };
        row("status", "c0 p1 f0 a0 i50 t1000 r0 ch0 d0 1-1");
        row("--address 1-32 status", "c0 p1 f0 a0 i50 t3250 r0 ch0 d0 1-32"); // each asked twice
        row("--address 1-32 --interval 0 status", "c0 p1 f0 a0 i0 t3250 r0 ch0 d0 1-32");
        row("--address 1-32 status --timeout 10", "c0 p1 f0 a0 i50 t10 r0 ch0 d0 1-32");
        row("--address 1-3 --interval 400 status", "c0 p1 f0 a0 i400 t2800 r0 ch0 d0 1-3");
        row("scan", "c3 p1 f0 a0 i50 t30 r0 ch0 d0 0-255");
        row("scan --from 3 --to 5 --retries 100", "c3 p1 f0 a0 i50 t30 r100 ch0 d0 3-5");
        row("--any-address toggle 24", "c2 p1 f0 a1 i50 t1000 r0 ch24 d0 1-1");
        row("--port 255 --json watch --duration 0.001",
            "c1 p255 f1 a0 i50 t1000 r0 ch0 d0.001 1-1");
        row("--csv status --timeout 3600000", "c0 p1 f2 a0 i50 t3600000 r0 ch0 d0 1-1");
        row("--address 1,2 --any-address watch", "2 --any-address");
        row("scan --any-address", "2 --any-address");
        row("watch --duration 1e-9", "2 0.001～2000000");
        row("watch --duration 2000001", "2 0.001～2000000");
        row("--port 256 status", "2 0～255");
        row("status --timeout 3600001", "2 1～3600000");
        row("watch --timeout 5", "2 --timeout 只用于 status、toggle、scan");
        row("scan --retries 101", "2 0～100");
        row("scan --from 5 --to 4", "2 --from 不能大于 --to");
        row("--address 1,2 toggle 1", "2 toggle 只用于一个地址");
        row("toggle 25", "2 不在 1～24");
        row("--port 1 --device x status", "2 --port 和 --device");
        row("-x --bogus status", "2 未知的选项：-x、--bogus");
        row("--address 1,,2 watch", "2 地址“1,,2”不是 0～255 的地址或列表");
        row("status --timeout", "2 选项 --timeout 后面缺少取值");
        row("--address 3 ports", "2 --address 只用于 status、watch、toggle、scan");
        row("--json ports", "c4 p1 f1 a0 i50 t1000 r0 ch0 d0 1-1");
    }
    void options()
    {
        QFETCH(QString, args);
        QFETCH(QString, outcome);
        const auto parsed = boardctl::ParseOptions(("boardctl " + args).split(' '));
        if (const auto* exit = std::get_if<boardctl::ExitNow>(&parsed)) {
            QVERIFY2(outcome.startsWith(QString::number(exit->code) + ' ') &&
                         exit->text.contains(outcome.section(' ', 1)),
                     qPrintable(exit->text));
            return;
        }
        const boardctl::Options& o = std::get<boardctl::Options>(parsed);
        QCOMPARE(QString::asprintf("c%d p%d f%d a%d i%d t%d r%d ch%d d%g %d-%d", int(o.command),
                                   o.port, int(o.format), o.anyAddress, o.intervalMs, o.timeoutMs,
                                   o.retries, o.channel, o.durationSeconds.value_or(0),
                                   o.addresses.front(), o.addresses.back()),
                 outcome);
    }

    // Every option the help lists, which it takes from the program's option table, is in the
    // manual page and, for boardctl and the overview, in README's section on it.
    void documented_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("readme"); // the heading of its README section, if any
        QTest::addColumn<int>("options");    // its help lists at least so many
        QTest::newRow("boardctl") << BOARDCTL_PATH << "\n## boardctl:" << 11;
        QTest::newRow("boardsim") << BOARDSIM_PATH << "" << 11;
        QTest::newRow("kestrel-overview") << OVERVIEW_PATH << "\n## Kestrel Overview:" << 8;
    }
    void documented()
    {
        QFETCH(QString, program);
        QFETCH(QString, readme);
        QFETCH(int, options);
        const auto read = [](const QString& path) {
            QFile file(QStringLiteral(SOURCE_DIR "/") + path);
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        };
        const QString page = read("packaging/" + QFileInfo(program).fileName() + ".1");
        const QString section = read("README.md").section(readme, 1, 1).section("\n## ", 0, 0);
        static const QRegularExpression option("^  (?:-h, )?--([\\w-]+)");
        LineProcess help(program, {"--help"});
        QStringList missing, seen;
        while (const auto line =
                   help.waitForLine([](auto& l) { return option.match(l).hasMatch(); })) {
            const QString name = seen.emplace_back(option.match(*line).captured(1));
            const QString roff = "\\-\\-" + QString(name).replace('-', "\\-");
            if (!page.contains(
                    QRegularExpression(QRegularExpression::escape(roff) + "(?![\\w\\\\])")))
                missing << "manual page: --" + name;
            if (!readme.isEmpty() &&
                !section.contains(QRegularExpression("--" + name + "(?![\\w-])")))
                missing << "README.md: --" + name;
        }
        QVERIFY2(seen.size() >= options && missing.isEmpty(),
                 qPrintable(QString("%1 options seen; ").arg(seen.size()) + missing.join(", ")));
    }

    // Polling never waits on a reader that takes nothing: board 5 falls silent meanwhile, and the
    // summary says so, and how many lines had to be dropped. A reader that never comes back holds
    // a stop signal up for two seconds at most.
    void stalledReader_data()
    {
        QTest::addColumn<bool>("readerBack");
        QTest::newRow("the reader back after the stop") << true;
        QTest::newRow("the reader never back") << false;
    }
    void stalledReader()
    {
        QFETCH(bool, readerBack);
        Script board;
        QVERIFY(board.run("sim --address 1-16 --walk 20 --log"));
        int pipe[2];
        QVERIFY(::pipe2(pipe, O_CLOEXEC) == 0 && ::fcntl(pipe[1], F_SETPIPE_SZ, 4096) > 0);
        QProcess ctl;
        ctl.setChildProcessModifier([&] { ::dup2(pipe[1], STDOUT_FILENO); });
        ctl.start(BOARDCTL_PATH, {"--device", board.dir.filePath("com1"), "--address", "1-16",
                                  "--json", "--interval", "0", "watch"});
        ::close(pipe[1]);
        // Three polls of board 5: by then it has answered, and the first answers of all have
        // filled the pipe. Eight more with the output stalled.
        const QString poll5 = "; <? rx 55 05";
        QVERIFY(board.run(poll5.repeated(3).mid(2) + "; > @5 silent on" + poll5.repeated(8)));
        ctl.terminate();
        QFile reader; // reads on through the child's end, which interrupts a plain read()
        QVERIFY(reader.open(pipe[0], QIODevice::ReadOnly, QFile::AutoCloseHandle));
        const QByteArray out = readerBack ? reader.readAll() : QByteArray();
        QVERIFY2(ctl.waitForFinished(2500) && ctl.exitCode() == 5, "not ended within 2 s with 5");
        const QByteArray err = ctl.readAllStandardError();
        QVERIFY2(err.contains("输出行开始被丢弃") &&
                     (readerBack ? out.contains("\"address\": 5, \"event\": \"summary\", "
                                                "\"link_lost\": 1,") &&
                                       out.contains("\"event\": \"output\", \"lines_dropped\": ")
                                 : err.contains("无法写入标准输出")),
                 err.constData());
    }

    void run_data() { Script::AddRows(QFINDTESTDATA("scripts.txt")); }
    // In a folder of its own, beside a name.txt naming channel 1 "进水" and an editor's UTF-8 copy.
    void run()
    {
        QFETCH(QString, script);
        Script ctl(BOARDCTL_PATH);
        // In GBK, as Kestrel keeps it; channel 5's name as a hand edit could leave it.
        const QString names = "[地址码1]\r\n第1路名称=进水\r\n第5路名称=\x1B]0;x\x07泵\r\n";
        Put(ctl.dir.filePath("name.txt"), QStringEncoder("GBK").encode(names));
        Put(ctl.dir.filePath("utf8.txt"), "\xEF\xBB\xBF" + names.toUtf8());
        ctl.run(script);
    }

    // watch --history writes the line's and the boards' events, with the channels' names;
    // ports finds the simulated board's device by the link beside boardctl, with its number.
    void historyAndPorts()
    {
        QTemporaryDir dir;
        const QString program = dir.filePath("boardctl"), file = dir.filePath("h.sqlite");
        QVERIFY(QFile::copy(BOARDCTL_PATH, program));
        BoardsimProcess board(dir.path(), {"--pattern", "1"});
        LineProcess watch(program,
                          {"--address", "1", "watch", "--history", file, "--duration", "1"});
        QCOMPARE(watch.waitForExit(5s), std::optional(0));
        QStringList seen;
        for (const history::Row& row : history::Events(file, {}).rows)
            seen.prepend(history::EventName(row.event) + ' ' + row.name);
        QCOMPARE(seen.mid(0, 3), QStringList({"opened ", "on 第1路", "off 第2路"}));
        QCOMPARE(seen.last(), "closed ");
        QProcess ports;
        ports.start(program, {"--json", "ports"});
        QVERIFY(ports.waitForFinished() && ports.exitCode() == 0);
        QVERIFY2(
            ports.readAll().contains(
                QString("\"port\": 1, \"links\": [\"%1\"]").arg(dir.filePath("com1")).toUtf8()),
            "no device found by its link");
    }
};

QTEST_GUILESS_MAIN(BoardctlTest)
#include "test_boardctl.moc"
