// Wrenfield's one-slot command queue: a lamp click leaves a command here and the next poll tick
// sends it in place of the poll. It is plain data, so the scheduling is testable without a window.
#pragma once

#include <cstdint>

namespace console {

// The three bytes of a request frame that differ between requests: command, data1, data2.
struct Request
{
    std::uint8_t command = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;

    friend bool operator==(const Request&, const Request&) = default;
};

class CommandSlot
{
public:
    // Replaces whatever waits: only the latest click counts. Nothing is sent here.
    void queueCommand(std::uint8_t cmd, std::uint8_t data1, std::uint8_t data2);

    // What one tick sends: the waiting command, which leaves the slot first so it goes out at
    // most once even when the frame cannot be written, or else the status poll.
    Request takeRequest();

    // Drops a waiting command without sending it.
    void clear() { pending_flag = 0; }

private:
    Request pending_cmd;           // meaningful only while pending_flag is set
    std::uint8_t pending_flag = 0; // 0: empty; anything else: a command waits
};

} // namespace console
