// Frames and checksums against the board's worked examples, as rows: requests built from the
// address text, status frames checked and read; the serial control's transmit bound.
#include "link/serial_control.h"
#include "support/pseudo_terminal.h"

#include <QTest>

class LinkTest : public QObject
{
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<int>("channels"); // -1: not a valid status frame
        const auto row = [](const char* name, const QByteArray& bytes, const char* hex, int bits) {
            QTest::newRow(name) << bytes << QByteArray(hex) << bits;
        };
        const auto Poll = [](const char* addressText) { // nothing for text that gives no address
            const std::optional<std::uint8_t> address = board::AddressByte(addressText);
            return address ? Bytes(board::MakeRequest(*address, 0x10, 0, 0)) : QByteArray();
        };
        row("poll to 1", Poll("1"), "5501100000000066", -1); // an echoed request is no status
        row("poll to 200", Poll("200"), "55c810000000002d", -1);
        row("0x11 channel 5", Bytes(board::MakeRequest(1, 0x11, 0, 5)), "550111000000056c", -1);
        row("address 256", Poll("256"), "5500100000000065", -1);
        row("address 511", Poll("511"), "55ff100000000064", -1);
        for (const char* noAddress : {"", "x", "-1"})
            row(noAddress, Poll(noAddress), "", -1);
        row("status", Bytes(board::MakeStatus(0, 0xFF0081)), "22000000ff0081a2", 0xFF0081);
        row("sum exactly 256", Bytes(board::MakeStatus(0xDE, 0)), "22de000000000000", 0);
        // Frames as received: given as hex twice.
        row("checksum off by one", "22000000ff0081a3", "22000000ff0081a3", -1);
        row("bytes 1..3 ignored", "220711130001004e", "220711130001004e", 0x000100);
    }
    void frames()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, hex);
        QFETCH(int, channels);
        bytes = bytes == hex ? QByteArray::fromHex(hex) : bytes; // no built frame equals its hex
        QCOMPARE(bytes.toHex(), hex);
        board::Frame frame{};
        std::copy(bytes.begin(), bytes.end(), frame.begin());
        QCOMPARE(board::IsValid(frame, board::kStatusHead) ? int(board::ChannelBits(frame)) : -1, channels);
    }
    void transmitQueueIsBounded() // a line that drains nothing must not grow memory
    {
        PseudoTerminal pty;
        board::SerialControl port({});
        port.setDevicePath(pty.slavePath());
        QVERIFY(port.open().ok);
        int queued = 0; // no event loop runs, so nothing leaves
        for (int i = 0; i < 100; ++i)
            queued += port.output(board::MakeRequest(1, 0x10, 0, 0));
        QCOMPARE(queued, 512 / 8);
    }
};

QTEST_GUILESS_MAIN(LinkTest)
#include "test_link.moc"
