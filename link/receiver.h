// What a receive event does with the bytes waiting: the first 8 form one frame, taken into
// slots 1..8 of the session's receive buffer; only a valid status frame is handed on.
#pragma once

#include "frame.h"

#include <array>
#include <cstdint>
#include <optional>

namespace board {

// `recv_buf`, slots 1..100 of 32-bit values: a receive event takes the frame into
// slots 1..8, the rest are never used. Slot 0 is there so that slot k holds frame byte k - 1.
using RecvBuf = std::array<std::int32_t, 101>;

// Port is anything with inBufferCount() and input() -> std::optional<std::uint8_t>.
template <typename Port> std::optional<Frame> TakeFrame(Port& port, RecvBuf& recv_buf)
{
    // A request may have emptied the buffer since the bytes arrived: take nothing then.
    if (port.inBufferCount() < static_cast<int>(kFrameSize))
        return std::nullopt;
    Frame frame{};
    for (std::size_t k = 1; k <= kFrameSize; ++k) {
        const std::optional<std::uint8_t> byte = port.input();
        if (!byte)
            return std::nullopt; // the device failed in between: no frame from partial bytes
        frame[k - 1] = *byte;
        recv_buf[k] = *byte;
    }
    if (!IsValid(frame, kStatusHead))
        return std::nullopt;
    return frame;
}

} // namespace board
