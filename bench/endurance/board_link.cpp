#include "board_link.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace soak {

BoardProcess::BoardProcess(const std::vector<std::string>& argv, const std::string& dir,
                           const std::string& log)
{
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    ::signal(SIGPIPE, SIG_IGN); // a board that died is reported by its exit, not by our death
    m_child = std::make_unique<Child>(argv, dir, log, Child::Io{in[0], out[1]});
    ::close(in[0]);
    ::close(out[1]);
    m_in = in[1];
    m_out = out[0];
    m_reader = std::thread([this] { readLoop(); });
}

BoardProcess::~BoardProcess()
{
    write("quit");
    ::close(m_in);
    if (!WaitUntil([this] { return !m_child->alive(); }, 3s))
        m_child->kill(SIGKILL);
    m_child->waitExit();
    m_reader.join(); // ends at the end of the board's output
    ::close(m_out);
}

void BoardProcess::write(const std::string& line)
{
    const std::string text = line + '\n';
    [[maybe_unused]] const ssize_t n = ::write(m_in, text.data(), text.size());
}

std::vector<LogLine> BoardProcess::take()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_lines, {});
}

void BoardProcess::readLoop()
{
    std::string partial;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_out, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        const auto now = Clock::now();
        partial.append(buffer, std::size_t(n));
        std::lock_guard lock(m_mutex);
        for (std::size_t end; (end = partial.find('\n')) != std::string::npos;) {
            m_lines.push_back({now, partial.substr(0, end)});
            partial.erase(0, end + 1);
        }
    }
}

std::vector<std::uint8_t> HexBytes(const std::string& text)
{
    std::vector<std::uint8_t> bytes;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
    return bytes;
}

bool ValidStatus(const std::vector<std::uint8_t>& frame)
{
    if (frame.size() != 8 || frame[0] != 0x22)
        return false;
    unsigned sum = 0;
    for (int i = 0; i < 7; ++i)
        sum += frame[i];
    return (sum & 0xFF) == frame[7];
}

std::uint32_t PatternOf(const std::uint8_t* frame)
{
    return std::uint32_t(frame[6]) | std::uint32_t(frame[5]) << 8 | std::uint32_t(frame[4]) << 16;
}

void Wire::frame(Clock::time_point at, const std::vector<std::uint8_t>& bytes, bool afterStray)
{
    const bool valid = ValidStatus(bytes);
    (valid ? m_validFrames : m_spoiledFrames)++;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        push(bytes[i], valid && i + 1 == bytes.size());
    if (valid && !afterStray) {
        m_clean.push_back({at, PatternOf(bytes.data())});
        while (m_clean.size() > 200)
            m_clean.pop_front();
    }
}

void Wire::stray(Clock::time_point at, const std::vector<std::uint8_t>& bytes)
{
    m_lastStray = at;
    for (const std::uint8_t b : bytes)
        push(b, false);
}

void Wire::push(std::uint8_t byte, bool endsFrame)
{
    std::copy(m_window.begin() + 1, m_window.end(), m_window.begin());
    m_window[7] = byte;
    if (m_filled < 8)
        ++m_filled;
    if (m_filled < 8)
        return;
    const std::vector<std::uint8_t> window(m_window.begin(), m_window.end());
    if (!ValidStatus(window))
        return;
    m_patterns.insert(PatternOf(window.data()));
    if (!endsFrame)
        ++m_phantoms;
}

} // namespace soak
