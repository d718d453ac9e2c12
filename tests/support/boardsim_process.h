// The real boardsim binary, run the way an end-to-end test or a demo script runs it.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

using namespace std::chrono_literals;

class BoardsimProcess
{
public:
    static QString program() { return QStringLiteral(BOARDSIM_PATH); }

    // Starts boardsim with --dir dir and the given arguments, and waits for its start line.
    // Check started() afterwards.
    BoardsimProcess(const QString& dir, const QStringList& arguments);
    ~BoardsimProcess(); // kills it if still running

    bool started() const { return m_slavePath.has_value(); }
    QString slavePath() const { return m_slavePath.value_or(QString()); }
    QProcess& process() { return m_process; }

    // The next stdout line (after the last one matched) for which `match` holds.
    std::optional<QString> waitForLine(const std::function<bool(const QString&)>& match,
                                       std::chrono::milliseconds deadline = 3s);
    std::optional<QString> waitForLineStartingWith(const QString& prefix,
                                                   std::chrono::milliseconds deadline = 3s);

    // Sends one control line and gives boardsim's answer ("ok ..." or "error ...").
    std::optional<QString> control(const QString& line);

    // SIGTERM, then waits for the exit; gives the exit code, or nothing on a crash or hang.
    std::optional<int> terminate();
    // Waits for an exit that is already on its way (e.g. after "quit").
    std::optional<int> waitForExit();

    // Parses a start line into the slave path; nothing if it is not one.
    static std::optional<QString> SlaveFromStartLine(const QString& line);

private:
    QProcess m_process;
    QStringList m_lines;
    qsizetype m_next = 0; // index of the first line not yet matched
    std::optional<QString> m_slavePath;
};
