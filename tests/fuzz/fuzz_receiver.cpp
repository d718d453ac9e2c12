// The receiver fed any byte stream in any chunking, with requests emptying the buffer at any
// moment: it never crashes, takes 8 bytes only when 8 wait, and hands on nothing but a valid frame
// made of the bytes it took.
#include "link/receiver.h"

#include <cstdlib>
#include <deque>

namespace {

// The bytes waiting in a serial control's receive buffer.
struct Port
{
    std::deque<std::uint8_t> waiting;
    int inBufferCount() const { return static_cast<int>(waiting.size()); }
    std::optional<std::uint8_t> input()
    {
        if (waiting.empty())
            return std::nullopt;
        const std::uint8_t byte = waiting.front();
        waiting.pop_front();
        return byte;
    }
};

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Port port;
    board::RecvBuf recv_buf{};
    for (std::size_t i = 0; i < size;) {
        const std::uint8_t op = data[i++];
        if (op % 4 == 3) { // a request goes out: the buffer is emptied first
            port.waiting.clear();
            continue;
        }
        // 0..63 bytes arrive, then a receive event (with none, a late event after a change).
        const std::size_t n = op % 4 == 2 ? 0 : std::min<std::size_t>(op >> 2, size - i);
        port.waiting.insert(port.waiting.end(), data + i, data + i + n);
        i += n;
        const std::deque<std::uint8_t> before = port.waiting;
        const std::optional<board::Frame> frame = board::TakeFrame(port, recv_buf);
        const bool taken = before.size() >= 8;
        Require(port.waiting.size() == before.size() - (taken ? 8 : 0) && (taken || !frame));
        for (std::size_t k = 0; taken && k < 8; ++k)
            Require(recv_buf[k + 1] == before[k] && (!frame || (*frame)[k] == before[k]));
        Require((!frame || board::IsValid(*frame, board::kStatusHead)) && recv_buf[0] == 0 && recv_buf[9] == 0);
    }
    return 0;
}
