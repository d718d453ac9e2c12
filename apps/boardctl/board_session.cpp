#include "board_session.h"

#include "link/send_frame.h"

namespace boardctl {

BoardSession::BoardSession(const Options& options, const QString& programDir, QObject* parent)
    : QObject(parent), m_port(programDir), m_addressText(QString::number(options.address))
{
    m_port.setCommPort(options.port);
    m_port.setDevicePath(options.device);
    m_poll.setInterval(board::kPollIntervalMs);
    connect(&m_poll, &QTimer::timeout, this, &BoardSession::tick);
    connect(&m_port, &board::SerialControl::OnComm, this, &BoardSession::onComm);
    connect(&m_port, &board::SerialControl::portLost, this, [this](const QString& reason) {
        m_poll.stop();
        emit portLost(reason);
    });
}

board::OpenResult BoardSession::open()
{
    const board::OpenResult result = m_port.open();
    if (!result.ok)
        return result;
    m_port.setRThreshold(static_cast<int>(board::kFrameSize));
    m_watchdog = board::LinkWatchdog{};
    m_recvBuf = {};
    m_poll.start();
    tick(); // the first poll now, not a tick later: a status check waits for nothing
    return result;
}

void BoardSession::close()
{
    m_poll.stop();
    m_port.close();
}

QString BoardSession::portName() const
{
    return !m_port.devicePath().isEmpty() ? m_port.devicePath()
                                          : QStringLiteral("串口 %1").arg(m_port.commPort());
}

void BoardSession::tick()
{
    if (m_watchdog.tick())
        emit silentTick();
    if (!m_port.isOpen())
        return; // closed from a handler of silentTick
    const Command next = m_pending.value_or(Command{board::kCmdPoll, 0});
    m_pending.reset();
    board::SendFrame(m_port, m_addressText, next.command, 0, next.channel);
}

void BoardSession::onComm()
{
    if (m_port.commEvent() != board::CommEvent::Receive)
        return;
    if (const std::optional<board::Frame> frame = board::TakeFrame(m_port, m_recvBuf)) {
        m_watchdog.frameTaken();
        emit frameTaken(board::ChannelBits(*frame));
    }
}

} // namespace boardctl
