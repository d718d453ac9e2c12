// Module2's routines: the existence guard with its message, and their results over real files.
#include "naming/module2.h"
#include "naming_test_util.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace naming_test;

class Module2Test : public QObject
{
    Q_OBJECT

    static void CheckMissingFileMessage(const MessageRecorder& recorder, const QString& path)
    {
        QCOMPARE(recorder.messages.size(), size_t(1));
        const msgbox::Message& m = recorder.messages.front();
        QCOMPARE(m.icon, msgbox::Icon::Critical);
        QCOMPARE(m.title, QStringLiteral("File Not Found"));
        QCOMPARE(m.text, path + QStringLiteral(" not found."));
    }

private slots:
    void nameFilePathIsBesideTheProgram()
    {
        QCOMPARE(naming::NameFilePath(), QCoreApplication::applicationDirPath() + "/name.txt");
        QCOMPARE(naming::NameFilePath("/opt/k"), QStringLiteral("/opt/k/name.txt"));
    }

    void missingFileIsReportedOncePerCall()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("name.txt");
        {
            MessageRecorder recorder;
            QCOMPARE(naming::ReadIniValue(path, "软件属性", "名称"), QString());
            CheckMissingFileMessage(recorder, path);
        }
        {
            MessageRecorder recorder;
            QCOMPARE(naming::IniSectionExists(path, "地址码0"), false);
            CheckMissingFileMessage(recorder, path);
        }
        {
            MessageRecorder recorder;
            QString reason;
            QCOMPARE(naming::WriteIniValue(path, "地址码1", "第1路名称", "x", &reason), 0);
            CheckMissingFileMessage(recorder, path);
            QVERIFY(!reason.isEmpty());
        }
        QVERIFY(Entries(dir.path()).isEmpty()); // WriteIniValue never creates the file
    }

    void aDirectoryIsNoFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("name.txt");
        QVERIFY(QDir().mkdir(path));
        MessageRecorder recorder;
        QCOMPARE(naming::ReadIniValue(path, "a", "b"), QString());
        CheckMissingFileMessage(recorder, path);
    }

    void absentSectionOrKeyReadsEmptyWithoutMessage()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("name.txt");
        QVERIFY(WriteBytes(path, Gbk(QStringLiteral("[地址码1]\r\n第1路名称=\r\n"))));
        MessageRecorder recorder;
        QCOMPARE(naming::ReadIniValue(path, "地址码2", "第1路名称"), QString());
        QCOMPARE(naming::ReadIniValue(path, "地址码1", "第2路名称"), QString());
        QCOMPARE(naming::ReadIniValue(path, "地址码1", "第1路名称"), QString());
        QVERIFY(recorder.messages.empty());
    }

    void writeThenReadEachGoToTheFileAnew()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("name.txt");
        QVERIFY(WriteBytes(path, Gbk(QStringLiteral("[地址码1]\r\n第1路名称=第1路\r\n"))));
        MessageRecorder recorder;
        QCOMPARE(naming::WriteIniValue(path, "地址码1", "第1路名称", "乗丄乤"), 1);
        QCOMPARE(naming::ReadIniValue(path, "地址码1", "第1路名称"), QStringLiteral("乗丄乤"));
        // A change made by another program is seen by the next call.
        QVERIFY(WriteBytes(path, Gbk(QStringLiteral("[地址码1]\r\n第1路名称=手改\r\n"))));
        QCOMPARE(naming::ReadIniValue(path, "地址码1", "第1路名称"), QStringLiteral("手改"));
        QVERIFY(recorder.messages.empty());
    }

    void sectionExistsComparesWholeLinesExactly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("name.txt");
        QVERIFY(WriteBytes(
            path,
            Gbk(QStringLiteral("[地址码10]\r\n[地址码2] \r\n [地址码3]\r\n[Abc]\r\n[地址码4]"))));
        QVERIFY(naming::IniSectionExists(path, "地址码10"));
        QVERIFY(!naming::IniSectionExists(path, "地址码1"));
        QVERIFY(!naming::IniSectionExists(path, "地址码2"));
        QVERIFY(!naming::IniSectionExists(path, "地址码3"));
        QVERIFY(!naming::IniSectionExists(path, "abc"));
        QVERIFY(naming::IniSectionExists(path, "Abc"));
        QVERIFY(naming::IniSectionExists(path, "地址码4"));
        QVERIFY(!naming::IniSectionExists(path, QStringLiteral("😀")));
    }

    void failedWriteReturnsZeroWithAReason()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("name.txt");
        const QByteArray before = "[a]\r\nk=1\r\n";
        QVERIFY(WriteBytes(path, before));
        MessageRecorder recorder;
        QString reason;
        qint32 result;
        {
            FileSizeLimit limit(16);
            result = naming::WriteIniValue(path, "a", "k", "a longer value", &reason);
        }
        QCOMPARE(result, 0);
        QCOMPARE(reason, QStringLiteral("文件超过了允许的大小"));
        QCOMPARE(ReadBytes(path), before);
        QVERIFY(recorder.messages.empty());

        QString bad;
        QCOMPARE(naming::WriteIniValue(path, "a", "k", QStringLiteral("x😀"), &reason, &bad), 0);
        QCOMPARE(bad, QStringLiteral("😀"));
        QCOMPARE(ReadBytes(path), before);
    }
};

QTEST_GUILESS_MAIN(Module2Test)
#include "naming_module2_test.moc"
