// What watching a line writes into its history: the line opened, closed or lost, and each board's
// events as its watch log reports them, with the channels' names at that moment. boardctl's watch
// and the overview window write the same rows through it.
#pragma once

#include "writer.h"

#include "link/watch_log.h"

#include <functional>
#include <vector>

namespace history {

class Recorder
{
public:
    // The name of a channel (1..24) of a board, as the name file says now.
    using Names = std::function<QString(std::uint8_t address, int channel)>;

    // `device`: the line's device, as its rows carry it.
    Recorder(Writer& writer, QString device, Names names);

    // Opened, Closed or PortLost, now.
    void line(Event event);
    void board(std::uint8_t address, const std::vector<board::WatchEvent>& events);

private:
    Writer& m_writer;
    const QString m_device;
    const Names m_names;
};

} // namespace history
