// SIGINT, SIGTERM and SIGHUP as a readable descriptor, so that a poll() or an event loop wakes on
// them and the program can end its own way (boardctl's watch prints its summary first).
#pragma once

#include <optional>

namespace board {

class StopSignals
{
public:
    // Blocks the three signals for normal delivery, so create it before any thread exists.
    // Throws std::system_error when no descriptor can be made.
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int fd() const { return m_fd; }
    // The signal that arrived, if any; does not block.
    std::optional<int> take() const;

private:
    int m_fd = -1;
};

} // namespace board
