// The board's 8-byte frames: layout, checksum and the validity rule of a status frame.
#pragma once

#include <array>
#include <cstdint>

namespace board {

constexpr std::size_t kFrameSize = 8;
using Frame = std::array<std::uint8_t, kFrameSize>;

constexpr std::uint8_t kRequestHead = 0x55;
constexpr std::uint8_t kStatusHead = 0x22;

constexpr std::uint8_t kCmdPoll = 0x10;
// Sent for a lamp that shows green (channel connected): the board switches the channel off.
constexpr std::uint8_t kCmdSwitchOff = 0x11;
// Sent for a lamp that shows red (channel disconnected): the board switches the channel on.
constexpr std::uint8_t kCmdSwitchOn = 0x12;

constexpr int kChannels = 24;
// Bit n-1 set for each channel n: every channel of a status frame.
constexpr std::uint32_t kAllChannels = (1u << kChannels) - 1;

// Sum of bytes 0..6 modulo 256; the same rule in both directions.
std::uint8_t Checksum(const Frame& frame);

// A request frame: head 0x55, address, command, two reserved zeros, data1, data2, checksum.
Frame MakeRequest(std::uint8_t address, std::uint8_t command, std::uint8_t data1,
                  std::uint8_t data2);

// A status frame as the board sends it; bit n-1 of `channels` is channel n (1 = connected).
Frame MakeStatus(std::uint8_t address, std::uint32_t channels);

// The head byte (kStatusHead for a status frame, kRequestHead for a request) and a matching
// checksum; nothing else is looked at.
bool IsValid(const Frame& frame, std::uint8_t head);

// The 24 channel bits of a status frame, bit n-1 = channel n.
std::uint32_t ChannelBits(const Frame& frame);

// Bit n (0 = least significant) of value, as 0 or 1; n outside 0..7 gives 0.
std::int16_t BitOf(std::uint8_t value, std::int16_t n);

// Channel 1..24 is connected in a status frame's channel bits (bit n-1 = channel n).
bool ChannelOn(std::uint32_t channels, int channel);

} // namespace board
