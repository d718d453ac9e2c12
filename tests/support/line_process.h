// A real program run as a script would run it, read line by line from its stdout with deadlines.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

#include <chrono>
#include <csignal>
#include <functional>
#include <optional>

#include <sys/prctl.h>

using namespace std::chrono_literals;

class LineProcess
{
public:
    LineProcess(const QString& program, const QStringList& arguments)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel); // stderr to the log
        // A test that crashes takes its programs with it.
        m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(program, arguments);
    }
    ~LineProcess() { m_process.terminate(), waitForExit(); } // QProcess kills one that hangs

    QProcess& process() { return m_process; }

    // The next stdout line (after the last one matched) for which `match` holds; Qt's events
    // go on meanwhile. Nothing when the deadline passes or the program ends first.
    std::optional<QString> waitForLine(const std::function<bool(const QString&)>& match,
                                       std::chrono::milliseconds deadline = 3s)
    {
        QElapsedTimer clock;
        for (clock.start();; m_process.waitForReadyRead(5)) {
            const bool ended = m_process.state() == QProcess::NotRunning;
            while (m_process.canReadLine())
                m_lines.append(QString::fromUtf8(m_process.readLine()).chopped(1));
            for (; m_next < m_lines.size(); ++m_next) {
                if (match(m_lines[m_next]))
                    return m_lines[m_next++];
            }
            if (ended || clock.elapsed() >= deadline.count())
                return std::nullopt;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }
    // The exit code of an exit on its way; nothing on a crash, a hang or a failed start.
    std::optional<int> waitForExit(std::chrono::milliseconds deadline = 3s)
    {
        const bool ended = m_process.state() == QProcess::NotRunning ||
                           m_process.waitForFinished(static_cast<int>(deadline.count()));
        if (!ended || m_process.exitStatus() != QProcess::NormalExit ||
            m_process.error() == QProcess::FailedToStart)
            return std::nullopt;
        return m_process.exitCode();
    }

private:
    QProcess m_process;
    QStringList m_lines;
    qsizetype m_next = 0; // the first line not yet matched
};

// The real boardsim with --dir dir; started once its start line has come on stdout:
// "boardsim: port N -> PATH (link LINK)" (failures go to stderr).
class BoardsimProcess : public LineProcess
{
public:
    static QString program() { return QStringLiteral(BOARDSIM_PATH); }
    BoardsimProcess(const QString& dir, const QStringList& arguments)
        : LineProcess(program(), QStringList{"--dir", dir} + arguments),
          m_started(waitForLine([](const QString& l) { return l.contains(" -> "); }, 5s))
    {
    }

    bool started() const { return m_started; }
    // One control command on stdin; gives boardsim's answer ("ok ..." or "error ...").
    std::optional<QString> control(const QString& line)
    {
        process().write((line + '\n').toUtf8());
        return waitForLine([&](const QString& answer) {
            return answer == "ok " + line || answer.startsWith("error " + line + ":") ||
                   answer.startsWith("error:");
        });
    }

private:
    bool m_started;
};
