#include "lamp_command.h"

#include "link/frame.h"
#include "monitor/looks.h"

namespace console {

std::optional<Request> CommandForLamp(const QColor& colour, int channel)
{
    if (channel < 1 || channel > board::kChannels)
        return std::nullopt;
    const auto data2 = static_cast<std::uint8_t>(channel);
    // Exact values: a near-green of another look must never pass for a connected channel.
    if (colour.isValid() && colour.rgba() == monitor::kGreen.rgba())
        return Request{board::kCmdSwitchOff, 0, data2};
    if (colour.isValid() && colour.rgba() == monitor::kRed.rgba())
        return Request{board::kCmdSwitchOn, 0, data2};
    return std::nullopt;
}

} // namespace console
