// The board at work: one poll() loop over the terminal, standard input and the stop signals,
// sleeping until the next due reply or walk step.
#pragma once

#include "board_state.h"
#include "console.h"
#include "control_command.h"
#include "line_buffer.h"
#include "options.h"
#include "reply_shaper.h"
#include "request_hunter.h"
#include "simulated_port.h"
#include "stop_signals.h"

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace boardsim {

class Simulator
{
public:
    using Clock = std::chrono::steady_clock;

    // Opens the terminal and prints the start line. Throws std::runtime_error when the terminal
    // or its link cannot be made.
    Simulator(const SimOptions& options, const StopSignals& stopSignals, const Console& console);

    // Runs until a stop signal or "quit"; gives the exit code.
    int run();

private:
    struct PendingReply
    {
        Clock::time_point due;
        board::Frame frame;
    };

    void plug();
    void unplug();
    bool plugged() const { return m_port != nullptr; }

    void readTerminal();
    void readControl();
    void handleRequest(const board::Frame& request);
    void handleLine(const LineBuffer::Line& line);
    // Gives the error text for the caller, or an empty string when the command was done.
    std::string execute(const ControlCommand& command);

    void sendDueReplies(Clock::time_point now);
    void stepWalk(Clock::time_point now);
    bool answering(Clock::time_point now) const;
    void send(std::vector<std::uint8_t> bytes);
    void flushOutgoing();
    int pollTimeoutMs(Clock::time_point now) const;

    const SimOptions m_options;
    const StopSignals& m_signals;
    const Console& m_console;
    const std::filesystem::path m_linkPath;

    BoardState m_board;
    ReplyShaper m_shaper;
    RequestHunter m_hunter;
    LineBuffer m_control;
    bool m_controlOpen = true;

    std::unique_ptr<SimulatedPort> m_port; // none while unplugged
    std::vector<std::uint8_t> m_outgoing;  // bytes the terminal did not take yet
    std::deque<PendingReply> m_replies;    // in due order: every reply waits the same delay

    bool m_silent;
    Clock::time_point m_silenceUntil{};
    std::optional<Clock::time_point> m_nextWalk;
    std::optional<int> m_exitCode;
};

} // namespace boardsim
