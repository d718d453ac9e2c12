// The board's end of the serial line: a pseudo-terminal whose slave side is linked as comN.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>

namespace boardsim {

class SimulatedPort : public QObject
{
public:
    // Opens a raw 9600 8N1 terminal and points linkPath at its slave side, replacing an older
    // symbolic link there (never anything else). Throws std::runtime_error saying why it cannot.
    explicit SimulatedPort(const QString& linkPath);
    // Closes the terminal and removes the link, unless it has been pointed elsewhere meanwhile.
    ~SimulatedPort() override;

    int fd() const { return m_master; } // non-blocking
    QString slavePath() const { return m_slavePath; }
    QString linkPath() const { return m_linkPath; }
    QSocketNotifier* readable = nullptr;
    QSocketNotifier* writable = nullptr; // enabled while bytes wait for room

private:
    int m_master = -1;
    // Held open, so that the terminal outlives the program under test closing and reopening it.
    int m_slaveKeeper = -1;
    QString m_slavePath;
    QString m_linkPath;
};

} // namespace boardsim
