// Kestrel's window with its names, in-process over real files: start-up, address changes and
// renaming through the dialog.
#include "monitor/window_rig.h"

#include "apps/kestrel/kestrel_form.h"
#include "monitor/widgets.h"
#include "naming/module2.h"
#include "naming/name_file.h"
#include "naming/name_form.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

using Rig = WindowRig<kestrel::KestrelForm>;

QString NameFile(const Rig& rig)
{
    return rig.dir.filePath(QStringLiteral("name.txt"));
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QStringList Names(const Rig& rig)
{
    QStringList names;
    for (int ch = 1; ch <= 24; ++ch)
        names << rig.ui().Label4[ch]->text();
    return names;
}

QStringList DefaultNames()
{
    QStringList names;
    for (int ch = 1; ch <= 24; ++ch)
        names << QStringLiteral("第%1路").arg(ch);
    return names;
}

} // namespace

class TestKestrelForm : public QObject
{
    Q_OBJECT

    static std::unique_ptr<Rig> Start(const std::function<void(const QString& dir)>& prepare = {})
    {
        return std::make_unique<Rig>(prepare);
    }

private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Kestrel 通道监视")); }

    void firstStartCreatesTheFileAndShowsAddressOne()
    {
        const auto rig = Start();
        QCOMPARE(rig->messages.size(), 2);
        QCOMPARE(rig->messages[0].title, QStringLiteral("File Not Found"));
        QCOMPARE(rig->messages[0].text, NameFile(*rig) + QStringLiteral(" not found."));
        QCOMPARE(rig->messages[0].icon, msgbox::Icon::Critical);
        QCOMPARE(rig->messages[1].text, QStringLiteral("名称文件被创建。"));
        QCOMPARE(rig->messages[1].icon, msgbox::Icon::None);
        QCOMPARE(rig->messages[1].title, QStringLiteral("Kestrel 通道监视"));
        QCOMPARE(rig->form->windowTitle(), QStringLiteral("Kestrel"));
        QCOMPARE(Names(*rig), DefaultNames());
        QCOMPARE(ReadAll(NameFile(*rig)), naming::DefaultNameFileContent());
    }

    void anInitialisedFileIsOnlyRead()
    {
        QByteArray content = naming::DefaultNameFileContent();
        // A title edited by hand, in GBK: 检测站
        content.replace(QByteArray("=Kestrel"), QByteArray::fromHex("3DBCECB2E2D5BE"));
        QDateTime stamp;
        const auto rig = Start([&](const QString& dir) {
            Write(QDir(dir).filePath(QStringLiteral("name.txt")), content);
            stamp = QFileInfo(QDir(dir).filePath(QStringLiteral("name.txt"))).lastModified();
        });
        QVERIFY(rig->messages.isEmpty());
        QCOMPARE(rig->form->windowTitle(), QStringLiteral("检测站"));
        QCOMPARE(Names(*rig), DefaultNames());
        QCOMPARE(ReadAll(NameFile(*rig)), content);
        QCOMPARE(QFileInfo(NameFile(*rig)).lastModified(), stamp);
    }

    void addressChangesReloadTheNames()
    {
        const auto rig = Start([](const QString& dir) {
            const QString path = QDir(dir).filePath(QStringLiteral("name.txt"));
            // Address 7 holds one name of its own; address 3 has lost two keys; 地址码9 is gone.
            QByteArray content =
                naming::DefaultNameFileContent().replace("\r\n[\xb5\xd8\xd6\xb7\xc2\xeb"
                                                         "9]\r\n",
                                                         "\r\n[x9]\r\n");
            Write(path, content);
            QVERIFY(naming::WriteIniValue(path, QStringLiteral("地址码7"),
                                          QStringLiteral("第5路名称"), QStringLiteral("进料泵")));
        });
        QVERIFY(rig->messages.isEmpty());

        rig->ui().VScroll1->setNumber(7);
        QCOMPARE(rig->ui().add->text(), QStringLiteral("7"));
        QStringList expected = DefaultNames();
        expected[4] = QStringLiteral("进料泵");
        QCOMPARE(Names(*rig), expected);

        rig->ui().VScroll1->setNumber(9); // a section missing: empty labels, no message
        QCOMPARE(Names(*rig), QStringList(24, QString()));
        QVERIFY(rig->messages.isEmpty());

        for (int address : {0, 255}) {
            rig->ui().VScroll1->setNumber(address);
            QCOMPARE(Names(*rig), DefaultNames());
        }

        // The file removed while running: one message for the reload, not one per channel.
        QFile::remove(NameFile(*rig));
        rig->ui().VScroll1->setNumber(1);
        QCOMPARE(rig->messages.size(), 1);
        QCOMPARE(rig->messages[0].title, QStringLiteral("File Not Found"));
        QCOMPARE(Names(*rig), QStringList(24, QString()));
    }

    void renamingThroughTheDialog()
    {
        const auto rig = Start([](const QString& dir) {
            Write(QDir(dir).filePath(QStringLiteral("name.txt")), naming::DefaultNameFileContent());
        });
        rig->ui().VScroll1->setNumber(3);

        QTest::mouseClick(rig->ui().Label4[5], Qt::LeftButton);
        naming::NameForm* dialog = rig->form->nameForm();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->mingcheng()->text(), QStringLiteral("第5路"));
        dialog->mingcheng()->setText(QStringLiteral("出料阀"));
        QTest::mouseClick(dialog->Command_ok(), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(rig->ui().Label4[5]->text(), QStringLiteral("出料阀"));
        QCOMPARE(naming::ReadIniValue(NameFile(*rig), QStringLiteral("地址码3"),
                                      QStringLiteral("第5路名称")),
                 QStringLiteral("出料阀"));

        // The address moves on while the dialog is open: the name goes where the click was.
        QTest::mouseClick(rig->ui().Label4[6], Qt::LeftButton);
        QCOMPARE(rig->form->nameForm(), dialog); // one dialog for the run
        rig->ui().VScroll1->setNumber(4);
        dialog->mingcheng()->setText(QStringLiteral("备用"));
        // A click on another label retargets the dialog, and the box follows the new channel.
        rig->ui().VScroll1->setNumber(3);
        QTest::mouseClick(rig->ui().Label4[7], Qt::LeftButton);
        QCOMPARE(dialog->mingcheng()->text(), QStringLiteral("第7路"));
        rig->ui().VScroll1->setNumber(4);
        dialog->mingcheng()->setText(QStringLiteral("备用"));
        QTest::mouseClick(dialog->Command_ok(), Qt::LeftButton);
        QCOMPARE(naming::LoadChannelNames(NameFile(*rig), QStringLiteral("3"))[6],
                 QStringLiteral("备用"));
        QCOMPARE(naming::LoadChannelNames(NameFile(*rig), QStringLiteral("3"))[5],
                 QStringLiteral("第6路"));
        QCOMPARE(rig->ui().Label4[7]->text(), QStringLiteral("第7路")); // address 4 is shown

        // Cancel stores nothing.
        const QByteArray before = ReadAll(NameFile(*rig));
        QTest::mouseClick(rig->ui().Label4[1], Qt::LeftButton);
        dialog->mingcheng()->setText(QStringLiteral("不要"));
        QTest::mouseClick(dialog->Command_cansel(), Qt::LeftButton);
        QCOMPARE(ReadAll(NameFile(*rig)), before);
        QCOMPARE(rig->ui().Label4[1]->text(), QStringLiteral("第1路"));
        QVERIFY(rig->messages.isEmpty());
    }

    void aFileThatCannotBeMadeIsReportedOnce()
    {
        const auto rig = Start([](const QString& dir) {
            QVERIFY(QDir(dir).mkdir(QStringLiteral("name.txt"))); // in the way of the file
        });
        QCOMPARE(rig->messages.size(), 2); // the missing file, then why it could not be made
        QVERIFY(rig->messages[1].text.contains(NameFile(*rig)));
        QVERIFY(!rig->messages[1].text.contains(QStringLiteral("名称文件被创建。")));
        QCOMPARE(Names(*rig), QStringList(24, QString()));
        rig->ui().VScroll1->setNumber(2);
        QCOMPARE(rig->messages.size(), 2);
        QCOMPARE(Names(*rig), QStringList(24, QString()));
    }
};

QTEST_MAIN(TestKestrelForm)
#include "test_kestrel_form.moc"
