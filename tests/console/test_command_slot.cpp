// The command slot and the lamp-colour rule, without a window.
#include "console/command_slot.h"
#include "console/lamp_command.h"

#include "link/frame.h"
#include "monitor/looks.h"

#include <QtTest>

using console::CommandForLamp;
using console::CommandSlot;
using console::Request;

namespace {
constexpr Request kPoll{board::kCmdPoll, 0, 0};
}

class CommandSlotTest : public QObject
{
    Q_OBJECT

private slots:
    void emptySlotPollsAndAWaitingCommandGoesOutOnce()
    {
        CommandSlot slot;
        QVERIFY(!slot.IsWaiting());
        QCOMPARE(slot.TakeRequest(), kPoll);

        slot.QueueCommand(0x11, 0, 5);
        QVERIFY(slot.IsWaiting());
        QCOMPARE(slot.TakeRequest(), (Request{0x11, 0, 5}));
        // The tick after a command polls again: the command is not repeated.
        QVERIFY(!slot.IsWaiting());
        QCOMPARE(slot.TakeRequest(), kPoll);
        QCOMPARE(slot.TakeRequest(), kPoll);
    }

    void laterCommandReplacesAWaitingOne()
    {
        CommandSlot slot;
        slot.QueueCommand(0x11, 0, 24);
        slot.QueueCommand(0x12, 0, 1);
        QCOMPARE(slot.TakeRequest(), (Request{0x12, 0, 1}));
        QCOMPARE(slot.TakeRequest(), kPoll);

        // A command that happens to equal the poll still counts as one queued command.
        slot.QueueCommand(board::kCmdPoll, 0, 0);
        QVERIFY(slot.IsWaiting());
        QCOMPARE(slot.TakeRequest(), kPoll);
        QVERIFY(!slot.IsWaiting());
    }

    void emptyingDropsAWaitingCommand()
    {
        CommandSlot slot;
        slot.QueueCommand(0x12, 0, 7);
        slot.Empty();
        QVERIFY(!slot.IsWaiting());
        QCOMPARE(slot.TakeRequest(), kPoll);
        // The slot is usable again afterwards.
        slot.QueueCommand(0x11, 0, 8);
        QCOMPARE(slot.TakeRequest(), (Request{0x11, 0, 8}));
    }

    void lampColourChoosesTheCommand_data()
    {
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("command"); // -1: none
        QTest::newRow("green 24") << monitor::kGreen << 24 << int{board::kCmdSwitchOff};
        QTest::newRow("green 1") << QColor(0, 255, 0) << 1 << int{board::kCmdSwitchOff};
        QTest::newRow("red 1") << monitor::kRed << 1 << int{board::kCmdSwitchOn};
        QTest::newRow("red 7") << QColor(255, 0, 0) << 7 << int{board::kCmdSwitchOn};
        QTest::newRow("yellow") << monitor::kYellow << 5 << -1;
        QTest::newRow("closed grey") << monitor::GreyText() << 5 << -1;
        QTest::newRow("almost green") << QColor(0, 254, 0) << 5 << -1;
        QTest::newRow("almost red") << QColor(255, 0, 1) << 5 << -1;
        QTest::newRow("see-through green") << QColor(0, 255, 0, 128) << 5 << -1;
        QTest::newRow("invalid colour") << QColor() << 5 << -1;
        QTest::newRow("channel 0") << monitor::kGreen << 0 << -1;
        QTest::newRow("channel 25") << monitor::kRed << 25 << -1;
    }

    void lampColourChoosesTheCommand()
    {
        QFETCH(QColor, colour);
        QFETCH(int, channel);
        QFETCH(int, command);
        const std::optional<Request> request = CommandForLamp(colour, channel);
        if (command < 0) {
            QVERIFY(!request);
            return;
        }
        QVERIFY(request);
        QCOMPARE(request->command, command);
        QCOMPARE(request->data1, 0);
        QCOMPARE(request->data2, channel);
    }
};

QTEST_MAIN(CommandSlotTest)
#include "test_command_slot.moc"
