#include "stop_signals.h"

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace boardctl {
namespace {

sigset_t StopSet()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

} // namespace

StopSignals::StopSignals()
{
    const sigset_t signals = StopSet();
    if (::sigprocmask(SIG_BLOCK, &signals, nullptr) != 0)
        return;
    m_fd = ::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_fd < 0) // blocked with nothing to read them, Ctrl+C would do nothing at all
        ::sigprocmask(SIG_UNBLOCK, &signals, nullptr);
}

StopSignals::~StopSignals()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<int> StopSignals::take() const
{
    signalfd_siginfo info{};
    if (m_fd < 0 || ::read(m_fd, &info, sizeof info) != sizeof info)
        return std::nullopt;
    return static_cast<int>(info.ssi_signo);
}

} // namespace boardctl
