// The board line as every program drives it: the serial control, the poll timer, the watchdog,
// the receiver, the one-command slot and the port lost. No widgets: the windows show what it tells
// and forward clicks; boardctl prints it. A line may carry several boards, polled in turn.
#pragma once

#include "serial_control.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace board {

// Every program polls this often unless told otherwise.
constexpr int kPollIntervalMs = 50;
// Polls a board may go unanswered after a valid frame; the sixth finds it silent (250 to 300 ms).
constexpr std::int32_t kTicksAfterFrame = 5;

// The three bytes of a request that differ between requests: command, data1, data2.
struct Request
{
    std::uint8_t command = kCmdPoll;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
};

// `recv_buf`, slots 1..100 of 32-bit values: a receive event takes the frame into
// slots 1..8, the rest are never used. Slot 0 is there so that slot k holds frame byte k - 1.
using RecvBuf = std::array<std::int32_t, 101>;

// What switches channel 1..24 the other way: a connected one off (0x11), a disconnected one on
// (0x12). A click on Wrenfield's lamp and boardctl's toggle send it.
Request SwitchOver(int channel, bool on);

class BoardSession : public QObject
{
    Q_OBJECT

public:
    // programDir is where the port links comN are looked for first.
    explicit BoardSession(const QString& programDir, QObject* parent = nullptr);

    const SerialControl& MSComm1() const { return m_port; }
    const QTimer& Timer1() const { return m_timer; }

    // The poll timer runs from now on, also while the port is closed (the windows' start, whose
    // ticks build polls that go nowhere).
    void start() { m_timer.start(); }
    // What the next opening opens: port number N, or a device path given as such.
    void setPort(int number) { m_port.setCommPort(number); }
    int port() const { return m_port.commPort(); }
    void setDevice(const QString& path) { m_port.setDevicePath(path); }

    // The boards on the line, each starting unknown; one board (address 1) until told otherwise.
    void setAddresses(const std::vector<std::uint8_t>& addresses);
    // The one board's new address: what it was known to be still holds until the watchdog says.
    void setAddress(std::uint8_t address);
    std::uint8_t address() const { return m_boards.empty() ? 0 : m_boards.front().address; }
    // On: an answer counts only for the board asked and only when it carries that board's address
    // in byte 1, so that no state is credited to a board that did not send it. Off (the windows):
    // one board takes any valid frame. Several boards always check.
    void setAddressCheck(bool on) { m_addressCheck = on; }
    // A board that need not be asked any more.
    void dropBoard(std::uint8_t address);
    // Time between requests. 0: the next goes out once the answer is in or answerWaitMs has passed.
    void setInterval(int ms, int answerWaitMs = 0);

    // Opens the port and starts polling; a failed opening leaves it closed and says why.
    OpenResult open();
    // Opens again what was opened last (boardctl's watch after the device went away).
    OpenResult reopen();
    void close();
    bool isOpen() const { return m_port.isOpen(); }
    const OpenResult& opened() const { return m_port.opened(); }

    // What the last valid frame said of the channels, while the board counts as answering.
    std::optional<std::uint32_t> channels() const;
    // The bytes the last receive event took, in slots 1..8, valid or not.
    const RecvBuf& recvBuf() const { return recv_buf; }

    // Goes out in place of the next poll, once; a later command replaces a waiting one.
    void QueueCommand(const Request& command) { m_pendingCmd = command; }
    bool commandWaiting() const { return m_pendingCmd.has_value(); }

public slots:
    void Timer1_Timer();
    void MSComm1_OnComm();

signals:
    void frameTaken(std::uint8_t address, std::uint32_t channels);
    // A poll of a board whose watchdog has run out: it counts as silent.
    void silentTick(std::uint8_t address);
    // The board asked last gave no valid answer before the next request.
    void unanswered(std::uint8_t address);
    // A valid frame in answer to the board asked that carries another address: an answer that
    // counts for no board.
    void otherAddress(std::uint8_t asked, std::uint8_t carried);
    // The device went away while open; the port is closed already.
    void portLost(const QString& reason);

private:
    struct Board
    {
        std::uint8_t address = 1;
        std::int32_t link_ticks = 0;
        std::optional<std::uint32_t> channels;
    };
    OpenResult started(const OpenResult& result);
    void SendFrame(std::uint8_t address, const Request& request);
    void forgetChannels();

    SerialControl m_port;
    QTimer m_timer;
    std::vector<Board> m_boards{Board{}};
    std::size_t m_next = 0;              // the board the next poll asks
    std::optional<std::uint8_t> m_asked; // the address whose answer is awaited
    bool m_answerPaced = false;          // interval 0: the timer waits for the answer
    bool m_addressCheck = false;
    std::optional<Request> m_pendingCmd; // pending_cmd, and pending_flag as whether it holds one
    Frame send_buf{};                    // the last request built, sent or not
    RecvBuf recv_buf{};
};

} // namespace board
