#include "frame.h"

#include <numeric>

namespace board {

std::uint8_t Checksum(const Frame& frame)
{
    return static_cast<std::uint8_t>(std::accumulate(frame.begin(), frame.end() - 1, 0) % 256);
}

Frame MakeRequest(std::uint8_t address, std::uint8_t command, std::uint8_t data1,
                  std::uint8_t data2)
{
    Frame f{kRequestHead, address, command, 0, 0, data1, data2, 0};
    f[7] = Checksum(f);
    return f;
}

Frame MakeStatus(std::uint8_t address, std::uint32_t channels)
{
    // Channels 17..24 travel first (byte 4), channels 1..8 last (byte 6).
    Frame f{kStatusHead, address}; // the rest zero
    f[4] = std::uint8_t(channels >> 16);
    f[5] = std::uint8_t(channels >> 8);
    f[6] = std::uint8_t(channels);
    f[7] = Checksum(f);
    return f;
}

bool IsValid(const Frame& frame, std::uint8_t head)
{
    return frame[0] == head && frame[7] == Checksum(frame);
}

std::uint32_t ChannelBits(const Frame& frame)
{
    return std::uint32_t{frame[4]} << 16 | std::uint32_t{frame[5]} << 8 | frame[6];
}

std::int16_t BitOf(std::uint8_t value, std::int16_t n)
{
    if (n < 0 || n > 7)
        return 0;
    return static_cast<std::int16_t>((value >> n) & 1);
}

bool ChannelOn(std::uint32_t channels, int channel)
{
    const int bit = channel - 1;
    return bit >= 0 && bit < kChannels && BitOf(std::uint8_t(channels >> (bit / 8 * 8)), bit % 8);
}

} // namespace board
