#include "command_slot.h"

#include "link/frame.h"

namespace console {

void CommandSlot::queueCommand(std::uint8_t cmd, std::uint8_t data1, std::uint8_t data2)
{
    pending_cmd = {cmd, data1, data2};
    pending_flag = 1;
}

Request CommandSlot::takeRequest()
{
    if (pending_flag == 0)
        return {board::kCmdPoll, 0, 0};
    pending_flag = 0;
    return pending_cmd;
}

} // namespace console
