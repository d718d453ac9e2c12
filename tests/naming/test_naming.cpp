// name.txt through its real layers: the INI rules over GBK bytes, the routines and the start-up
// over real files, saves from two processes at once, and saves killed half-way.
#include "naming/gbk.h"
#include "naming/ini_bytes.h"
#include "naming/module2.h"
#include "naming/name_file.h"
#include "support/message_recorder.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSection = QStringLiteral("地址码1");

QByteArray Gbk(const QString& text)
{
    return naming::gbk::Encode(text).value();
}

QByteArray Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// Makes each entry under the folder, in order: "NAME/" a folder, "NAME|" a pipe, "NAME@TARGET" a
// link, "NAME#MODE" octal permissions, "NAME=TEXT" an ordinary file holding the text in GBK.
void Make(const QDir& dir, const QStringList& entries)
{
    for (const QString& entry : entries) {
        const qsizetype at = entry.indexOf(QRegularExpression("[|@#=]|/$"));
        const QString path = dir.filePath(entry.first(at));
        const QByteArray name = QFile::encodeName(path);
        QDir().mkpath(QFileInfo(path).absolutePath());
        const QString rest = entry.sliced(at + 1);
        if (entry[at] == '/')
            QVERIFY(QDir().mkpath(path));
        else if (entry[at] == '|')
            QVERIFY(::mkfifo(name.constData(), 0644) == 0);
        else if (entry[at] == '@')
            QVERIFY(QFile::link(rest, path));
        else if (entry[at] == '#')
            QVERIFY(::chmod(name.constData(), mode_t(rest.toUInt(nullptr, 8))) == 0);
        else
            Put(path, Gbk(rest));
    }
}

ino_t Inode(const QString& path)
{
    struct stat info = {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_ino;
}

// The file as created, with channel 1 of address 1 named.
QByteArray Named(const QString& name)
{
    return *naming::ini::WriteValue(naming::DefaultNameFileContent(), Gbk(kSection),
                                    Gbk(naming::ChannelKey(1)), Gbk(name));
}

// Runs this test binary as a second program that saves in a loop (see main).
QProcess* StartSaver(QObject* parent, const QString& path, const QString& prefix)
{
    auto* saver = new QProcess(parent);
    saver->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--save"), path, prefix});
    return saver;
}

} // namespace

class NamingTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = m_dir->filePath(QStringLiteral("name.txt"));
        // The user's own folder is HOME's: a relative XDG_DATA_HOME is ignored.
        qputenv("HOME", QFile::encodeName(m_dir->filePath("home")));
        qputenv("XDG_DATA_HOME", "data");
    }
    void cleanup() { QProcess::execute("chmod", {"-R", "u+w", m_dir->path()}); }

    // Where NameFilePath, NameFileToRead and AdoptNameFile (its copy holding what was read) put
    // the file: b beside the program, in the folder first made, u the user's own copy.
    void whereTheFileLives_data()
    {
        QTest::addColumn<QStringList>("made");
        QTest::addColumn<QString>("places");
        QTest::addColumn<QString>("message"); // of the adoption
        const auto row = [](const char* name, const QStringList& m, const QString& p,
                            const QString& t = {}) { QTest::newRow(name) << m << p << t; };
        const QString file = "prog/name.txt";
        row("writable folder", {"prog/"}, "bbb");
        row("read-only file: saves say so", {"prog/", file + "=甲", file + "#444"}, "bbb");
        row("under /usr", {"/usr/bin/"}, "ubu");
        row("shared file, read-only folder", {"prog/", file + "=甲", file + "#666", "prog#555"},
            "ubu");
        row("read-only folder, no file", {"prog/", "prog#555"}, "ubu");
        row("user's copy there", {"prog/", "prog#555", "home/.local/share/kestrel/name.txt=乙"},
            "uuu");
        row("link, writable folders", {"prog/", "data/name.txt=甲", file + "@../data/name.txt"},
            "bbb");
        row("link into a read-only folder",
            {"prog/", "data/name.txt=甲", "data#555", file + "@../data/name.txt"}, "ubu");
        row("pipe: never waited on", {"prog/", file + "|"}, "ubu", "该路径不是普通文件");
        row("link to a device", {"prog/", file + "@/dev/zero"}, "ubu", "该路径不是普通文件");
        row("folder", {"prog/", file + "/"}, "ubu", "该路径是一个文件夹");
        row("user's folder not made: the program's copy read",
            {"prog/", file + "=甲", "prog#555", "home=x"}, "ubb", "无法创建文件夹");
    }
    void whereTheFileLives()
    {
        QFETCH(QStringList, made);
        QFETCH(QString, places);
        QFETCH(QString, message);
        Make(m_dir->path(), made);
        const QString program = QDir(m_dir->path()).filePath(made[0].chopped(1));
        const auto place = [&](int i) {
            return places[i] == 'b' ? QDir(program).filePath("name.txt")
                                    : m_dir->filePath("home/.local/share/kestrel/name.txt");
        };
        QCOMPARE(naming::NameFilePath(program), place(0));
        QCOMPARE(naming::NameFileToRead(program), place(1));
        const QByteArray read = naming::ReadFile(place(1)).data;
        MessageRecorder boxes;
        ::alarm(10); // an adoption stuck on a pipe ends the test here
        QCOMPARE(naming::AdoptNameFile(program), place(2));
        ::alarm(0);
        QCOMPARE(naming::ReadFile(place(2)).data, read);
        QCOMPARE(boxes.messages.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(boxes.messages[0].text.contains(message), qPrintable(boxes.messages[0].text));
    }

    // 丄 = 81 41 and 乤 = 81 61 end in bytes that look like 'A' and 'a'; 乕 乗 乚 = 81 5B/5C/5D.
    void readRules_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        const auto row = [](const char* name, const QString& c, const QString& s, const QString& k,
                            const QString& v) { QTest::newRow(name) << c << s << k << v; };
        row("case", "[Sec]\r\nMy Key=v", "sEC", "my KEY", "v");
        row("trail bytes are no letters", "[乤]\r\n乤=1\r\n[丄]\r\n丄=2", "丄", "丄", "2");
        row("trail bytes are no brackets", "[乚乕]\r\nk乚=乗\\]\r\n[下]\r\nk=2", "乚乕", "k乚",
            "乗\\]");
        row("blanks", " \t[ s ] x\r\n \t k \t= \t a  b \t", " s", "k ", "a  b");
        row("quotes", "[s]\r\nk=\" a \"", "s", "k", " a ");
        row("unmatched quotes", "[s]\r\nk=\"x'", "s", "k", "\"x'");
        row("first equals sign", "[s]\r\nk=a=b ;c", "s", "k", "a=b ;c");
        row("empty value", "[s]\r\nk=", "s", "k", "");
        row("NUL ends the value", QString("[s]\r\nk=") + QChar(0) + "x", "s", "k", "");
        row("no equals sign", "[s]\r\nk", "s", "k", "");
        row("first section only", "[s]\r\nj=0\r\n[S]\r\nk=3", "s", "k", "");
        row("first key wins", "[s]\r\nk=1\r\nk=2", "s", "k", "1");
        row("before any section", "k=1\r\n[s]", "s", "k", "");
        row("header to first bracket", "[a]b]\r\nk=1", "a", "k", "1");
        row("unclosed header is none", "[a]\r\n[b\r\nk=1", "a", "k", "1");
        row("unclosed header never found", "[b\r\nk=1\r\n[b]\r\nk=2", "b", "k", "2");
        row("LF", "[a]\nk=1\n[b]\nk=2", "b", "k", "2");
        row("CR", "[a]\rk=1\r[b]\rk=2", "b", "k", "2");
        row("300 ASCII", "[s]\r\nk=" + QString(300, 'x'), "s", "k", QString(254, 'x'));
        row("200 Chinese", "[s]\r\nk=" + QString(200, u'泵'), "s", "k", QString(127, u'泵'));
        row("never a split character", "[s]\r\nk=" + QString(253, 'y') + "泵泵", "s", "k",
            QString(253, 'y'));
    }
    void readRules()
    {
        QFETCH(QString, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QCOMPARE(naming::gbk::Decode(naming::ini::ReadValue(Gbk(content), Gbk(section), Gbk(key))),
                 value);
    }

    void writeRules_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("after"); // empty: the file is left as it is
        const auto row = [](const char* name, const QString& b, const QString& s, const QString& k,
                            const QString& a) { QTest::newRow(name) << b << s << k << a; };
        row("in place, other bytes kept", ";c\r\n\r\n[Sec]\r\n  K \t= old \r\n ;n\r\n\r\nz=1",
            "sec", "k", ";c\r\n\r\n[Sec]\r\nK=v\r\n ;n\r\n\r\nz=1");
        row("value already stored", "[s]\r\n K = v ", "S", "k", "");
        row("new key after the section's last line", "[a]\r\nx=1\r\n;c\r\n\r\n[b]", "a", "k",
            "[a]\r\nx=1\r\n;c\r\nk=v\r\n\r\n[b]");
        row("new key at an unended end", "[a]\r\nx=1", "a", "k", "[a]\r\nx=1\r\nk=v\r\n");
        row("key under an unclosed header", "[a]\r\n[b\r\nk=1", "a", "k", "[a]\r\n[b\r\nk=v");
        row("first of two sections", "[a]\r\n[a]\r\nk=2\r\n", "a", "k",
            "[a]\r\nk=v\r\n[a]\r\nk=2\r\n");
        row("new section at the end", "[a]\r\n\r\n", "b", "k", "[a]\r\n\r\n[b]\r\nk=v\r\n");
        row("line ending of the file", "[a]\nx=1", "b", "k", "[a]\nx=1\n[b]\nk=v\n");
        row("names asked with blanks", "", " \t泵 ", " k", "[泵]\r\nk=v\r\n");
        row("trail bytes are no letters", "[s]\r\n乤=1\r\n", "s", "丄", "[s]\r\n乤=1\r\n丄=v\r\n");
    }
    void writeRules()
    {
        QFETCH(QString, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, after);
        const std::optional<QByteArray> out =
            naming::ini::WriteValue(Gbk(before), Gbk(section), Gbk(key), "v");
        QCOMPARE(out.value_or(Gbk(before)), Gbk(after.isEmpty() ? before : after));
        QCOMPARE(out.has_value(), !after.isEmpty());
    }

    void completionKeepsWhatIsStored()
    {
        const std::vector<naming::ini::SectionDefaults> wanted = {
            {"a", {{"k1", "d1"}}}, {"b", {{"k1", "d1"}, {"K2", "d2"}}}, {"A", {{"k3", "d3"}}}};
        QCOMPARE(*naming::ini::AddMissing("[b]\r\nk2=mine\r\n\r\n[x]", wanted),
                 QByteArray("[b]\r\nk2=mine\r\nk1=d1\r\n\r\n[x]\r\n[a]\r\nk1=d1\r\nk3=d3\r\n"));
        const QByteArray created = naming::DefaultNameFileContent();
        QCOMPARE(created.size(), qsizetype(115372));
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

    // Refused saves store nothing and say why; what stands in the file's place decides.
    void refusedSaves_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<QStringList>("made");   // then, beside it
        QTest::addColumn<QString>("reason");
        const auto row = [](const char* name, const QString& k, const QString& v,
                            const QByteArray& c, const QStringList& m,
                            const QString& r) { QTest::newRow(name) << k << v << c << m << r; };
        const QByteArray ok = "[地址码1]\r\n";
        row("not GBK", "k", "泵😀ä", ok, {}, "“😀”“ä”");
        row("line break", "k", "a\nb", ok, {}, "换行");
        row("key never found again", "a=b", "v", ok, {}, "键名");
        row("read-only file", "k", "v", ok, {"name.txt#444"}, "只读");
        row("UTF-8 file", "k", "v", QStringLiteral("[地址码0]").toUtf8(), {}, "UTF-8");
        row("lock a pipe: never waited on", "k", "v", ok, {"name.txt.lock|"}, ".lock”不是普通");
        row("lock a folder", "k", "v", ok, {"name.txt.lock/"}, "name.txt.lock”是一个文件夹");
        row("temporary file a folder", "k", "v", ok, {".name.txt.new/"}, ".new”是一个文件夹");
        row("link into a read-only folder", "k", "v", {},
            {"ro/name.txt=[地址码1]", "ro#555", "name.txt@ro/name.txt"}, "/ro”");
        row("folder in its place", "k", "v", {}, {"name.txt/"}, "文件夹");
        row("no file: none made", "k", "v", {}, {}, "不存在");
    }
    void refusedSaves()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, made);
        QFETCH(QString, reason);
        if (!content.isNull())
            Put(m_path, content);
        Make(m_dir->path(), made);
        const bool existed = QFileInfo::exists(m_path);
        const QByteArray before = Bytes(m_path);
        MessageRecorder boxes;
        QString why;
        ::alarm(10); // a save stuck on a pipe ends the test here, not at ctest's limit
        QCOMPARE(naming::WriteIniValue(m_path, kSection, key, value, &why), 0);
        ::alarm(0);
        QVERIFY2(why.contains(reason), qPrintable(why));
        QCOMPARE(Bytes(m_path), before);
        QCOMPARE(QFileInfo::exists(m_path), existed);
        // Only where no ordinary file stands does the routine's own guard speak.
        QCOMPARE(boxes.messages.size(), before.isNull() ? 1 : 0);
        for (const msgbox::Message& box : boxes.messages)
            QCOMPARE(box.text, m_path + " not found.");
    }

    void startUp_data()
    {
        QTest::addColumn<QByteArray>("before"); // null: no file
        QTest::addColumn<QStringList>("made");  // then, beside it
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("name"); // of channel 1, address 1, afterwards
        QTest::addColumn<QByteArray>("after");
        const QByteArray named = Named("进水泵");
        const QByteArray utf8 = naming::gbk::Decode(named).toUtf8();
        const auto row = [](const char* name, const QByteArray& b, const QStringList& m,
                            const QString& t, const QString& n, const QByteArray& a,
                            const QStringList& made = {}) {
            QTest::newRow(name) << b << made << m << t << n << a;
        };
        const QByteArray created = naming::DefaultNameFileContent();
        const QByteArray beyond = QByteArray(utf8).replace("进", "😀");
        row("first start", {}, {" not found.", "名称文件被创建。"}, "Kestrel", "第1路", created);
        row("marker missing: completed",
            Gbk("[软件属性]\r\n名称=泵房\r\n[地址码1]\r\n第1路名称=进水泵"), {"名称文件被创建。"},
            "泵房", "进水泵", {});
        row("initialised: untouched", named, {}, "Kestrel", "进水泵", named);
        row("empty title", Named("").replace("=Kestrel", "="), {}, "", "", {});
        row("UTF-8 with BOM", "\xEF\xBB\xBF" + utf8, {"原文件保存为"}, "Kestrel", "进水泵", named);
        row("UTF-8 without BOM", utf8, {"原文件保存为"}, "Kestrel", "进水泵", named);
        row("UTF-8 beyond GBK: read as UTF-8", beyond, {"“😀”"}, "Kestrel", "😀水泵", beyond);
        const auto refused = [&](const char* name, const QString& made, const QString& why) {
            row(name, {}, {" not found.", why}, "Kestrel", "", {}, {made});
        };
        refused("folder in its place", "name.txt/", "该路径是一个文件夹");
        refused("pipe in its place", "name.txt|", "管道");
        refused("lock a pipe", "name.txt.lock|", "name.txt.lock”");
    }
    void startUp()
    {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, made);
        QFETCH(QStringList, messages);
        QFETCH(QString, title);
        QFETCH(QString, name);
        QFETCH(QByteArray, after);
        if (!before.isNull())
            Put(m_path, before);
        Make(m_dir->path(), made);
        const ino_t inode = Inode(m_path);
        MessageRecorder boxes;
        ::alarm(10); // a start-up stuck on a pipe ends the test here
        const naming::NameFileStart start = naming::InitNameFile(m_path);
        ::alarm(0);
        QCOMPARE(boxes.messages.size(), messages.size());
        for (qsizetype i = 0; i < messages.size(); ++i)
            QVERIFY2(boxes.messages[i].text.contains(messages[i]),
                     qPrintable(boxes.messages[i].text));
        QCOMPARE(start.title, title);
        // Told already: a file that could not be made or used.
        QCOMPARE(start.reported,
                 !boxes.messages.isEmpty() && boxes.messages.last().icon == msgbox::Icon::Critical);
        if (!after.isNull())
            QCOMPARE(Bytes(m_path), after);
        if (after == before) // an initialised file is not even rewritten
            QCOMPARE(Inode(m_path), inode);
        if (messages.value(0) == "原文件保存为") // the original kept beside the converted file
            QCOMPARE(Bytes(m_dir->filePath("name.txt.utf8.bak")), before);
        const naming::FileRead file = naming::ReadFile(m_path);
        QCOMPARE(naming::ChannelNames(file, 1)[0], name);
        QCOMPARE(file.utf8(), !naming::gbk::Unrepresentable(name).isEmpty()); // kept as UTF-8
    }

    // Two programs saving different names into one file: with the lock, none is lost.
    void concurrentSavesLoseNothing()
    {
        Put(m_path, naming::DefaultNameFileContent());
        QProcess* savers[] = {StartSaver(this, m_path, "a"), StartSaver(this, m_path, "b")};
        for (QProcess* saver : savers) {
            QVERIFY2(saver->waitForFinished(60000), "a saver did not finish within 60 s");
            QCOMPARE(saver->exitCode(), 0);
        }
        const QByteArray content = Bytes(m_path); // each saved key on a line of its own
        QVERIFY(content.count("\na") == 150 && content.count("\nb") == 150);
    }

    // A save killed at any point leaves the old file or the new one, byte for byte; the lock
    // and the temporary files it leaves do not stop the next save.
    void killedSavesLeaveOldOrNew()
    {
        Put(m_path, naming::DefaultNameFileContent());
        for (int round = 0; round < 30; ++round) {
            QProcess* saver = StartSaver(this, m_path, "");
            // Killed at a random moment among its saves, once the first one is through.
            QVERIFY2(saver->waitForReadyRead(10000), "the saver did not start saving");
            QTest::qWait(QRandomGenerator::global()->bounded(30));
            ::kill(pid_t(saver->processId()), SIGKILL);
            QVERIFY(saver->waitForFinished());
            const QByteArray content = Bytes(m_path);
            const QByteArray value = naming::ini::ReadValue(content, Gbk(kSection), "k");
            const std::optional<QByteArray> expected = naming::ini::WriteValue(
                naming::DefaultNameFileContent(), Gbk(kSection), "k", value);
            QCOMPARE(content, value.isEmpty() ? naming::DefaultNameFileContent() : *expected);
        }
        QString why;
        QVERIFY2(naming::WriteIniValue(m_path, kSection, "k", "last", &why), qPrintable(why));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).join(QChar(32)),
                 QStringLiteral("name.txt"));
    }
};

// `--save PATH PREFIX`: saves PREFIX0..PREFIX149 in section 地址码1, or with no prefix keeps
// saving k=1, 2, 3... until killed (saying so after the first); exits 1 at the first refused save.
int main(int argc, char* argv[])
{
    if (argc == 4 && QByteArray(argv[1]) == "--save") {
        QCoreApplication app(argc, argv);
        std::setvbuf(stdout, nullptr, _IONBF, 0); // the test waits for the first line
        const QString path = QString::fromLocal8Bit(argv[2]);
        const QString prefix = QString::fromLocal8Bit(argv[3]);
        for (int i = 0; prefix.isEmpty() || i < 150; ++i) {
            const QString key =
                prefix.isEmpty() ? QStringLiteral("k") : prefix + QString::number(i);
            if (naming::WriteIniValue(path, kSection, key, QString::number(i + 1)) == 0)
                return 1;
            if (i == 0)
                std::puts("saving");
        }
        return 0;
    }
    QCoreApplication app(argc, argv);
    NamingTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_naming.moc"
