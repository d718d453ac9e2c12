// Finds request frames in the byte stream from the program under test, skipping line noise.
#pragma once

#include "link/frame.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace boardsim {

// Head 0x55 and a matching checksum.
bool IsValidRequest(const board::Frame& frame);

// The stream has no frame delimiter, so after noise the hunter slides one byte at a time until
// a 0x55 head with a valid checksum lines up. Bytes of an incomplete frame wait for the next feed.
class RequestHunter
{
public:
    using FrameHandler = std::function<void(const board::Frame&)>;
    using SkipHandler = std::function<void(std::span<const std::uint8_t>)>;

    // Calls onFrame for each request frame and onSkipped for each run of discarded bytes, in
    // stream order.
    void feed(std::span<const std::uint8_t> bytes, const FrameHandler& onFrame,
              const SkipHandler& onSkipped);

    // Forgets a partial frame, e.g. when the port is replaced.
    void reset() { m_pending.clear(); }

private:
    std::vector<std::uint8_t> m_pending; // fewer than 8 bytes between feeds
};

} // namespace boardsim
