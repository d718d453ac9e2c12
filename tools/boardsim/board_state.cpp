#include "board_state.h"

#include <charconv>

namespace boardsim {

std::optional<std::uint32_t> ParsePattern(std::string_view text)
{
    if (text.starts_with("0x") || text.starts_with("0X"))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 6)
        return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

void BoardState::rotate()
{
    m_pattern = ((m_pattern << 1) | (m_pattern >> (board::kChannels - 1))) & kChannelMask;
}

std::optional<board::Frame> BoardState::handle(const board::Frame& request)
{
    if (request[1] != m_address)
        return std::nullopt;
    const std::uint8_t command = request[2];
    const int channel = request[6];
    const bool channelInRange = channel >= 1 && channel <= board::kChannels;
    const std::uint32_t bit = channelInRange ? std::uint32_t{1} << (channel - 1) : 0;
    switch (command) {
    case board::kCmdPoll:
        break;
    case board::kCmdSwitchOff:
        m_pattern &= ~bit;
        break;
    case board::kCmdSwitchOn:
        m_pattern |= bit;
        break;
    default:
        return std::nullopt;
    }
    return status();
}

} // namespace boardsim
