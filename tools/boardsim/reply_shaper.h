// Spoils replies on purpose: wrong checksums and stray bytes, every Nth reply or on demand.
#pragma once

#include "link/frame.h"

#include <cstdint>
#include <random>
#include <vector>

namespace boardsim {

struct ShapedReply
{
    std::vector<std::uint8_t> noise; // stray bytes that go out just before the frame
    board::Frame frame;
};

class ReplyShaper
{
public:
    // 0 turns either fault off.
    ReplyShaper(unsigned invalidEvery, unsigned noiseEvery, std::uint32_t seed)
        : m_invalidEvery(invalidEvery), m_noiseEvery(noiseEvery), m_random(seed)
    {
    }

    // The next reply gets a wrong checksum, once.
    void spoilNext() { m_spoilNext = true; }

    ShapedReply shape(const board::Frame& reply);

    std::vector<std::uint8_t> randomBytes(std::size_t count);

private:
    unsigned m_invalidEvery;
    unsigned m_noiseEvery;
    unsigned long long m_replies = 0;
    bool m_spoilNext = false;
    std::mt19937 m_random;
};

} // namespace boardsim
