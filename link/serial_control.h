// The serial control (`MSComm1`) of the board session: the operations the board link relies on,
// on top of QSerialPort, with the line fixed at 9600 8N1, no flow control and raw bytes.
#pragma once

#include "frame.h"
#include "port_names.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <cstdint>
#include <optional>

namespace board {

// Event codes as the MSComm control numbers them; only Receive is acted on.
enum class CommEvent : int { None = 0, Receive = 2 };

struct OpenResult
{
    bool ok = false;
    int port = -1;  // the port number opened; -1 for a device path given as such
    QString path;   // the entry of the port list that was opened, or the path given
    QString device; // the device port N maps to (or the candidates, when none exists)
    QString node;   // the device node opened, links resolved: the line in a history
    QString reason; // why the opening failed, in the language of Tr; empty on success
};

// What a failed opening tells the user: the port number or path, the device and the reason.
QString OpenFailure(const OpenResult& result);
// The port that was opened, for messages: "串口 N（entry）", or the device path given as such.
QString Where(const OpenResult& opened);
// The opened port went away: "<Where> 断开了（reason）。"
QString LostText(const OpenResult& opened, const QString& reason);

class SerialControl : public QObject
{
    Q_OBJECT

public:
    static constexpr int kReceiveBufferSize = 1024;
    static constexpr int kTransmitBufferSize = 512;

    explicit SerialControl(QString programDir, QObject* parent = nullptr);

    void setCommPort(int number) { m_commPort = number; }
    int commPort() const { return m_commPort; }
    // Opens this path from now on instead of port N's device (boardctl's --device).
    void setDevicePath(const QString& path) { m_devicePath = path; }

    // PortOpen = True. A failed opening leaves the port closed and says why.
    OpenResult open();
    // Opens the entry of the port list that was last opened, never another one (a port number
    // looked up anew could find the next device in the list).
    OpenResult reopen();
    // What the last successful opening opened: what a loss is told of, whatever the port
    // number has been set to since.
    const OpenResult& opened() const { return m_opened; }
    // PortOpen = False.
    void close();
    // PortOpen read: true exactly while the port is open.
    bool isOpen() const { return m_port.isOpen(); }

    void setRThreshold(int bytes) { m_threshold = bytes; }

    // InBufferCount read and written (0 empties Qt's buffer and the kernel's).
    int inBufferCount() const { return static_cast<int>(m_port.bytesAvailable()); }
    void clearInput();

    // Output: queues the 8 bytes and returns at once; false when they could not be queued.
    bool output(const Frame& frame);
    // Input: the oldest waiting byte, or nothing when none waits.
    std::optional<std::uint8_t> input();

    CommEvent commEvent() const { return m_event; }

signals:
    // OnComm: raised on the GUI thread, never inside another handler's call into this control.
    void OnComm();
    // The device went away while open (unplugged, I/O error): the port has been closed already.
    void portLost(const QString& reason);

private:
    OpenResult open(int port, const PortDevice& device);
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);

    QString m_programDir;
    QSerialPort m_port;
    int m_commPort = 1;
    QString m_devicePath;
    OpenResult m_opened;
    int m_threshold = 0;
    CommEvent m_event = CommEvent::None;
    bool m_closing = false; // a close after a device failure is already queued
};

} // namespace board
