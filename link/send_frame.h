// The request sender: the only code that writes to the serial line.
#pragma once

#include "frame.h"

#include <QString>

namespace board {

class SerialControl;

// The last request frame built, whether or not it went out.
extern Frame send_buf;

enum class SendOutcome {
    Written,    // the receive buffer was emptied and the 8 bytes queued
    PortClosed, // built, not written
    NoAddress,  // the address text gives no byte 0..255: nothing built, nothing written
    NotQueued,  // the port refused the bytes (transmit buffer full or the device failing)
};

// Builds the request for the address the box shows now and writes it if the port is open,
// after throwing away whatever waits in the receive buffer: that keeps the link in step.
SendOutcome SendFrame(SerialControl& port, const QString& addressText, std::uint8_t command,
                      std::uint8_t data1, std::uint8_t data2);

} // namespace board
