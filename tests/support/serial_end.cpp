#include "support/serial_end.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

QByteArray Bytes(const board::Frame& frame)
{
    return QByteArray(reinterpret_cast<const char*>(frame.data()), frame.size());
}

SerialEnd::SerialEnd(const QString& path)
{
    m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return;
    termios tio{};
    ::tcgetattr(m_fd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B9600);
    ::tcsetattr(m_fd, TCSANOW, &tio);
}

SerialEnd::~SerialEnd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SerialEnd::write(const QByteArray& bytes)
{
    qsizetype done = 0;
    QElapsedTimer clock;
    clock.start();
    while (done < bytes.size() && clock.elapsed() < 3000) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{m_fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return done == bytes.size();
}

bool SerialEnd::fill(std::chrono::milliseconds wait)
{
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0)
        return true;
    char chunk[512];
    const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
    if (n > 0) {
        m_buffered.append(chunk, n);
        return true;
    }
    return n < 0 && errno == EAGAIN;
}

QByteArray SerialEnd::readUntil(const std::function<bool(const QByteArray&)>& done,
                                std::chrono::milliseconds deadline)
{
    QElapsedTimer clock;
    clock.start();
    while (true) {
        for (qsizetype length = 0; length <= m_buffered.size(); ++length) {
            if (done(m_buffered.first(length))) {
                const QByteArray out = m_buffered.first(length);
                m_buffered.remove(0, length);
                return out;
            }
        }
        const auto left = deadline - std::chrono::milliseconds(clock.elapsed());
        if (left <= 0ms || !fill(std::min<std::chrono::milliseconds>(left, 100ms)))
            return std::exchange(m_buffered, {});
    }
}

QByteArray SerialEnd::readCount(int count, std::chrono::milliseconds deadline)
{
    return readUntil([count](const QByteArray& bytes) { return bytes.size() >= count; }, deadline);
}

QByteArray SerialEnd::readThrough(const board::Frame& frame, std::chrono::milliseconds deadline)
{
    const QByteArray wanted = Bytes(frame);
    return readUntil([&](const QByteArray& bytes) { return bytes.endsWith(wanted); }, deadline);
}

bool SerialEnd::waitForHangup(std::chrono::milliseconds deadline)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < deadline.count()) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            if (p.revents & (POLLHUP | POLLERR))
                return true;
            char chunk[512];
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n == 0 || (n < 0 && errno != EAGAIN))
                return true;
        }
    }
    return false;
}
