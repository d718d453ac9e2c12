// One end of a real serial line for tests. A new pseudo-terminal: the program under test opens
// its slave path as its port and the test plays the board on the master side. Or an existing
// path opened raw: the test plays the program. Reads have deadlines and keep Qt's
// events going, so a program in the same thread runs meanwhile.
#pragma once

#include "link/board_session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <array>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

using namespace std::chrono_literals;

inline QByteArray Bytes(const board::Frame& frame)
{
    return QByteArray(reinterpret_cast<const char*>(frame.data()), frame.size());
}

class PseudoTerminal
{
public:
    using Ms = std::chrono::milliseconds;
    PseudoTerminal() // a new pty
    {
        char name[256] = {};
        ::openpty(&m_fd, &m_slaveKeeper, name, nullptr, nullptr);
        m_slavePath = QString::fromLocal8Bit(name);
        MakeRaw(m_slaveKeeper);
        ::fcntl(m_fd, F_SETFL, O_NONBLOCK);
    }
    explicit PseudoTerminal(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(),
                      O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
        MakeRaw(m_fd);
    }
    ~PseudoTerminal() { close(), ::close(m_slaveKeeper); }
    Q_DISABLE_COPY(PseudoTerminal)

    QString slavePath() const { return m_slavePath; }  // empty for an opened path
    void close() { ::close(std::exchange(m_fd, -1)); } // a new pty's device is unplugged

    bool write(const QByteArray& b) { return ::write(m_fd, b.constData(), b.size()) == b.size(); }
    bool write(const board::Frame& frame) { return write(Bytes(frame)); }

    // Reads until `done` holds for the bytes read so far, the far end hangs up or the deadline
    // passes, and gives them; bytes past the point where `done` first held stay for later.
    QByteArray readUntil(const std::function<bool(const QByteArray&)>& done, Ms deadline = 2s)
    {
        QElapsedTimer clock;
        for (clock.start();; ::poll(std::array{pollfd{m_fd, POLLIN, 0}}.data(), 1, 5)) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            char chunk[512];
            ssize_t n = 0;
            while (m_fd >= 0 && (n = ::read(m_fd, chunk, sizeof chunk)) > 0)
                m_buffered.append(chunk, n);
            const bool hungUp = m_fd < 0 || n == 0 || errno != EAGAIN;
            for (qsizetype length = 0; done && length <= m_buffered.size(); ++length) {
                if (done(m_buffered.first(length))) {
                    const QByteArray out = m_buffered.first(length);
                    m_buffered.remove(0, length);
                    return out;
                }
            }
            if (hungUp || clock.elapsed() >= deadline.count())
                return std::exchange(m_buffered, {});
        }
    }
    QByteArray read(qsizetype count, Ms deadline = 2s)
    {
        return readUntil([count](const QByteArray& b) { return b.size() >= count; }, deadline);
    }
    QByteArray readAvailable() { return readUntil({}, 0ms); } // what has come, without waiting
    // One poll tick of the session on this line, run by the test: what it writes, as hex.
    QByteArray tick(board::BoardSession& session)
    {
        readAvailable();
        session.Timer1_Timer();
        return read(8, 500ms).toHex();
    }

private:
    static void MakeRaw(int fd)
    {
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }

    int m_fd = -1;
    int m_slaveKeeper = -1; // keeps a new pty's slave alive between the program's opens
    QString m_slavePath;
    QByteArray m_buffered;
};
