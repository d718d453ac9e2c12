// What watching a board reports (boardctl watch, the overview window), as plain logic over frames
// and silences with the time passed in: the events, and per channel how often and how long it
// was down.
#pragma once

#include "frame.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace board {

struct WatchEvent
{
    enum Kind { Channel, LinkLost, LinkOk, LinkAbsent } kind = Channel;
    int channel = 0; // Channel: 1..24
    bool on = false; // Channel: connected
};

struct ChannelTotals
{
    int drops = 0;           // changes from connected to disconnected
    std::int64_t downMs = 0; // time seen disconnected, a channel already off at the start too
    std::int64_t longestDownMs = 0;
};

class WatchLog
{
public:
    // A valid status frame at `ms` (a monotonic clock): after a silence every channel, otherwise
    // only the channels that changed.
    std::vector<WatchEvent> frame(std::int64_t ms, std::uint32_t channels);
    // The board counts as silent at `ms` (a poll found its watchdog run out, or the device went
    // away): the link lost, once, if it was up; if it never was, absent once the watchdog has
    // had as many polls as after a frame.
    std::vector<WatchEvent> silent(std::int64_t ms);

    int linkLost() const { return m_linkLost; }
    bool answered() const { return m_everUp; }
    // The totals as if the run ended at `ms`.
    std::array<ChannelTotals, kChannels> totals(std::int64_t ms) const;

private:
    struct Track
    {
        std::optional<bool> on; // nothing while the link is down
        std::int64_t since = 0; // when the current known stretch began
        std::int64_t runMs = 0; // the current drop so far, before `since`
        bool inDrop = false;    // disconnected at the last frame (a drop may span a silence)
        ChannelTotals totals;
    };
    // Closes the known stretch of a disconnected channel at `ms` into its drop.
    static void closeStretch(Track& track, std::int64_t ms);

    std::array<Track, kChannels> m_tracks{};
    bool m_linkUp = false;
    bool m_everUp = false;
    int m_linkLost = 0;
    int m_silentPolls = 0; // before the first frame
};

} // namespace board
