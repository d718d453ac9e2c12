#include "request_hunter.h"

#include <algorithm>

namespace boardsim {

bool IsValidRequest(const board::Frame& frame)
{
    return frame[0] == board::kRequestHead && frame[7] == board::Checksum(frame);
}

void RequestHunter::feed(std::span<const std::uint8_t> bytes, const FrameHandler& onFrame,
                         const SkipHandler& onSkipped)
{
    m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());

    std::size_t pos = 0;
    std::size_t skipStart = 0;
    const auto flushSkipped = [&] {
        if (pos > skipStart)
            onSkipped(std::span(m_pending).subspan(skipStart, pos - skipStart));
    };

    while (pos < m_pending.size()) {
        if (m_pending[pos] != board::kRequestHead) {
            ++pos;
            continue;
        }
        if (m_pending.size() - pos < board::kFrameSize)
            break; // a frame may still be arriving
        board::Frame frame{};
        std::copy_n(m_pending.begin() + static_cast<std::ptrdiff_t>(pos), board::kFrameSize,
                    frame.begin());
        if (!IsValidRequest(frame)) {
            ++pos;
            continue;
        }
        flushSkipped();
        onFrame(frame);
        pos += board::kFrameSize;
        skipStart = pos;
    }
    flushSkipped();
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(pos));
}

} // namespace boardsim
