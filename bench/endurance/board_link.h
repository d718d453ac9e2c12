// boardsim as the soak sees it: a child with its commands on a pipe and its traffic log read by
// a thread that stamps each line the moment it arrives, so frame times do not depend on how busy
// the driver's own loop is.
#pragma once

#include "soak_support.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace soak {

struct LogLine
{
    Clock::time_point at;
    std::string text;
};

class BoardProcess
{
public:
    BoardProcess(const std::vector<std::string>& argv, const std::string& dir,
                 const std::string& log);
    ~BoardProcess();

    void write(const std::string& line);
    std::vector<LogLine> take(); // lines that arrived since the last call
    Child& child() { return *m_child; }

private:
    void readLoop();

    int m_in = -1;
    int m_out = -1;
    std::unique_ptr<Child> m_child;
    std::thread m_reader;
    std::mutex m_mutex;
    std::vector<LogLine> m_lines;
};

// The bytes the board put on its current terminal, in order. Every 8-byte window that forms a
// valid status frame is something a receiver taking any 8 bytes could accept, so the patterns
// of all of them are what the board "sent"; windows that are not one of its own replies are
// counted as phantoms (random stray bytes that happen to complete a frame).
class Wire
{
public:
    struct Frame
    {
        Clock::time_point at;
        std::uint32_t pattern;
    };

    // Frames of an earlier terminal cannot reach the program any more.
    void newTerminal()
    {
        m_filled = 0;
        m_clean.clear();
    }
    // A reply or burst frame; `afterStray` when stray bytes went out in the same write just
    // before it, so the program cannot take it whole.
    void frame(Clock::time_point at, const std::vector<std::uint8_t>& bytes, bool afterStray);
    void stray(Clock::time_point at, const std::vector<std::uint8_t>& bytes);

    bool everSent(std::uint32_t pattern) const { return m_patterns.count(pattern) != 0; }
    // Whole valid frames with nothing stray just before them, oldest first (the last few seconds).
    const std::deque<Frame>& clean() const { return m_clean; }
    std::optional<Clock::time_point> lastStray() const { return m_lastStray; }
    int phantoms() const { return m_phantoms; }
    long validFrames() const { return m_validFrames; }
    long spoiledFrames() const { return m_spoiledFrames; }

private:
    void push(std::uint8_t byte, bool endsFrame);

    std::array<std::uint8_t, 8> m_window{};
    std::size_t m_filled = 0;
    std::unordered_set<std::uint32_t> m_patterns;
    std::deque<Frame> m_clean;
    std::optional<Clock::time_point> m_lastStray;
    int m_phantoms = 0;
    long m_validFrames = 0;
    long m_spoiledFrames = 0;
};

std::vector<std::uint8_t> HexBytes(const std::string& text);
bool ValidStatus(const std::vector<std::uint8_t>& frame);
std::uint32_t PatternOf(const std::uint8_t* frame); // channels 1..8 in byte 6, 17..24 in byte 4

} // namespace soak
