// A program's own folder as the tests give it one: a temporary folder the program runs from (a copy
// of it, or a window built on the folder), whose comN links lead to a real serial line: a
// pseudo-terminal of the test's, where the test plays the board, or the real boardsim's.
#pragma once

#include "support/line_process.h"
#include "support/pseudo_terminal.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Writes `bytes` as the whole of the file at `path`.
inline void Put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

struct ProgramFolder
{
    QTemporaryDir dir;
    std::unique_ptr<PseudoTerminal> pty; // the test's line, or
    std::optional<BoardsimProcess> sim;  // boardsim's, started on `dir`

    // `comN` leads to `target`, by default the test's line.
    void linkPort(int number, const QString& target = {})
    {
        const QString link = dir.filePath(QStringLiteral("com%1").arg(number));
        QFile::remove(link);
        QFile::link(target.isEmpty() ? pty->slavePath() : target, link);
    }
    // The program copied in, to run from here: its path there, or nothing if it was not copied.
    QString install(const QString& program)
    {
        const QString copy = dir.filePath(QFileInfo(program).fileName());
        return QFile::copy(program, copy) ? copy : QString();
    }
};
