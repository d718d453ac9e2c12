#include "send_frame.h"

#include "serial_control.h"

namespace board {

Frame send_buf{};

SendOutcome SendFrame(SerialControl& port, const QString& addressText, std::uint8_t command,
                      std::uint8_t data1, std::uint8_t data2)
{
    const std::optional<std::uint8_t> address = AddressByte(addressText);
    if (!address)
        return SendOutcome::NoAddress;
    send_buf = MakeRequest(*address, command, data1, data2);
    if (!port.isOpen())
        return SendOutcome::PortClosed;
    port.clearInput();
    return port.output(send_buf) ? SendOutcome::Written : SendOutcome::NotQueued;
}

} // namespace board
