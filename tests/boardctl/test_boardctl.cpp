// boardctl as a script runs it: the real binary, copied into a folder with boardsim's com1 link and
// a name.txt naming channel 1 "进水", with no display. Its stderr is read along with its stdout.
#include "apps/boardctl/options.h"
#include "history/queries.h"
#include "link/watch_log.h"
#include "support/line_process.h"

#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
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
    // manual page and, for boardctl, in README's section on it.
    void documented_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("readme"); // the heading of its README section, if any
        QTest::newRow("boardctl") << BOARDCTL_PATH << "\n## boardctl:";
        QTest::newRow("boardsim") << BOARDSIM_PATH << "";
    }
    void documented()
    {
        QFETCH(QString, program);
        QFETCH(QString, readme);
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
        QVERIFY2(seen.size() > 10 && missing.isEmpty(), qPrintable(missing.join(", ")));
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
        QTemporaryDir dir;
        BoardsimProcess board(dir.path(), {"--address", "1-16", "--walk", "20", "--log"});
        int pipe[2];
        QVERIFY(::pipe2(pipe, O_CLOEXEC) == 0 && ::fcntl(pipe[1], F_SETPIPE_SZ, 4096) > 0);
        QProcess ctl;
        ctl.setChildProcessModifier([&] { ::dup2(pipe[1], STDOUT_FILENO); });
        ctl.start(BOARDCTL_PATH, {"--device", dir.filePath("com1"), "--address", "1-16", "--json",
                                  "--interval", "0", "watch"});
        ::close(pipe[1]);
        const auto asked = [&](int times) { // boardsim receives that many polls of board 5
            const auto poll5 = [](const QString& l) { return l.startsWith("rx 55 05"); };
            while (times > 0 && board.waitForLine(poll5))
                --times;
            return times == 0;
        };
        // By then board 5 has answered, and the first answers of all have filled the pipe.
        QVERIFY(asked(3) && board.control("@5 silent on"));
        QVERIFY2(asked(8), "the polling stopped with the output");
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

    void run_data()
    {
        // boardsim's arguments ("-": none runs); boardctl's (DIR: the folder; LC_ALL=… and >… go to
        // the shell); the steps, apart by "; ": "= TEXT" the next line holds TEXT, "? TEXT" a later
        // line does, "< TEXT" a later line of boardsim's does, "> LINE" a control command to
        // boardsim, "~ TEXT" the last line read holds TEXT too, "TERM", "HUP" a signal, "$"
        // no line (within 3 s, or before the end), "T MS" it runs MS at least. Boardsim's channels
        // 0x5A5A5A: 1 off, 2 on, 3 off, 4 on.
        QTest::addColumn<QString>("sim");
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("code");
        const auto row = [](const char* name, const QString& sim, const QString& args,
                            const QString& script,
                            int code) { QTest::newRow(name) << sim << args << script << code; };
        row("status", "", "status",
            "= 通道  1  进水  断开; = 通道  2  第2路  连接; ? 通道  5  \\x1B]0;x\\x07泵  连接", 0);
        row("status --json", "", "--json status",
            "= {\"time\": \"; ~ \"address\": 1, \"channels\": [{\"channel\": 1, \"name\": "
            "\"进水\", \"state\": "
            "\"off\"}, {\"channel\": 2, \"name\": \"第2路\", \"state\": \"on\"}, ; ~ "
            "\"name\": \"第24路\", \"state\": \"off\"}]}; $",
            0);
        row("status --csv", "", "--csv --names DIR/name.txt status",
            "= time,event,channel,name,state; = ,channel,1,进水,off", 0);
        row("--expect match", "", "--device DIR/com1 status --expect 010110100101101001011010",
            "? 通道 24", 0);
        row("--expect mismatch", "", "status --expect 1110xxxxxxxxxxxxxxxxxxxx",
            "? 与期望不符：通道 1 进水（期望连接，实际断开）、通道 3 "
            "第3路（期望连接，实际断开）、通道 4 第4路（期望断开，实际连接）",
            1);
        row("watch: a drop", "", "watch",
            "? 通道 24; > pattern 0x5A5A58; = 通道  2  第2路  断开; > pattern 0x5A5A5A; = 通道  2  "
            "第2路  连接; HUP; = 汇总：链路中断 0 次; ? 通道  2  第2路  掉线 1 次",
            0);
        row("watch: line noise", "--noise-every 3 --invalid-every 5 --seed 7",
            "--json watch --duration 1.5",
            "? \"channel\": 24; = \"event\": \"summary\", \"link_lost\": 0; T 1500", 0);
        row("watch: silence", "", "--csv watch",
            "? ,channel,24,; > silence 700; = ,link,,,lost; = ,link,,,ok; = ,channel,1,进水,off; "
            "TERM; ? ,summary,,,link_lost=1; = ,summary,1,进水,drops=0 down_ms=; = ,summary,2,",
            0);
        // The entry first opened is awaited, never the next device of port 1 (the PC's ttyS0).
        row("watch: unplug, replug", "", "watch",
            "? 通道 24; > unplug; ? 断开了（设备已拔出或不再可用）。每秒尝试重新打开 DIR/com1; "
            "? 链路中断; ? 仍无法打开 DIR/com1：没有对应的设备; $; > replug; ? 已重新打开; = "
            "链路恢复; "
            "= 通道  1  进水; TERM; ? 链路中断 1 次",
            0);
        row("toggle off", "--log", "toggle 2",
            "< rx 55 01 11 00 00 00 02 69; = 通道  2  第2路  断开", 0);
        row("toggle on", "", "--json toggle 1",
            "= \"address\": 1, \"channel\": 1, \"name\": \"进水\", \"state\": \"on\"}", 0);
        row("--help", "-", "--help", "? 用法：; ? 退出码", 0);
        row("--help, English", "-", "LC_ALL=C --help", "? Usage:; ? -h, --help; ? Exit codes", 0);
        row("usage, English", "-", "LC_ALL=C status --expect 12", "? Usage: boardctl", 2);
        row("--names UTF-8", "", "--names DIR/utf8.txt status",
            "= Kestrel 下次启动时会把它转换为 GBK; = 通道  1  进水  断开", 0);
        row("--names missing", "-", "--names DIR/none.txt status", "? DIR/none.txt：文件或", 2);
        row("no device", "-", "--port 0 status", "? 没有对应的设备", 3);
        row("silent board", "--silent --log", "--address 7 status --timeout 300",
            "< rx 55 07 10 00 00 00 00 6C; ? 300 毫秒内没有收到检测板（地址 7，串口 "
            "1（DIR/com1））",
            4);
        row("toggle, silent", "--silent", "toggle 3 --timeout 300", "? 收到检测板（地址 1", 4);
        row("status, output full", "", "status >/dev/full", "? 无法写入标准输出", 5);
        // Several boards on one line: each its own lines, watchdog, events and summary.
        row("status, a bus", "--address 2-32", "--address 1-32 --csv status", // asked twice
            "= time,address,event,channel,name,state; ? ,2,channel,24,; ? ,32,channel,24,; "
            "? 3250 毫秒内没有收到检测板（地址 1",
            4);
        row("watch, a bus", "--address 2,5", "--address 2,5 watch",
            "? 地址 5  通道 24; > @5 silent on; ? 地址 5  链路中断; > @5 silent off; "
            "? 地址 5  链路恢复; TERM; ? 地址 2  汇总：链路中断 0 次; ? 地址 5  汇总：链路中断 1 "
            "次",
            0);
        row("scan", "--address 1,3", "--json scan --to 9",
            "= \"address\": 1, \"channels\": [{\"channel\": 1, \"name\": \"进水\"; = \"address\": "
            "3,; $",
            0);
        row("scan, a slow board", "--delay 100", "scan --to 1 --timeout 300", "? 地址 1  通道 24",
            0);
        row("scan, no board", "--address 20", "scan --to 9", "? 地址 0～9 没有检测板应答", 4);
        row("toggle, output closed", "", "toggle 2 >&-",
            "? 通道 2 已切换为断开，但无法写入标准输出", 5);
        row("watch, output full", "--walk 200", "watch >/dev/full", "? 无法写入输出; $; TERM", 5);
        // An answer counts only for the board asked, by the address it carries.
        row("watch, a shifted frame", "--pattern 45 --log", "watch",
            "? 通道 24; > stray 22; < noise 22; > pattern 47; = 通道  2  第2路  连接; TERM; "
            "? 汇总：链路中断 0 次; = 通道  1  进水  掉线 0 次",
            0);
        row("status, another address", "--address 20 --silent", "--address 20 status --timeout 900",
            "> claim 200; > silent off; ? 应答中的地址是 200（询问的是 20）; ? 900 毫秒内没有收到",
            4);
        row("--any-address", "--address 20 --silent", "--any-address --address 20 status",
            "> claim 200; > silent off; ? 通道 24", 0);
        row("scan, a late answer", "--address 16 --delay 90", "scan --from 15 --to 17 --timeout 60",
            "? 地址 15～17 没有检测板应答", 4);
        row("watch, an absent board", "--address 16", "--address 16,17 watch",
            "? 地址 17  链路：检测板没有应答（从未应答）; TERM; ? 地址 17  汇总：从未应答", 0);
        row("status, not asked in time", "--address 1-32", "--address 1-32 status --timeout 300",
            "? 300 毫秒内没有轮到询问地址 32", 4);
    }

    void run()
    {
        QFETCH(QString, sim);
        QFETCH(QString, args);
        QFETCH(QString, script);
        QFETCH(int, code);
        QTemporaryDir dir;
        const QString program = dir.filePath("boardctl");
        QVERIFY(QFile::copy(BOARDCTL_PATH, program));
        QFile gbk(dir.filePath("name.txt")), utf8(dir.filePath("utf8.txt")); // an editor's copy
        // In GBK, as Kestrel keeps it; channel 5's name as a hand edit could leave it.
        const QString names = "[地址码1]\r\n第1路名称=进水\r\n第5路名称=\x1B]0;x\x07泵\r\n";
        QVERIFY(gbk.open(QIODevice::WriteOnly) && gbk.write(QStringEncoder("GBK").encode(names)));
        QVERIFY(utf8.open(QIODevice::WriteOnly) && utf8.write("\xEF\xBB\xBF" + names.toUtf8()));
        gbk.close(), utf8.close();
        std::optional<BoardsimProcess> board;
        if (sim != "-") {
            board.emplace(dir.path(), sim.split(' ', Qt::SkipEmptyParts));
            QVERIFY2(board->started(), "boardsim printed no start line");
        }
        QStringList words = args.replace("DIR", dir.path()).split(' ');
        QString shell = "exec \"$0\" \"$@\" 2>&1";
        for (const QString& word : words.filter(QRegularExpression("^(LC_ALL=|>)")))
            shell = word.startsWith('>') ? shell + ' ' + word : word + ' ' + shell;
        words = words.filter(QRegularExpression("^(?!LC_ALL=|>)"));
        // A coarse timer rounds its expiry to the monotonic clock's half seconds, which from this
        // phase on makes it fire up to 5 % early: a run of "T MS" then shows if it ends too soon.
        if (script.contains("; T "))
            QThread::msleep(quint64(570 - QDeadlineTimer::current().deadline() % 500) % 500);
        QElapsedTimer clock;
        clock.start();
        LineProcess ctl("/bin/sh", QStringList{"-c", shell, program} + words);
        QString last;
        qint64 lastsMs = 0;
        for (const QString& step : script.replace("DIR", dir.path()).split("; ")) {
            const QString text = step.mid(2);
            if (step == "TERM" || step == "HUP") { // an SSH session closed sends SIGHUP
                ::kill(pid_t(ctl.process().processId()), step == "HUP" ? SIGHUP : SIGTERM);
            } else if (step == "$") {
                QCOMPARE(ctl.waitForLine([](const QString&) { return true; }), std::nullopt);
            } else if (step[0] == '>') {
                QCOMPARE(board->control(text), std::optional("ok " + text));
            } else if (step[0] == '~') {
                QVERIFY2(last.contains(text), qPrintable(last));
            } else if (step[0] == 'T') {
                lastsMs = text.toInt();
            } else {
                const bool next = step[0] == '=';
                LineProcess& from = step[0] == '<' ? *board : ctl;
                const auto line = from.waitForLine(
                    [&](const QString& l) { return next || l.contains(text); }, 3s);
                QVERIFY2(line && line->contains(text),
                         qPrintable("awaited: " + step + ", got: " + line.value_or("nothing")));
                last = *line;
            }
        }
        QCOMPARE(ctl.waitForExit(3s), std::optional(code));
        QVERIFY2(clock.elapsed() >= lastsMs, "ended before its time");
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
