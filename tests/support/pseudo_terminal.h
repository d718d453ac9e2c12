// A real pseudo-terminal for tests: the program under test opens the slave side as its serial
// port, the test plays the board on the master side.
#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

class PseudoTerminal
{
public:
    PseudoTerminal(); // opens a pty in raw mode; throws std::runtime_error on failure
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    QString slavePath() const { return m_slavePath; }
    bool isOpen() const { return m_master >= 0; }

    // Writes bytes to the program under test.
    void write(const QByteArray& bytes);
    // Everything the program has written so far and not yet read (non-blocking).
    QByteArray readAvailable();
    // Reads until at least `count` bytes have come, or the deadline passes, while Qt events are
    // processed so the program under test keeps running in the same thread.
    QByteArray readAtLeast(int count, std::chrono::milliseconds deadline);

    // Closes the master side, as if the device were unplugged.
    void closeMaster();

private:
    int m_master = -1;
    int m_slaveKeeper = -1; // keeps the slave alive between the program's opens
    QString m_slavePath;
};
