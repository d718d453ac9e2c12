#include "board_session.h"

#include <algorithm>
#include <utility>

namespace board {
namespace {

// What a receive event does with the bytes waiting: the first 8 form one frame, taken into slots
// 1..8 of recv_buf; only a valid status frame is handed on.
std::optional<Frame> TakeFrame(SerialControl& port, RecvBuf& recv_buf)
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

} // namespace

BoardSession::BoardSession(const QString& programDir, QObject* parent)
    : QObject(parent), m_port(programDir, this), m_timer(this)
{
    m_port.setObjectName(QStringLiteral("MSComm1"));
    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setInterval(kPollIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &BoardSession::Timer1_Timer);
    connect(&m_port, &SerialControl::OnComm, this, &BoardSession::MSComm1_OnComm);
    connect(&m_port, &SerialControl::portLost, this, [this](const QString& reason) {
        close(); // the polling stops; the port has been closed already
        emit portLost(reason);
    });
}

Request SwitchOver(int channel, bool on)
{
    return {on ? kCmdSwitchOff : kCmdSwitchOn, 0, static_cast<std::uint8_t>(channel)};
}

void BoardSession::setAddresses(const std::vector<std::uint8_t>& addresses)
{
    m_boards.clear();
    for (const std::uint8_t address : addresses)
        m_boards.emplace_back().address = address;
    m_next = 0;
}

void BoardSession::setAddress(std::uint8_t address)
{
    if (m_boards.empty())
        m_boards.emplace_back();
    m_boards.front().address = address;
}

std::optional<std::uint32_t> BoardSession::channels() const
{
    return m_boards.empty() ? std::nullopt : m_boards.front().channels;
}

void BoardSession::dropBoard(std::uint8_t address)
{
    const auto board = std::ranges::find(m_boards, address, &Board::address);
    if (board == m_boards.end())
        return;
    if (m_next > std::size_t(board - m_boards.begin()))
        --m_next;
    m_boards.erase(board);
    if (m_next >= m_boards.size())
        m_next = 0;
    if (m_boards.empty())
        m_timer.stop();
}

void BoardSession::setInterval(int ms, int answerWaitMs)
{
    m_answerPaced = ms == 0;
    m_timer.setInterval(m_answerPaced ? answerWaitMs : ms);
    m_timer.setSingleShot(m_answerPaced);
    // An answer wait cut short by a coarse timer would count a board silent that was not.
    m_timer.setTimerType(m_answerPaced ? Qt::PreciseTimer : Qt::CoarseTimer);
}

OpenResult BoardSession::open()
{
    return started(m_port.open());
}

OpenResult BoardSession::reopen()
{
    return started(m_port.reopen());
}

OpenResult BoardSession::started(const OpenResult& result)
{
    if (result.ok) {
        m_port.setRThreshold(static_cast<int>(kFrameSize));
        forgetChannels();
        m_timer.start();
    }
    return result;
}

void BoardSession::close()
{
    m_timer.stop();
    m_port.close();
    forgetChannels();
}

void BoardSession::forgetChannels()
{
    for (Board& board : m_boards)
        board.channels.reset();
    m_asked.reset();
}

void BoardSession::Timer1_Timer()
{
    if (m_asked)
        emit unanswered(*std::exchange(m_asked, std::nullopt));
    if (m_boards.empty())
        return;
    Board& board = m_boards[m_next];
    m_next = (m_next + 1) % m_boards.size();
    const std::uint8_t address = board.address;
    // The watchdog: a board is silent once its polls have used up the ticks its last frame gave.
    if (board.link_ticks < 1) {
        board.channels.reset();
        emit silentTick(address);
    } else {
        --board.link_ticks;
    }
    // PollOrSendPending: a waiting command leaves the slot first, so it goes out at most once.
    SendFrame(address, std::exchange(m_pendingCmd, std::nullopt).value_or(Request{}));
    if (m_answerPaced)
        m_timer.start();
}

void BoardSession::SendFrame(std::uint8_t address, const Request& request)
{
    send_buf = MakeRequest(address, request.command, request.data1, request.data2);
    if (!m_port.isOpen())
        return;
    // Whatever waits belongs to an earlier exchange: the next 8 bytes answer this request.
    m_port.clearInput();
    if (m_port.output(send_buf))
        m_asked = address;
}

void BoardSession::MSComm1_OnComm()
{
    if (m_port.commEvent() != CommEvent::Receive)
        return;
    const std::optional<Frame> frame = TakeFrame(m_port, recv_buf);
    if (!frame)
        return;
    // Without the check one board takes any valid frame as its answer. With it, and always on a
    // shared line, an answer counts only for the board that was asked and whose address it carries.
    const std::uint8_t carried = (*frame)[1];
    auto board = m_boards.begin();
    if (m_addressCheck || m_boards.size() > 1) {
        if (m_asked && *m_asked != carried)
            emit otherAddress(*m_asked, carried);
        if (m_asked != carried)
            return;
        board = std::ranges::find(m_boards, carried, &Board::address);
    }
    if (board == m_boards.end())
        return;
    board->link_ticks = kTicksAfterFrame;
    board->channels = ChannelBits(*frame);
    m_asked.reset();
    emit frameTaken(board->address, ChannelBits(*frame));
    if (m_answerPaced && m_timer.isActive()) {
        m_timer.stop();
        Timer1_Timer();
    }
}

} // namespace board
