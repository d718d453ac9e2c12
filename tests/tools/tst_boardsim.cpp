// The real boardsim binary on a real pseudo-terminal, driven through its link and its stdin.
#include "link/frame.h"
#include "support/line_process.h"
#include "support/pseudo_terminal.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <bit>
#include <unistd.h>

namespace {

board::Frame Poll(std::uint8_t address)
{
    return board::MakeRequest(address, board::kCmdPoll, 0, 0);
}

board::Frame Switch(std::uint8_t address, std::uint8_t command, std::uint8_t channel)
{
    return board::MakeRequest(address, command, 0, channel);
}

board::Frame Status(std::uint8_t address, std::uint32_t channels)
{
    return board::MakeStatus(address, channels);
}

board::Frame ToFrame(const QByteArray& bytes)
{
    board::Frame frame{};
    for (std::size_t i = 0; i < frame.size() && i < std::size_t(bytes.size()); ++i)
        frame[i] = static_cast<std::uint8_t>(bytes[qsizetype(i)]);
    return frame;
}

// User plus system CPU time of a process so far.
qint64 CpuTimeMs(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const qint64 ticks = fields.value(11).toLongLong() + fields.value(12).toLongLong();
    return ticks * 1000 / ::sysconf(_SC_CLK_TCK);
}

// Sends a poll and gives the first 8 bytes that come back.
QByteArray Ask(PseudoTerminal& port, std::uint8_t address = 1)
{
    if (!port.write(Poll(address)))
        return {};
    return port.read(8);
}

} // namespace

class BoardsimTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void cleanup() { QFile::remove(link()); }

    void helpAndBadCommandLines();
    void linkLifetime();
    void refusesToReplaceAFile();
    void answersPollsForItsAddressOnly();
    void switchCommandsFlipChannels();
    void strayBytesOnDemand();
    void silenceAndSilentMode();
    void unplugAndReplug();
    void keepsRunningAfterStdinCloses();

private:
    QString link(int port = 1) const { return m_dir.filePath(QString("com%1").arg(port)); }

    QTemporaryDir m_dir;
};

void BoardsimTest::helpAndBadCommandLines()
{
    QProcess help;
    help.start(BoardsimProcess::program(), {"--help"});
    QVERIFY(help.waitForFinished(5000));
    QCOMPARE(help.exitCode(), 0);
    const QString text = QString::fromUtf8(help.readAllStandardOutput());
    QVERIFY(text.startsWith("Usage: boardsim [options]"));
    for (const char* expected :
         {"--address", "--pattern", "--walk", "--delay", "--silent", "--invalid-every",
          "--noise-every", "--log", "Examples:", "unplug", "replug"})
        QVERIFY2(text.contains(expected), expected);

    for (const QStringList& bad : {QStringList{"--pattern", "1000000"},
                                   {"--pattern", "xyz"},
                                   {"--address", "256"},
                                   {"--port", "-1"},
                                   {"--walk", "fast"},
                                   {"--no-such-option"},
                                   {"stray"}}) {
        QProcess run;
        run.start(BoardsimProcess::program(), QStringList{"--dir", m_dir.path()} + bad);
        QVERIFY(run.waitForFinished(5000));
        QVERIFY2(run.exitCode() != 0, qPrintable(bad.join(' ')));
        QVERIFY(run.readAllStandardError().contains("boardsim: "));
        QVERIFY(!QFileInfo(link()).isSymLink());
    }
}

void BoardsimTest::linkLifetime()
{
    // An old link from a run that crashed is replaced.
    QVERIFY(QFile::link("/nonexistent/old-pty", link(3)));
    {
        BoardsimProcess sim(m_dir.path(), {"--port", "3"});
        QVERIFY(sim.started());
        QCOMPARE(QFileInfo(link(3)).symLinkTarget(), sim.slavePath());

        // The terminal outlives the program under test closing and reopening its port.
        for (int round = 0; round < 3; ++round) {
            PseudoTerminal port(link(3));
            QVERIFY(port.isOpen());
            QCOMPARE(ToFrame(Ask(port)), Status(1, 0x5A5A5A));
        }
        QCOMPARE(sim.terminate(), std::optional<int>(0));
        QVERIFY(!QFileInfo(link(3)).isSymLink());
    }
    {
        BoardsimProcess sim(m_dir.path(), {"--port", "3"});
        QVERIFY(sim.started());
        QCOMPARE(sim.control("quit"), std::optional<QString>("ok quit"));
        QCOMPARE(sim.waitForExit(), std::optional<int>(0));
        QVERIFY(!QFileInfo(link(3)).isSymLink());
    }
}

void BoardsimTest::refusesToReplaceAFile()
{
    QFile file(link());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    QProcess run;
    run.start(BoardsimProcess::program(), {"--dir", m_dir.path()});
    QVERIFY(run.waitForFinished(5000));
    QCOMPARE(run.exitCode(), 1);
    QVERIFY(run.readAllStandardError().contains("not a symbolic link"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
}

void BoardsimTest::answersPollsForItsAddressOnly()
{
    // Address 200 also checks the checksum's wrap-round.
    BoardsimProcess sim(m_dir.path(), {"--address", "200", "--pattern", "0x123456"});
    QVERIFY(sim.started());
    PseudoTerminal port(link());
    QVERIFY(port.isOpen());
    QCOMPARE(ToFrame(Ask(port, 200)), Status(200, 0x123456));

    // Replies keep request order, so anything sent for the foreign polls would come before the
    // answer to the last request, which differs from a plain status.
    QVERIFY(port.write(Poll(1)));
    QVERIFY(port.write(Poll(201)));
    QVERIFY(port.write(Switch(1, board::kCmdSwitchOff, 2)));
    QVERIFY(port.write(Switch(200, board::kCmdSwitchOff, 2)));
    const board::Frame last = Status(200, 0x123454);
    QCOMPARE(port.readThrough(last), Bytes(last));
}

void BoardsimTest::switchCommandsFlipChannels()
{
    BoardsimProcess sim(m_dir.path(), {"--pattern", "FFFFFF"});
    QVERIFY(sim.started());
    PseudoTerminal port(link());
    QVERIFY(port.isOpen());

    const struct
    {
        std::uint8_t command;
        std::uint8_t channel;
        std::uint32_t after;
    } steps[] = {
        {board::kCmdSwitchOff, 24, 0x7FFFFF},
        {board::kCmdSwitchOff, 1, 0x7FFFFE},
        {board::kCmdSwitchOff, 1, 0x7FFFFE},
        {board::kCmdSwitchOn, 24, 0xFFFFFE},
        {board::kCmdSwitchOn, 1, 0xFFFFFF},
        {board::kCmdSwitchOff, 9, 0xFFFEFF},
        // Channels outside 1..24 change nothing but are still answered.
        {board::kCmdSwitchOff, 0, 0xFFFEFF},
        {board::kCmdSwitchOff, 25, 0xFFFEFF},
    };
    for (const auto& step : steps) {
        QVERIFY(port.write(Switch(1, step.command, step.channel)));
        QCOMPARE(ToFrame(port.read(8)), Status(1, step.after));
    }
    QCOMPARE(ToFrame(Ask(port)), Status(1, 0xFFFEFF));

    // "pattern" on stdin replaces the channels at once.
    QCOMPARE(sim.control("pattern 0x0F0F0F"), std::optional<QString>("ok pattern 0x0F0F0F"));
    QCOMPARE(ToFrame(Ask(port)), Status(1, 0x0F0F0F));
    QVERIFY(sim.control("pattern 1234567")->startsWith("error pattern 1234567:"));
    QCOMPARE(ToFrame(Ask(port)), Status(1, 0x0F0F0F));
}

void BoardsimTest::strayBytesOnDemand()
{
    BoardsimProcess sim(m_dir.path(), {"--pattern", "800001"});
    QVERIFY(sim.started());
    PseudoTerminal port(link());
    QVERIFY(port.isOpen());

    QCOMPARE(sim.control("burst"), std::optional<QString>("ok burst"));
    const QByteArray burst = port.read(12);
    QCOMPARE(burst.size(), 12);
    QCOMPARE(ToFrame(burst.first(8)), Status(1, 0x800001));

    QCOMPARE(sim.control("noise 5"), std::optional<QString>("ok noise 5"));
    QCOMPARE(port.read(5).size(), 5);
    QVERIFY(sim.control("noise 0")->startsWith("error noise 0:"));
    QVERIFY(sim.control("noise")->startsWith("error noise:"));
    QVERIFY(sim.control("fly away")->startsWith("error fly away: unknown command"));

    // Nothing else was sent: the next thing on the line is the answer to the next poll.
    QCOMPARE(ToFrame(Ask(port)), Status(1, 0x800001));
}

void BoardsimTest::silenceAndSilentMode()
{
    BoardsimProcess sim(m_dir.path(), {"--silent", "--log"});
    QVERIFY(sim.started());
    PseudoTerminal port(link());
    QVERIFY(port.isOpen());
    // Each check ends on a switch command: its reply differs from every earlier one, and any
    // reply that leaked out of a quiet time would arrive before it.
    const auto switchAndHearOnly = [&](std::uint8_t command, std::uint8_t channel,
                                       std::uint32_t after) {
        return port.write(Switch(1, command, channel)) &&
               port.readThrough(Status(1, after)) == Bytes(Status(1, after));
    };

    // Silent from the start: requests are heard and acted on, but not answered.
    QVERIFY(port.write(Switch(1, board::kCmdSwitchOff, 2)));
    QVERIFY(sim.waitForLineStartingWith("rx 55 01 11"));
    QCOMPARE(sim.control("silent off"), std::optional<QString>("ok silent off"));
    QVERIFY(switchAndHearOnly(board::kCmdSwitchOff, 4, 0x5A5A50));

    constexpr int silenceMs = 400;
    QCOMPARE(sim.control(QString("silence %1").arg(silenceMs)),
             std::optional<QString>(QString("ok silence %1").arg(silenceMs)));
    QElapsedTimer clock;
    clock.start();
    // Poll as Kestrel does until the board answers again.
    QByteArray heard;
    while (heard.isEmpty() && clock.elapsed() < 3000) {
        QVERIFY(port.write(Poll(1)));
        heard = port.read(8, 50ms);
        if (!heard.isEmpty())
            heard += port.read(8 - int(heard.size()));
    }
    QCOMPARE(ToFrame(heard), Status(1, 0x5A5A50));
    QVERIFY2(clock.elapsed() >= silenceMs - 50, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(switchAndHearOnly(board::kCmdSwitchOn, 4, 0x5A5A58));

    QCOMPARE(sim.control("silent on"), std::optional<QString>("ok silent on"));
    QVERIFY(port.write(Switch(1, board::kCmdSwitchOn, 2)));
    QVERIFY(sim.waitForLineStartingWith("rx 55 01 12"));
    QCOMPARE(sim.control("silent off"), std::optional<QString>("ok silent off"));
    QVERIFY(switchAndHearOnly(board::kCmdSwitchOff, 7, 0x5A5A1A));
    QVERIFY(sim.control("silent maybe")->startsWith("error silent maybe:"));
}

void BoardsimTest::unplugAndReplug()
{
    BoardsimProcess sim(m_dir.path(), {"--pattern", "00FF00"});
    QVERIFY(sim.started());
    PseudoTerminal before(link());
    QVERIFY(before.isOpen());
    QCOMPARE(ToFrame(Ask(before)), Status(1, 0x00FF00));

    QCOMPARE(sim.control("unplug"), std::optional<QString>("ok unplug"));
    QVERIFY(!QFileInfo(link()).isSymLink());
    QVERIFY(before.waitForHangup());
    QVERIFY(sim.control("burst")->startsWith("error burst: unplugged"));
    QCOMPARE(sim.control("unplug"), std::optional<QString>("ok unplug"));
    // The board keeps its state while unplugged.
    QCOMPARE(sim.control("pattern 0000FF"), std::optional<QString>("ok pattern 0000FF"));

    const auto replug = [&]() -> std::optional<QString> {
        sim.process().write("replug\n");
        const auto startLine = sim.waitForLineStartingWith("boardsim: port 1 -> ");
        if (!startLine || sim.waitForLineStartingWith("ok") != "ok replug")
            return std::nullopt;
        return BoardsimProcess::SlaveFromStartLine(*startLine);
    };
    for (int cycle = 0; cycle < 3; ++cycle) {
        const auto slave = replug();
        QVERIFY(slave);
        QCOMPARE(QFileInfo(link()).symLinkTarget(), *slave);
        PseudoTerminal after(link());
        QVERIFY(after.isOpen());
        QCOMPARE(ToFrame(Ask(after)), Status(1, 0x0000FF));
        QCOMPARE(sim.control("unplug"), std::optional<QString>("ok unplug"));
        QVERIFY(after.waitForHangup());
    }

    // A replug while plugged in pulls the old terminal first.
    QVERIFY(replug());
    PseudoTerminal old(link());
    QVERIFY(old.isOpen());
    const auto slave = replug();
    QVERIFY(slave);
    QVERIFY(old.waitForHangup());
    QCOMPARE(QFileInfo(link()).symLinkTarget(), *slave);
    PseudoTerminal fresh(link());
    QVERIFY(fresh.isOpen());
    QCOMPARE(ToFrame(Ask(fresh)), Status(1, 0x0000FF));

    QCOMPARE(sim.terminate(), std::optional<int>(0));
    QVERIFY(!QFileInfo(link()).isSymLink());
}

void BoardsimTest::keepsRunningAfterStdinCloses()
{
    // Each reply waits 100 ms, so the polls below span a few hundred ms of a board that waits.
    BoardsimProcess sim(m_dir.path(), {"--delay", "100"});
    QVERIFY(sim.started());
    PseudoTerminal port(link());
    QVERIFY(port.isOpen());
    // An unterminated last line is still carried out.
    sim.process().write("pattern 3");
    sim.process().closeWriteChannel();
    QVERIFY(sim.waitForLineStartingWith("ok pattern 3"));

    const auto cpuBefore = CpuTimeMs(sim.process().processId());
    QElapsedTimer clock;
    clock.start();
    for (int poll = 0; poll < 4; ++poll)
        QCOMPARE(ToFrame(Ask(port)), Status(1, 0x000003));
    const auto cpuUsed = CpuTimeMs(sim.process().processId()) - cpuBefore;
    // A loop spinning on the closed input would burn the whole time.
    QVERIFY2(cpuUsed < clock.elapsed() / 4,
             qPrintable(QString("%1 ms CPU in %2 ms").arg(cpuUsed).arg(clock.elapsed())));

    QCOMPARE(sim.process().state(), QProcess::Running);
    QCOMPARE(sim.terminate(), std::optional<int>(0));
    QVERIFY(!QFileInfo(link()).isSymLink());
}

QTEST_GUILESS_MAIN(BoardsimTest)
#include "tst_boardsim.moc"
