// SIGINT, SIGTERM and SIGHUP as a readable descriptor, so the main poll() wakes on them without
// a race between checking a flag and going to sleep.
#pragma once

#include "unique_fd.h"

#include <optional>

namespace boardsim {

class StopSignals
{
public:
    // Blocks the signals for normal delivery; create it before any thread exists. Also ignores
    // SIGPIPE, so a reader of stdout that goes away does not kill the board, and the terminal
    // job-control signals, so running in the background does not stop it.
    StopSignals();

    int fd() const { return m_fd.get(); }
    // The signal that arrived, if any; does not block.
    std::optional<int> take() const;

private:
    UniqueFd m_fd;
};

} // namespace boardsim
