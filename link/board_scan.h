// A scan of a line, as boardctl's scan and the overview window run it: each address asked in
// turn, the next request as soon as an answer is in or the wait is up; a silent address asked
// `retries` more times; an answer counts only from the board asked, by the address it carries.
#pragma once

#include "board_session.h"

#include <map>

namespace board {

class BoardScan : public QObject
{
    Q_OBJECT

public:
    // Sets the session up for the scan; it asks once the session is open.
    BoardScan(BoardSession& session, const std::vector<std::uint8_t>& addresses, int answerWaitMs,
              int retries);

signals:
    void found(std::uint8_t address, std::uint32_t channels);
    // Another address settled (found, or silent through every ask): `done` of `total`.
    void progress(int done, int total);
    void finished(int found);

private:
    void settle(std::uint8_t address);

    BoardSession& m_session;
    const int m_total;
    const int m_retries;
    int m_left;
    int m_found = 0;
    std::map<std::uint8_t, int> m_asks; // unanswered asks of each silent address
};

} // namespace board
