// Wrenfield's window in-process over a real pseudo-terminal: lamp clicks queue a command that the
// next tick sends in place of the poll.
#include "apps/wrenfield/wrenfield_form.h"
#include "monitor/looks.h"
#include "monitor/widgets.h"
#include "support/window_rig.h"

#include <QtTest>
#include <QtWidgets>

using Rig = WindowRig<console::WrenfieldForm>;

namespace {

void Open(Rig& rig) // the test ticks
{
    rig.form->open_comm_Click();
    rig.ui().Timer1->stop();
}

void ClickLamp(Rig& rig, int channel) // where the layout has it, beside its status label
{
    QWidget* lamp = rig.form->childAt(LampPoint(channel));
    QTest::mouseClick(lamp, Qt::LeftButton, {}, lamp->mapFrom(rig.form.get(), LampPoint(channel)));
}
} // namespace

class ConsoleTest : public QObject
{
    Q_OBJECT

private slots:
    void clicks_data()
    {
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QString>("where");
        QTest::addColumn<QByteArray>("sent"); // on the next tick
        const auto row = [](const char* name, QColor colour, const char* where, const char* sent) {
            QTest::newRow(name) << colour << QString(where) << QByteArray(sent);
        };
        const char* poll = "5501100000000066";
        row("green lamp", QColor(0, 255, 0), "lamp", "550111000000056c");
        row("red lamp", QColor(255, 0, 0), "lamp", "550112000000056d");
        row("red status label", QColor(255, 0, 0), "label", "550112000000056d");
        row("green caption", QColor(0, 255, 0), "caption", poll);
        row("yellow lamp", QColor(255, 255, 0), "lamp", poll);
        row("grey status label", monitor::GreyText(), "label", poll);
        row("near green", QColor(0, 254, 0), "lamp", poll);
        row("see-through green", QColor(0, 255, 0, 128), "lamp", poll);
    }
    void clicks()
    {
        QFETCH(QColor, colour);
        QFETCH(QString, where);
        QFETCH(QByteArray, sent);
        Rig rig;
        Open(rig);
        rig.ui().Picture1[5]->setColor(colour);
        if (where == "lamp")
            ClickLamp(rig, 5);
        else
            QTest::mouseClick(where == "label" ? rig.ui().Label2[5] : rig.ui().Label4[5],
                              Qt::LeftButton);
        QCOMPARE(rig.ui().Picture1[5]->color(), colour); // the click changes nothing shown
        QCOMPARE(rig.tick(), sent);
        QCOMPARE(rig.tick(), "5501100000000066"); // then the poll again
    }
    void commandSlot()
    {
        Rig rig;
        const QString title = rig.form->windowTitle();
        Open(rig);
        rig.pty->write(Bytes(board::MakeStatus(1, 0x800000))); // 24 green, the rest red
        QTRY_COMPARE_WITH_TIMEOUT(rig.ui().Picture1[24]->color(), monitor::kGreen, 2000);
        ClickLamp(rig, 24);
        ClickLamp(rig, 1); // a later click replaces a waiting command
        QCOMPARE(rig.tick(), "5501120000000169");
        ClickLamp(rig, 24);
        rig.ui().VScroll1->setNumber(2); // the address is read at the tick
        QCOMPARE(rig.tick(), "5502110000001880");
        ClickLamp(rig, 1);
        rig.form->Form_Load(); // loading empties the slot
        QCOMPARE(rig.tick(), "5502100000000067");
        ClickLamp(rig, 1); // waits through a close, first out after the reopening
        rig.form->open_comm_Click();
        Open(rig);
        QCOMPARE(rig.tick(), "550212000000016a");
        QCOMPARE(rig.form->windowTitle(), title); // title and captions stay as they were
        const auto caption = [&](int ch) { return rig.ui().Label4[ch]->text(); };
        QCOMPARE(caption(7) + caption(10) + caption(11) + caption(24),
                 "第七路第十路第十一路第二十四路");
        const QDir dir(rig.dir.path()); // the console keeps nothing in files
        QCOMPARE(dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), {"com1"});
        QVERIFY(rig.messages.isEmpty());
    }
};

QTEST_MAIN(ConsoleTest)
#include "test_console.moc"
