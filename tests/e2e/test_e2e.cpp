// Each program once from end to end: the real binary on a private virtual display beside the real
// boardsim, seen only through the screen, the mouse and the simulator's log.
#include "support/line_process.h"
#include "support/window_rig.h"
#include "support/x_session.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QPoint kOpenButton = monitor::TwipsRect(3840, 120, 1455, 375).center(); // 打开串口

bool LampsShow(XSession& x, QPoint window, std::uint32_t channels)
{
    const QImage screen = x.screenshot();
    for (int ch = 1; ch <= 24; ++ch)
        if (screen.pixel(window + LampPoint(ch)) !=
            ((channels >> (ch - 1)) & 1 ? 0xFF00FF00 : 0xFFFF0000))
            return false;
    return true;
}

// How wide the text of name label `channel` is on the screen, in pixels.
int InkWidth(const QImage& screen, QPoint window, int channel)
{
    const monitor::ChannelPlace& place = monitor::kChannelPlaces[channel - 1];
    const QRect label =
        monitor::TwipsRect(place.nameLeft, place.nameTop, place.nameWidth, monitor::kLabelHeight);
    int first = label.right(), last = label.left();
    for (int x = label.left(); x <= label.right(); ++x)
        for (int y = label.top(); y <= label.bottom(); ++y)
            if (qGray(screen.pixel(window + QPoint(x, y))) < 128) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    return last - first;
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

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void kestrel()
    {
        Rig rig(KESTREL_PATH, {"--pattern", "A5C30F", "--log"});
        QVERIFY2(rig.ready(), "no virtual display, or boardsim did not start");
        // First start: the name file is missing, then made, then its names are shown.
        QVERIFY2(!rig.x.waitForWindow("^File Not Found$").isEmpty(), "no missing-file message");
        QVERIFY(!QFile::exists(rig.dir.filePath("name.txt")));
        QVERIFY2(rig.x.answer("^File Not Found$"), "the missing-file message stayed");
        QVERIFY2(rig.x.answer("^Kestrel 通道监视$"), "no message that the name file was made");
        const QRect window = rig.x.waitForWindow("^Kestrel$");
        QVERIFY2(!window.isEmpty(), "Kestrel's window did not show");
        // "第1路" is a digit narrower than "第10路"; the captions before loading, "第一路" and
        // "第十路", are as wide as each other.
        const QImage screen = rig.x.screenshot();
        QVERIFY2(InkWidth(screen, window.topLeft(), 1) + 5 < InkWidth(screen, window.topLeft(), 10),
                 "the name labels do not show the names from the file");

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
    }

    // A pipe in the place of the name file's lock at a first start: refused with a message, the
    // window shown (opening the pipe would hold the program before its window for ever).
    void kestrelLockPipe()
    {
        QTemporaryDir dir;
        const QString program = dir.filePath("kestrel");
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("name.txt.lock")).constData(), 0644) == 0);
        XSession x;
        QVERIFY2(x.isRunning() && QFile::copy(KESTREL_PATH, program), "no virtual display");
        x.start(program);
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
        // A click on green lamp 24 switches its channel off, on red it switches it on again.
        for (const auto& [command, channels] :
             {std::pair{board::kCmdSwitchOff, 0u}, {board::kCmdSwitchOn, 0x800000u}}) {
            rig.x.click(window.topLeft() + LampPoint(24));
            const QString rx =
                "rx " + Bytes(board::MakeRequest(1, command, 0, 24)).toHex(' ').toUpper();
            QVERIFY2(rig.sim.waitForLine([&](const QString& line) { return line == rx; }, 5s),
                     qPrintable("the board never received " + rx));
            QVERIFY2(QTest::qWaitFor([&] { return LampsShow(rig.x, window.topLeft(), channels); },
                                     10000),
                     "lamp 24 did not follow its channel");
        }
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "test_e2e.moc"
