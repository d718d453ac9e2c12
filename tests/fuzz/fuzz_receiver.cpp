// The receiver fed any byte stream in any chunking, with requests emptying the buffer at any
// moment: it never crashes, and hands on nothing but a valid frame made of the bytes it took.
#include "link/receiver.h"

#include <cstdlib>
#include <deque>

namespace {

struct FakePort
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
    FakePort port;
    board::RecvBuf recv_buf{};
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t op = data[i++];
        switch (op % 4) {
        case 0:
        case 1: { // a chunk of 0..63 bytes arrives; a receive event follows when 8 wait
            const std::size_t n = std::min<std::size_t>(op >> 2, size - i);
            port.waiting.insert(port.waiting.end(), data + i, data + i + n);
            i += n;
            if (port.inBufferCount() < 8)
                break;
            [[fallthrough]];
        }
        case 2: { // a receive event, possibly late, after the buffer changed
            std::deque<std::uint8_t> before = port.waiting;
            const std::optional<board::Frame> frame = board::TakeFrame(port, recv_buf);
            if (before.size() < 8) {
                Require(!frame && port.waiting.size() == before.size());
                break;
            }
            Require(port.waiting.size() == before.size() - 8);
            for (int k = 1; k <= 8; ++k)
                Require(recv_buf[k] == before[k - 1]);
            if (frame) {
                Require(board::IsValidStatus(*frame));
                for (int k = 0; k < 8; ++k)
                    Require((*frame)[k] == before[k]);
            }
            break;
        }
        case 3: // a request goes out: the buffer is emptied first
            port.waiting.clear();
            break;
        }
        Require(recv_buf[0] == 0);
        for (std::size_t k = 9; k < recv_buf.size(); ++k)
            Require(recv_buf[k] == 0);
    }
    return 0;
}
