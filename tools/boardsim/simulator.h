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
#include <memory>
#include <optional>
#include <random>

namespace boardsim {

struct SimOptions
{
    QString link; // where the comN link goes
    unsigned port = 1;
    std::uint8_t address = 1;
    std::uint32_t pattern = 0x5A5A5A;
    unsigned walkMs = 0;  // 0: the pattern stays as it is
    unsigned delayMs = 0; // before each reply
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
    struct Command;
    static const Command kCommands[];

    void plug();
    void unplug();
    void readTerminal();
    void readControl();
    void runLine(const QByteArray& line);
    void handle(const board::Frame& request);
    void reply(board::Frame frame);
    void send(const QByteArray& bytes);
    void flush();
    QByteArray randomBytes(int count);
    void log(const char* tag, const QByteArray& bytes) const;

    const SimOptions m_options;
    std::uint32_t m_pattern;
    bool m_silent;
    Clock::time_point m_silenceUntil{};
    bool m_spoilNext = false;
    unsigned long long m_replies = 0;
    std::mt19937 m_random;

    QSocketNotifier m_signals;
    QSocketNotifier m_control;
    QByteArray m_controlText;
    bool m_skipping = false; // the rest of an overlong line is dropped as it comes
    bool m_quitting = false;
    QTimer m_walk;

    std::unique_ptr<SimulatedPort> m_port; // none while unplugged; pending replies go with it
    QByteArray m_received;                 // bytes that may still begin a request
    QByteArray m_outgoing;                 // bytes the terminal has no room for yet
};

} // namespace boardsim
