// Wrenfield's window in-process over a real pseudo-terminal: a click on a lamp or on its status
// label queues the command its channel's state asks for, which the next tick sends instead of the
// poll; a caption click does nothing.
#include "apps/wrenfield/wrenfield_form.h"
#include "monitor/widgets.h"
#include "support/window_rig.h"

#include <QtTest>
#include <QtWidgets>

using Rig = WindowRig<console::WrenfieldForm>;

class ConsoleTest : public QObject
{
    Q_OBJECT

private slots:
    void clicks_data()
    {
        QTest::addColumn<int>("channels"); // what the board said before the click; -1: nothing
        QTest::addColumn<QString>("where");
        QTest::addColumn<QByteArray>("sent"); // on the next tick
        const char* poll = "5501100000000066";
        QTest::newRow("green lamp") << 0x10 << "lamp" << QByteArray("550111000000056c");
        QTest::newRow("red lamp") << 0 << "lamp" << QByteArray("550112000000056d");
        QTest::newRow("red status label") << 0 << "label" << QByteArray("550112000000056d");
        QTest::newRow("green caption") << 0x10 << "caption" << QByteArray(poll);
        QTest::newRow("yellow lamp") << -1 << "lamp" << QByteArray(poll);
    }
    void clicks()
    {
        QFETCH(int, channels);
        QFETCH(QString, where);
        QFETCH(QByteArray, sent);
        Rig rig;
        const QString title = rig.form->windowTitle();
        rig.form->open_comm_Click();
        rig.ui().Timer1->stop();
        if (channels >= 0) {
            rig.pty->write(board::MakeStatus(1, std::uint32_t(channels)));
            QTRY_VERIFY_WITH_TIMEOUT(rig.form->session().channels(), 2000);
        }
        // Where the layout has it: a point of the lamp beside its status label, or the label.
        QWidget* target = where == "lamp"    ? rig.form->childAt(LampPoint(5))
                          : where == "label" ? rig.ui().Label2[5]
                                             : rig.ui().Label4[5];
        const QPoint at = where == "lamp" ? target->mapFrom(rig.form.get(), LampPoint(5))
                                          : target->rect().center();
        const QColor before = rig.ui().Picture1[5]->color();
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
        QCOMPARE(rig.ui().Picture1[5]->color(), before); // the click changes nothing shown
        QCOMPARE(rig.tick(), sent);
        QCOMPARE(rig.tick(), "5501100000000066"); // then the poll again
        QCOMPARE(rig.form->windowTitle(), title); // title and captions stay as they were
        QCOMPARE(rig.ui().Label4[11]->text() + rig.ui().Label4[24]->text(), "第十一路第二十四路");
        const QDir dir(rig.dir.path()); // the console keeps nothing in files
        QCOMPARE(dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), {"com1"});
        QVERIFY(rig.messages.isEmpty());
    }
};

QTEST_MAIN(ConsoleTest)
#include "test_console.moc"
