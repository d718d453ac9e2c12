// What the simulated board is: its address and its 24 channels, and how it answers a request.
#pragma once

#include "link/frame.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace boardsim {

constexpr std::uint32_t kChannelMask = 0xFFFFFF;

// "5A5A5A" or "0x5A5A5A": 1 to 6 hex digits. Anything else gives nothing.
std::optional<std::uint32_t> ParsePattern(std::string_view text);

class BoardState
{
public:
    BoardState(std::uint8_t address, std::uint32_t pattern)
        : m_address(address), m_pattern(pattern & kChannelMask)
    {
    }

    void setPattern(std::uint32_t pattern) { m_pattern = pattern & kChannelMask; }

    // Channel 24 wraps round to channel 1, so a walk keeps the same number of lamps lit.
    void rotate();

    // The status frame for the current pattern.
    board::Frame status() const { return board::MakeStatus(m_address, m_pattern); }

    // Acts on a valid request and gives the reply. Requests for another address and unknown
    // commands get none; a switch command for a channel outside 1..24 changes nothing but is
    // still answered.
    std::optional<board::Frame> handle(const board::Frame& request);

private:
    std::uint8_t m_address;
    std::uint32_t m_pattern;
};

} // namespace boardsim
