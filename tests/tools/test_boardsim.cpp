// What only the simulator does, and what the benchmarks rely on and no other test checks: the
// real boardsim on its pseudo-terminal, driven through its link and its control commands.
#include "support/script.h"

class BoardsimTest : public QObject
{
    Q_OBJECT

private slots:
    void behaviour_data() { Script::AddRows(QFINDTESTDATA("scripts.txt")); }
    void behaviour()
    {
        QFETCH(QString, script);
        Script().run(script);
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
