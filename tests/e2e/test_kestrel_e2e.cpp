// The real Kestrel binary on a virtual display, beside the real board simulator.
#include "binaries.h"
#include "x_session.h"

#include "monitor/layout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {

// A lamp's colour, read from a strip the status text never covers.
QColor LampPixel(const QImage& screen, const QRect& window, int channel)
{
    const monitor::ChannelPlace& place = monitor::kChannelPlaces[channel - 1];
    const QPoint p = window.topLeft() +
                     QPoint(monitor::Px(place.lampLeft) + 85, monitor::Px(place.lampTop) + 38);
    return screen.pixelColor(p);
}

bool LampsShow(XSession& x, const QRect& window, std::uint32_t pattern)
{
    const QImage screen = x.screenshot();
    for (int ch = 1; ch <= 24; ++ch) {
        const QColor want = (pattern >> (ch - 1)) & 1 ? QColor(0, 255, 0) : QColor(255, 0, 0);
        if (LampPixel(screen, window, ch) != want)
            return false;
    }
    return true;
}

bool AllLamps(XSession& x, const QRect& window, const QColor& colour)
{
    const QImage screen = x.screenshot();
    for (int ch = 1; ch <= 24; ++ch)
        if (LampPixel(screen, window, ch) != colour)
            return false;
    return true;
}

// An initialised name file (it holds the header of address 0), so no first-start messages.
void WriteInitialisedNameFile(const QString& dir)
{
    QFile file(QDir(dir).filePath(QStringLiteral("name.txt")));
    file.open(QIODevice::WriteOnly);
    // [软件属性] 名称=Kestrel [地址码0], in GBK
    file.write(QByteArray::fromHex("5BC8EDBCFECAF4D0D45D0D0AC3FBB3C63D4B65737472656C0D0A"
                                   "5BB5D8D6B7C2EB305D0D0A"));
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WaitForLine(QProcess* process, const QByteArray& line, QByteArray& seen)
{
    return WaitFor(
        [&] {
            seen += process->readAllStandardOutput();
            return seen.contains(line);
        },
        30s);
}

} // namespace

class TestKestrelEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (!XSession::toolsPresent())
            QSKIP("Xvfb, xdotool or ImageMagick is not installed");
    }

    void lampsFollowTheSimulatedBoard()
    {
        QTemporaryDir dir;
        const QString kestrel = dir.filePath(QStringLiteral("kestrel"));
        QVERIFY(QFile::copy(QStringLiteral(KESTREL_BINARY), kestrel));

        XSession x;
        QVERIFY(x.isRunning());
        const std::uint32_t pattern = 0xA5C30F;
        QProcess* sim =
            x.start(QStringLiteral(BOARDSIM_BINARY),
                    {QStringLiteral("--dir"), dir.path(), QStringLiteral("--port"),
                     QStringLiteral("1"), QStringLiteral("--pattern"), QStringLiteral("0xA5C30F")});
        QByteArray simOut;
        QVERIFY(WaitForLine(sim, "boardsim: port 1", simOut));

        WriteInitialisedNameFile(dir.path());
        x.start(kestrel, {}, dir.path());
        const QString window = x.waitForWindow(QStringLiteral("^Kestrel$"), 60s);
        QVERIFY2(!window.isEmpty(), "Kestrel's window did not show");
        const QRect geometry = x.geometry(window);
        QCOMPARE(geometry.size(), QSize(534, 713));

        QVERIFY(AllLamps(x, geometry, QColor(255, 255, 0))); // yellow before the port opens

        const QRect button = monitor::TwipsRect(3840, 120, 1455, 375);
        x.click(geometry.topLeft() + button.center());
        QVERIFY2(WaitFor([&] { return LampsShow(x, geometry, pattern); }, 30s),
                 "the lamps never showed the simulated pattern");

        sim->write("silent on\n");
        QVERIFY(WaitForLine(sim, "ok silent on", simOut));
        QVERIFY2(WaitFor([&] { return AllLamps(x, geometry, QColor(255, 255, 0)); }, 30s),
                 "the lamps did not turn yellow when the board fell silent");

        sim->write("silent off\npattern 0x000001\n");
        QVERIFY(WaitForLine(sim, "ok pattern", simOut));
        QVERIFY(WaitFor([&] { return LampsShow(x, geometry, 0x000001); }, 30s));
    }

    void firstStartCreatesTheNameFileAndASecondWritesNothing()
    {
        QTemporaryDir dir;
        const QString kestrel = dir.filePath(QStringLiteral("kestrel"));
        const QString nameFile = dir.filePath(QStringLiteral("name.txt"));
        QVERIFY(QFile::copy(QStringLiteral(KESTREL_BINARY), kestrel));
        XSession x;
        QVERIFY(x.isRunning());

        QProcess* first = x.start(kestrel, {}, dir.path());
        // Two messages in turn: the file was missing, then it was created.
        for (const QString& title : {QStringLiteral("File Not Found"), QStringLiteral("Kestrel")}) {
            const QString box = x.waitForWindow(QStringLiteral("^%1").arg(title), 60s);
            QVERIFY2(!box.isEmpty(), qPrintable(title));
            if (title == QLatin1String("File Not Found"))
                QVERIFY(!QFile::exists(nameFile));
            x.run(QStringLiteral("xdotool"),
                  {QStringLiteral("windowfocus"), QStringLiteral("--sync"), box});
            x.run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")});
            QVERIFY(WaitFor([&] { return !x.visible(box); }, 30s));
        }
        QVERIFY(!x.waitForWindow(QStringLiteral("^Kestrel$"), 60s).isEmpty());
        QCOMPARE(QFileInfo(nameFile).size(), 115372);
        first->terminate();
        QVERIFY(first->waitForFinished(10000));

        const QByteArray created = ReadAll(nameFile);
        const QDateTime stamp = QFileInfo(nameFile).lastModified();
        x.start(kestrel, {}, dir.path());
        QVERIFY(!x.waitForWindow(QStringLiteral("^Kestrel$"), 60s).isEmpty());
        QVERIFY(x.waitForWindow(QStringLiteral("^File Not Found$"), 0ms).isEmpty());
        QCOMPARE(ReadAll(nameFile), created);
        QCOMPARE(QFileInfo(nameFile).lastModified(), stamp);
    }
};

QTEST_GUILESS_MAIN(TestKestrelEndToEnd)
#include "test_kestrel_e2e.moc"
