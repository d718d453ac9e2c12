// The state a production-line check expects of the 24 channels: connected, disconnected or either.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace boardctl {

struct ChannelPattern
{
    std::uint32_t care = 0; // bit n-1 set: channel n is checked
    std::uint32_t on = 0;   // bit n-1 set: channel n must be connected (where checked)
};

// 24 characters 1/0/x for channels 1..24, or "all-on" / "all-off"; nothing when malformed.
std::optional<ChannelPattern> ParseChannelPattern(const QString& text);

// The channels (1..24, ascending) whose bit in `channels` differs from the pattern.
std::vector<int> Mismatches(const ChannelPattern& pattern, std::uint32_t channels);

} // namespace boardctl
