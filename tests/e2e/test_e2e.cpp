// Each program once from end to end: the real binary on a private virtual display beside the real
// boardsim, seen only through the screen, the mouse and the simulator's log.
#include "support/line_process.h"
#include "support/window_rig.h"
#include "support/x_session.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QPoint kOpenButton = monitor::TwipsRect(3840, 120, 1455, 375).center(); // 打开串口
const QPoint kPortUp = monitor::TwipsRect(2040, 120, 375, 375).topLeft() + QPoint(12, 3);

bool LampsShow(XSession& x, QPoint window, std::uint32_t channels)
{
    const QImage screen = x.screenshot();
    for (int ch = 1; ch <= 24; ++ch)
        if (screen.pixel(window + LampPoint(ch)) !=
            ((channels >> (ch - 1)) & 1 ? 0xFF00FF00 : 0xFFFF0000))
            return false;
    return true;
}

// The program runs from a folder of its own, where it finds the simulator's port link and, for
// Kestrel, its name file.
struct Rig
{
    Rig(const QString& binary, const QStringList& simArguments) : sim(dir.path(), simArguments)
    {
        const QString program = dir.filePath(QFileInfo(binary).fileName());
        if (QFile::copy(binary, program))
            x.start(program);
    }
    bool ready() const { return x.isRunning() && sim.started(); }

    QTemporaryDir dir;
    XSession x;
    BoardsimProcess sim;
};

// While port 1 is open, two real clicks step the port spinner to 3, which counts at the next
// opening; then the device is pulled: the box tells of port 1, the one that was opened.
void LossToldByOpenedPort(Rig& rig, QPoint window, const QString& boxTitle)
{
    rig.x.click(window + kPortUp);
    rig.x.click(window + kPortUp);
    const QString lost = rig.sim.control("unplug") ? rig.x.boxText(boxTitle) : QString();
    QVERIFY2(lost.startsWith(QStringLiteral("串口 1（%1） 断开了").arg(rig.dir.filePath("com1"))),
             qPrintable(lost));
}

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void kestrel()
    {
        Rig rig(KESTREL_PATH, {"--pattern", "A5C30F", "--log"});
        QVERIFY2(rig.ready(), "no virtual display, or boardsim did not start");
        // First start: the name file is missing, then made.
        QVERIFY2(!rig.x.waitForWindow("^File Not Found$").isEmpty() &&
                     !QFile::exists(rig.dir.filePath("name.txt")),
                 "no missing-file message before the file is made");
        QVERIFY2(rig.x.answer("^File Not Found$"), "the missing-file message stayed");
        QVERIFY2(rig.x.answer("^Kestrel 通道监视$") && QFile::exists(rig.dir.filePath("name.txt")),
                 "no name file made");
        const QRect window = rig.x.waitForWindow("^Kestrel$");
        QVERIFY2(!window.isEmpty(), "Kestrel's window did not show");
        rig.x.click(window.topLeft() + kOpenButton);
        QVERIFY2(
            QTest::qWaitFor([&] { return LampsShow(rig.x, window.topLeft(), 0xA5C30F); }, 10000),
            "the lamps did not show the board's channels");
        QCOMPARE(rig.sim.control("pattern 000001"), std::optional<QString>("ok pattern 000001"));
        QVERIFY2(
            QTest::qWaitFor([&] { return LampsShow(rig.x, window.topLeft(), 0x000001); }, 10000),
            "the lamps did not follow the board");

        // One real click on the address spinner's upper arrow, with the name file gone: one step
        // to address 2, one box, and no further steps once the box has taken the mouse release.
        QVERIFY(QFile::remove(rig.dir.filePath("name.txt")));
        rig.x.click(window.topLeft() + monitor::TwipsRect(2310, 840, 375, 375).topLeft() +
                    QPoint(12, 3));
        QVERIFY2(rig.x.answer("^File Not Found$"), "no box for the missing name file");
        const auto polled = [&](int address) {
            const QString rx =
                "rx " + Bytes(board::MakeRequest(address, 0x10, 0, 0)).toHex(' ').toUpper();
            return rig.sim.waitForLine([&](const QString& l) { return l == rx; }, 1s);
        };
        QVERIFY2(polled(2), "the address did not step to 2");
        QVERIFY2(rig.x.waitForWindow("^File Not Found$", 1500ms).isEmpty() && !polled(3),
                 "the spinner went on stepping after its box");
        LossToldByOpenedPort(rig, window.topLeft(), "^Kestrel 通道监视$");
    }

    // A pipe in the place of the name file's lock at a first start: refused with a message, the
    // window shown (opening the pipe would hold the program before its window for ever).
    void kestrelLockPipe()
    {
        QTemporaryDir dir;
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("name.txt.lock")).constData(), 0644) == 0);
        XSession x;
        QVERIFY2(x.isRunning() && QFile::copy(KESTREL_PATH, dir.filePath("kestrel")), "no display");
        x.start(dir.filePath("kestrel"));
        QVERIFY2(x.answer("^File Not Found$"), "no missing-file message");
        QVERIFY2(x.answer("^Kestrel 通道监视$"), "no message that the name file was refused");
        QVERIFY2(!x.waitForWindow("^Kestrel$").isEmpty(), "Kestrel's window did not show");
    }

    void wrenfield()
    {
        Rig rig(WRENFIELD_PATH, {"--pattern", "800000", "--log"});
        QVERIFY2(rig.ready(), "no virtual display, or boardsim did not start");
        const QRect window = rig.x.waitForWindow("^Halvard—串口输入检测板");
        QVERIFY2(!window.isEmpty(), "Wrenfield's window did not show");
        rig.x.click(window.topLeft() + kOpenButton);
        QVERIFY2(
            QTest::qWaitFor([&] { return LampsShow(rig.x, window.topLeft(), 0x800000); }, 10000),
            "the lamps did not show the board's channels");
        // A click on green lamp 24 switches its channel off; on its status label, now red, on
        // again. A caption is no lamp: a click on red channel 1's asks for nothing.
        rig.x.click(window.topLeft() + monitor::TwipsRect(1065, 1785, 975, 375).center());
        const monitor::ChannelPlace& lamp = monitor::kChannelPlaces[23];
        const QPoint label(monitor::Px(lamp.lampLeft + 300), monitor::Px(lamp.lampTop + 300));
        for (const auto& [command, channels, at] :
             {std::tuple{board::kCmdSwitchOff, 0u, LampPoint(24)},
              {board::kCmdSwitchOn, 0x800000u, label}}) {
            rig.x.click(window.topLeft() + at);
            const auto sent = rig.sim.waitForLine(
                [](const QString& l) { return l.startsWith("rx") && !l.contains(" 10 00 00 "); },
                5s); // the first request that is no poll
            QCOMPARE(sent.value_or("none"),
                     "rx " + Bytes(board::MakeRequest(1, command, 0, 24)).toHex(' ').toUpper());
            QVERIFY2(QTest::qWaitFor([&] { return LampsShow(rig.x, window.topLeft(), channels); },
                                     10000),
                     "lamp 24 did not follow its channel");
        }
        QCOMPARE(QDir(rig.dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList({"com1", "wrenfield"})); // the console keeps nothing in files
        // A pulled cable is told in the console's own box, by the port that was opened.
        LossToldByOpenedPort(rig, window.topLeft(), "^Wrenfield 测试台$");
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "test_e2e.moc"
