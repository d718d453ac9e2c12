// What only the simulator does, and what the benchmarks rely on and no other test checks: the
// real boardsim on its pseudo-terminal, driven through its link and its control commands.
#include "link/frame.h"
#include "support/line_process.h"
#include "support/pseudo_terminal.h"

#include <QTemporaryDir>
#include <QTest>

class BoardsimTest : public QObject
{
    Q_OBJECT

private slots:
    void behaviour_data()
    {
        // boardsim's arguments, then the steps, apart by "; ": "> line" a control command, "# line"
        // one refused; "? HEX" a poll answered with these channels, "! HEX" one answered with a
        // wrong checksum, "~ HEX" one answered after stray bytes, "/ HEX" one whose last byte comes
        // 16 ms or more after it (8 bytes each way at 9600 Bd); "= HEX" polls until these channels
        // come; "-" a poll left unanswered. A number after the sign polls that address, not 1;
        // "HEX@A": the answer carries address A.
        QTest::addColumn<QString>("script");
        QTest::newRow("--walk") << "--walk 500 --pattern 800001; = 000003; = 000006";
        QTest::newRow("--noise-every, --invalid-every")
            << "--noise-every 2 --invalid-every 3; ? 5A5A5A; ~ 5A5A5A; ! 5A5A5A; ~ 5A5A5A";
        QTest::newRow("invalid, noise") << "; > invalid; ! 5A5A5A; > noise 5; ~ 5A5A5A; ? 5A5A5A";
        QTest::newRow("a bus") << "--address 1,2; > @2 pattern 00FF00; / 5A5A5A; /2 00FF00; -3; "
                                  "# @3 silent on; > silent on; -2";
        QTest::newRow("commands")
            << "; > claim 7; ? 5A5A5A@7; > stray 2200; ~ 5A5A5A@7; # claim 256; # stray 2; "
               "# stray zz; # silence; # pattern xyz; # frobnicate; # @1 unplug; # help me; "
               "> silence 300; -; = 5A5A5A@7; > unplug; -; > replug; ? 5A5A5A@7";
    }

    void behaviour()
    {
        QFETCH(QString, script);
        QStringList steps = script.split("; ");
        QTemporaryDir dir;
        BoardsimProcess sim(dir.path(), steps.takeFirst().split(' ', Qt::SkipEmptyParts));
        QVERIFY2(sim.started(), "boardsim printed no start line");
        auto pty = std::make_unique<PseudoTerminal>(dir.filePath("com1"));
        for (const QString& step : steps) {
            const QChar kind = step[0];
            const QString text = step.section(' ', 1);
            const int address = qMax(1, step.section(' ', 0, 0).mid(1).toInt());
            const int carried = text.contains('@') ? text.section('@', 1).toInt() : address;
            const board::Frame status =
                board::MakeStatus(carried, text.section('@', 0, 0).toUInt(nullptr, 16));
            if (kind == '>' || kind == '#') {
                const QString answer = sim.control(text).value_or("");
                QVERIFY2(answer.startsWith(kind == '>' ? "ok " : "error " + text),
                         qPrintable(step));
                pty = std::make_unique<PseudoTerminal>(dir.filePath("com1")); // after a replug
                continue;
            }
            const QByteArray want =
                kind == '-' ? QByteArray() // "!": the checksum one up
                            : Bytes(status).chopped(1) + char(status[7] + (kind == '!'));
            QElapsedTimer clock;
            const auto heard = [&] {
                clock.start();
                pty->write(board::MakeRequest(address, board::kCmdPoll, 0, 0));
                return kind == '~' ? pty->readThrough(status)
                                   : pty->read(8, kind == '-' ? 300ms : 2s);
            };
            if (kind == '=')
                QVERIFY2(QTest::qWaitFor([&] { return heard() == want; }, 5000), qPrintable(step));
            else if (kind == '~') // at least one stray byte, then the frame
                QVERIFY2(heard().mid(1).endsWith(want), qPrintable(step));
            else
                QCOMPARE(heard().toHex(' '), want.toHex(' '));
            QVERIFY2(kind != '/' || clock.elapsed() >= 16, qPrintable(step));
        }
    }

    void linkPlace() // beside the program, else (its folder read-only, even for root) the user's
    {
        for (const bool readOnly : {false, true}) {
            QTemporaryDir bin, data;
            QVERIFY(QFile::copy(BoardsimProcess::program(), bin.filePath("boardsim")));
            qputenv("XDG_DATA_HOME", data.path().toUtf8());
            const auto mode = QFile::permissions(bin.path());
            QFile::setPermissions(bin.path(), readOnly ? QFile::ReadOwner | QFile::ExeOwner : mode);
            LineProcess sim(bin.filePath("boardsim"), {});
            const QString link = (readOnly ? data.filePath("kestrel") : bin.path()) + "/com1";
            QVERIFY(sim.waitForLine([&](const QString& l) { return l.endsWith(link + ")"); }));
            QFile::setPermissions(bin.path(), mode);
        }
    }
};

QTEST_GUILESS_MAIN(BoardsimTest)
#include "test_boardsim.moc"
