#include "stop_signals.h"

#include <csignal>
#include <cstring>
#include <stdexcept>
#include <sys/signalfd.h>

namespace boardsim {

StopSignals::StopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signals, signal);
    if (::sigprocmask(SIG_BLOCK, &signals, nullptr) != 0)
        throw std::runtime_error(std::string("cannot block signals: ") + std::strerror(errno));
    m_fd.reset(::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!m_fd.valid())
        throw std::runtime_error(std::string("cannot watch signals: ") + std::strerror(errno));
    std::signal(SIGPIPE, SIG_IGN);
    // Started with "&" from an interactive shell, reading the terminal would stop the whole
    // board; ignored, the read fails instead and only the control channel is given up.
    std::signal(SIGTTIN, SIG_IGN);
    std::signal(SIGTTOU, SIG_IGN);
}

std::optional<int> StopSignals::take() const
{
    signalfd_siginfo info{};
    if (::read(m_fd.get(), &info, sizeof info) != sizeof info)
        return std::nullopt;
    return static_cast<int>(info.ssi_signo);
}

} // namespace boardsim
