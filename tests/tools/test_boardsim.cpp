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

    // Without --dir: the link beside the program, else (its folder read-only, even for root) in
    // the user's folder.
    void linkPlace()
    {
        for (const QString place : {"DIR", "DIR/data/kestrel"}) {
            Script sim(BoardsimProcess::program());
            const auto mode = QFile::permissions(sim.dir.path());
            QVERIFY(QDir(sim.dir.path()).mkdir("data")); // $XDG_DATA_HOME
            QFile::setPermissions(sim.dir.path(),
                                  place == "DIR" ? mode : QFile::ReadOwner | QFile::ExeOwner);
            sim.run("run XDG_DATA_HOME=DIR/data; ? (link " + place + "/com1)");
            QFile::setPermissions(sim.dir.path(), mode);
        }
    }
};

QTEST_GUILESS_MAIN(BoardsimTest)
#include "test_boardsim.moc"
