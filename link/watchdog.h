// The link watchdog: how many poll ticks may still pass without a valid status frame. Five after
// each frame, so the sixth silent tick (250 to 300 ms) shows the board as undetermined.
#pragma once

#include <cstdint>

namespace board {

// Every program polls the board this often; the watchdog's times above follow from it.
constexpr int kPollIntervalMs = 50;

class LinkWatchdog
{
public:
    static constexpr std::int32_t kTicksAfterFrame = 5;

    // One poll tick, before its request goes out: true while the board counts as silent.
    bool tick()
    {
        if (m_linkTicks < 1)
            return true;
        --m_linkTicks;
        return false;
    }
    void frameTaken() { m_linkTicks = kTicksAfterFrame; }
    std::int32_t link_ticks() const { return m_linkTicks; }

private:
    std::int32_t m_linkTicks = 0;
};

} // namespace board
