#include "watch_log.h"

#include "board_session.h"

#include <algorithm>

namespace board {

std::vector<WatchEvent> WatchLog::frame(std::int64_t ms, std::uint32_t channels)
{
    std::vector<WatchEvent> events;
    const bool afterSilence = !m_linkUp;
    if (afterSilence && m_everUp)
        events.push_back({WatchEvent::LinkOk});
    for (int i = 0; i < kChannels; ++i) {
        Track& t = m_tracks[size_t(i)];
        const bool on = ChannelOn(channels, i + 1);
        if (!afterSilence && t.on == on)
            continue;
        if (!on && !t.inDrop) {
            // Off from the very first frame is down time, but no drop was seen happen.
            if (m_everUp)
                ++t.totals.drops;
            t.inDrop = true;
            t.runMs = 0;
        } else if (on && t.inDrop) {
            if (t.on == false)
                closeStretch(t, ms);
            t.totals.longestDownMs = std::max(t.totals.longestDownMs, t.runMs);
            t.inDrop = false;
        }
        t.on = on;
        t.since = ms;
        events.push_back({WatchEvent::Channel, i + 1, on});
    }
    m_linkUp = m_everUp = true;
    return events;
}

std::vector<WatchEvent> WatchLog::silent(std::int64_t ms)
{
    if (!m_everUp && ++m_silentPolls == kTicksAfterFrame + 1)
        return {{WatchEvent::LinkAbsent}};
    if (!m_linkUp)
        return {};
    m_linkUp = false;
    ++m_linkLost;
    // Nothing is known until the link is back: a drop's time stops counting here.
    for (Track& t : m_tracks) {
        if (t.on == false)
            closeStretch(t, ms);
        t.on.reset();
    }
    return {{WatchEvent::LinkLost}};
}

std::array<ChannelTotals, kChannels> WatchLog::totals(std::int64_t ms) const
{
    std::array<ChannelTotals, kChannels> result;
    for (size_t i = 0; i < m_tracks.size(); ++i) {
        const Track& t = m_tracks[i];
        result[i] = t.totals;
        if (!t.inDrop)
            continue;
        const std::int64_t open = t.on == false ? ms - t.since : 0;
        result[i].downMs += open;
        result[i].longestDownMs = std::max(result[i].longestDownMs, t.runMs + open);
    }
    return result;
}

void WatchLog::closeStretch(Track& track, std::int64_t ms)
{
    track.totals.downMs += ms - track.since;
    track.runMs += ms - track.since;
    track.since = ms;
}

} // namespace board
