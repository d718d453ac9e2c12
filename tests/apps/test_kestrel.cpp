// Kestrel's window over a real name file: names per address, the rename dialog, saves that fail,
// and a file that comes back.
#include "apps/kestrel/kestrel_form.h"
#include "apps/kestrel/name_form.h"
#include "apps/wrenfield/wrenfield_form.h"
#include "monitor/widgets.h"
#include "naming/gbk.h"
#include "naming/module2.h"
#include "naming/name_file.h"
#include "support/window_rig.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

#include <unistd.h>

using kestrel::KestrelForm;

namespace {

// Fills a program folder with the created name.txt, titled `title`, with one channel named.
std::function<void(const QString&)> Holding(int address, int channel, const QString& name,
                                            const QString& title = "Kestrel")
{
    return [=](const QString& dir) {
        Put(dir + "/name.txt", naming::DefaultNameFileContent().replace(
                                   "=Kestrel", *naming::gbk::Encode("=" + title)));
        QVERIFY(naming::WriteIniValue(dir + "/name.txt", QString("地址码%1").arg(address),
                                      naming::ChannelKey(channel), name));
    };
}

// Every named object of a window, sorted: "name x,y,w,h" for a control (the window's own entry
// "name WxH"), then its font's pixel size if it sets one and a plain label's alignment, L or R;
// and "focus" with the controls in Tab order.
QStringList Controls(QWidget* window)
{
    QStringList found{window->objectName() +
                      QString::asprintf(" %dx%d", window->width(), window->height())};
    for (const QObject* object : window->findChildren<QObject*>(QRegularExpression("."))) {
        QString entry = object->objectName();
        if (const auto* w = qobject_cast<const QWidget*>(object)) {
            const QRect g = w->geometry();
            entry += QString::asprintf(" %d,%d,%d,%d", g.x(), g.y(), g.width(), g.height());
            if (w->font().pixelSize() > 0)
                entry += QString::asprintf(" %d", w->font().pixelSize());
            if (const auto* label = qobject_cast<const QLabel*>(w)) // texts are never markup
                entry += label->textFormat() != Qt::PlainText  ? " rich"
                         : label->alignment() & Qt::AlignRight ? " R"
                                                               : " L";
        }
        found << entry;
    }
    QString tab = "focus"; // the Tab order from the control that has the focus at first
    for (QWidget* w = window->focusWidget(); w && !tab.contains(w->objectName() + ' ');
         w = w->nextInFocusChain())
        tab += w->focusPolicy() & Qt::TabFocus ? ' ' + w->objectName() : "";
    found << tab;
    found.sort();
    return found;
}

// Both main windows as laid out, in pixels: the controls above the lamps, then for each channel
// its lamp's left and top, Kestrel's name label's left, top and width, and Wrenfield's caption's.
const QString kTop = "main_form 534x713|Timer1|MSComm1|Label3 8,8,89,25 21 L|chuankou_num "
                     "112,8,25,25 20|VScroll2 136,8,25,25|open_comm 256,8,97,25 21|Label5 "
                     "8,56,89,25 21 L|add 112,56,46,25 20|VScroll1 154,56,25,25";
const QStringList kChannelPlaces =
    QString("135,105 8,120,121 71,119,65|135,154 8,168,121 71,167,65|135,203 7,215,121 71,215,65|"
            "135,252 7,263,121 71,263,65|135,301 7,311,121 71,311,65|135,350 7,359,121 71,359,65|"
            "135,399 7,408,121 71,407,65|135,447 7,456,121 71,455,65|133,497 6,504,121 70,504,65|"
            "133,546 6,553,121 70,553,65|133,595 8,602,121 49,602,81|133,644 8,651,121 49,651,81|"
            "259,105 357,116,161 357,116,89|259,154 357,161,161 357,161,97|"
            "259,203 357,210,161 357,210,89|259,252 357,259,161 357,259,89|"
            "259,301 357,308,161 357,308,89|259,350 357,358,161 357,358,89|"
            "259,399 357,407,161 357,407,89|259,448 357,455,161 357,455,89|"
            "259,497 357,505,166 357,505,110|259,546 357,560,166 357,560,110|"
            "259,595 357,603,167 357,603,103|259,644 357,651,167 357,651,103")
        .split('|');

QStringList Expected(bool kestrel)
{
    QStringList expected = kTop.split('|');
    QString tab = "focus chuankou_num open_comm add VScroll1 VScroll2";
    for (int ch = 1; ch <= 24; ++ch) {
        const QStringList place = kChannelPlaces[ch - 1].split(' ');
        const QString n = QString::number(ch);
        expected << "Picture1_" + n + " " + place[0] + ",89,41 L"
                 << "Label2_" + n + (ch == 9 ? " 0,7" : " 0,8") + ",81,25 20 L"
                 << "Label4_" + n + " " + place[kestrel ? 1 : 2] + ",25 20 " +
                        (kestrel && ch <= 12 ? "R" : "L");
        tab += " Picture1_" + n;
    }
    expected << tab;
    expected.sort();
    return expected;
}

} // namespace

class KestrelTest : public QObject
{
    Q_OBJECT

private slots:
    void layout()
    {
        WindowRig<KestrelForm> kestrel;
        WindowRig<console::WrenfieldForm> wrenfield;
        kestrel.form->Label4_Click(1);
        QCOMPARE(Controls(kestrel.form.get()), Expected(true));
        QCOMPARE(Controls(wrenfield.form.get()), Expected(false));
        QCOMPARE(Controls(kestrel.form->nameForm()->window()),
                 QStringList({"Command_cansel 176,88,65,25", "Command_ok 80,88,65,25",
                              "focus mingcheng Command_ok Command_cansel",
                              "mingcheng 64,24,209,41 32", "name_form 316x126"}));
    }

    // Names per address, and the rename dialog storing under the address and channel clicked.
    void namesAndRenames()
    {
        WindowRig<KestrelForm> rig(Holding(3, 5, "旧<b>名</b>", ""));
        QVERIFY(rig.form->windowTitle().trimmed().isEmpty()); // not the application's name
        QCOMPARE(rig.ui().Label4[5]->text(), "第5路");        // address 1's, from the start
        rig.ui().VScroll1->setNumber(3);                      // through the box's text
        QCOMPARE(rig.ui().Label4[5]->text(), QStringLiteral("旧<b>名</b>"));
        rig.form->Label4_Click(5);
        kestrel::NameForm& dialog = *rig.form->nameForm();
        QCOMPARE(dialog.mingcheng()->text(), QStringLiteral("旧<b>名</b>"));
        QVERIFY(dialog.window()->isVisible() && dialog.window()->windowTitle() == "更改名称");
        rig.form->Label4_Click(6); // retargeted: the box shows channel 6's name
        QCOMPARE(dialog.mingcheng()->text(), QStringLiteral("第6路"));
        dialog.mingcheng()->setText("新名");
        QTest::mouseClick(dialog.Command_ok(), Qt::LeftButton);
        QTRY_COMPARE(QApplication::topLevelWidgets().size(), 1); // closed, and gone: not hidden
        const auto stored = naming::ChannelNames(naming::ReadFile(rig.form->nameFilePath()), 3);
        QVERIFY(stored[5] == "新名" && stored[4] == "旧<b>名</b>");
        QCOMPARE(rig.ui().Label4[6]->text(), QStringLiteral("新名"));
        rig.form->Label4_Click(1); // Cancel closes it too (each opening is laid out anew)
        QTest::mouseClick(dialog.Command_cansel(), Qt::LeftButton);
        QVERIFY(!dialog.window() && rig.messages.isEmpty());
        rig.ui().VScroll1->setNumber(255);
        QCOMPARE(rig.ui().Label4[6]->text(), "第6路");
    }

    void namesComeBackAfterAFailedCreation()
    {
        WindowRig<KestrelForm> rig([](const QString& dir) { QDir(dir).mkdir("name.txt.lock"); });
        QCOMPARE(rig.messages.size(), 2); // the missing file, then why it could not be made
        rig.ui().VScroll1->setNumber(2);
        QCOMPARE(rig.ui().Label4[1]->text(), QString());
        QVERIFY(QDir(rig.dir.path()).rmdir("name.txt.lock"));
        Holding(3, 1, "回来了")(rig.dir.path());
        rig.ui().VScroll1->setNumber(3);
        QCOMPARE(rig.ui().Label4[1]->text(), QStringLiteral("回来了"));
        QCOMPARE(rig.messages.size(), 2);
    }

    // A file that goes after a good start is told at the next reload.
    void fileGoneLaterIsTold()
    {
        WindowRig<KestrelForm> rig(Holding(2, 1, "泵房"));
        QVERIFY(rig.messages.isEmpty() && QFile::remove(rig.dir.filePath("name.txt")));
        rig.ui().VScroll1->setNumber(2);
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].text, rig.dir.filePath("name.txt") + " not found.");
    }

    // A name file that cannot be read (mode 000; root, who reads it anyway, acts as nobody
    // meanwhile): the reason told once, the default names shown at start-up and at reloads, a
    // rename refused with the dialog kept; the stored names once it can be read.
    void unreadableFile()
    {
        const bool root = ::geteuid() == 0;
        const auto asRoot = qScopeGuard([root] { std::ignore = root && ::seteuid(0); });
        WindowRig<KestrelForm> rig([root](const QString& dir) {
            Holding(2, 1, "泵房")(dir);
            QVERIFY(QFile::setPermissions(dir + "/name.txt", {}) &&
                    (!root || (::chown(QFile::encodeName(dir), 65534, 65534) == 0 &&
                               ::seteuid(65534) == 0)));
        });
        rig.ui().VScroll1->setNumber(2);
        QCOMPARE(rig.ui().Label4[1]->text() + rig.ui().Label4[24]->text(), "第1路第24路");
        rig.form->Label4_Click(1);
        rig.form->nameForm()->mingcheng()->setText("新名");
        rig.form->nameForm()->Command_ok_Click();
        QCOMPARE(rig.form->nameForm()->mingcheng()->text(), "新名");
        QVERIFY(!root || ::seteuid(0) == 0);
        QVERIFY(QFile::setPermissions(rig.form->nameFilePath(), QFile::ReadOwner));
        rig.form->add_Change(); // a reload
        QCOMPARE(rig.ui().Label4[1]->text() + rig.ui().Label4[24]->text(), "泵房第24路");
        QCOMPARE(rig.messages.size(), 2);
        for (const msgbox::Message& told : rig.messages)
            QVERIFY2(told.text.contains(rig.form->nameFilePath() + "”：没有访问权限") &&
                         !told.text.contains("照旧"),
                     qPrintable(told.text));
    }
};

QTEST_MAIN(KestrelTest)
#include "test_kestrel.moc"
