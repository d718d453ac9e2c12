// Which command a click on a channel's lamp asks for: it follows the channel state the last valid
// status frame reported, which is what the lamp shows.
#pragma once

#include "link/board_session.h"

#include <optional>

namespace console {

// A connected channel (green) asks the board to switch it off, a disconnected one (red) to switch
// it on; while nothing is known (no valid answer since opening, the link counted as lost, the port
// closed: yellow or grey) a click asks for nothing, as does a channel outside 1..24.
std::optional<board::Request> LampCommand(const board::BoardSession& session, int channel);

} // namespace console
