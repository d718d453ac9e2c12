#include "support/boardsim_process.h"

#include <QElapsedTimer>
#include <QRegularExpression>

BoardsimProcess::BoardsimProcess(const QString& dir, const QStringList& arguments)
{
    m_process.setProgram(program());
    m_process.setArguments(QStringList{"--dir", dir} + arguments);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    if (!m_process.waitForStarted(5000))
        return;
    if (const auto line = waitForLineStartingWith("boardsim: port ", 5s))
        m_slavePath = SlaveFromStartLine(*line);
}

BoardsimProcess::~BoardsimProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

std::optional<QString> BoardsimProcess::SlaveFromStartLine(const QString& line)
{
    static const QRegularExpression startLine(R"(^boardsim: port \d+ -> (\S+) \(link (.+)\)$)");
    const auto match = startLine.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1);
}

std::optional<QString>
BoardsimProcess::waitForLine(const std::function<bool(const QString&)>& match,
                             std::chrono::milliseconds deadline)
{
    QElapsedTimer clock;
    clock.start();
    while (true) {
        while (m_process.canReadLine())
            m_lines.append(QString::fromUtf8(m_process.readLine()).chopped(1));
        for (; m_next < m_lines.size(); ++m_next) {
            if (match(m_lines[m_next]))
                return m_lines[m_next++];
        }
        const qint64 left = deadline.count() - clock.elapsed();
        if (left <= 0 || m_process.state() != QProcess::Running)
            return std::nullopt;
        m_process.waitForReadyRead(static_cast<int>(left));
    }
}

std::optional<QString> BoardsimProcess::waitForLineStartingWith(const QString& prefix,
                                                                std::chrono::milliseconds deadline)
{
    return waitForLine([&](const QString& line) { return line.startsWith(prefix); }, deadline);
}

std::optional<QString> BoardsimProcess::control(const QString& line)
{
    m_process.write((line + '\n').toUtf8());
    m_process.waitForBytesWritten(3000);
    return waitForLine([&](const QString& answer) {
        return answer == "ok " + line || answer.startsWith("error " + line + ":") ||
               answer.startsWith("error:");
    });
}

std::optional<int> BoardsimProcess::terminate()
{
    m_process.terminate();
    return waitForExit();
}

std::optional<int> BoardsimProcess::waitForExit()
{
    if (!m_process.waitForFinished(5000) || m_process.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    return m_process.exitCode();
}
