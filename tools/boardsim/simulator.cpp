#include "simulator.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <unistd.h>

namespace boardsim {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

// More than this many unread bytes means nobody reads the terminal; keep memory bounded.
constexpr std::size_t kMaxOutgoing = 64 * 1024;

fs::path LinkPath(const SimOptions& options)
{
    std::error_code error;
    if (!fs::is_directory(options.dir, error))
        throw std::runtime_error("--dir " + options.dir.string() + ": no such directory");
    const fs::path dir = fs::absolute(options.dir, error).lexically_normal();
    return (dir.has_filename() ? dir : dir.parent_path()) / ("com" + std::to_string(options.port));
}

std::string SignalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "signal " + std::to_string(signal);
    }
}

} // namespace

Simulator::Simulator(const SimOptions& options, const StopSignals& stopSignals,
                     const Console& console)
    : m_options(options), m_signals(stopSignals), m_console(console), m_linkPath(LinkPath(options)),
      m_board(options.address, options.pattern),
      m_shaper(options.invalidEvery, options.noiseEvery,
               options.seed.value_or(std::random_device{}())),
      m_silent(options.silent)
{
    if (options.walkMs > 0)
        m_nextWalk = Clock::now() + milliseconds(options.walkMs);
    plug();
}

int Simulator::run()
{
    while (!m_exitCode) {
        const auto now = Clock::now();
        stepWalk(now);
        sendDueReplies(now);

        std::array<pollfd, 3> fds{};
        nfds_t count = 0;
        const auto watch = [&](int fd, short events) -> pollfd* {
            if (fd < 0)
                return nullptr;
            fds[count] = pollfd{fd, events, 0};
            return &fds[count++];
        };
        const pollfd* const signalWatch = watch(m_signals.fd(), POLLIN);
        const pollfd* const terminalWatch =
            watch(plugged() ? m_port->masterFd() : -1,
                  static_cast<short>(POLLIN | (m_outgoing.empty() ? 0 : POLLOUT)));
        const pollfd* const controlWatch = watch(m_controlOpen ? STDIN_FILENO : -1, POLLIN);

        if (::poll(fds.data(), count, pollTimeoutMs(Clock::now())) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error(std::string("poll failed: ") + std::strerror(errno));
        }
        if (signalWatch->revents != 0) {
            if (const auto signal = m_signals.take()) {
                m_console.warn("boardsim: stopped by " + SignalName(*signal));
                m_exitCode = 0;
                break;
            }
        }
        // The terminal before the control: a control command may replace the terminal.
        if (terminalWatch && terminalWatch->revents != 0) {
            if (terminalWatch->revents & POLLOUT)
                flushOutgoing();
            if (terminalWatch->revents & (POLLIN | POLLHUP | POLLERR))
                readTerminal();
        }
        if (controlWatch && controlWatch->revents != 0)
            readControl();
    }
    return *m_exitCode;
}

void Simulator::plug()
{
    m_port = std::make_unique<SimulatedPort>(m_linkPath);
    m_hunter.reset();
    m_console.say("boardsim: port " + std::to_string(m_options.port) + " -> " +
                  m_port->slavePath() + " (link " + m_port->linkPath().string() + ")");
}

void Simulator::unplug()
{
    m_port.reset();
    m_outgoing.clear();
    m_replies.clear();
    m_hunter.reset();
}

void Simulator::readTerminal()
{
    std::array<std::uint8_t, 512> buffer{};
    while (plugged()) {
        const ssize_t n = ::read(m_port->masterFd(), buffer.data(), buffer.size());
        if (n > 0) {
            m_hunter.feed(
                std::span(buffer.data(), static_cast<std::size_t>(n)),
                [this](const board::Frame& frame) {
                    m_console.logBytes("rx", frame);
                    handleRequest(frame);
                },
                [this](std::span<const std::uint8_t> bytes) { m_console.logBytes("skip", bytes); });
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        // The slave is held open here, so this should not happen; if it does, stop watching a
        // dead terminal instead of spinning on it.
        m_console.warn(std::string("boardsim: the terminal failed (") +
                       (n == 0 ? "closed" : std::strerror(errno)) + "); unplugged, type replug");
        unplug();
    }
}

void Simulator::handleRequest(const board::Frame& request)
{
    if (const auto reply = m_board.handle(request))
        m_replies.push_back({Clock::now() + milliseconds(m_options.delayMs), *reply});
}

void Simulator::sendDueReplies(Clock::time_point now)
{
    while (!m_replies.empty() && m_replies.front().due <= now) {
        const board::Frame frame = m_replies.front().frame;
        m_replies.pop_front();
        if (!answering(now))
            continue;
        const ShapedReply reply = m_shaper.shape(frame);
        if (!reply.noise.empty())
            m_console.logBytes("noise", reply.noise);
        m_console.logBytes("tx", reply.frame);
        std::vector<std::uint8_t> bytes = reply.noise;
        bytes.insert(bytes.end(), reply.frame.begin(), reply.frame.end());
        send(std::move(bytes));
    }
}

void Simulator::stepWalk(Clock::time_point now)
{
    if (!m_nextWalk || now < *m_nextWalk)
        return;
    m_board.rotate();
    const auto period = milliseconds(m_options.walkMs);
    // Keep to the grid of the start time; after a long stall start a new grid instead of
    // rotating many times at once.
    *m_nextWalk += period;
    if (*m_nextWalk <= now)
        *m_nextWalk = now + period;
}

bool Simulator::answering(Clock::time_point now) const
{
    return !m_silent && now >= m_silenceUntil;
}

void Simulator::send(std::vector<std::uint8_t> bytes)
{
    if (!plugged())
        return;
    if (m_outgoing.size() + bytes.size() > kMaxOutgoing) {
        m_console.warn("boardsim: nobody reads the terminal; " + std::to_string(bytes.size()) +
                       " bytes dropped");
        return;
    }
    m_outgoing.insert(m_outgoing.end(), bytes.begin(), bytes.end());
    flushOutgoing();
}

void Simulator::flushOutgoing()
{
    while (plugged() && !m_outgoing.empty()) {
        const ssize_t n = ::write(m_port->masterFd(), m_outgoing.data(), m_outgoing.size());
        if (n > 0) {
            m_outgoing.erase(m_outgoing.begin(), m_outgoing.begin() + n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return; // poll() waits for room
        m_console.warn(std::string("boardsim: cannot write to the terminal: ") +
                       std::strerror(errno));
        m_outgoing.clear();
    }
}

int Simulator::pollTimeoutMs(Clock::time_point now) const
{
    std::optional<Clock::time_point> next = m_nextWalk;
    if (!m_replies.empty() && (!next || m_replies.front().due < *next))
        next = m_replies.front().due;
    if (!next)
        return -1;
    if (*next <= now)
        return 0;
    // Round up, so the loop never wakes a little early and spins until the moment comes.
    const auto wait = ceil<milliseconds>(*next - now).count();
    return static_cast<int>(std::min<long long>(wait, INT_MAX));
}

} // namespace boardsim
