// Kestrel's window over a real name file: names per address, the rename dialog, saves that fail,
// and a file that comes back.
#include "apps/kestrel/kestrel_form.h"
#include "apps/kestrel/name_form.h"
#include "monitor/widgets.h"
#include "naming/gbk.h"
#include "naming/module2.h"
#include "naming/name_file.h"
#include "support/window_rig.h"

#include <QLineEdit>
#include <QLockFile>
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
        QFile file(dir + "/name.txt");
        const QByteArray content =
            naming::DefaultNameFileContent().replace("=Kestrel", *naming::gbk::Encode("=" + title));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        QVERIFY(naming::WriteIniValue(file.fileName(),
                                      naming::AddressSection(QString::number(address)),
                                      naming::ChannelKey(channel), name));
    };
}

QString Stored(const QString& path, int address, int channel)
{
    return naming::ReadIniValue(path, naming::AddressSection(QString::number(address)),
                                naming::ChannelKey(channel));
}

} // namespace

class KestrelTest : public QObject
{
    Q_OBJECT

private slots:
    void namesFollowTheAddress()
    {
        WindowRig<KestrelForm> rig(Holding(7, 5, "泵<b>房</b>", ""));
        QVERIFY(rig.form->windowTitle().trimmed().isEmpty()); // not the application's name
        QCOMPARE(rig.ui().Label4[6]->text(),
                 QStringLiteral("第6路")); // address 1's, from the start
        rig.ui().VScroll1->setNumber(7);
        QCOMPARE(rig.ui().add->text(), QStringLiteral("7"));
        QCOMPARE(rig.ui().Label4[5]->text(), QStringLiteral("泵<b>房</b>"));
        rig.ui().add->setText("255"); // the spinner follows the box
        QCOMPARE(rig.ui().VScroll1->number(), 255);
        QCOMPARE(rig.ui().Label4[5]->text(), QStringLiteral("第5路"));
        QVERIFY(rig.messages.isEmpty());
    }

    void renameDialogStoresForTheClickedChannel()
    {
        WindowRig<KestrelForm> rig(Holding(3, 5, "旧名"));
        rig.ui().VScroll1->setNumber(3);
        rig.form->Label4_Click(5);
        kestrel::NameForm& dialog = *rig.form->nameForm();
        QCOMPARE(dialog.mingcheng()->text(), QStringLiteral("旧名"));
        QCOMPARE(dialog.window()->objectName() + dialog.window()->windowTitle(),
                 "name_form更改名称");
        rig.form->Label4_Click(6); // retargeted: the box shows channel 6's name
        QCOMPARE(dialog.mingcheng()->text(), QStringLiteral("第6路"));
        dialog.mingcheng()->setText("新名");
        QTest::mouseClick(dialog.Command_ok(), Qt::LeftButton);
        QTRY_COMPARE(QApplication::topLevelWidgets().size(), 1); // closed, and gone: not hidden
        QCOMPARE(Stored(rig.form->nameFilePath(), 3, 6), QStringLiteral("新名"));
        QCOMPARE(Stored(rig.form->nameFilePath(), 3, 5), QStringLiteral("旧名"));
        QCOMPARE(rig.ui().Label4[6]->text(), QStringLiteral("新名"));

        // Each opening starts from the layout, whatever the last one was moved or sized to.
        rig.form->Label4_Click(1);
        dialog.window()->setGeometry(300, 200, 500, 300);
        QTest::mouseClick(dialog.Command_cansel(), Qt::LeftButton);
        rig.form->Label4_Click(2);
        QCOMPARE(dialog.window()->size(), QSize(316, 126));
        QVERIFY(dialog.window()->geometry().topLeft() != QPoint(300, 200));
        QVERIFY(rig.messages.isEmpty());
    }

    // A save that cannot be made (another program holds the lock) keeps the dialog open with the
    // text, and says why.
    void failedSaveKeepsTheDialog()
    {
        WindowRig<KestrelForm> rig(Holding(1, 1, "旧名"));
        const QString path = rig.form->nameFilePath();
        QLockFile other(path + ".lock");
        QVERIFY(other.lock());
        rig.form->Label4_Click(1);
        rig.form->nameForm()->mingcheng()->setText("新名");
        rig.form->nameForm()->Command_ok_Click();
        QCOMPARE(rig.messages.size(), 1);
        QVERIFY2(rig.messages[0].text.contains("另一个程序正在保存"),
                 qPrintable(rig.messages[0].text));
        QCOMPARE(rig.form->nameForm()->mingcheng()->text(), QStringLiteral("新名"));
        QCOMPARE(Stored(path, 1, 1), QStringLiteral("旧名"));
    }

    // After a failed creation, names come back as soon as a usable file is there, with no box
    // for each reload in between.
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

    // A name file that cannot be read (mode 000; root, who reads it anyway, acts as nobody
    // meanwhile): the reason told once, the default names shown at start-up and at reloads, a
    // rename refused; the stored names once it can be read.
    void unreadableFile()
    {
        const bool root = ::geteuid() == 0;
        const auto asRoot = qScopeGuard([root] { std::ignore = root && ::seteuid(0); });
        WindowRig<KestrelForm> rig([root](const QString& dir) {
            Holding(2, 1, "泵房")(dir);
            QVERIFY(QFile::setPermissions(dir + "/name.txt", {}));
            QVERIFY(!root ||
                    (::chown(QFile::encodeName(dir), 65534, 65534) == 0 && ::seteuid(65534) == 0));
        });
        const auto names = [&] { return rig.ui().Label4[1]->text() + rig.ui().Label4[24]->text(); };
        QCOMPARE(names(), "第1路第24路");
        rig.ui().VScroll1->setNumber(2);
        QCOMPARE(names(), "第1路第24路");
        rig.form->Label4_Click(1);
        rig.form->nameForm()->Command_ok_Click();
        QVERIFY(!root || ::seteuid(0) == 0);
        QVERIFY(QFile::setPermissions(rig.form->nameFilePath(), QFile::ReadOwner));
        rig.form->add_Change(); // a reload
        QCOMPARE(names(), "泵房第24路");
        QCOMPARE(rig.messages.size(), 2);
        for (const msgbox::Message& told : rig.messages)
            QVERIFY2(told.text.contains(rig.form->nameFilePath() + "”：没有访问权限") &&
                         !told.text.contains("照旧"),
                     qPrintable(told.text));
    }
};

QTEST_MAIN(KestrelTest)
#include "test_kestrel.moc"
