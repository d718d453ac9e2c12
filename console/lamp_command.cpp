#include "lamp_command.h"

namespace console {

std::optional<board::Request> LampCommand(const board::BoardSession& session, int channel)
{
    if (channel < 1 || channel > board::kChannels || !session.channels())
        return std::nullopt;
    return board::SwitchOver(channel, board::ChannelOn(*session.channels(), channel));
}

} // namespace console
