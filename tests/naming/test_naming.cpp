// name.txt through its real layers: the INI rules over GBK bytes, where the file lives, the
// routines and the start-up over real files, saves from two processes at once, and saves killed
// half-way.
#include "naming/gbk.h"
#include "naming/ini_bytes.h"
#include "naming/module2.h"
#include "naming/name_file.h"
#include "support/message_recorder.h"
#include "support/program_folder.h"

#include <QCryptographicHash>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <tuple>
#include <unistd.h>

const QString kSection = QStringLiteral("地址码1");
const QString kShell = QStringLiteral("set -e; U=$HOME/.local/share/kestrel; cd \"$0\"; ");

class NamingTest : public QObject
{
    Q_OBJECT

    // A write or a read, content, section, key, and what it gives.
    using IniRow = std::tuple<bool, QString, QString, QString, QString>;
    // program folder, what is made, places, told
    using PlaceRow = std::tuple<QString, QString, QString, QStringList>;
    // key, value, what is made, why refused
    using SaveRow = std::tuple<QString, QString, QString, QString>;
    // name.txt's content (null: none), made beside it, told, title, the name of channel 1 of
    // address 1 and the content afterwards (null: not compared)
    using StartRow = std::tuple<QByteArray, QString, QStringList, QString, QString, QByteArray>;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_program; // a program folder in it
    QString m_path;    // name.txt beside the program

    static QByteArray Gbk(const QString& text) { return naming::gbk::Encode(text).value(); }
    static QByteArray Bytes(const QString& path) { return naming::ReadFile(path).data; }
    // Makes what stands where as a user would: a shell command run in the program folder, with
    // $U the user's own folder.
    void sh(QString c) { QCOMPARE(QProcess::execute("sh", {"-c", kShell + c, m_program}), 0); }
    // Each message shown holds the text expected in its place.
    static void Told(const QList<msgbox::Message>& shown, const QStringList& expected)
    {
        QCOMPARE(shown.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i)
            QVERIFY2(shown[i].text.contains(expected[i]), qPrintable(shown[i].text));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_program = m_dir->filePath("p");
        m_path = m_program + "/name.txt";
        QVERIFY(QDir().mkpath(m_program));
        // The user's own folder is HOME's: a relative XDG_DATA_HOME is ignored.
        qputenv("HOME", QFile::encodeName(m_dir->filePath("h")));
        qputenv("XDG_DATA_HOME", "data");
        ::alarm(60); // a test stuck on a pipe ends here, not at ctest's limit
    }
    void cleanup() { QProcess::execute("chmod", {"-R", "u+w", m_dir->path()}); }

    // Where NameFilePath, NameFileToRead and AdoptNameFile (its copy holding what was read) put
    // the file for a program in the folder: b beside it, u the user's own copy; and what the
    // adoption told.
    void whereTheFileLives_data()
    {
        QTest::addColumn<PlaceRow>("row");
        const auto row = [](const char* name, const char* made, const char* places,
                            const QStringList& told = {}, const char* program = "") {
            QTest::newRow(name) << PlaceRow{program, made, places, told};
        };
        row("writable folder", "", "bbb");
        row("read-only file: saves say so", "echo a >name.txt; chmod 444 name.txt", "bbb");
        row("under /usr", "", "ubu", {}, "/usr/bin");
        row("shared file", "echo a >name.txt; chmod 666 name.txt; chmod 555 .", "ubu");
        row("read-only folder, no file", "chmod 555 .", "ubu");
        row("user's copy there", "mkdir -p $U; echo b >$U/name.txt; chmod 555 .", "uuu");
        row("link, writable folders", "mkdir ../d; echo a >../d/n; ln -s ../d/n name.txt", "bbb");
        row("link into a read-only folder",
            "mkdir ../d; echo a >../d/n; chmod 555 ../d; ln -s ../d/n name.txt", "ubu");
        row("pipe: never waited on", "mkfifo name.txt", "ubu", {"该路径不是普通文件"});
        row("folder", "mkdir name.txt", "ubu", {"该路径是一个文件夹"});
        row("no user folder", "echo a >name.txt; chmod 555 .; touch $HOME", "ubb",
            {"无法创建文件夹"});
    }
    void whereTheFileLives()
    {
        QFETCH(PlaceRow, row);
        const auto& [program, made, places, told] = row;
        sh(made);
        const QString dir = program.isEmpty() ? m_program : program;
        const QString at[] = {dir + "/name.txt",
                              m_dir->filePath("h/.local/share/kestrel/name.txt")};
        const auto place = [&](int i) { return at[places[i] == 'u']; };
        QCOMPARE(naming::NameFilePath(dir), place(0));
        QCOMPARE(naming::NameFileToRead(dir), place(1));
        const QByteArray read = Bytes(place(1));
        MessageRecorder boxes;
        QCOMPARE(naming::AdoptNameFile(dir), place(2));
        QCOMPARE(Bytes(place(2)), read);
        Told(boxes.messages, told);
    }

    // Reads give the value; writes of "v" give the content after them (empty: left as it is).
    // 丄 = 81 41 and 乤 = 81 61 end in bytes that look like 'A' and 'a'; 乕 乗 乚 = 81 5B/5C/5D.
    void iniRules_data()
    {
        QTest::addColumn<IniRow>("row");
        const auto read = [](const char* n, auto... v) { QTest::newRow(n) << IniRow{false, v...}; };
        const auto write = [](const char* n, auto... v) { QTest::newRow(n) << IniRow{true, v...}; };
        read("case", "[Sec]\r\nMy Key=v", "sEC", "my KEY", "v");
        read("trail bytes are no letters", "[乤]\r\n乤=1\r\n[丄]\r\n丄=2", "丄", "丄", "2");
        read("trail bytes no brackets", "[乚乕]\r\nk乚=乗\\]\r\n[下]\r\nk=2", "乚乕", "k乚",
             "乗\\]");
        read("blanks", " \t[ s ] x\r\n \t k \t= \t a  b \t", " s", "k ", "a  b");
        read("quotes", "[s]\r\nk=\" a \"", "s", "k", " a ");
        read("unmatched quotes", "[s]\r\nk=\"x'", "s", "k", "\"x'");
        read("first equals sign", "[s]\r\nk=a=b ;c", "s", "k", "a=b ;c");
        read("empty value", "[s]\r\nk=", "s", "k", "");
        read("NUL ends the value", QString("[s]\r\nk=") + QChar(0) + "x", "s", "k", "");
        read("no equals sign", "[s]\r\nk", "s", "k", "");
        read("first section only", "[s]\r\nj=0\r\n[S]\r\nk=3", "s", "k", "");
        read("first key wins", "[s]\r\nk=1\r\nk=2", "s", "k", "1");
        read("before any section", "k=1\r\n[s]", "s", "k", "");
        read("header to first bracket", "[a]b]\r\nk=1", "a", "k", "1");
        read("unclosed header never found", "[b\r\nk=1\r\n[b]\r\nk=2", "b", "k", "2");
        read("LF, CR", "[a]\nk=1\r[b]\rk=2\n", "b", "k", "2");
        read("300 ASCII", "[s]\r\nk=" + QString(300, 'x'), "s", "k", QString(254, 'x'));
        read("200 Chinese", "[s]\r\nk=" + QString(200, u'泵'), "s", "k", QString(127, u'泵'));
        read("no split character", "[s]\r\nk=" + QString(253, 'y') + "泵泵", "s", "k",
             QString(253, 'y'));
        write("in place, other bytes kept", ";c\r\n\r\n[Sec]\r\n  K \t= old \r\n ;n\r\n\r\nz=1",
              "sec", "k", ";c\r\n\r\n[Sec]\r\nK=v\r\n ;n\r\n\r\nz=1");
        write("value already stored", "[s]\r\n K = v ", "S", "k", "");
        write("new key after the section's last line", "[a]\r\nx=1\r\n;c\r\n\r\n[b]", "a", "k",
              "[a]\r\nx=1\r\n;c\r\nk=v\r\n\r\n[b]");
        write("new key at an unended end", "[a]\r\nx=1", "a", "k", "[a]\r\nx=1\r\nk=v\r\n");
        write("key under an unclosed header", "[a]\r\n[b\r\nk=1", "a", "k", "[a]\r\n[b\r\nk=v");
        write("first section", "[a]\r\n[a]\r\nk=2\r\n", "a", "k", "[a]\r\nk=v\r\n[a]\r\nk=2\r\n");
        write("new section at the end", "[a]\r\n\r\n", "b", "k", "[a]\r\n\r\n[b]\r\nk=v\r\n");
        write("line ending of the file", "[a]\nx=1", "b", "k", "[a]\nx=1\n[b]\nk=v\n");
        write("names asked with blanks", "", " \t泵 ", " k", "[泵]\r\nk=v\r\n");
        write("trail bytes no letters", "[s]\r\n乤=1\r\n", "s", "丄", "[s]\r\n乤=1\r\n丄=v\r\n");
    }
    void iniRules()
    {
        QFETCH(IniRow, row);
        const auto& [write, content, section, key, expected] = row;
        if (!write)
            QCOMPARE(
                naming::gbk::Decode(naming::ini::ReadValue(Gbk(content), Gbk(section), Gbk(key))),
                expected);
        else // nothing when the content stays as it is
            QCOMPARE(naming::ini::WriteValue(Gbk(content), Gbk(section), Gbk(key), "v"),
                     expected.isEmpty() ? std::nullopt : std::optional(Gbk(expected)));
    }

    void completionKeepsWhatIsStored()
    {
        const std::vector<naming::ini::SectionDefaults> wanted = {
            {"a", {{"k1", "d1"}}}, {"b", {{"k1", "d1"}, {"K2", "d2"}}}, {"A", {{"k3", "d3"}}}};
        QCOMPARE(*naming::ini::AddMissing("[b]\r\nk2=mine\r\n\r\n[x]", wanted),
                 QByteArray("[b]\r\nk2=mine\r\nk1=d1\r\n\r\n[x]\r\n[a]\r\nk1=d1\r\nk3=d3\r\n"));
        // The created file byte for byte, as hand edits and other programs meet it: in GBK with
        // CRLF line ends, [软件属性] with 名称=Kestrel, then [地址码0] .. [地址码255], each with
        // 第1路名称=第1路 .. 第24路名称=第24路; 6402 lines, so by their SHA-256.
        const QByteArray created = naming::DefaultNameFileContent();
        QCOMPARE(QCryptographicHash::hash(created, QCryptographicHash::Sha256).toHex(),
                 "0e5189d25463990ee6af26bf6c2b456b010ac9f06a63745302fdc08c9be6a0bc");
    }

    void sectionLines()
    {
        Put(m_path, Gbk("[地址码10]\r\n[地址码0] \r\n[Abc]\n"));
        QVERIFY(naming::IniSectionExists(m_path, "地址码10"));
        // Whole lines only: not a prefix, not with a trailing blank, not in another letter case.
        for (const char* absent : {"地址码1", "地址码0", "abc"})
            QVERIFY2(!naming::IniSectionExists(m_path, absent), absent);
    }

    // Refused saves store nothing and say why; what stands in the file's place decides. Only
    // where no ordinary file stands does the routine's own guard speak.
    void refusedSaves_data()
    {
        QTest::addColumn<SaveRow>("row"); // beside a name.txt unless made otherwise
        const auto row = [](const char* name, auto... v) { QTest::newRow(name) << SaveRow{v...}; };
        row("not GBK", "k", "泵😀ä", "", "“😀”“ä”");
        row("line break", "k", "a\nb", "", "换行");
        row("key never found again", "a=b", "v", "", "键名");
        row("UTF-8 file", "k", "v", "echo '[地址码0]' >name.txt", "UTF-8");
        row("lock a pipe: never waited on", "k", "v", "mkfifo name.txt.lock", ".lock”不是普通");
        row("lock held by a live program", "k", "v", "", "另一个程序正在保存"); // after a wait
        row("lock a folder", "k", "v", "mkdir name.txt.lock", "name.txt.lock”是一个文件夹");
        row("temporary file a folder", "k", "v", "mkdir .name.txt.new", ".new”是一个文件夹");
        row("link into a read-only folder", "k", "v",
            "mkdir ../ro; mv name.txt ../ro; chmod 555 ../ro; ln -s ../ro/name.txt .", "/ro”");
        row("folder in its place", "k", "v", "rm name.txt; mkdir name.txt", "文件夹");
        row("no file: none made", "k", "v", "rm name.txt", "不存在");
    }
    void refusedSaves()
    {
        QFETCH(SaveRow, row);
        const auto& [key, value, made, reason] = row;
        sh("echo x >name.txt; " + made);
        QLockFile other(m_path + ".lock");
        QVERIFY(!reason.startsWith("另一个程序") || other.lock());
        const QByteArray before = Bytes(m_path);
        MessageRecorder boxes;
        QString why;
        QCOMPARE(naming::WriteIniValue(m_path, kSection, key, value, &why), 0);
        QVERIFY2(why.contains(reason), qPrintable(why));
        QCOMPARE(Bytes(m_path), before);
        Told(boxes.messages,
             QFileInfo(m_path).isFile() ? QStringList() : QStringList(m_path + " not found."));
    }

    void startUp_data()
    {
        QTest::addColumn<StartRow>("row");
        const auto row = [](const char* name, const QByteArray& before, const QStringList& told,
                            const char* title, const char* n, const QByteArray& after,
                            const char* made = "") {
            QTest::newRow(name) << StartRow{before, made, told, title, n, after};
        };
        const QByteArray created = naming::DefaultNameFileContent();
        const QByteArray named =
            *naming::ini::WriteValue(created, Gbk(kSection), Gbk("第1路名称"), Gbk("进水泵"));
        const QByteArray utf8 = naming::gbk::Decode(named).toUtf8();
        const QByteArray beyond = QByteArray(utf8).replace("进", "😀");
        row("first start", {}, {" not found.", "名称文件被创建。"}, "Kestrel", "第1路", created);
        row("marker missing: completed",
            Gbk("[软件属性]\r\n名称=泵房\r\n[地址码1]\r\n第1路名称=进水泵"), {"名称文件被创建。"},
            "泵房", "进水泵", {});
        // In a read-only folder, any rewrite would be refused with a message.
        row("initialised: untouched", named, {}, "Kestrel", "进水泵", named, "chmod 555 .");
        row("empty title", QByteArray(named).replace("=Kestrel", "="), {}, "", "进水泵", {});
        row("UTF-8 with BOM", "\xEF\xBB\xBF" + utf8, {"原文件保存为"}, "Kestrel", "进水泵", named);
        const QStringList converted{"原文件保存为", "名称文件被创建。"}; // then completed
        row("UTF-8, an address", "[地址码1]\r\n第1路名称=泵", converted, "Kestrel", "泵", {});
        row("UTF-8, the title only", "[软件属性]\r\n名称=泵房", converted, "泵房", "第1路", {});
        row("UTF-8 beyond GBK: read as UTF-8", beyond, {"“😀”"}, "Kestrel", "😀水泵", beyond);
        row("pipe in its place", {}, {" not found.", "管道"}, "Kestrel", "", {}, "mkfifo name.txt");
    }
    void startUp()
    {
        QFETCH(StartRow, row);
        const auto& [before, made, told, title, name, after] = row;
        if (!before.isNull())
            Put(m_path, before);
        sh(made);
        MessageRecorder boxes;
        const naming::NameFileStart start = naming::InitNameFile(m_path);
        Told(boxes.messages, told);
        QCOMPARE(start.title, title);
        // Told already: a file that could not be made or used.
        QCOMPARE(start.reported,
                 !boxes.messages.isEmpty() && boxes.messages.last().icon == msgbox::Icon::Critical);
        if (!after.isNull())
            QCOMPARE(Bytes(m_path), after);
        if (told.value(0) == "原文件保存为") // the UTF-8 file kept beside the converted one
            QCOMPARE(Bytes(m_path + ".utf8.bak"), before);
        const naming::FileRead file = naming::ReadFile(m_path);
        QCOMPARE(naming::ChannelNames(file, 1)[0], name);
        QCOMPARE(file.utf8(), !naming::gbk::Unrepresentable(name).isEmpty()); // kept as UTF-8
    }

    // Two programs saving different names into one file: with the lock, none is lost, and the
    // file keeps its permissions.
    void concurrentSavesLoseNothing()
    {
        Put(m_path, naming::DefaultNameFileContent());
        sh("chmod 640 name.txt");
        QProcess savers[2];
        for (int i = 0; i < 2; ++i)
            savers[i].start(QCoreApplication::applicationFilePath(),
                            {"--save", m_path, i ? "b" : "a"});
        for (QProcess& saver : savers) {
            QVERIFY2(saver.waitForFinished(60000), "a saver did not finish within 60 s");
            QCOMPARE(saver.exitCode(), 0);
        }
        const QByteArray content = Bytes(m_path); // each saved key on a line of its own
        QVERIFY(content.count("\na") == 150 && content.count("\nb") == 150);
        QCOMPARE(QFileInfo(m_path).permissions() & 0x0777, QFile::Permissions(0x0640));
    }

    // A save killed at any point leaves the old file or the new one, byte for byte; the lock
    // and the temporary file it leaves do not stop the next save.
    void killedSavesLeaveOldOrNew()
    {
        const QByteArray created = naming::DefaultNameFileContent();
        Put(m_path, created);
        for (int round = 0; round < 30; ++round) {
            QProcess saver;
            saver.start(QCoreApplication::applicationFilePath(), {"--save", m_path, ""});
            // Killed at a random moment among its saves, once the first one is through.
            QVERIFY2(saver.waitForReadyRead(10000), "the saver did not start saving");
            QTest::qWait(QRandomGenerator::global()->bounded(30));
            saver.kill();
            QVERIFY(saver.waitForFinished());
            const QByteArray content = Bytes(m_path); // a save was through: k is there
            const QByteArray k = naming::ini::ReadValue(content, Gbk(kSection), "k");
            QCOMPARE(content, *naming::ini::WriteValue(created, Gbk(kSection), "k", k));
        }
        QVERIFY(naming::WriteIniValue(m_path, kSection, "k", "last"));
        QCOMPARE(QDir(m_program).entryList(QDir::Files | QDir::Hidden), QStringList{"name.txt"});
    }
};

// `--save PATH PREFIX`: saves PREFIX0..PREFIX149 in section 地址码1, or with no prefix keeps
// saving k=1, 2, 3... until killed, a line after each; exits 1 at the first refused save.
int main(int argc, char* argv[])
{
    qputenv("LC_ALL", "zh_CN.UTF-8"); // the words Kestrel's window shows, not boardctl's English
    QCoreApplication app(argc, argv);
    if (argc != 4 || QByteArray(argv[1]) != "--save") {
        NamingTest test;
        return QTest::qExec(&test, argc, argv);
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0); // the test waits for the first line
    const QString prefix = QString::fromLocal8Bit(argv[3]);
    for (int i = 0; prefix.isEmpty() || i < 150; ++i) {
        const QString key = prefix.isEmpty() ? QStringLiteral("k") : prefix + QString::number(i);
        if (!naming::WriteIniValue(QString::fromLocal8Bit(argv[2]), kSection, key,
                                   QString::number(i + 1)))
            return 1;
        std::puts("saved");
    }
    return 0;
}

#include "test_naming.moc"
