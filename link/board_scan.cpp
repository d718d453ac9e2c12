#include "board_scan.h"

namespace board {

BoardScan::BoardScan(BoardSession& session, const std::vector<std::uint8_t>& addresses,
                     int answerWaitMs, int retries)
    : m_session(session), m_total(int(addresses.size())), m_retries(retries),
      m_left(m_total)
{
    session.setAddresses(addresses);
    session.setAddressCheck(true);
    session.setInterval(0, answerWaitMs);
    connect(&session, &BoardSession::frameTaken, this,
            [this](std::uint8_t address, std::uint32_t channels) {
                ++m_found;
                emit found(address, channels);
                settle(address);
            });
    connect(&session, &BoardSession::unanswered, this, [this](std::uint8_t address) {
        if (++m_asks[address] > m_retries)
            settle(address);
    });
}

void BoardScan::settle(std::uint8_t address)
{
    m_session.dropBoard(address);
    emit progress(m_total - --m_left, m_total);
    if (m_left == 0)
        emit finished(m_found);
}

} // namespace board
