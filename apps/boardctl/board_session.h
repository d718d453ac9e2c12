// One board on one port, driven the way the windows drive it: a poll every 50 ms through the
// link's request sender, frames taken by the link's receiver, the six-tick watchdog, and one
// command slot that goes out in place of the next poll.
#pragma once

#include "options.h"

#include "link/receiver.h"
#include "link/serial_control.h"
#include "link/watchdog.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <optional>

namespace boardctl {

class BoardSession : public QObject
{
    Q_OBJECT

public:
    BoardSession(const Options& options, const QString& programDir, QObject* parent = nullptr);

    // Opens the port and starts polling at once (the watchdog starts afresh). On failure the
    // port stays closed and the result says why.
    board::OpenResult open();
    void close();

    // "串口 N" or the device path, for messages.
    QString portName() const;

    // Sent in place of the next poll, once.
    void sendNext(std::uint8_t command, std::uint8_t channel) { m_pending = {command, channel}; }
    bool commandWaiting() const { return m_pending.has_value(); }

signals:
    void frameTaken(std::uint32_t channels);
    // A poll tick on which the watchdog counts the board as silent.
    void silentTick();
    // The device went away while open; the port is closed already.
    void portLost(const QString& reason);

private:
    struct Command
    {
        std::uint8_t command;
        std::uint8_t channel;
    };
    void tick();
    void onComm();

    board::SerialControl m_port;
    QString m_addressText;
    QTimer m_poll;
    board::LinkWatchdog m_watchdog;
    board::RecvBuf m_recvBuf{};
    std::optional<Command> m_pending;
};

} // namespace boardctl
