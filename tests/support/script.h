// One notation for the tests that follow real programs line by line over a real line: what is
// started, what is awaited from each, what is sent. A script is steps apart by "; ", each a sign
// and its text; DIR stands for the program's folder.
//   sim ARGS   boardsim plays the board on port 1, with these arguments
//   run ARGS   the program, copied into the folder, runs as a shell runs it (NAME=VALUE and >…
//              words are the shell's), its standard error read with its output
//   exit N     it ends with N within 3 s; "exit N after MS": and not sooner than MS after its start
//   = TEXT     the program's next line holds TEXT;  ? TEXT  a later line does;  & TEXT  the line
//              last read does too;  $  no line comes (within 3 s, or before the program ends)
//   <= <? <$   the same for boardsim's lines
//   > LINE     a control command boardsim takes;  # LINE  one it refuses
//   ! SIG      a signal to the program: TERM, HUP
//   N: ANSWER  a poll of address N written on port 1, as a program writes it, and the answer:
//              HEX the status frame of these channels, HEX@A one carrying address A, none no
//              answer within 300 ms; "until HEX" polls until it comes; "noise HEX" stray bytes
//              before it; "HEX checksum+1" its checksum one up; "HEX slow" its last byte 16 ms or
//              more after the request (8 bytes each way at 9600 Bd)
#pragma once

#include "link/frame.h"
#include "support/program_folder.h"

#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <csignal>

// A script runs in a program folder of its own.
class Script : public ProgramFolder
{
public:
    // A test row for each script in a file: one a line, an indented line going on with the one
    // before, '#' lines comments.
    static void AddRows(const QString& path)
    {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path + " cannot be read"));
        QTest::addColumn<QString>("script");
        QString text = QString::fromUtf8(file.readAll());
        for (const QString& script : text.replace(QRegularExpression("\n[ \t]+"), " ").split('\n'))
            if (!script.isEmpty() && !script.startsWith('#'))
                QTest::newRow(qPrintable(script)) << script;
    }

    // "run" starts `program`, copied into the folder.
    explicit Script(const QString& program = {}) : m_path(program.isEmpty() ? "" : install(program))
    {
    }

    bool run(QString script) // up to the first step that fails; false then
    {
        m_timed = script.contains(QRegularExpression("exit \\d+ after"));
        for (const QString& step : script.replace("DIR", dir.path()).split("; ")) {
            perform(step.section(' ', 0, 0), step.section(' ', 1));
            if (QTest::currentTestFailed())
                return qInfo("at the step: %s", qPrintable(step)), false;
        }
        return true;
    }

private:
    void perform(const QString& sign, const QString& text)
    {
        const QStringList words = text.split(' ', Qt::SkipEmptyParts);
        if (sign == "sim") {
            QVERIFY2(sim.emplace(dir.path(), words).started(), "boardsim did not start");
        } else if (sign == "run") {
            start(words);
        } else if (sign == "exit") {
            QCOMPARE(m_program->waitForExit(3s).value_or(-1), words.value(0).toInt()); // -1: none
            QVERIFY2(m_clock.elapsed() >= words.value(2).toInt(), "ended before its time");
        } else if (sign == "!") { // an SSH session closed sends SIGHUP
            ::kill(pid_t(m_program->process().processId()), text == "HUP" ? SIGHUP : SIGTERM);
        } else if (sign == ">" || sign == "#") {
            const QString answer = sim->control(text).value_or("none");
            QVERIFY2(answer.startsWith((sign == ">" ? "ok " : "error ") + text),
                     qPrintable(answer));
            m_port.reset(); // opened anew at the next poll: a replug makes a new terminal
        } else if (sign.endsWith(':')) {
            poll(sign.chopped(1).toInt(), words);
        } else if (sign == "&") {
            QVERIFY2(m_last.contains(text), qPrintable(m_last));
        } else {
            QVERIFY2(QRegularExpression("^<?[=?$]$").match(sign).hasMatch(), "no such step");
            LineProcess& from = sign[0] == '<' ? *sim : *m_program;
            const auto line = from.waitForLine(
                [&](const QString& l) { return sign.back() != '?' || l.contains(text); });
            m_last = line.value_or("nothing");
            QVERIFY2(sign.back() == '$' ? !line : line && m_last.contains(text),
                     qPrintable(m_last));
        }
    }

    void start(QStringList words)
    {
        QString shell = "exec \"$0\" \"$@\" 2>&1";
        for (const QString& word : words.filter(QRegularExpression("^([A-Z_]+=|>)"))) {
            words.removeOne(word);
            shell = word.startsWith('>') ? shell + ' ' + word : word + ' ' + shell;
        }
        // A coarse timer rounds its expiry to the monotonic clock's half seconds, which from this
        // phase on makes it fire up to 5 % early: a timed exit then shows if it ends too soon.
        if (m_timed)
            QThread::msleep(quint64(570 - QDeadlineTimer::current().deadline() % 500) % 500);
        m_clock.start();
        m_program.emplace("/bin/sh", QStringList{"-c", shell, m_path} + words);
    }

    void poll(int address, const QStringList& words)
    {
        const QString hex = words.filter(QRegularExpression("^[0-9A-F]{6}")).value(0);
        QByteArray want =
            Bytes(board::MakeStatus(hex.contains('@') ? hex.section('@', 1).toInt() : address,
                                    hex.left(6).toUInt(nullptr, 16)));
        want[7] = char(want[7] + words.contains("checksum+1"));
        if (words.contains("none"))
            want.clear();
        if (!m_port)
            m_port = std::make_unique<PseudoTerminal>(dir.filePath("com1"));
        QElapsedTimer clock;
        const auto heard = [&] {
            clock.start();
            m_port->write(board::MakeRequest(address, board::kCmdPoll, 0, 0));
            if (!words.contains("noise"))
                return m_port->read(8, want.isEmpty() ? 300ms : 2s);
            const QByteArray got =
                m_port->readUntil([&](const QByteArray& b) { return b.endsWith(want); });
            return got.size() > 8 ? got.right(8) : QByteArray(); // at least one stray byte first
        };
        if (words.contains("until"))
            QVERIFY(QTest::qWaitFor([&] { return heard() == want; }, 5000));
        else
            QCOMPARE(heard().toHex(' '), want.toHex(' '));
        QVERIFY2(!words.contains("slow") || clock.elapsed() >= 16, "came too soon");
    }

    const QString m_path;
    bool m_timed = false;
    QElapsedTimer m_clock; // since the program started
    std::optional<LineProcess> m_program;
    std::unique_ptr<PseudoTerminal> m_port; // port 1, where the test plays the program
    QString m_last;                         // the line last read
};
