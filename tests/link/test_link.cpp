// The board link without a window: the board session over a real pseudo-terminal, the test playing
// the board and ticking the polls, with the board's worked examples of frames and checksums.
#include "console/lamp_command.h"
#include "link/command_line.h"
#include "link/port_names.h"
#include "support/pseudo_terminal.h"

#include <QTemporaryDir>
#include <QTest>

#include <ranges>

namespace {

// A session on a new pseudo-terminal, opened, its timer stopped: the test ticks. What the session
// tells is kept as words: "frame 1 5a5a5a", "silent 1", "unanswered 2", "lost".
struct Line
{
    PseudoTerminal pty;
    board::BoardSession session{{}};
    QStringList told;

    explicit Line(const std::vector<std::uint8_t>& addresses = {1})
    {
        session.setAddresses(addresses);
        session.setDevice(pty.slavePath());
        session.setInterval(3'600'000); // the test ticks
        QObject::connect(&session, &board::BoardSession::frameTaken,
                         [this](int a, std::uint32_t c) {
                             told << QString("frame %1 %2").arg(a).arg(c, 6, 16, QChar('0'));
                         });
        QObject::connect(&session, &board::BoardSession::silentTick,
                         [this](int a) { told << QString("silent %1").arg(a); });
        QObject::connect(&session, &board::BoardSession::unanswered,
                         [this](int a) { told << QString("unanswered %1").arg(a); });
        QObject::connect(&session, &board::BoardSession::otherAddress,
                         [this](int a, int c) { told << QString("other %1 %2").arg(a).arg(c); });
        QObject::connect(&session, &board::BoardSession::portLost, [this] { told << "lost"; });
        session.open();
    }
    QByteArray tick() { return pty.tick(session); }
    void answer(std::uint8_t address, std::uint32_t channels)
    {
        pty.write(board::MakeStatus(address, channels));
    }
    // Waits until the session has said `words` since the last call.
    bool tells(const QStringList& words)
    {
        const bool said = QTest::qWaitFor([&] { return told.size() >= words.size(); }, 2000);
        return said && std::exchange(told, {}) == words;
    }
};

} // namespace

class LinkTest : public QObject
{
    Q_OBJECT

private slots:
    void addressLists_data() // "text: what it gives"; nothing for a list refused
    {
        QTest::addColumn<QString>("row");
        for (const char* row : {"7: 7", "1,3-5: 1 3 4 5", "0-1,255: 0 1 255",
                                "1,,2:", "5-3:", "256:", "-1:", "1-2-3:", "1,1:", "x:"})
            QTest::newRow(row) << QString(row);
    }
    void addressLists()
    {
        QFETCH(QString, row);
        QString addresses;
        for (const std::uint8_t address :
             board::ParseAddresses(row.section(u':', 0, 0)).value_or(std::vector<std::uint8_t>{}))
            addresses += ' ' + QString::number(address);
        QCOMPARE(addresses, row.section(':', 1));
    }
    void portPlaces() // port N: beside the program, in the user's folder, then the PC's own ports
    {
        QCOMPARE(board::FindPortDevice(1, "/p").tried,
                 QStringList({"/p/com1", board::UserFolder() + "/com1", "/dev/ttyUSB0",
                              "/dev/ttyACM0", "/dev/ttyS0"}));
    }
    // A device as a person finds it: the port number that opens it, the comN links of both
    // places that lead to it, and who holds it (here this test, which keeps the terminal open).
    void serialDevices()
    {
        QTemporaryDir program, data;
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        PseudoTerminal pty;
        QVERIFY(QFile::link(pty.slavePath(), program.filePath("com3")) &&
                QDir(data.path()).mkpath("kestrel") &&
                QFile::link(pty.slavePath(), data.filePath("kestrel/com5")));
        const auto devices = board::SerialDevices(program.path());
        const auto it = std::ranges::find(devices, pty.slavePath(), &board::SerialDevice::device);
        QVERIFY(it != devices.end() && it->port == 3);
        QCOMPARE(it->links, QStringList({program.filePath("com3"), data.filePath("kestrel/com5")}));
        QVERIFY(it->holder.startsWith("link_test") &&
                it->holder.contains(QString::number(QCoreApplication::applicationPid())));
        qunsetenv("XDG_DATA_HOME");
    }
    void transmitQueueIsBounded() // a line that drains nothing must not grow memory
    {
        PseudoTerminal pty;
        board::SerialControl port({});
        port.setDevicePath(pty.slavePath());
        int queued = port.open().ok - 1; // no event loop runs, so nothing leaves
        for (int i = 0; i < 100; ++i)
            queued += port.output(board::MakeRequest(1, 0x10, 0, 0));
        QCOMPARE(queued, 512 / 8);
    }

    // What a receive event takes: the first 8 bytes into slots 1..8 of the receive buffer, valid
    // or not; only a valid frame counts. The next request throws away what is left.
    void arrivals_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<int>("channels"); // -1: nothing taken
        QTest::newRow("valid frame") << QByteArray("22000000ff0081a2") << 0xFF0081;
        QTest::newRow("every byte raw") << QByteArray("2211131a800001e1") << 0x800001;
        QTest::newRow("first 8 of 12") << QByteArray("22000000ff0081a2deadbeef") << 0xFF0081;
        QTest::newRow("stray byte first") << QByteArray("0022000000ff0081a2") << -1;
        QTest::newRow("checksum off by one") << QByteArray("22000000ff0081a3") << -1;
        QTest::newRow("7 waiting") << QByteArray("22000000ff0081") << -1;
        QTest::newRow("sum exactly 256") << QByteArray("22de000000000000") << 0;
        QTest::newRow("bytes 1..3 ignored") << QByteArray("220711130001004e") << 0x000100;
        QTest::newRow("a request echoed") << QByteArray("5501100000000066") << -1;
    }
    void arrivals()
    {
        QFETCH(QByteArray, hex);
        QFETCH(int, channels);
        Line line;
        const QByteArray bytes = QByteArray::fromHex(hex);
        line.pty.write(bytes);
        const QByteArray first8 = bytes.size() < 8 ? QByteArray(8, 0) : bytes.left(8);
        const auto slot = [&](int k) { return quint8(first8[k - 1]) == line.session.recvBuf()[k]; };
        QTRY_VERIFY_WITH_TIMEOUT(line.session.MSComm1().inBufferCount() == bytes.size() % 8 &&
                                     std::ranges::all_of(std::views::iota(1, 9), slot),
                                 2000);
        QCOMPARE(line.session.channels().value_or(-1), std::uint32_t(channels));
        QCOMPARE(line.tick(), "5501100000000066");
        QCOMPARE(line.session.MSComm1().inBufferCount(), 0);
    }

    void oneBoard()
    {
        Line line;
        line.session.close();
        QVERIFY(line.tick().isEmpty() && line.tells({"silent 1"})); // nothing leaves while closed
        line.session.open();
        QCOMPARE(line.tick(), "5501100000000066");
        line.answer(7, 0x800001); // one board takes any valid frame, whatever address it carries
        QVERIFY(line.tells({"silent 1", "frame 1 800001"}));
        line.session.setAddress(200);         // from the next request; 301 % 256 its checksum
        for (int tick = 1; tick <= 5; ++tick) // the sixth tick without a frame finds it silent
            QVERIFY(line.tick() == "55c810000000002d" && line.session.channels());
        QVERIFY(line.tick() == "55c810000000002d" &&
                line.tells(QStringList(5, "unanswered 200") << "silent 200"));
        QVERIFY(!line.session.channels());
        line.pty.close(); // the device goes away
        QVERIFY(line.tells({"lost"}));
        for (int round = 0; round < 100; ++round) // a storm of errors would come within these
            QCoreApplication::processEvents();
        QVERIFY(line.told.isEmpty() && !line.session.isOpen());
    }

    // A shared line: the boards are asked in turn, each with its own watchdog, and an answer
    // counts only for the board asked whose address it carries; so for one board with the check.
    // With no time between requests the next goes out as soon as the answer is in.
    void bus()
    {
        Line line({1, 2});
        QCOMPARE(line.tick(), "5501100000000066");
        line.answer(2, 0x2); // board 2's frame in answer to board 1's request counts for neither
        QTRY_COMPARE_WITH_TIMEOUT(line.session.recvBuf()[2], 2, 2000);
        line.answer(1, 0x1);
        QVERIFY(line.tells({"silent 1", "other 1 2", "frame 1 000001"}));
        QCOMPARE(line.tick(), "5502100000000067");
        QCOMPARE(line.tick(), "5501100000000066");
        QVERIFY(line.tells({"silent 2", "unanswered 2"}));
        line.session.setInterval(0, 1000);
        QCOMPARE(line.tick(), "5502100000000067");
        line.answer(2, 0x4);
        QCOMPARE(line.pty.read(8).toHex(), "5501100000000066"); // no tick needed
        QVERIFY(line.tells({"unanswered 1", "silent 2", "frame 2 000004"}));
        line.session.dropBoard(2); // the board next in turn gone: the turn comes round to 1
        QCOMPARE(line.tick(), "5501100000000066");
        line.told.clear();
        line.session.setAddresses({1}); // one board, checked as boardctl does
        line.session.setAddressCheck(true);
        QCOMPARE(line.tick(), "5501100000000066");
        line.answer(7, 0x800001);
        QVERIFY(line.tells({"unanswered 1", "silent 1", "other 1 7"}));
        line.answer(1, 0x1);
        QVERIFY(line.tells({"frame 1 000001"}));
        line.session.setAddressCheck(false);
        line.session.dropBoard(1); // the last board gone: a frame still coming finds none
        line.answer(1, 0x2);
        QTRY_COMPARE_WITH_TIMEOUT(line.session.recvBuf()[7], 2, 2000);
        QVERIFY(!line.session.channels() && line.told.isEmpty());
    }

    // A command goes out once, in place of the next poll; a newer one replaces it; it takes the
    // address of its tick and waits through a close.
    void commandSlot()
    {
        Line line;
        line.session.QueueCommand({0x11, 0, 24});
        line.session.QueueCommand({0x12, 0, 1});
        QCOMPARE(line.tick(), "5501120000000169");
        QCOMPARE(line.tick(), "5501100000000066");
        line.session.QueueCommand({0x11, 0, 24});
        line.session.setAddress(2);
        QCOMPARE(line.tick(), "5502110000001880");
        line.session.QueueCommand({0x12, 0, 1});
        line.session.close();
        line.session.open();
        QCOMPARE(line.tick(), "550212000000016a");
    }

    // Wrenfield's click: the command follows what the board last said of the channel.
    void lampCommands()
    {
        Line line;
        const auto command = [&](int channel) {
            const auto request = console::LampCommand(line.session, channel);
            return request ? QString("%1 %2").arg(request->command).arg(request->data2) : "-";
        };
        QCOMPARE(command(1), "-"); // nothing known since opening
        line.answer(1, 0x800000);
        QVERIFY(line.tells({"frame 1 800000"}));
        QCOMPARE(command(24) + command(1) + command(0) + command(25), "17 2418 1--");
        line.session.close();
        QCOMPARE(command(24), "-");
    }
};

QTEST_GUILESS_MAIN(LinkTest)
#include "test_link.moc"
