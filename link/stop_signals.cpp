#include "stop_signals.h"

#include <cerrno>
#include <csignal>
#include <sys/signalfd.h>
#include <system_error>
#include <unistd.h>

namespace board {

StopSignals::StopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signals, signal);
    if (::sigprocmask(SIG_BLOCK, &signals, nullptr) != 0 ||
        (m_fd = ::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC)) < 0)
        throw std::system_error(errno, std::generic_category(), "cannot watch the stop signals");
}

StopSignals::~StopSignals()
{
    ::close(m_fd);
}

std::optional<int> StopSignals::take() const
{
    signalfd_siginfo info{};
    if (::read(m_fd, &info, sizeof info) != sizeof info)
        return std::nullopt;
    return static_cast<int>(info.ssi_signo);
}

} // namespace board
