// The board's end of the serial line: a pseudo-terminal whose slave side is linked as <dir>/comN.
#pragma once

#include "unique_fd.h"

#include <filesystem>
#include <string>

namespace boardsim {

class SimulatedPort
{
public:
    // Opens a raw 9600 8N1 terminal and points linkPath at its slave side, replacing an older
    // symbolic link there. Throws std::runtime_error with a message for the user on failure,
    // including when linkPath is something other than a symbolic link.
    explicit SimulatedPort(std::filesystem::path linkPath);
    // Closes the terminal and removes the link, unless it has been pointed elsewhere meanwhile.
    ~SimulatedPort();
    SimulatedPort(const SimulatedPort&) = delete;
    SimulatedPort& operator=(const SimulatedPort&) = delete;

    int masterFd() const { return m_master.get(); }
    const std::string& slavePath() const { return m_slavePath; }
    const std::filesystem::path& linkPath() const { return m_linkPath; }

private:
    std::filesystem::path m_linkPath;
    UniqueFd m_master; // non-blocking
    // Held open so the terminal outlives the program under test closing and reopening the port.
    UniqueFd m_slaveKeeper;
    std::string m_slavePath;
};

} // namespace boardsim
