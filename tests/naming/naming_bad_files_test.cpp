// name.txt as a bad file: garbage, 10 MB, unreadable, a folder or a pipe in its place, in a
// read-only folder, a lone GBK lead byte at the end. Through InitNameFile, LoadChannelNames,
// ReadIniValue, WriteIniValue, IniSectionExists and the rename dialog: no crash, no hang, nothing
// lost, and where the program speaks for itself a message naming the path and the reason.
#include "naming/module2.h"
#include "naming/name_file.h"
#include "naming/name_form.h"
#include "naming/profile.h"
#include "naming_test_util.h"

#include <QApplication>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace naming_test;

namespace {

const QString kCreated = QStringLiteral("名称文件被创建。");

// While it lives, this thread has no capability to read or write past file permissions, so that a
// mode 000 file or a mode 0555 folder stops root as it stops anyone (chmod alone does not).
class WithoutPermissionOverride
{
public:
    WithoutPermissionOverride()
    {
        if (::geteuid() != 0)
            return;
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutPermissionOverride()
    {
        if (active_)
            ::syscall(SYS_capset, &header_, saved_);
    }
    WithoutPermissionOverride(const WithoutPermissionOverride&) = delete;
    WithoutPermissionOverride& operator=(const WithoutPermissionOverride&) = delete;

    // Permissions now stop this thread (never false for an ordinary user).
    bool effective() const { return active_ || ::geteuid() != 0; }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};

// The folder made immutable (chattr +i) while it lives: nothing can be created, renamed or
// removed in it, not even by root. Not every file system or process can set the flag.
class ImmutableFolder
{
public:
    explicit ImmutableFolder(const QString& path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (fd_ < 0 || ::ioctl(fd_, FS_IOC_GETFLAGS, &flags_) != 0)
            return;
        int immutable = flags_ | FS_IMMUTABLE_FL;
        active_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &immutable) == 0;
    }
    ~ImmutableFolder()
    {
        if (active_)
            ::ioctl(fd_, FS_IOC_SETFLAGS, &flags_);
        if (fd_ >= 0)
            ::close(fd_);
    }
    ImmutableFolder(const ImmutableFolder&) = delete;
    ImmutableFolder& operator=(const ImmutableFolder&) = delete;

    bool effective() const { return active_; }

private:
    int fd_;
    int flags_ = 0;
    bool active_ = false;
};

// The default file with the marker line taken out: it must be completed at start-up.
QByteArray WithoutMarker()
{
    QByteArray content = naming::DefaultNameFileContent();
    content.replace(Gbk(QStringLiteral("[地址码0]\r\n")), Gbk(QStringLiteral("[地址码00]\r\n")));
    return content;
}

void CheckDefaultNames(const std::array<QString, naming::kChannelCount>& names)
{
    for (int i = 1; i <= naming::kChannelCount; ++i)
        QCOMPARE(names[size_t(i - 1)], QStringLiteral("第%1路").arg(i));
}

// The program's own message: critical, its title, naming the path and the reason.
void CheckOwnMessage(const msgbox::Message& m, const QString& path, const QString& reason)
{
    QCOMPARE(m.icon, msgbox::Icon::Critical);
    QCOMPARE(m.title, msgbox::ApplicationTitle());
    QVERIFY2(m.text.contains(QStringLiteral("“%1”").arg(path)), qPrintable(m.text));
    QVERIFY2(m.text.contains(reason), qPrintable(m.text));
}

// OK in the rename dialog for channel 1 of address 1 with `text`: when the write fails, one
// message names the path and the reason and the dialog stays open with the text.
void RenameFails(const QString& path, const QString& text, const QString& reason)
{
    MessageRecorder recorder;
    naming::NameForm form(path);
    form.OpenFor("1", 1);
    form.mingcheng()->setText(text);
    form.Command_ok_Click();
    QCOMPARE(recorder.messages.size(), size_t(1));
    CheckOwnMessage(recorder.messages[0], path, reason);
    QVERIFY(form.isLoaded());
    QCOMPARE(form.mingcheng()->text(), text);
}

} // namespace

class BadFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Kestrel")); }

    void binaryGarbageIsKeptAndCompleted()
    {
        QTemporaryDir dir;
        const QString path = naming::NameFilePath(dir.path());
        QByteArray garbage(64 * 1024, Qt::Uninitialized);
        QRandomGenerator random(20240605);
        random.fillRange(reinterpret_cast<quint32*>(garbage.data()), garbage.size() / 4);
        QVERIFY(WriteBytes(path, garbage));

        MessageRecorder recorder;
        QVERIFY(!naming::IniSectionExists(path, "地址码0"));
        QCOMPARE(naming::ReadIniValue(path, "地址码1", "第1路名称"), QString());
        QVERIFY(recorder.messages.empty());

        const naming::NameFileStart start = naming::InitNameFile(path);
        QCOMPARE(start.title, QStringLiteral("Kestrel"));
        QVERIFY(start.namesLoadable);
        QCOMPARE(recorder.messages.size(), size_t(1));
        QCOMPARE(recorder.messages[0].text, kCreated);
        QVERIFY(ReadBytes(path).startsWith(garbage)); // nothing of it is lost
        QVERIFY(naming::IniSectionExists(path, "地址码0"));
        CheckDefaultNames(naming::LoadChannelNames(path, "1"));
        QCOMPARE(naming::WriteIniValue(path, "地址码1", "第1路名称", "泵房"), 1);
        QCOMPARE(naming::ReadIniValue(path, "地址码1", "第1路名称"), QStringLiteral("泵房"));
        QVERIFY(ReadBytes(path).startsWith(garbage));
        QCOMPARE(recorder.messages.size(), size_t(1));
    }

    void tenMegabytes_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("first"); // the stored name of channel 1, address 1
        const QByteArray longName(10 * 1024 * 1024, 'x');
        QByteArray content = naming::DefaultNameFileContent();
        content.replace(Gbk(QStringLiteral("[地址码1]\r\n第1路名称=第1路\r\n")),
                        Gbk(QStringLiteral("[地址码1]\r\n第1路名称=")) + longName + "\r\n");
        QTest::newRow("one name of 10 MB") << content << QString(254, 'x');
        QByteArray lines = naming::DefaultNameFileContent();
        lines.reserve(11 * 1024 * 1024);
        lines += "[notes]\r\n";
        for (int i = 0; lines.size() < 10 * 1024 * 1024; ++i)
            lines += "note" + QByteArray::number(i) + "=" + QByteArray(60, 'n') + "\r\n";
        QTest::newRow("10 MB of lines after the names") << lines << QStringLiteral("第1路");
    }
    void tenMegabytes()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, first);
        QTemporaryDir dir;
        const QString path = naming::NameFilePath(dir.path());
        QVERIFY(WriteBytes(path, content));
        MessageRecorder recorder;
        QCOMPARE(naming::InitNameFile(path).title, QStringLiteral("Kestrel"));
        QCOMPARE(ReadBytes(path), content); // an initialised file is not written
        const auto names = naming::LoadChannelNames(path, "1");
        QCOMPARE(names[0], first);
        QCOMPARE(names[1], QStringLiteral("第2路"));
        QCOMPARE(naming::WriteIniValue(path, "地址码1", "第2路名称", "进水泵"), 1);
        QCOMPARE(naming::ReadIniValue(path, "地址码1", "第2路名称"), QStringLiteral("进水泵"));
        QCOMPARE(naming::LoadChannelNames(path, "1")[0], first);
        QCOMPARE(ReadBytes(path).size(), content.size() + 1); // 第2路 -> 进水泵: one byte more
        QVERIFY(recorder.messages.empty());
    }

    void unreadableFile()
    {
        QTemporaryDir dir;
        const QString path = naming::NameFilePath(dir.path());
        QVERIFY(WriteBytes(path, naming::DefaultNameFileContent()));
        QVERIFY(QFile::setPermissions(path, {}));
        const QString denied = QStringLiteral("没有访问权限");
        {
            const WithoutPermissionOverride restricted;
            QVERIFY2(restricted.effective(), "cannot drop the permission override");
            MessageRecorder recorder;
            // The routines read an unreadable file as an empty one, without a message of their
            // own; a failed write tells why to its caller.
            QVERIFY(!naming::IniSectionExists(path, "地址码0"));
            QCOMPARE(naming::ReadIniValue(path, "软件属性", "名称"), QString());
            QString reason;
            QCOMPARE(naming::WriteIniValue(path, "地址码1", "第1路名称", "x", &reason), 0);
            QCOMPARE(reason, denied);
            QVERIFY(recorder.messages.empty());

            // Start-up says so once, writes nothing and goes on with the default title.
            const naming::NameFileStart start = naming::InitNameFile(path);
            QCOMPARE(start.title, QStringLiteral("Kestrel"));
            QCOMPARE(recorder.messages.size(), size_t(1));
            CheckOwnMessage(recorder.messages[0], path, denied);
            QVERIFY(recorder.messages[0].text.contains(QStringLiteral("无法读取")));
            for (const QString& name : naming::LoadChannelNames(path, "1"))
                QVERIFY(name.isEmpty());
            QCOMPARE(recorder.messages.size(), size_t(1));

            RenameFails(path, QStringLiteral("泵"), denied);
        }
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, 0u); // left as it was
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(ReadBytes(path), naming::DefaultNameFileContent());
        QCOMPARE(Entries(dir.path()), QStringList{"name.txt"});
    }

    void notAFileInItsPlace_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder") << "folder" << QStringLiteral("该路径是一个文件夹");
        QTest::newRow("named pipe") << "pipe" << QStringLiteral("不是普通文件");
        QTest::newRow("link to a named pipe") << "link" << QStringLiteral("不是普通文件");
    }
    void notAFileInItsPlace()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = naming::NameFilePath(dir.path());
        const QString pipe = dir.filePath(kind == "link" ? "pipe" : "name.txt");
        if (kind == "folder")
            QVERIFY(QDir().mkdir(path));
        else
            QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        if (kind == "link")
            QVERIFY(QFile::link(pipe, path));
        const QStringList before = Entries(dir.path());

        MessageRecorder recorder;
        const QString notFound = path + QStringLiteral(" not found.");
        QCOMPARE(naming::ReadIniValue(path, "软件属性", "名称"), QString());
        QVERIFY(!naming::IniSectionExists(path, "地址码0"));
        QCOMPARE(naming::WriteIniValue(path, "地址码1", "第1路名称", "x"), 0);
        QCOMPARE(recorder.messages.size(), size_t(3));
        for (const msgbox::Message& m : recorder.messages)
            QCOMPARE(m.text, notFound);
        recorder.messages.clear();

        const naming::NameFileStart start = naming::InitNameFile(path);
        QVERIFY(!start.namesLoadable);
        QCOMPARE(recorder.messages.size(), size_t(2));
        QCOMPARE(recorder.messages[0].text, notFound);
        CheckOwnMessage(recorder.messages[1], path, reason);
        QVERIFY(recorder.messages[1].text.contains(QStringLiteral("无法创建")));

        // The layer under the routines neither blocks on a pipe nor writes over it.
        QCOMPARE(naming::profile::GetString(path, "软件属性", "名称"), QString());
        const naming::profile::WriteResult write =
            naming::profile::WriteString(path, "地址码1", "第1路名称", "x");
        QVERIFY(!write.ok);
        QVERIFY2(write.reason.contains(reason), qPrintable(write.reason));
        QCOMPARE(Entries(dir.path()), before);
        QVERIFY(!QFileInfo(pipe).isFile());
    }

    void readOnlyFolder_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("mode 0555") << "mode";
        QTest::newRow("immutable (chattr +i)") << "immutable";
    }
    void readOnlyFolder()
    {
        QFETCH(QString, how);
        QTemporaryDir dir;
        const QString missing = dir.filePath("empty/name.txt");
        const QString stored = dir.filePath("stored/name.txt");
        const QString partial = dir.filePath("partial/name.txt");
        for (const char* sub : {"empty", "stored", "partial"})
            QVERIFY(QDir(dir.path()).mkdir(sub));
        QVERIFY(WriteBytes(stored, naming::DefaultNameFileContent()));
        QVERIFY(WriteBytes(partial, WithoutMarker()));

        std::vector<std::unique_ptr<ImmutableFolder>> immutable;
        std::optional<WithoutPermissionOverride> restricted;
        for (const QString& file : {missing, stored, partial}) {
            const QString folder = QFileInfo(file).path();
            if (how == "mode") {
                QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            } else {
                immutable.push_back(std::make_unique<ImmutableFolder>(folder));
                if (!immutable.back()->effective())
                    QSKIP("this file system or process cannot make a folder immutable");
            }
        }
        if (how == "mode") {
            restricted.emplace();
            QVERIFY2(restricted->effective(), "cannot drop the permission override");
        }
        const QString folderReason = QStringLiteral("中新建文件的权限");

        MessageRecorder recorder;
        // No file yet: one message says it could not be created, and why; no names are loaded.
        naming::NameFileStart start = naming::InitNameFile(missing);
        QVERIFY(!start.namesLoadable);
        QCOMPARE(recorder.messages.size(), size_t(2));
        QCOMPARE(recorder.messages[0].text, missing + " not found.");
        CheckOwnMessage(recorder.messages[1], missing, folderReason);
        QVERIFY(!recorder.messages[1].text.contains(kCreated));
        recorder.messages.clear();

        // A file that needs completing: one message; its names are still used.
        start = naming::InitNameFile(partial);
        QVERIFY(start.namesLoadable);
        QCOMPARE(recorder.messages.size(), size_t(1));
        CheckOwnMessage(recorder.messages[0], partial, folderReason);
        QVERIFY(recorder.messages[0].text.contains(QStringLiteral("无法补全")));
        CheckDefaultNames(naming::LoadChannelNames(partial, "1"));
        recorder.messages.clear();

        // A complete file reads as ever; a rename cannot be stored and says why.
        QCOMPARE(naming::InitNameFile(stored).title, QStringLiteral("Kestrel"));
        QVERIFY(naming::IniSectionExists(stored, "地址码0"));
        CheckDefaultNames(naming::LoadChannelNames(stored, "1"));
        QString reason;
        QCOMPARE(naming::WriteIniValue(stored, "地址码1", "第1路名称", "泵", &reason), 0);
        QVERIFY2(reason.contains(folderReason), qPrintable(reason));
        QVERIFY(recorder.messages.empty());
        RenameFails(stored, QStringLiteral("泵"), folderReason);

        restricted.reset();
        immutable.clear();
        QCOMPARE(ReadBytes(stored), naming::DefaultNameFileContent());
        QCOMPARE(ReadBytes(partial), WithoutMarker());
        QCOMPARE(Entries(dir.filePath("empty")), QStringList());
        QCOMPARE(Entries(dir.filePath("stored")), QStringList{"name.txt"});
        for (const char* sub : {"empty", "stored", "partial"})
            QFile::setPermissions(dir.filePath(sub), QFile::Permissions(0x7700));
    }

    void loneLeadByteAtTheEnd()
    {
        QTemporaryDir dir;
        const QString path = naming::NameFilePath(dir.path());
        QByteArray content = naming::DefaultNameFileContent();
        content.chop(2); // the last line, 第24路名称=第24路 of address 255, ends in 0xB1 instead
        content += '\xB1';
        QVERIFY(WriteBytes(path, content));

        MessageRecorder recorder;
        QCOMPARE(naming::InitNameFile(path).title, QStringLiteral("Kestrel"));
        QCOMPARE(ReadBytes(path), content);
        const auto names = naming::LoadChannelNames(path, "255");
        QCOMPARE(names[0], QStringLiteral("第1路"));
        QVERIFY2(names[23] == QStringLiteral("第24路") ||
                     names[23] == QStringLiteral("第24路") + QChar(QChar::ReplacementCharacter),
                 qPrintable(names[23]));

        // Other keys are written around it; the byte stays until its own line is rewritten.
        QCOMPARE(naming::WriteIniValue(path, "地址码255", "第1路名称", "甲"), 1);
        QCOMPARE(naming::WriteIniValue(path, "地址码255", "第25路名称", "乙"), 1);
        QVERIFY(ReadBytes(path).endsWith(Gbk(QStringLiteral("第24路名称=第24路")) + '\xB1' +
                                         Gbk(QStringLiteral("\r\n第25路名称=乙\r\n"))));
        QCOMPARE(naming::WriteIniValue(path, "地址码255", "第24路名称", "丙"), 1);
        QCOMPARE(naming::LoadChannelNames(path, "255")[23], QStringLiteral("丙"));
        QCOMPARE(naming::LoadChannelNames(path, "255")[0], QStringLiteral("甲"));
        QVERIFY(!ReadBytes(path).contains('\xB1' + QByteArray("\r\n")));
        QVERIFY(naming::IniSectionExists(path, "地址码255"));
        QVERIFY(recorder.messages.empty());

        // A file without the marker and with the lone byte is completed after it, on a new line.
        QByteArray partial = WithoutMarker();
        partial.chop(2);
        partial += '\xB1';
        QVERIFY(WriteBytes(path, partial));
        QCOMPARE(naming::InitNameFile(path).title, QStringLiteral("Kestrel"));
        QCOMPARE(recorder.messages.size(), size_t(1));
        QCOMPARE(recorder.messages[0].text, kCreated);
        QVERIFY(
            ReadBytes(path).startsWith(partial + "\r\n[" + Gbk(QStringLiteral("地址码0]\r\n"))));
        CheckDefaultNames(naming::LoadChannelNames(path, "0"));
    }
};

QTEST_MAIN(BadFilesTest)
#include "naming_bad_files_test.moc"
