#include "simulated_port.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <unistd.h>

namespace boardsim {
namespace {

std::runtime_error Failure(const QString& what, int error)
{
    return std::runtime_error((what + ": " + std::strerror(error)).toStdString());
}

// Replaces the link in one step, so that a program looking at it never finds it missing.
void PointLinkAt(const QString& link, const QString& target)
{
    if (QFileInfo(link).exists() && !QFileInfo(link).isSymLink())
        throw std::runtime_error(
            ("refusing to replace " + link + ": it exists and is not a symbolic link")
                .toStdString());
    const QByteArray path = QFile::encodeName(link);
    const QByteArray temporary = path + ".boardsim-" + QByteArray::number(::getpid());
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(target).constData(), temporary.constData()) != 0 ||
        ::rename(temporary.constData(), path.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        throw Failure("cannot create the link " + link, error);
    }
}

} // namespace

SimulatedPort::SimulatedPort(const QString& linkPath) : m_linkPath(linkPath)
{
    termios line{};
    ::cfmakeraw(&line);
    ::cfsetspeed(&line, B9600);
    line.c_cflag |= CLOCAL | CREAD;
    char name[256] = {};
    if (::openpty(&m_master, &m_slaveKeeper, name, &line, nullptr) != 0)
        throw Failure("cannot create a pseudo-terminal", errno);
    m_slavePath = QFile::decodeName(name);
    try {
        if (::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0)
            throw Failure("cannot make the terminal non-blocking", errno);
        PointLinkAt(m_linkPath, m_slavePath);
    } catch (...) {
        ::close(m_master);
        ::close(m_slaveKeeper);
        throw;
    }
    readable = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    writable = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    writable->setEnabled(false);
}

SimulatedPort::~SimulatedPort()
{
    if (QFileInfo(m_linkPath).symLinkTarget() == m_slavePath)
        QFile::remove(m_linkPath);
    ::close(m_master);
    ::close(m_slaveKeeper);
}

} // namespace boardsim
