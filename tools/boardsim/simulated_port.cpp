#include "simulated_port.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <system_error>
#include <termios.h>

namespace boardsim {
namespace {

namespace fs = std::filesystem;

std::runtime_error SystemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

void SetLineSettings(int slave)
{
    termios tio{};
    if (::tcgetattr(slave, &tio) != 0)
        throw SystemError("cannot read the terminal settings");
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (::tcsetattr(slave, TCSANOW, &tio) != 0)
        throw SystemError("cannot set 9600 8N1 raw on the terminal");
}

// Replaces the link in one step, so a program looking at it never finds it missing.
void PointLinkAt(const fs::path& link, const std::string& target)
{
    std::error_code error;
    const auto status = fs::symlink_status(link, error);
    if (fs::exists(status) && !fs::is_symlink(status))
        throw std::runtime_error("refusing to replace " + link.string() +
                                 ": it exists and is not a symbolic link");
    fs::path temporary = link;
    temporary += ".boardsim-" + std::to_string(::getpid());
    fs::remove(temporary, error);
    fs::create_symlink(target, temporary, error);
    if (!error)
        fs::rename(temporary, link, error);
    if (error) {
        const std::string reason = error.message();
        fs::remove(temporary, error);
        throw std::runtime_error("cannot create the link " + link.string() + ": " + reason);
    }
}

} // namespace

SimulatedPort::SimulatedPort(fs::path linkPath) : m_linkPath(std::move(linkPath))
{
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        throw SystemError("cannot create a pseudo-terminal");
    m_master.reset(master);
    m_slaveKeeper.reset(slave);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    if (::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) != 0)
        throw SystemError("cannot make the terminal non-blocking");

    char name[256] = {};
    if (::ttyname_r(slave, name, sizeof name) != 0)
        throw std::runtime_error("cannot name the pseudo-terminal");
    m_slavePath = name;

    SetLineSettings(slave);
    PointLinkAt(m_linkPath, m_slavePath);
}

SimulatedPort::~SimulatedPort()
{
    std::error_code error;
    if (fs::read_symlink(m_linkPath, error) == fs::path(m_slavePath) && !error)
        fs::remove(m_linkPath, error);
}

} // namespace boardsim
