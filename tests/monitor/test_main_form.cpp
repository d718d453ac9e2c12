// The shared main window in-process over a real pseudo-terminal: the test plays the board and
// drives the poll ticks itself.
#include "link/port_names.h"
#include "monitor/looks.h"
#include "monitor/widgets.h"
#include "support/window_rig.h"

#include <QSerialPort>
#include <QtTest>
#include <QtWidgets>

using namespace monitor;
using Rig = WindowRig<>;

namespace {
const QString kWaiting(24, 'Y'), kClosed(24, 'C'), kAllRed(22, 'R');
const QByteArray kPoll1 = "5501100000000066", kPoll2 = "5502100000000067";

QString Looks(const Rig& rig) // a letter a channel: Green, Red, Yellow or Closed grey, else '?'
{
    const QList<QColor> colours{
        {0, 255, 0},
        {255, 0, 0},
        {255, 255, 0}, // grey: the desktop's
        QApplication::palette().color(QPalette::Disabled, QPalette::WindowText)};
    const QStringList texts{kTextConnected, kTextDisconnected, kTextUnknown, kTextUnknown};
    QString looks;
    for (int ch = 1; ch <= 24; ++ch) {
        const qsizetype i = colours.indexOf(rig.ui().Picture1[ch]->color());
        looks += i >= 0 && rig.ui().Label2[ch]->text() == texts[i] ? "GRYC"[i] : '?';
    }
    return looks;
}

} // namespace

class MainFormTest : public QObject
{
    Q_OBJECT

private slots:
    void lifeCycle()
    {
        Rig rig;
        QVERIFY(Looks(rig) == kWaiting && rig.form->session().Timer1().isActive());
        QCOMPARE(rig.ui().Label4[10]->text() + rig.ui().Label4[24]->text(), "第十路第二十四路");
        QCOMPARE(rig.form->windowIcon().pixmap(48).width(), 48);
        QCOMPARE(rig.tick(), QByteArray()); // nothing leaves before the port is opened
        rig.form->open_comm_Click();
        QVERIFY(rig.form->session().Timer1().isActive() && !rig.ui().chuankou_num->isEnabled());
        QVERIFY(rig.ui().open_comm->text() == kCaptionClose && Looks(rig) == kWaiting);
        rig.form->session().setInterval(3'600'000); // the test ticks
        QCOMPARE(rig.tick(), kPoll1);
        rig.pty->write(Bytes(board::MakeStatus(1, 0x800001)));
        QTRY_COMPARE_WITH_TIMEOUT(Looks(rig), "G" + kAllRed + "G", 2000);
        rig.ui().VScroll1->setNumber(2);      // the spinner's address goes out with the next poll
        for (int tick = 1; tick <= 5; ++tick) // the watchdog turns yellow on the sixth
            QVERIFY(rig.tick() == kPoll2 && Looks(rig).startsWith('G'));
        QVERIFY(rig.tick() == kPoll2 && Looks(rig) == kWaiting);
        rig.form->open_comm_Click();
        QVERIFY(Looks(rig) == kClosed && !rig.form->session().Timer1().isActive() &&
                rig.tick().isEmpty());
        QVERIFY(rig.ui().chuankou_num->isEnabled() && rig.ui().open_comm->text() == kCaptionOpen);
        rig.form->open_comm_Click(); // the timer polls on while the device goes away
        rig.pty->close();
        QTRY_COMPARE_WITH_TIMEOUT(rig.ui().open_comm->text(), kCaptionOpen, 2000);
        QVERIFY(Looks(rig) == kClosed && !rig.form->session().Timer1().isActive());
        QCOMPARE(rig.messages.size(), 1); // what it says: tests/e2e
    }
    void portFailures_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("target"); // where <dir>/comN leads
        QTest::newRow("port 0, no device") << 0 << QString();
        QTest::newRow("dangling link") << 2 << "/nonexistent/<b>tty</b>";
        QTest::newRow("far end gone") << 3 << "gone";
        QTest::newRow("held by another program") << 4 << "held";
        QTest::newRow("not a serial line") << 5 << "file";
    }
    void portFailures()
    {
        QFETCH(int, port);
        QFETCH(QString, target);
        Rig rig;
        PseudoTerminal gone;
        QSerialPort other(rig.pty->slavePath()); // the device itself, under its own name
        QVERIFY(target != "held" || other.open(QIODevice::ReadWrite));
        if (port > 0) // "held": com4 leads to the device held under its own name
            rig.linkPort(port, QString(target).replace("gone", gone.slavePath()).remove("held"));
        gone.close();
        QFile(rig.dir.filePath("com5")).open(QIODevice::WriteOnly); // com5 leads to a plain file
        rig.ui().VScroll2->setNumber(port);
        const QString link = rig.dir.filePath(QStringLiteral("com%1").arg(port));
        QVERIFY(rig.ui().chuankou_num->toolTip().contains(link)); // and where else it looked:
        QVERIFY(port > 0 || rig.ui().chuankou_num->toolTip().contains(board::UserFolder()));
        rig.form->open_comm_Click();
        QCOMPARE(rig.messages.size(), 1);
        const QString text = rig.messages[0].text;
        QVERIFY2(text.contains(QStringLiteral("串口 %1").arg(port)) && text.contains(link) &&
                     text.contains(
                         target == "held" // this test holds it
                                          // its name whole, though the kernel keeps 15 bytes of it
                             ? QString("monitor_window_test（进程 %1）占用")
                                   .arg(QCoreApplication::applicationPid())
                             : target == "file" ? "无法打开设备" : "没有对应的设备") &&
                     !text.contains("/dev/tty"), // never the PC's own ports instead
                 qPrintable(text));
        QVERIFY(rig.ui().open_comm->text() == kCaptionOpen &&
                rig.form->session().Timer1().isActive());
    }
    // The focus order is in tests/apps, in the table of every control; a real click and key on a
    // spinner, one step each even when a box follows, in tests/e2e.
    void messageBoxShowsPlainText()
    {
        std::pair<Qt::TextFormat, QMessageBox::Icon> box{};
        QTimer::singleShot(0, [&] {
            if (auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box = {shown->textFormat(), shown->icon()}, shown->accept();
        });
        msgbox::Show({msgbox::Icon::Critical, "x", "<img src=\"/nonexistent\"><b>y</b>"});
        QCOMPARE(box, std::pair(Qt::PlainText, QMessageBox::Critical));
    }
};

QTEST_MAIN(MainFormTest)
#include "test_main_form.moc"
