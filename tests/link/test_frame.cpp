// Frames, checksums and the validity rule, against the board's worked examples.
#include "link/frame.h"

#include <QString>
#include <QTest>

using board::Frame;

class TestFrame : public QObject
{
    Q_OBJECT

private slots:
    void requestsMatchTheWorkedExamples()
    {
        QCOMPARE(board::MakeRequest(1, board::kCmdPoll, 0, 0),
                 (Frame{0x55, 0x01, 0x10, 0, 0, 0, 0, 0x66}));
        QCOMPARE(board::MakeRequest(200, board::kCmdPoll, 0, 0),
                 (Frame{0x55, 0xC8, 0x10, 0, 0, 0, 0, 0x2D}));
        QCOMPARE(board::MakeRequest(1, board::kCmdSwitchOff, 0, 5),
                 (Frame{0x55, 0x01, 0x11, 0, 0, 0, 0x05, 0x6C}));
        QCOMPARE(board::MakeRequest(1, board::kCmdSwitchOff, 0, 24),
                 (Frame{0x55, 0x01, 0x11, 0, 0, 0, 0x18, 0x7F}));
        QCOMPARE(board::MakeRequest(1, board::kCmdSwitchOn, 0, 1),
                 (Frame{0x55, 0x01, 0x12, 0, 0, 0, 0x01, 0x69}));
    }

    void checksumWrapsAtExactly256()
    {
        // 0x55 + 0xAB = 256: the checksum is 0, and such a frame is still whole.
        QCOMPARE(board::Checksum(Frame{0x55, 0xAB, 0, 0, 0, 0, 0, 0}), 0);
        QCOMPARE(board::Checksum(Frame{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0}),
                 (7 * 255) % 256);
    }

    void statusValidity()
    {
        const Frame example{0x22, 0, 0, 0, 0xFF, 0x00, 0x81, 0xA2};
        QVERIFY(board::IsValidStatus(example));
        QCOMPARE(board::ChannelBits(example), 0xFF0081u);

        Frame offByOne = example;
        offByOne[7] = 0xA3;
        QVERIFY(!board::IsValidStatus(offByOne));

        // An echoed request has a correct checksum but the wrong head.
        QVERIFY(!board::IsValidStatus(board::MakeRequest(1, board::kCmdPoll, 0, 0)));

        // Bytes 1..3 are covered by the checksum and otherwise ignored, whatever address they say.
        Frame otherAddress{0x22, 0x07, 0x11, 0x13, 0x80, 0x00, 0x01, 0};
        otherAddress[7] = board::Checksum(otherAddress);
        QVERIFY(board::IsValidStatus(otherAddress));

        QCOMPARE(board::MakeStatus(1, 0xFF0081), (Frame{0x22, 1, 0, 0, 0xFF, 0x00, 0x81, 0xA3}));
    }

    void bitOf()
    {
        QCOMPARE(board::BitOf(0xA5, 0), 1);
        QCOMPARE(board::BitOf(0xA5, 1), 0);
        QCOMPARE(board::BitOf(0xA5, 7), 1);
        for (int value = 0; value < 256; ++value)
            for (std::int16_t n = 0; n < 8; ++n)
                QCOMPARE(board::BitOf(static_cast<std::uint8_t>(value), n), (value >> n) & 1);
        QCOMPARE(board::BitOf(0xFF, 8), 0); // outside the byte: no bit, no crash
        QCOMPARE(board::BitOf(0xFF, -1), 0);
    }

    void addressText()
    {
        QCOMPARE(board::AddressByte(QStringLiteral("1")), std::optional<std::uint8_t>(1));
        QCOMPARE(board::AddressByte(QStringLiteral("255")), std::optional<std::uint8_t>(255));
        QCOMPARE(board::AddressByte(QStringLiteral("256")), std::optional<std::uint8_t>(0));
        QCOMPARE(board::AddressByte(QStringLiteral("511")), std::optional<std::uint8_t>(255));
        QCOMPARE(board::AddressByte(QStringLiteral("2147483647")),
                 std::optional<std::uint8_t>(255));
        for (const char* bad : {"", "abc", "-1", "1.5", "2147483648", "0x10"})
            QVERIFY2(!board::AddressByte(QString::fromLatin1(bad)), bad);
    }
};

QTEST_APPLESS_MAIN(TestFrame)
#include "test_frame.moc"
