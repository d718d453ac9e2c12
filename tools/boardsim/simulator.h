// The board at work on Qt's event loop: notifiers on the terminal, standard input and the stop
// signals, and timers for replies and walk steps, so that it sleeps until one of them is due.
#pragma once

#include "link/frame.h"
#include "link/stop_signals.h"
#include "simulated_port.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace boardsim {

// The defaults are in boardsim's option table (main.cpp), as one would type them.
struct SimOptions
{
    QString link; // where the comN link goes
    unsigned port = 0;
    std::vector<std::uint8_t> addresses; // one board each, on the one line
    std::uint32_t pattern = 0;
    unsigned walkMs = 0;  // 0: the pattern stays as it is
    unsigned delayMs = 0; // before each reply
    unsigned baud = 0;    // 0: everything goes out at once
    bool silent = false;
    unsigned invalidEvery = 0; // 0: off
    unsigned noiseEvery = 0;   // 0: off
    bool log = false;
    std::uint32_t seed = 0; // for the random bytes
};

// "0x5A5A5A" or "5A5A5A": 1 to 6 hex digits, bit n-1 = channel n.
std::optional<std::uint32_t> ParsePattern(const QString& text);

class Simulator
{
public:
    // Opens the terminal and prints the start line; throws std::runtime_error when it cannot.
    Simulator(const SimOptions& options, const board::StopSignals& stopSignals);
    // The control commands, one line each ("pattern HEX    set the 24 channels ...").
    static QStringList commandHelp();

private:
    using Clock = std::chrono::steady_clock;
    struct Board
    {
        std::uint8_t address;
        std::uint32_t pattern;
        bool silent;
        Clock::time_point silenceUntil{};
        bool spoilNext = false;
        QByteArray strayNext{};              // goes out just before the next reply
        std::optional<std::uint8_t> claim{}; // the address its replies carry, if not its own
        unsigned long long replies = 0;
    };
    struct Command;
    static const Command kCommands[];

    void plug();
    void unplug();
    void readTerminal();
    void readControl();
    void runLine(const QByteArray& line);
    void handle(const board::Frame& request);
    // The answer starts on the line at `due`, even when the timer wakes a little later.
    void reply(Board& board, Clock::time_point due);
    void send(const QByteArray& bytes, Clock::time_point from = Clock::now());
    void flush();
    QByteArray randomBytes(int count);
    void log(const char* tag, const QByteArray& bytes) const;

    const SimOptions m_options;
    std::vector<Board> m_boards;
    std::mt19937 m_random;

    QSocketNotifier m_signals;
    QSocketNotifier m_control;
    QByteArray m_controlText;
    bool m_skipping = false; // the rest of an overlong line is dropped as it comes
    bool m_quitting = false;
    QTimer m_walk;

    std::unique_ptr<SimulatedPort> m_port; // none while unplugged; pending replies go with it
    QByteArray m_received;                 // bytes that may still begin a request
    // At --baud a byte takes 10 bit times on the line; every byte sent is due when its last bit
    // would be out, and one timer wakes for the next one.
    const Clock::duration m_byteTime;
    Clock::time_point m_receivedAt; // when the bytes read so far could all have arrived
    Clock::time_point m_sentAt;     // when the bytes queued so far will all be out
    std::deque<std::pair<Clock::time_point, char>> m_outgoing;
    QTimer m_pace;
};

} // namespace boardsim
