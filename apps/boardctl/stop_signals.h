// SIGINT and SIGTERM as a readable descriptor, so the event loop wakes on them (a notifier on
// fd()) and the handler may do anything, such as printing the watch summary.
#pragma once

#include <optional>

namespace boardctl {

class StopSignals
{
public:
    // Blocks the signals for normal delivery: create it before any thread exists. If no
    // descriptor can be made the signals are left as they were (fd() is -1).
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

} // namespace boardctl
