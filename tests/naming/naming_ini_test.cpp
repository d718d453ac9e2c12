// The GBK INI layer against the rules of issue 3: byte-level reads and writes, and the profile
// stand-ins over real files.
#include "naming/ini_bytes.h"
#include "naming/profile.h"
#include "naming_test_util.h"

#include <QTemporaryDir>
#include <QTest>

using namespace naming_test;
namespace ini = naming::ini;

namespace {

// Reads with GBK names and gives the value back as text.
QString Read(const QByteArray& content, const QString& section, const QString& key)
{
    return naming::gbk::Decode(ini::ReadValue(content, Gbk(section), Gbk(key)));
}

std::optional<QByteArray> Write(const QByteArray& content, const QString& section,
                                const QString& key, const QString& value)
{
    return ini::WriteValue(content, Gbk(section), Gbk(key), Gbk(value));
}

} // namespace

class IniTest : public QObject
{
    Q_OBJECT

private slots:
    void gbkIsAvailable()
    {
        QVERIFY(naming::gbk::Available());
        QCOMPARE(Gbk(QStringLiteral("[地址码0]")).toHex(' '),
                 QByteArray("5b b5 d8 d6 b7 c2 eb 30 5d"));
        QCOMPARE(Gbk(QStringLiteral("乗丄乤乕乚")).toHex(), QByteArray("815c81418161815b815d"));
    }

    void unrepresentableCharactersAreNamed()
    {
        QString bad;
        QVERIFY(!naming::gbk::Encode(QStringLiteral("泵ä房😀ä"), &bad));
        QCOMPARE(bad, QStringLiteral("ä😀"));
        QVERIFY(naming::gbk::Encode(QStringLiteral("a?€泵"), &bad)); // '?' and € are GBK
        QVERIFY(bad.isEmpty());
    }

    void namesIgnoreAsciiCaseOnly()
    {
        const QByteArray file = "[Sec One]\r\nMy Key=v1\r\n";
        QCOMPARE(Read(file, "sec one", "MY KEY"), QStringLiteral("v1"));
        QCOMPARE(Read(file, "SEC ONE", "my key"), QStringLiteral("v1"));
        // 丄 = 81 41 and 乤 = 81 61: their second bytes look like 'A' and 'a' but are not letters.
        const QByteArray gbkFile = Gbk(QStringLiteral("[乤]\r\n乤=1\r\n[丄]\r\n丄=2\r\n"));
        QCOMPARE(Read(gbkFile, "乤", "乤"), QStringLiteral("1"));
        QCOMPARE(Read(gbkFile, "丄", "丄"), QStringLiteral("2"));
        QCOMPARE(Read(gbkFile, "乤", "丄"), QString());
        QVERIFY(!ini::NamesEqual(Gbk("丄"), Gbk("乤")));
        QVERIFY(ini::NamesEqual(Gbk("x丄Y"), Gbk("X丄y")));
    }

    void trailBytesThatLookLikeBracketsAndBackslash()
    {
        // 乕 = 81 5B, 乚 = 81 5D, 乗 = 81 5C.
        const QByteArray file = Gbk(QStringLiteral("[乚乕乗]\r\nk乚=乗\\乚]\r\n[下]\r\nk=2\r\n"));
        QCOMPARE(Read(file, "乚乕乗", "k乚"), QStringLiteral("乗\\乚]"));
        QCOMPARE(Read(file, "下", "k"), QStringLiteral("2"));
        // A value line holding 乕 (81 5B) is no header: the section goes on past it.
        const QByteArray valueFile = Gbk(QStringLiteral("[s]\r\n a=乕x]\r\nb=2\r\n"));
        QCOMPARE(Read(valueFile, "s", "b"), QStringLiteral("2"));
    }

    void blanksQuotesAndEquals()
    {
        const QByteArray file = " \t[ s ] trailing\r\n"
                                " \t key \t= \t value with  inner \t\r\n"
                                "eq=a=b ;not a comment\r\n"
                                "dq=\"x y\"\r\n"
                                "sq='x'\r\n"
                                "mixed=\"x'\r\n"
                                "lone=\"\r\n"
                                "spaced=\" a \"\r\n"
                                "empty=\r\n"
                                "blank= \t \r\n"
                                "novalue\r\n";
        QCOMPARE(Read(file, "s", "key"), QStringLiteral("value with  inner"));
        QCOMPARE(Read(file, "s", "eq"), QStringLiteral("a=b ;not a comment"));
        QCOMPARE(Read(file, "s", "dq"), QStringLiteral("x y"));
        QCOMPARE(Read(file, "s", "sq"), QStringLiteral("x"));
        QCOMPARE(Read(file, "s", "mixed"), QStringLiteral("\"x'"));
        QCOMPARE(Read(file, "s", "lone"), QStringLiteral("\""));
        QCOMPARE(Read(file, "s", "spaced"), QStringLiteral(" a "));
        QCOMPARE(Read(file, "s", "empty"), QString());
        QCOMPARE(Read(file, "s", "blank"), QString());
        QCOMPARE(Read(file, "s", "novalue"), QString());
        QCOMPARE(Read(file, "s", "missing"), QString());
        QCOMPARE(Read(file, "missing", "key"), QString());
    }

    void headerIsNamedUpToFirstBracket()
    {
        const QByteArray file = "[a]b]\r\nk=1\r\n";
        QCOMPARE(Read(file, "a", "k"), QStringLiteral("1"));
        QCOMPARE(Read(file, "a]b", "k"), QString());
    }

    void firstSectionAndFirstKeyWin()
    {
        const QByteArray file = "[s]\r\nk=1\r\nk=2\r\n[t]\r\nx=0\r\n[S]\r\nk=3\r\nother=4\r\n";
        QCOMPARE(Read(file, "s", "k"), QStringLiteral("1"));
        QCOMPARE(Read(file, "s", "other"), QString());
    }

    void keysBeforeAnySectionAreNotRead()
    {
        QCOMPARE(Read("k=1\r\n[s]\r\nj=2\r\n", "s", "k"), QString());
    }

    void lineEndings_data()
    {
        QTest::addColumn<QByteArray>("eol");
        QTest::newRow("CRLF") << QByteArray("\r\n");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("CR") << QByteArray("\r");
    }
    void lineEndings()
    {
        QFETCH(QByteArray, eol);
        const QByteArray file = "[a]" + eol + "k=1" + eol + "[b]" + eol + "k=2";
        QCOMPARE(Read(file, "a", "k"), QStringLiteral("1"));
        QCOMPARE(Read(file, "b", "k"), QStringLiteral("2"));
        QCOMPARE(ini::LineEnding(file), eol);
        // New lines end like the file's.
        QCOMPARE(*Write(file, "a", "j", "3"),
                 "[a]" + eol + "k=1" + eol + "j=3" + eol + "[b]" + eol + "k=2");
        QCOMPARE(*Write(file, "c", "j", "3"),
                 "[a]" + eol + "k=1" + eol + "[b]" + eol + "k=2" + eol + "[c]" + eol + "j=3" + eol);
    }

    void valueIsCutTo254BytesWithoutSplittingACharacter()
    {
        const QByteArray ascii(300, 'x');
        QCOMPARE(Read("[s]\r\nk=" + ascii + "\r\n", "s", "k"), QString(254, 'x'));
        const QString chinese = QString(200, QChar(0x6CF5)); // 泵
        QCOMPARE(Read(Gbk("[s]\r\nk=" + chinese + "\r\n"), "s", "k"), QString(127, QChar(0x6CF5)));
        // 253 ASCII then a two-byte character: the character would end at byte 255, so it goes.
        const QString odd = QString(253, 'y') + QStringLiteral("泵泵");
        QCOMPARE(Read(Gbk("[s]\r\nk=" + odd + "\r\n"), "s", "k"), QString(253, 'y'));
        const QString trail = QString(252, 'y') + QStringLiteral("乤乤");
        QCOMPARE(Read(Gbk("[s]\r\nk=" + trail + "\r\n"), "s", "k"),
                 QString(252, 'y') + QStringLiteral("乤"));
    }

    void replacingAKeyChangesThatLineOnly()
    {
        const QByteArray file = "; comment\r\n\r\n[Sec]\r\n  MyKey \t= old \r\n ; note\r\n\r\nz=1";
        const std::optional<QByteArray> out = Write(file, "sec", "mykey", "new");
        QVERIFY(out);
        QCOMPARE(*out, QByteArray("; comment\r\n\r\n[Sec]\r\nMyKey=new\r\n ; note\r\n\r\nz=1"));
    }

    void writingTheStoredValueChangesNothing()
    {
        QVERIFY(!Write("[s]\r\nk=v\r\n", "s", "k", "v"));
        QVERIFY(!Write("[s]\r\n K = v \r\n", "S", "k", "v"));
        QVERIFY(Write("[s]\r\nk=v\r\n", "s", "k", "V"));
    }

    void newKeyGoesAfterTheLastNonBlankLineOfItsSection()
    {
        QCOMPARE(*Write("[a]\r\nx=1\r\n; c\r\n\r\n \t\r\n[b]\r\ny=2\r\n", "A", "n", "v"),
                 QByteArray("[a]\r\nx=1\r\n; c\r\nn=v\r\n\r\n \t\r\n[b]\r\ny=2\r\n"));
        QCOMPARE(*Write("[a]\r\n\r\n[b]\r\n", "a", "n", "v"),
                 QByteArray("[a]\r\nn=v\r\n\r\n[b]\r\n"));
        QCOMPARE(*Write("[a]\r\nx=1", "a", "n", "v"), QByteArray("[a]\r\nx=1\r\nn=v\r\n"));
        // The first of two sections of that name gets it.
        QCOMPARE(*Write("[a]\r\nx=1\r\n[a]\r\ny=2\r\n", "a", "y", "3"),
                 QByteArray("[a]\r\nx=1\r\ny=3\r\n[a]\r\ny=2\r\n"));
    }

    void newSectionGoesAtTheEnd()
    {
        QCOMPARE(*Write("[a]\r\nx=1\r\n", "b", "k", "v"),
                 QByteArray("[a]\r\nx=1\r\n[b]\r\nk=v\r\n"));
        QCOMPARE(*Write("[a]\r\nx=1", "b", "k", "v"), QByteArray("[a]\r\nx=1\r\n[b]\r\nk=v\r\n"));
        QCOMPARE(*Write("[a]\r\n\r\n", "b", "k", "v"), QByteArray("[a]\r\n\r\n[b]\r\nk=v\r\n"));
        QCOMPARE(*Write("", "b", "k", "v"), QByteArray("[b]\r\nk=v\r\n"));
    }

    void trailByteLettersDoNotMatchOnWrite()
    {
        const QByteArray file = Gbk(QStringLiteral("[s]\r\n乤=1\r\n"));
        QCOMPARE(*Write(file, "s", "丄", "2"), Gbk(QStringLiteral("[s]\r\n乤=1\r\n丄=2\r\n")));
        QCOMPARE(*Write(file, "s", "乤", "乗"), Gbk(QStringLiteral("[s]\r\n乤=乗\r\n")));
    }

    // Found by fuzz_ini: a name with outer blanks was stored as given but read trimmed, so the
    // value never read back and every write added another copy of the section.
    void blanksAroundTheNamesAskedForAreIgnored()
    {
        const QByteArray once = *Write("", QStringLiteral(" \t泵 "), "\t k ", "1");
        QCOMPARE(once, Gbk(QStringLiteral("[泵]\r\nk=1\r\n")));
        QCOMPARE(Read(once, QStringLiteral("泵"), "k"), QStringLiteral("1"));
        QCOMPARE(Read(once, QStringLiteral(" 泵\t"), " K "), QStringLiteral("1"));
        QVERIFY(!Write(once, QStringLiteral("\t泵"), " k", "1"));
        QCOMPARE(*Write(once, QStringLiteral(" 泵"), "k ", "2"),
                 Gbk(QStringLiteral("[泵]\r\nk=2\r\n")));
        QCOMPARE(*ini::AddMissing(once, {{Gbk(QStringLiteral("泵 ")), {{" j", "3"}}}}),
                 Gbk(QStringLiteral("[泵]\r\nk=1\r\nj=3\r\n")));
    }

    // Found by fuzz_ini: such names would split or hide lines (a key "[x" turns its line into a
    // header and cuts the rest of the section off); the profile write refuses them.
    void namesThatCouldNotBeFoundAgainAreRefused()
    {
        QVERIFY(ini::IsWritableSection(Gbk(QStringLiteral("地址码1"))));
        QVERIFY(ini::IsWritableSection(Gbk(QStringLiteral("乚[x")))); // 乚 = 81 5D
        QVERIFY(!ini::IsWritableSection("a]b"));
        QVERIFY(!ini::IsWritableSection("a\x81")); // would take the header's ']' as its 2nd byte
        QVERIFY(ini::IsWritableKey(Gbk(QStringLiteral("第1路名称"))));
        QVERIFY(ini::IsWritableKey("a["));
        QVERIFY(!ini::IsWritableKey("a=b"));
        QVERIFY(!ini::IsWritableKey(" [x"));

        QTemporaryDir dir;
        const QString path = dir.filePath("x.ini");
        const QByteArray before = "[s]\r\nk=1\r\nj=2\r\n";
        QVERIFY(WriteBytes(path, before));
        const std::pair<QString, QString> refused[] = {{"a]b", "k"}, {"s", "a=b"}, {"s", "[x"}};
        for (const auto& [section, key] : refused) {
            const naming::profile::WriteResult result =
                naming::profile::WriteString(path, section, key, "v");
            QVERIFY(!result.ok);
            QVERIFY2(result.reason.contains(QStringLiteral("“]”")), qPrintable(result.reason));
        }
        QCOMPARE(ReadBytes(path), before);
    }

    // A fuzz_ini input showed it: two wanted sections of one name (in any letter case) became two
    // headers, and keys under the second would never be read.
    void addMissingMergesWantedSectionsOfOneName()
    {
        const std::vector<ini::SectionDefaults> wanted = {{"n", {{"a", "1"}}},
                                                          {"N", {{"b", "2"}, {"A", "3"}}}};
        QCOMPARE(*ini::AddMissing("", wanted), QByteArray("[n]\r\na=1\r\nb=2\r\n"));
        QCOMPARE(*ini::AddMissing("[x]\r\n", wanted), QByteArray("[x]\r\n[n]\r\na=1\r\nb=2\r\n"));
    }

    void addMissingCompletesWithoutTouchingStoredValues()
    {
        const QByteArray file = "[b]\r\nk2=mine\r\n\r\n[x]\r\nq=1";
        const std::vector<ini::SectionDefaults> wanted = {
            {"a", {{"k1", "d1"}}},
            {"b", {{"k1", "d1"}, {"K2", "d2"}, {"k3", "d3"}}},
            {"x", {{"q", "9"}, {"r", "9"}}},
        };
        QCOMPARE(
            *ini::AddMissing(file, wanted),
            QByteArray(
                "[b]\r\nk2=mine\r\nk1=d1\r\nk3=d3\r\n\r\n[x]\r\nq=1\r\nr=9\r\n[a]\r\nk1=d1\r\n"));
        QVERIFY(!ini::AddMissing("[a]\nk1=x\n", {{"A", {{"K1", "d"}}}}));
    }

    void exactLines()
    {
        const QByteArray file = Gbk(QStringLiteral("[地址码10]\r\n[地址码0] \r\n[Abc]\n"));
        QVERIFY(ini::HasExactLine(file, Gbk(QStringLiteral("[地址码10]"))));
        QVERIFY(!ini::HasExactLine(file, Gbk(QStringLiteral("[地址码1]"))));
        QVERIFY(!ini::HasExactLine(file, Gbk(QStringLiteral("[地址码0]"))));
        QVERIFY(!ini::HasExactLine(file, "[abc]"));
        QVERIFY(ini::HasExactLine(file, "[Abc]"));
    }

    // The profile stand-ins over real files.
    void profileWriteCreatesAMissingFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("x.ini");
        const naming::profile::WriteResult result =
            naming::profile::WriteString(path, "地址码3", "第5路名称", "泵房");
        QVERIFY(result.ok);
        QCOMPARE(ReadBytes(path), Gbk(QStringLiteral("[地址码3]\r\n第5路名称=泵房\r\n")));
        QCOMPARE(naming::profile::GetString(path, "地址码3", "第5路名称"), QStringLiteral("泵房"));
        QCOMPARE(Entries(dir.path()), QStringList{"x.ini"});
    }

    void profileWriteKeepsEveryOtherByteAndReplacesAtomically()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("x.ini");
        const QByteArray before = Gbk(QStringLiteral(
            "; 手写的注释\n\n[地址码1]\n  第1路名称 = 旧名 \n\t第2路名称=乗\n\n[末]\nz=1"));
        QVERIFY(WriteBytes(path, before));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        const Stamp old = StampOf(path);
        QVERIFY(naming::profile::WriteString(path, "地址码1", "第1路名称", "新名").ok);
        QCOMPARE(ReadBytes(path),
                 Gbk(QStringLiteral(
                     "; 手写的注释\n\n[地址码1]\n第1路名称=新名\n\t第2路名称=乗\n\n[末]\nz=1")));
        QVERIFY(StampOf(path).inode != old.inode); // a new file renamed over the old one
        QCOMPARE(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                               QFile::WriteUser | QFile::ReadGroup);
        QCOMPARE(Entries(dir.path()), QStringList{"x.ini"});
    }

    void profileWriteOfTheStoredValueLeavesTheFileUntouched()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("x.ini");
        QVERIFY(WriteBytes(path, Gbk(QStringLiteral("[s]\r\nk = 泵 \r\n"))));
        Backdate(path);
        const Stamp old = StampOf(path);
        QVERIFY(naming::profile::WriteString(path, "S", "K", "泵").ok);
        QVERIFY(StampOf(path) == old);
    }

    void profileWriteRefusesWhatGbkCannotHold()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("x.ini");
        const QByteArray before = "[s]\r\nk=1\r\n";
        QVERIFY(WriteBytes(path, before));
        const naming::profile::WriteResult result =
            naming::profile::WriteString(path, "s", "k", QStringLiteral("泵😀ä"));
        QVERIFY(!result.ok);
        QCOMPARE(result.unrepresentable, QStringLiteral("😀ä"));
        QVERIFY(result.reason.contains(QStringLiteral("“😀”“ä”")));
        QVERIFY(!naming::profile::WriteString(path, "s", "k", "a\nb").ok);
        QCOMPARE(ReadBytes(path), before);
    }

    void profileWriteFailureLeavesTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("x.ini");
        const QByteArray before = "[s]\r\nk=1\r\n";
        QVERIFY(WriteBytes(path, before));
        naming::profile::WriteResult result;
        {
            FileSizeLimit limit(64);
            result = naming::profile::WriteString(path, "s", "k", QString(100, 'z'));
        }
        QVERIFY(!result.ok);
        QCOMPARE(result.reason, QStringLiteral("文件超过了允许的大小"));
        QCOMPARE(ReadBytes(path), before);
        QCOMPARE(Entries(dir.path()), QStringList{"x.ini"});
    }
};

QTEST_GUILESS_MAIN(IniTest)
#include "naming_ini_test.moc"
