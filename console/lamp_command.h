// Which command a click on a lamp asks for: it follows the lamp's exact colour, which is the
// channel state the last valid status frame reported.
#pragma once

#include "command_slot.h"

#include <QColor>

#include <optional>

namespace console {

// Green (connected) asks the board to switch the channel off, red (disconnected) to switch it
// on; any other look (waiting, board silent, port closed) asks for nothing, as does a channel
// outside 1..24.
std::optional<Request> CommandForLamp(const QColor& colour, int channel);

} // namespace console
