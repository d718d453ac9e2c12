// name_form in-process (offscreen): its layout and the rename flows, with
// the message seam recording.
#include "naming/module2.h"
#include "naming/name_file.h"
#include "naming/name_form.h"
#include "naming_test_util.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace naming_test;

class NameFormTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;
    int stores_ = 0; // calls of the after-store callback (the main window's add_Change)
    std::unique_ptr<naming::NameForm> form_;

    QString Stored(const QString& address, int channel) const
    {
        return naming::LoadChannelNames(path_, address)[size_t(channel - 1)];
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        path_ = naming::NameFilePath(dir_->path());
        QVERIFY(WriteBytes(path_, naming::DefaultNameFileContent()));
        stores_ = 0;
        form_ = std::make_unique<naming::NameForm>(path_, [this] { ++stores_; });
    }
    void cleanup()
    {
        form_.reset();
        dir_.reset();
    }

    void layout()
    {
        naming::NameForm& f = *form_;
        QCOMPARE(f.objectName(), QStringLiteral("name_form"));
        QCOMPARE(f.windowTitle(), QStringLiteral("更改名称"));
        QVERIFY(f.isWindow());
        QVERIFY(!f.parentWidget());
        QCOMPARE(f.windowModality(), Qt::NonModal);
        QCOMPARE(f.size(), QSize(316, 126));
        QVERIFY(f.minimumSize() != f.maximumSize()); // resizable
        QCOMPARE(f.mingcheng()->objectName(), QStringLiteral("mingcheng"));
        QCOMPARE(f.mingcheng()->geometry(), QRect(64, 24, 209, 41));
        QCOMPARE(f.mingcheng()->text(), QStringLiteral("Text1"));
        QVERIFY(!f.mingcheng()->isReadOnly());
        QCOMPARE(f.mingcheng()->font().pixelSize(), 32);
        QCOMPARE(f.mingcheng()->font().families(),
                 (QStringList{"SimSun", "宋体", "AR PL UMing CN", "WenQuanYi Zen Hei"}));
        QVERIFY(!f.mingcheng()->font().bold() && !f.mingcheng()->font().italic());
        QCOMPARE(f.Command_ok()->objectName(), QStringLiteral("Command_ok"));
        QCOMPARE(f.Command_ok()->geometry(), QRect(80, 88, 65, 25));
        QCOMPARE(f.Command_ok()->text(), QStringLiteral("确 定"));
        QCOMPARE(f.Command_cansel()->objectName(), QStringLiteral("Command_cansel"));
        QCOMPARE(f.Command_cansel()->geometry(), QRect(176, 88, 65, 25));
        QCOMPARE(f.Command_cansel()->text(), QStringLiteral("取 消"));
        for (QPushButton* b : {f.Command_ok(), f.Command_cansel()})
            QVERIFY(!b->isDefault() && !b->autoDefault());
        QCOMPARE(f.mingcheng()->nextInFocusChain(), f.Command_ok());
        QCOMPARE(f.Command_ok()->nextInFocusChain(), f.Command_cansel());

        f.OpenFor("1", 1);
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(QApplication::focusWidget(), f.mingcheng());
    }

    void okStoresUnderTheClickedAddressAndChannel()
    {
        MessageRecorder recorder;
        QVERIFY(naming::WriteIniValue(path_, "地址码3", "第5路名称", "进水泵"));
        form_->OpenFor("3", 5);
        QVERIFY(form_->isVisible() && form_->isLoaded());
        QCOMPARE(form_->add(), QStringLiteral("3"));
        QCOMPARE(form_->xianlu(), QStringLiteral("5"));
        QCOMPARE(form_->property("add").toString(), QStringLiteral("3"));
        QCOMPARE(form_->mingcheng()->text(), QStringLiteral("进水泵"));
        form_->mingcheng()->setText(QStringLiteral("出水泵乗丄"));
        QTest::mouseClick(form_->Command_ok(), Qt::LeftButton);
        QCOMPARE(Stored("3", 5), QStringLiteral("出水泵乗丄"));
        QCOMPARE(Stored("3", 4), QStringLiteral("第4路"));
        QCOMPARE(stores_, 1);
        QVERIFY(!form_->isVisible() && !form_->isLoaded());
        QVERIFY(recorder.messages.empty());
    }

    void cancelAndCloseStoreNothing()
    {
        const QByteArray before = ReadBytes(path_);
        form_->OpenFor("1", 2);
        form_->mingcheng()->setText("changed");
        QTest::mouseClick(form_->Command_cansel(), Qt::LeftButton);
        QVERIFY(!form_->isVisible() && !form_->isLoaded());
        form_->OpenFor("1", 2);
        QCOMPARE(form_->mingcheng()->text(), QStringLiteral("第2路")); // unloaded: loaded anew
        form_->mingcheng()->setText("changed");
        QVERIFY(form_->close()); // the window's close button
        QVERIFY(!form_->isLoaded());
        QCOMPARE(ReadBytes(path_), before);
        QCOMPARE(stores_, 0);
    }

    void enterAndEscDoNothing()
    {
        const QByteArray before = ReadBytes(path_);
        form_->OpenFor("1", 3);
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        form_->mingcheng()->setText("typed");
        QTest::keyClick(form_->mingcheng(), Qt::Key_Return);
        QTest::keyClick(form_->mingcheng(), Qt::Key_Enter);
        QTest::keyClick(form_->mingcheng(), Qt::Key_Escape);
        QVERIFY(form_->isVisible() && form_->isLoaded());
        QCOMPARE(form_->mingcheng()->text(), QStringLiteral("typed"));
        QCOMPARE(ReadBytes(path_), before);
        QCOMPARE(stores_, 0);
    }

    void addressAbove255KeepsText1()
    {
        MessageRecorder recorder;
        form_->OpenFor("300", 1);
        QCOMPARE(form_->mingcheng()->text(), QStringLiteral("Text1"));
        QVERIFY(recorder.messages.empty());
    }

    void retargetingReloadsTheBox()
    {
        QVERIFY(naming::WriteIniValue(path_, "地址码1", "第6路名称", "六号"));
        form_->OpenFor("1", 5);
        form_->mingcheng()->setText("meant for five");
        form_->OpenFor("1", 5); // the same label again: the typed text stays
        QCOMPARE(form_->mingcheng()->text(), QStringLiteral("meant for five"));
        form_->OpenFor("1", 6); // another label: the box shows channel 6's name
        QCOMPARE(form_->mingcheng()->text(), QStringLiteral("六号"));
        form_->OpenFor("2", 6); // another address: reloaded too
        QCOMPARE(form_->mingcheng()->text(), QStringLiteral("第6路"));
        form_->mingcheng()->setText(QStringLiteral("二号六路"));
        QTest::mouseClick(form_->Command_ok(), Qt::LeftButton);
        QCOMPARE(Stored("2", 6), QStringLiteral("二号六路"));
        QCOMPARE(Stored("1", 6), QStringLiteral("六号"));
        QCOMPARE(Stored("1", 5), QStringLiteral("第5路"));
    }

    void addressIsTheOneOfTheClick()
    {
        form_->OpenFor("4", 1);
        // The main window's address box changes afterwards; the dialog keeps its copy.
        form_->mingcheng()->setText("x");
        QTest::mouseClick(form_->Command_ok(), Qt::LeftButton);
        QCOMPARE(Stored("4", 1), QStringLiteral("x"));
    }

    void emptyAndLongNames()
    {
        form_->OpenFor("1", 1);
        form_->mingcheng()->clear();
        QTest::mouseClick(form_->Command_ok(), Qt::LeftButton);
        QVERIFY(ReadBytes(path_).contains(Gbk(QStringLiteral("\r\n第1路名称=\r\n"))));
        QCOMPARE(Stored("1", 1), QString());

        const QString longName = QString(200, QChar(0x6CF5));
        form_->OpenFor("1", 2);
        form_->mingcheng()->setText(longName);
        QTest::mouseClick(form_->Command_ok(), Qt::LeftButton);
        QVERIFY(ReadBytes(path_).contains(Gbk(longName))); // stored whole
        form_->OpenFor("1", 2);
        QCOMPARE(form_->mingcheng()->text(), longName.left(127)); // read back cut
    }

    void nameGbkCannotHoldIsRefused()
    {
        const QByteArray before = ReadBytes(path_);
        MessageRecorder recorder;
        form_->OpenFor("1", 1);
        form_->mingcheng()->setText(QStringLiteral("泵ä😀"));
        QTest::mouseClick(form_->Command_ok(), Qt::LeftButton);
        QCOMPARE(recorder.messages.size(), size_t(1));
        QVERIFY(recorder.messages[0].text.contains(QStringLiteral("“ä”“😀”")));
        QVERIFY(!recorder.messages[0].text.contains(QStringLiteral("“泵”")));
        QVERIFY(form_->isVisible());
        QCOMPARE(form_->mingcheng()->text(), QStringLiteral("泵ä😀"));
        QCOMPARE(ReadBytes(path_), before);
        QCOMPARE(stores_, 0);
    }

    void failedWriteIsReportedAndTheDialogStays()
    {
        const QByteArray before = ReadBytes(path_);
        MessageRecorder recorder;
        form_->OpenFor("1", 1);
        form_->mingcheng()->setText(QStringLiteral("新名"));
        {
            FileSizeLimit limit(4096); // the 115 KB file cannot be written again
            QTest::mouseClick(form_->Command_ok(), Qt::LeftButton);
        }
        QCOMPARE(recorder.messages.size(), size_t(1));
        QCOMPARE(recorder.messages[0].icon, msgbox::Icon::Critical);
        QVERIFY(recorder.messages[0].text.contains(path_));
        QVERIFY(recorder.messages[0].text.contains(QStringLiteral("文件超过了允许的大小")));
        QVERIFY(form_->isVisible());
        QCOMPARE(form_->mingcheng()->text(), QStringLiteral("新名"));
        QCOMPARE(ReadBytes(path_), before);
        QCOMPARE(stores_, 0);
        QCOMPARE(Entries(dir_->path()), QStringList{"name.txt"});
    }

    void vanishedFileIsReportedAndNotCreated()
    {
        MessageRecorder recorder;
        form_->OpenFor("1", 1);
        QVERIFY(QFile::remove(path_));
        form_->mingcheng()->setText(QStringLiteral("新名"));
        QTest::mouseClick(form_->Command_ok(), Qt::LeftButton);
        QCOMPARE(recorder.messages.size(), size_t(2));
        QCOMPARE(recorder.messages[0].text, path_ + " not found.");
        QVERIFY(recorder.messages[1].text.contains(QStringLiteral("不存在")));
        QVERIFY(form_->isVisible());
        QCOMPARE(stores_, 0);
        QVERIFY(!QFile::exists(path_));
    }

    void missingFileWhenOpening()
    {
        QVERIFY(QFile::remove(path_));
        MessageRecorder recorder;
        form_->OpenFor("1", 1);
        QCOMPARE(recorder.messages.size(), size_t(1));
        QCOMPARE(recorder.messages[0].title, QStringLiteral("File Not Found"));
        QCOMPARE(form_->mingcheng()->text(), QString());
    }
};

QTEST_MAIN(NameFormTest)
#include "naming_name_form_test.moc"
