// name.txt: creation byte for byte, its messages, the marker, completion, failed creation and the
// loading of the 24 names of an address.
#include "naming/ini_bytes.h"
#include "naming/module2.h"
#include "naming/name_file.h"
#include "naming_test_util.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace naming_test;

namespace {

const QByteArray kCreatedSha256 =
    "0e5189d25463990ee6af26bf6c2b456b010ac9f06a63745302fdc08c9be6a0bc";

QString CreatedMessage()
{
    return QStringLiteral("名称文件被创建。");
}

void CheckDefaultNames(const std::array<QString, naming::kChannelCount>& names)
{
    for (int i = 1; i <= naming::kChannelCount; ++i)
        QCOMPARE(names[size_t(i - 1)], QStringLiteral("第%1路").arg(i));
}

} // namespace

class NameFileTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Kestrel 测试")); }

    void defaultContentIsTheOriginalsBytes()
    {
        const QByteArray content = naming::DefaultNameFileContent();
        QCOMPARE(content.size(), qsizetype(115372));
        QCOMPARE(Sha256Hex(content), kCreatedSha256);
        QVERIFY(content.startsWith(
            Gbk(QStringLiteral("[软件属性]\r\n名称=Kestrel\r\n[地址码0]\r\n第1路名称=第1路\r\n"))));
        QVERIFY(content.endsWith(Gbk(QStringLiteral("[地址码255]\r\n")) + [] {
            QByteArray tail;
            for (int i = 1; i <= 24; ++i)
                tail += Gbk(QStringLiteral("第%1路名称=第%1路\r\n").arg(i));
            return tail;
        }()));
    }

    void firstStartCreatesTheFileWithTwoMessages()
    {
        QTemporaryDir dir;
        const QString path = naming::NameFilePath(dir.path());
        MessageRecorder recorder;
        const naming::NameFileStart start = naming::InitNameFile(path);
        QCOMPARE(start.title, QStringLiteral("Kestrel"));
        QVERIFY(start.namesLoadable);
        QCOMPARE(recorder.messages.size(), size_t(2));
        QCOMPARE(recorder.messages[0].icon, msgbox::Icon::Critical);
        QCOMPARE(recorder.messages[0].title, QStringLiteral("File Not Found"));
        QCOMPARE(recorder.messages[0].text, path + " not found.");
        QCOMPARE(recorder.messages[1].icon, msgbox::Icon::None);
        QCOMPARE(recorder.messages[1].title, msgbox::ApplicationTitle());
        QCOMPARE(recorder.messages[1].text, CreatedMessage());
        const QByteArray bytes = ReadBytes(path);
        QCOMPARE(bytes.size(), qsizetype(115372));
        QCOMPARE(Sha256Hex(bytes), kCreatedSha256);
        QCOMPARE(Entries(dir.path()), QStringList{"name.txt"});

        recorder.messages.clear();
        CheckDefaultNames(naming::LoadChannelNames(path, "1"));
        CheckDefaultNames(naming::LoadChannelNames(path, "7"));
        CheckDefaultNames(naming::LoadChannelNames(path, "0"));
        CheckDefaultNames(naming::LoadChannelNames(path, "255"));
        QVERIFY(recorder.messages.empty());
    }

    void laterStartWritesNothing()
    {
        QTemporaryDir dir;
        const QString path = naming::NameFilePath(dir.path());
        QVERIFY(WriteBytes(path, naming::DefaultNameFileContent()));
        Backdate(path);
        const Stamp before = StampOf(path);
        MessageRecorder recorder;
        QCOMPARE(naming::InitNameFile(path).title, QStringLiteral("Kestrel"));
        QVERIFY(recorder.messages.empty());
        QVERIFY(StampOf(path) == before);
    }

    void titleComesFromTheFile()
    {
        QTemporaryDir dir;
        const QString path = naming::NameFilePath(dir.path());
        QByteArray content = naming::DefaultNameFileContent();
        content.replace(Gbk(QStringLiteral("名称=Kestrel")),
                        Gbk(QStringLiteral("名称=一号泵站监视")));
        QVERIFY(WriteBytes(path, content));
        QCOMPARE(naming::InitNameFile(path).title, QStringLiteral("一号泵站监视"));

        content.replace(Gbk(QStringLiteral("名称=一号泵站监视\r\n")), QByteArray());
        QVERIFY(WriteBytes(path, content));
        MessageRecorder recorder;
        QCOMPARE(naming::InitNameFile(path).title, QString());
        QVERIFY(recorder.messages.empty());
        QCOMPARE(ReadBytes(path), content); // an initialised file is not written
    }

    void markerAloneCountsAsInitialised()
    {
        QTemporaryDir dir;
        const QString path = naming::NameFilePath(dir.path());
        const QByteArray content = Gbk(QStringLiteral("[地址码0]\r\n第1路名称=甲\r\n"));
        QVERIFY(WriteBytes(path, content));
        MessageRecorder recorder;
        const naming::NameFileStart start = naming::InitNameFile(path);
        QCOMPARE(start.title, QString());
        const auto names = naming::LoadChannelNames(path, "1");
        for (const QString& name : names)
            QVERIFY(name.isEmpty());
        QCOMPARE(naming::LoadChannelNames(path, "0")[0], QStringLiteral("甲"));
        QVERIFY(recorder.messages.empty());
        QCOMPARE(ReadBytes(path), content);
    }

    void fileWithoutMarkerIsCompletedKeepingStoredNames()
    {
        QTemporaryDir dir;
        const QString path = naming::NameFilePath(dir.path());
        // A hand-edited file: LF endings, a comment, the marker header with a trailing blank.
        const QByteArray before = Gbk(QStringLiteral("; 泵站\n[软件属性]\n名称=二号站\n\n"
                                                     "[地址码3]\n第5路名称=进水泵\n第6路名称=\n\n"
                                                     "[地址码0] \n第1路名称=乗丄乤\n"));
        QVERIFY(WriteBytes(path, before));
        MessageRecorder recorder;
        const naming::NameFileStart start = naming::InitNameFile(path);
        QCOMPARE(start.title, QStringLiteral("二号站"));
        QVERIFY(start.namesLoadable);
        QCOMPARE(recorder.messages.size(), size_t(1));
        QCOMPARE(recorder.messages[0].text, CreatedMessage());
        recorder.messages.clear();

        const QByteArray after = ReadBytes(path);
        QVERIFY(!after.contains('\r')); // new lines end like the file's
        // Stored names kept; missing keys of existing sections added after their last line.
        QVERIFY(after.startsWith(
            Gbk(QStringLiteral("; 泵站\n[软件属性]\n名称=二号站\n\n"
                               "[地址码3]\n第5路名称=进水泵\n第6路名称=\n第1路名称=第1路\n"))));
        const auto three = naming::LoadChannelNames(path, "3");
        QCOMPARE(three[4], QStringLiteral("进水泵"));
        QCOMPARE(three[5], QString());
        QCOMPARE(three[6], QStringLiteral("第7路"));
        // "[地址码0] " names section 地址码0 for profile reads: its stored name is kept.
        QCOMPARE(naming::LoadChannelNames(path, "0")[0], QStringLiteral("乗丄乤"));
        CheckDefaultNames(naming::LoadChannelNames(path, "255"));
        QVERIFY(recorder.messages.empty());

        // Every address section and the title key are there now.
        for (int address = 0; address < naming::kAddressCount; ++address)
            QVERIFY(
                !naming::ReadIniValue(path, QStringLiteral("地址码%1").arg(address), "第24路名称")
                     .isEmpty());
        // The marker line now exists only if the section had to be added: here it did not.
        QCOMPARE(naming::InitNameFile(path).title, QStringLiteral("二号站"));
        QVERIFY(recorder.messages.empty()); // nothing left to add: no message, no write
    }

    void completionAddsTheMarkerSectionWhenItIsMissing()
    {
        QTemporaryDir dir;
        const QString path = naming::NameFilePath(dir.path());
        const QByteArray before = Gbk(QStringLiteral("[地址码9]\r\n第2路名称=乙"));
        QVERIFY(WriteBytes(path, before));
        MessageRecorder recorder;
        QCOMPARE(naming::InitNameFile(path).title, QStringLiteral("Kestrel"));
        const QByteArray after = ReadBytes(path);
        QVERIFY(after.startsWith(
            Gbk(QStringLiteral("[地址码9]\r\n第2路名称=乙\r\n第1路名称=第1路\r\n"))));
        QVERIFY(
            after.contains(Gbk(QStringLiteral("\r\n[软件属性]\r\n名称=Kestrel\r\n[地址码0]\r\n"))));
        QVERIFY(naming::IniSectionExists(path, "地址码0"));
        QCOMPARE(naming::LoadChannelNames(path, "9")[1], QStringLiteral("乙"));
        QCOMPARE(recorder.messages.size(), size_t(1));
    }

    void failedCreation_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("reason");
        QTest::newRow("parent is a file") << "file" << QStringLiteral("路径中有一级不是文件夹");
        QTest::newRow("name.txt is a folder") << "folder" << QStringLiteral("该路径是一个文件夹");
        QTest::newRow("file too large") << "limit" << QStringLiteral("文件超过了允许的大小");
    }
    void failedCreation()
    {
        QFETCH(QString, how);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QString path = naming::NameFilePath(dir.path());
        if (how == "file") {
            QVERIFY(WriteBytes(dir.filePath("prog"), "not a folder"));
            path = dir.filePath("prog/name.txt");
        } else if (how == "folder") {
            QVERIFY(QDir().mkdir(path));
        }
        MessageRecorder recorder;
        naming::NameFileStart start;
        {
            std::optional<FileSizeLimit> limit;
            if (how == "limit")
                limit.emplace(4096);
            start = naming::InitNameFile(path);
        }
        QCOMPARE(start.title, QStringLiteral("Kestrel"));
        QVERIFY(!start.namesLoadable); // the window loads no names: no 24 messages
        QCOMPARE(recorder.messages.size(), size_t(2));
        QCOMPARE(recorder.messages[0].text, path + " not found."); // the marker test
        const msgbox::Message& failure = recorder.messages[1];
        QCOMPARE(failure.icon, msgbox::Icon::Critical);
        QCOMPARE(failure.title, msgbox::ApplicationTitle());
        QVERIFY2(failure.text.contains(path), qPrintable(failure.text));
        QVERIFY2(failure.text.contains(reason), qPrintable(failure.text));
        QVERIFY(!failure.text.contains(CreatedMessage()));
        if (how == "limit")
            QCOMPARE(Entries(dir.path()), QStringList()); // no part of a file left behind
    }

    void loadingFromAMissingFileReportsEveryRead()
    {
        QTemporaryDir dir;
        const QString path = naming::NameFilePath(dir.path());
        MessageRecorder recorder;
        const auto names = naming::LoadChannelNames(path, "1");
        QCOMPARE(recorder.messages.size(), size_t(24));
        for (const QString& name : names)
            QVERIFY(name.isEmpty());
    }

    void addressTextIsUsedUnchanged()
    {
        QTemporaryDir dir;
        const QString path = naming::NameFilePath(dir.path());
        QVERIFY(WriteBytes(path, naming::DefaultNameFileContent()));
        QVERIFY(naming::LoadChannelNames(path, "007")[0].isEmpty());
        QVERIFY(naming::LoadChannelNames(path, " 7")[0].isEmpty());
        QCOMPARE(naming::LoadChannelNames(path, "7")[0], QStringLiteral("第1路"));
    }

    void missingKeysShowEmptyAndLongNamesAreCut()
    {
        QTemporaryDir dir;
        const QString path = naming::NameFilePath(dir.path());
        const QString longName = QString(200, QChar(0x6CF5));
        QVERIFY(WriteBytes(
            path, Gbk("[地址码0]\r\n[地址码5]\r\n第2路名称=乙\r\n第4路名称=" + longName + "\r\n")));
        const auto names = naming::LoadChannelNames(path, "5");
        for (int i = 0; i < 24; ++i) {
            if (i == 1)
                QCOMPARE(names[size_t(i)], QStringLiteral("乙"));
            else if (i == 3)
                QCOMPARE(names[size_t(i)], longName.left(127));
            else
                QVERIFY(names[size_t(i)].isEmpty());
        }
    }
};

QTEST_MAIN(NameFileTest)
#include "naming_name_file_test.moc"
