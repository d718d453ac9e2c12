#include "lamp_command.h"

namespace console {

std::optional<board::Request> LampCommand(const board::BoardSession& session, int channel)
{
    if (channel < 1 || channel > board::kChannels || !session.channels())
        return std::nullopt;
    const bool on = (*session.channels() >> (channel - 1)) & 1u;
    return board::Request{on ? board::kCmdSwitchOff : board::kCmdSwitchOn, 0,
                          static_cast<std::uint8_t>(channel)};
}

} // namespace console
