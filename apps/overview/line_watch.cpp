#include "line_watch.h"

#include "link/text.h"

namespace overview {

using board::Tr;
using history::State;

State BoardView::lamp(int channel) const
{
    if (link == Link::Answering)
        return board::ChannelOn(channels, channel) ? State::On : State::Off;
    return link == Link::Closed ? State::Closed : State::Unknown;
}

QString BoardView::linkText() const
{
    switch (link) {
    case Link::Closed:
        return Tr("串口已关闭", "line closed");
    case Link::Waiting:
        return Tr("等待应答", "waiting for an answer");
    case Link::Answering:
        return Tr("应答中", "answering");
    case Link::Silent:
        return Tr("%1 起无应答", "silent since %1").arg(silentSince.toString("HH:mm:ss"));
    case Link::Absent:
        return Tr("从未应答", "never answered");
    }
    return {};
}

QString LampName(int address, int channel, State state)
{
    const QString word = state == State::On    ? Tr("连接", "on")
                         : state == State::Off ? Tr("断开", "off")
                                               : Tr("状态未知", "unknown");
    return Tr("地址%1 第%2路 %3", "address %1 channel %2 %3").arg(address).arg(channel).arg(word);
}

QString BoardName(int address)
{
    return Tr("地址%1", "address %1").arg(address);
}

LineWatch::LineWatch(const QString& programDir, history::Writer& writer,
                     history::Recorder::Names names, QObject* parent)
    : QObject(parent), m_session(programDir), m_writer(writer), m_names(std::move(names))
{
    m_clock.start();
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &LineWatch::retry);
    connect(&m_session, &board::BoardSession::frameTaken, this, &LineWatch::frame);
    connect(&m_session, &board::BoardSession::silentTick, this, &LineWatch::silent);
    connect(&m_session, &board::BoardSession::portLost, this, &LineWatch::lost);
}

LineWatch::~LineWatch()
{
    stop();
}

board::OpenResult LineWatch::start(const Line& line, const std::vector<std::uint8_t>& addresses,
                                   bool anyAddress, bool retry)
{
    stop();
    m_session.setPort(line.port);
    m_session.setDevice(line.device);
    m_session.setAddresses(addresses);
    m_session.setAddressCheck(!anyAddress);
    // Answer-paced: each board's row is as fresh as the wire allows.
    m_session.setInterval(0, board::kPollIntervalMs);
    m_boards.clear();
    for (const std::uint8_t address : addresses)
        m_boards.push_back({address});
    m_logs.assign(addresses.size(), {});
    m_everOpened = false;
    const board::OpenResult result = m_session.open();
    if (result.ok) {
        opened();
    } else if (retry) {
        m_active = true;
        m_lastFailure = result.reason;
        emit lineDown(board::OpenFailure(result) +
                      Tr("\n每秒重试一次……", "\nTrying again every second…"));
        m_retry.start();
    }
    return result;
}

void LineWatch::stop()
{
    if (!std::exchange(m_active, false))
        return;
    m_retry.stop();
    // A line that went away was recorded as lost then.
    if (m_session.isOpen() && m_recorder)
        m_recorder->line(history::Event::Closed);
    m_session.close();
    for (std::size_t i = 0; i < m_boards.size(); ++i)
        setLink(i, Link::Closed);
}

void LineWatch::opened()
{
    m_active = m_everOpened = true;
    m_retry.stop();
    // The device node may differ after a replug: the rows name the one opened now.
    m_recorder.emplace(m_writer, m_session.opened().node, m_names);
    m_recorder->line(history::Event::Opened);
    m_quiet.assign(m_boards.size(), 0);
    for (std::size_t i = 0; i < m_boards.size(); ++i)
        setLink(i, Link::Waiting);
    emit lineUp(Tr("正在监视 %1", "watching %1").arg(board::Where(m_session.opened())));
}

void LineWatch::retry()
{
    const board::OpenResult result = m_everOpened ? m_session.reopen() : m_session.open();
    if (result.ok)
        return opened();
    if (std::exchange(m_lastFailure, result.reason) != result.reason)
        emit lineDown(board::OpenFailure(result) +
                      Tr("\n每秒重试一次……", "\nTrying again every second…"));
}

void LineWatch::frame(std::uint8_t address, std::uint32_t channels)
{
    const auto index = indexOf(address);
    if (!index)
        return;
    record(*index, m_logs[*index].frame(m_clock.elapsed(), channels));
    m_quiet[*index] = 0;
    BoardView& board = m_boards[*index];
    if (board.link == Link::Answering && board.channels == channels)
        return;
    board.channels = channels;
    board.link = Link::Answering;
    emit boardChanged(int(*index));
}

void LineWatch::silent(std::uint8_t address)
{
    const auto index = indexOf(address);
    if (!index)
        return;
    board::WatchLog& log = m_logs[*index];
    const std::vector<board::WatchEvent> events = log.silent(m_clock.elapsed());
    record(*index, events);
    // The log tells a lost link once; after the line comes back a board still waiting is shown
    // silent or absent again once it has had as many polls as a first opening gives it.
    const bool lost = !events.empty() && events.front().kind == board::WatchEvent::LinkLost;
    const bool waitedOut =
        ++m_quiet[*index] == board::kTicksAfterFrame + 1 && m_boards[*index].link == Link::Waiting;
    if (lost || (waitedOut && log.answered())) {
        m_boards[*index].silentSince = QDateTime::currentDateTime();
        setLink(*index, Link::Silent);
    } else if (waitedOut) {
        setLink(*index, Link::Absent);
    }
}

void LineWatch::lost(const QString& reason)
{
    if (m_recorder)
        m_recorder->line(history::Event::PortLost);
    for (std::size_t i = 0; i < m_boards.size(); ++i) {
        record(i, m_logs[i].silent(m_clock.elapsed()));
        setLink(i, Link::Closed);
    }
    m_lastFailure.clear();
    emit lineDown(board::LostText(m_session.opened(), reason) +
                  Tr("\n每秒尝试重新打开……", "\nReopening it every second…"));
    m_retry.start();
}

void LineWatch::record(std::size_t index, const std::vector<board::WatchEvent>& events)
{
    if (m_recorder)
        m_recorder->board(m_boards[index].address, events);
}

void LineWatch::setLink(std::size_t index, Link link)
{
    if (std::exchange(m_boards[index].link, link) != link)
        emit boardChanged(int(index));
}

std::optional<std::size_t> LineWatch::indexOf(std::uint8_t address) const
{
    for (std::size_t i = 0; i < m_boards.size(); ++i)
        if (m_boards[i].address == address)
            return i;
    return std::nullopt;
}

} // namespace overview
