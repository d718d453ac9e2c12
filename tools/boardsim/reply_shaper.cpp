#include "reply_shaper.h"

namespace boardsim {

ShapedReply ReplyShaper::shape(const board::Frame& reply)
{
    ++m_replies;
    ShapedReply out{{}, reply};
    const bool spoil = m_spoilNext || (m_invalidEvery != 0 && m_replies % m_invalidEvery == 0);
    m_spoilNext = false;
    if (spoil)
        out.frame[7] = static_cast<std::uint8_t>(out.frame[7] + 1);
    if (m_noiseEvery != 0 && m_replies % m_noiseEvery == 0)
        out.noise = randomBytes(1);
    return out;
}

std::vector<std::uint8_t> ReplyShaper::randomBytes(std::size_t count)
{
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(byte(m_random));
    return bytes;
}

} // namespace boardsim
