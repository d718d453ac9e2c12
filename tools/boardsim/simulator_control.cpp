// The control channel: lines from standard input, carried out and acknowledged on stdout.
#include "simulator.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace boardsim {
namespace {

constexpr std::size_t kBurstStrayBytes = 4;

template <class... Handlers> struct Overloaded : Handlers...
{
    using Handlers::operator()...;
};

} // namespace

void Simulator::readControl()
{
    std::array<char, 4096> buffer{};
    const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    const bool atEnd = n <= 0;
    if (n > 0)
        m_control.append(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    if (n < 0) {
        const std::string why = errno == EIO ? "running in the background" : std::strerror(errno);
        m_console.warn("boardsim: commands on standard input are off (" + why + ")");
    }
    // At the end of input the board keeps running; it is stopped by a signal or "quit".
    if (atEnd)
        m_controlOpen = false;
    while (!m_exitCode) {
        const auto line = m_control.next(atEnd);
        if (!line)
            break;
        handleLine(*line);
    }
}

void Simulator::handleLine(const LineBuffer::Line& line)
{
    if (line.overlong) {
        m_console.say("error: line longer than " + std::to_string(LineBuffer::kMaxLine) +
                      " characters ignored");
        return;
    }
    const ParsedLine parsed = ParseControlLine(line.text);
    if (parsed.echo.empty())
        return;
    const std::string error = parsed.command ? execute(*parsed.command) : parsed.error;
    m_console.say((error.empty() ? "ok " : "error ") + parsed.echo +
                  (error.empty() ? "" : ": " + error));
}

std::string Simulator::execute(const ControlCommand& command)
{
    // Each gives the reason it could not be done, or an empty string.
    const auto needsTerminal = [this] {
        return plugged() ? std::string() : std::string("unplugged (type replug first)");
    };
    const Overloaded handlers{
        [&](const command::SetPattern& c) {
            m_board.setPattern(c.pattern);
            return std::string();
        },
        [&](const command::Silence& c) {
            m_silenceUntil = Clock::now() + std::chrono::milliseconds(c.milliseconds);
            return std::string();
        },
        [&](const command::SetSilent& c) {
            m_silent = c.on;
            return std::string();
        },
        [&](const command::Burst&) {
            if (!plugged())
                return needsTerminal();
            const board::Frame frame = m_board.status();
            const auto stray = m_shaper.randomBytes(kBurstStrayBytes);
            m_console.logBytes("tx", frame);
            m_console.logBytes("noise", stray);
            std::vector<std::uint8_t> bytes(frame.begin(), frame.end());
            bytes.insert(bytes.end(), stray.begin(), stray.end());
            send(std::move(bytes));
            return std::string();
        },
        [&](const command::Noise& c) {
            if (!plugged())
                return needsTerminal();
            auto bytes = m_shaper.randomBytes(c.count);
            m_console.logBytes("noise", bytes);
            send(std::move(bytes));
            return std::string();
        },
        [&](const command::SpoilNext&) {
            m_shaper.spoilNext();
            return std::string();
        },
        [&](const command::Unplug&) {
            unplug();
            return std::string();
        },
        [&](const command::Replug&) {
            unplug();
            try {
                plug();
            } catch (const std::runtime_error& e) {
                return std::string(e.what());
            }
            return std::string();
        },
        [&](const command::Help&) {
            std::string_view help = ControlHelp();
            while (!help.empty()) {
                const auto end = help.find('\n');
                m_console.say(help.substr(0, end));
                help.remove_prefix(std::min(end + 1, help.size()));
            }
            return std::string();
        },
        [&](const command::Quit&) {
            m_exitCode = 0;
            return std::string();
        },
    };
    return std::visit(handlers, command);
}

} // namespace boardsim
