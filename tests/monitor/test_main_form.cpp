// The shared main window in-process, over a real pseudo-terminal.
#include "support/window_rig.h"

#include "link/frame.h"
#include "link/serial_control.h"
#include "monitor/looks.h"
#include "monitor/widgets.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;
using monitor::GreyText;
using monitor::kGreen;
using monitor::kRed;
using monitor::kYellow;

namespace {

const board::Frame kExample{0x22, 0, 0, 0, 0xFF, 0x00, 0x81, 0xA2};
const QByteArray kPoll1 = QByteArray::fromHex("5501100000000066");

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

    using Rig = WindowRig<>;

    static bool AllLook(const Rig& rig, const QColor& color, const QString& text)
    {
        for (int ch = 1; ch <= board::kChannels; ++ch)
            if (rig.ui().Picture1[ch]->color() != color || rig.ui().Label2[ch]->text() != text)
                return false;
        return true;
    }

    // Opens the port and stops the poll timer, so the test decides when a tick happens.
    static void OpenManual(Rig& rig)
    {
        rig.form->open_comm_Click();
        QCOMPARE(rig.ui().open_comm->text(), monitor::kCaptionClose);
        rig.ui().Timer1->stop();
    }

    static void WaitPainted(Rig& rig, int channel, const QColor& color)
    {
        QTRY_COMPARE_WITH_TIMEOUT(rig.ui().Picture1[channel]->color(), color, 10000);
    }

private slots:
    void startsInTheStartState()
    {
        Rig rig;
        QVERIFY(AllLook(rig, kYellow, monitor::kTextUnknown));
        QCOMPARE(rig.ui().open_comm->text(), QStringLiteral("打开串口"));
        QCOMPARE(rig.ui().add->text(), QStringLiteral("1"));
        QCOMPARE(rig.ui().chuankou_num->text(), QStringLiteral("1"));
        QVERIFY(rig.ui().Timer1->isActive());
        QCOMPARE(rig.ui().Timer1->interval(), 50);
        QVERIFY(rig.ui().chuankou_num->isReadOnly() && rig.ui().add->isReadOnly());
        QCOMPARE(rig.ui().Label4[11]->text(), QStringLiteral("第十一路"));
        QCOMPARE(rig.ui().Label4[20]->text(), QStringLiteral("第二十路"));
        QCOMPARE(rig.ui().Label4[24]->text(), QStringLiteral("第二十四路"));
        QVERIFY(rig.form->minimumSize() == rig.form->maximumSize());
        QCOMPARE(rig.form->size(), QSize(534, 713));
        QVERIFY(!(rig.form->windowFlags() & Qt::WindowMaximizeButtonHint));

        // Ticks run, but nothing leaves the program before the port is opened.
        rig.form->Timer1_Timer();
        rig.form->Timer1_Timer();
        QVERIFY(rig.pty->read(1, 200ms).isEmpty());
        QVERIFY(AllLook(rig, kYellow, monitor::kTextUnknown));
    }

    void pollGoesOutWithTheAddressOfTheBox()
    {
        Rig rig;
        OpenManual(rig);
        QVERIFY(AllLook(rig, kYellow, monitor::kTextUnknown));
        QVERIFY(!rig.ui().chuankou_num->isEnabled());

        rig.form->Timer1_Timer();
        QCOMPARE(rig.pty->read(8, 10s), kPoll1);

        rig.ui().VScroll1->setNumber(2);
        QCOMPARE(rig.ui().add->text(), QStringLiteral("2"));
        rig.form->Timer1_Timer();
        QCOMPARE(rig.pty->read(8, 10s), QByteArray::fromHex("5502100000000067"));

        // Text that gives no address byte sends nothing on that tick; the next good one goes out.
        rig.ui().add->setText(QStringLiteral("abc"));
        rig.form->Timer1_Timer();
        rig.ui().add->setText(QStringLiteral("256"));
        rig.form->Timer1_Timer();
        QCOMPARE(rig.pty->read(8, 10s), QByteArray::fromHex("5500100000000065"));
        QVERIFY(rig.messages.isEmpty());
    }

    void validFramesPaintAndInvalidOnesAreDropped()
    {
        Rig rig;
        OpenManual(rig);
        rig.pty->write(Bytes(kExample));
        WaitPainted(rig, 1, kGreen);
        QCOMPARE(rig.form->link_ticks(), 5);
        for (int ch = 1; ch <= 24; ++ch) {
            const bool on = ch == 1 || ch == 8 || ch >= 17;
            QCOMPARE(rig.ui().Picture1[ch]->color(), on ? kGreen : kRed);
            QCOMPARE(rig.ui().Label2[ch]->text(),
                     on ? QStringLiteral("  连接") : QStringLiteral("  断开"));
        }

        // Off by one in the checksum: consumed, nothing repainted, the watchdog untouched.
        rig.form->Timer1_Timer();
        QCOMPARE(rig.form->link_ticks(), 4);
        board::Frame bad = board::MakeStatus(1, 0);
        bad[7] += 1;
        rig.pty->write(Bytes(bad));
        QTRY_COMPARE_WITH_TIMEOUT(rig.form->recv_buf()[8], int(bad[7]), 10000);
        QCOMPARE(rig.form->link_ticks(), 4);
        QCOMPARE(rig.ui().Picture1[1]->color(), kGreen);

        // An echoed request is not a status frame.
        rig.pty->write(kPoll1);
        QTRY_COMPARE_WITH_TIMEOUT(rig.form->recv_buf()[1], 0x55, 10000);
        QCOMPARE(rig.ui().Picture1[9]->color(), kRed);

        // Every byte value comes through raw, NUL and XON/XOFF among them.
        board::Frame raw{0x22, 0x11, 0x13, 0x1A, 0x80, 0x00, 0x01, 0};
        raw[7] = board::Checksum(raw);
        rig.pty->write(Bytes(raw));
        QTRY_COMPARE_WITH_TIMEOUT(rig.form->recv_buf()[2], 0x11, 10000);
        for (int k = 1; k <= 8; ++k)
            QCOMPARE(rig.form->recv_buf()[k], int(raw[k - 1]));
        QCOMPARE(rig.ui().Picture1[1]->color(), kGreen);
        QCOMPARE(rig.ui().Picture1[8]->color(), kRed);
        QCOMPARE(rig.ui().Picture1[23]->color(), kRed);
    }

    void arrivalsOfSevenEightAndTwelveBytes()
    {
        Rig rig;
        OpenManual(rig);
        board::SerialControl& port = *rig.ui().MSComm1;

        const QByteArray frame = Bytes(board::MakeStatus(1, 0x000001));
        rig.pty->write(frame.left(7));
        QTRY_COMPARE_WITH_TIMEOUT(port.inBufferCount(), 7, 10000);
        QCOMPARE(rig.form->recv_buf()[1], 0); // seven bytes: nothing taken
        QCOMPARE(rig.ui().Picture1[1]->color(), kYellow);
        rig.pty->write(frame.mid(7));
        WaitPainted(rig, 1, kGreen);
        QCOMPARE(port.inBufferCount(), 0);

        // Twelve at once: one frame taken, four left for the next request to throw away.
        rig.pty->write(Bytes(board::MakeStatus(1, 0x800000)) + QByteArray::fromHex("DEADBEEF"));
        WaitPainted(rig, 24, kGreen);
        QTRY_COMPARE_WITH_TIMEOUT(port.inBufferCount(), 4, 10000);
        rig.form->Timer1_Timer();
        QCOMPARE(port.inBufferCount(), 0);
        QCOMPARE(rig.pty->read(8, 10s), kPoll1);

        // A stray byte in front shifts the frame: dropped, and the last byte waits until the
        // next request empties the buffer, which puts the link back in step.
        rig.pty->write(QByteArray(1, '\0') + Bytes(kExample));
        QTRY_COMPARE_WITH_TIMEOUT(rig.form->recv_buf()[2], 0x22, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(port.inBufferCount(), 1, 10000);
        QCOMPARE(rig.ui().Picture1[24]->color(), kGreen); // still the last valid frame
        rig.form->Timer1_Timer();
        QCOMPARE(port.inBufferCount(), 0);
        QCOMPARE(rig.pty->read(8, 10s), kPoll1);
        rig.pty->write(Bytes(kExample));
        WaitPainted(rig, 1, kGreen);
        QCOMPARE(rig.ui().Picture1[24]->color(), kGreen);
        QCOMPARE(rig.ui().Picture1[9]->color(), kRed);
    }

    void watchdogTurnsYellowOnTheSixthTick()
    {
        Rig rig;
        OpenManual(rig);
        rig.pty->write(Bytes(kExample));
        WaitPainted(rig, 1, kGreen);
        for (int tick = 1; tick <= 5; ++tick) {
            rig.form->Timer1_Timer();
            QCOMPARE(rig.form->link_ticks(), 5 - tick);
            QCOMPARE(rig.ui().Picture1[1]->color(), kGreen);
        }
        rig.form->Timer1_Timer();
        QVERIFY(AllLook(rig, kYellow, monitor::kTextUnknown));
        QCOMPARE(rig.form->link_ticks(), 0);

        // Closed at 3 and opened again: three ticks count down, the fourth finds 0.
        rig.pty->write(Bytes(kExample));
        WaitPainted(rig, 1, kGreen);
        rig.form->Timer1_Timer();
        rig.form->Timer1_Timer();
        QCOMPARE(rig.form->link_ticks(), 3);
        rig.form->open_comm_Click();
        QVERIFY(AllLook(rig, GreyText(), monitor::kTextUnknown));
        QCOMPARE(rig.form->link_ticks(), 3);
        OpenManual(rig);
        QVERIFY(AllLook(rig, kYellow, monitor::kTextUnknown));
        rig.pty->readAvailable();
        for (int expected : {2, 1, 0, 0}) {
            rig.form->Timer1_Timer();
            QCOMPARE(rig.form->link_ticks(), expected);
        }
        QCOMPARE(rig.pty->read(32, 10s), kPoll1.repeated(4));
    }

    void openCloseAndReopen()
    {
        Rig rig;
        rig.form->open_comm_Click();
        QVERIFY(rig.ui().Timer1->isActive());
        QCOMPARE(rig.ui().open_comm->text(), QStringLiteral("关闭串口"));
        // The running timer polls by itself.
        QCOMPARE(rig.pty->read(16, 10s).left(16), kPoll1.repeated(2));

        rig.form->open_comm_Click();
        QVERIFY(AllLook(rig, GreyText(), monitor::kTextUnknown));
        QVERIFY(!rig.ui().Timer1->isActive());
        QVERIFY(rig.ui().chuankou_num->isEnabled());
        QCOMPARE(rig.ui().open_comm->text(), QStringLiteral("打开串口"));
        QVERIFY(!rig.ui().MSComm1->isOpen());

        // The port spinner writes its box while open; the number counts at the next opening.
        rig.form->open_comm_Click();
        rig.ui().VScroll2->setNumber(2);
        QCOMPARE(rig.ui().chuankou_num->text(), QStringLiteral("2"));
        QCOMPARE(rig.ui().MSComm1->commPort(), 1);
        rig.form->open_comm_Click();
        rig.linkPort(2);
        rig.form->open_comm_Click();
        QCOMPARE(rig.ui().MSComm1->commPort(), 2);
        QVERIFY(rig.ui().MSComm1->isOpen());
        QVERIFY(rig.messages.isEmpty());
    }

    void aPortThatFailsToOpenLeavesTheStateAlone()
    {
        Rig rig;
        rig.ui().VScroll2->setNumber(0); // port 0 maps only to <dir>/com0, which is absent
        QVERIFY(rig.ui().chuankou_num->toolTip().contains(QStringLiteral("没有对应的设备")));
        rig.form->open_comm_Click();
        QCOMPARE(rig.messages.size(), 1);
        QVERIFY(rig.messages[0].text.contains(QStringLiteral("串口 0")));
        QVERIFY(rig.messages[0].text.contains(rig.dir.filePath(QStringLiteral("com0"))));
        QCOMPARE(rig.ui().open_comm->text(), QStringLiteral("打开串口"));
        QVERIFY(rig.ui().Timer1->isActive()); // still Start
        QVERIFY(AllLook(rig, kYellow, monitor::kTextUnknown));

        // After a close the timer stays stopped when an opening fails.
        rig.ui().VScroll2->setNumber(1);
        rig.form->open_comm_Click();
        rig.form->open_comm_Click();
        QFile notATty(rig.dir.filePath(QStringLiteral("com1")));
        notATty.remove();
        QVERIFY(notATty.open(QIODevice::WriteOnly)); // a plain file is no serial line
        notATty.close();
        rig.form->open_comm_Click();
        QCOMPARE(rig.messages.size(), 2);
        QVERIFY(rig.messages[1].text.contains(QStringLiteral("串口 1")));
        QVERIFY(!rig.ui().Timer1->isActive());
        QVERIFY(AllLook(rig, GreyText(), monitor::kTextUnknown));
        QCOMPARE(rig.ui().open_comm->text(), QStringLiteral("打开串口"));
    }

    void unpluggingClosesOnceAndReopeningWorks()
    {
        Rig rig;
        rig.form->open_comm_Click(); // the timer keeps polling while the device goes away
        QCOMPARE(rig.pty->read(8, 10s).left(8), kPoll1);
        rig.pty->close();
        QTRY_COMPARE_WITH_TIMEOUT(rig.ui().open_comm->text(), QStringLiteral("打开串口"), 10000);
        QVERIFY(!rig.ui().MSComm1->isOpen());
        QVERIFY(!rig.ui().Timer1->isActive());
        QVERIFY(AllLook(rig, GreyText(), monitor::kTextUnknown));
        QCOMPARE(rig.messages.size(), 1);
        QVERIFY(rig.messages[0].text.contains(QStringLiteral("断开")));

        // No storm of errors afterwards: the storm would come within a few event-loop rounds.
        for (int round = 0; round < 100; ++round)
            QCoreApplication::processEvents();
        QCOMPARE(rig.messages.size(), 1);

        rig.pty = std::make_unique<PseudoTerminal>(); // plugged in again
        rig.linkPort(1);
        rig.form->open_comm_Click();
        QVERIFY(rig.ui().MSComm1->isOpen());
        QCOMPARE(rig.pty->read(8, 10s).left(8), kPoll1);
        rig.pty->write(Bytes(kExample));
        WaitPainted(rig, 1, kGreen);
        QCOMPARE(rig.messages.size(), 1);
    }

    void spinnersRunUpwards()
    {
        Rig rig;
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        monitor::Spinner* address = rig.ui().VScroll1;
        const int middle = address->width() / 2;
        QTest::mouseClick(address, Qt::LeftButton, {}, QPoint(middle, 2));
        QCOMPARE(rig.ui().add->text(), QStringLiteral("2"));
        QTest::mouseClick(rig.ui().VScroll2, Qt::LeftButton, {},
                          QPoint(middle, rig.ui().VScroll2->height() - 3));
        QCOMPARE(rig.ui().chuankou_num->text(), QStringLiteral("0"));

        address->setNumber(255);
        QTest::mouseClick(address, Qt::LeftButton, {}, QPoint(middle, 2));
        QCOMPARE(rig.ui().add->text(), QStringLiteral("255"));
        address->setNumber(0);
        QTest::mouseClick(address, Qt::LeftButton, {}, QPoint(middle, address->height() - 3));
        QCOMPARE(rig.ui().add->text(), QStringLiteral("0"));
        QCOMPARE(address->number(), 0);
    }
};

QTEST_MAIN(TestMainForm)
#include "test_main_form.moc"
