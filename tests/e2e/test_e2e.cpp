// Each program once from end to end: the real binary on a private virtual display beside the real
// boardsim, seen only through the screen, the mouse and the simulator's log.
#include "apps/overview/layout.h"
#include "history/queries.h"
#include "support/script.h"
#include "support/window_rig.h"
#include "support/x_session.h"

#include <QDir>
#include <QTest>

namespace {

const QPoint kOpenButton = monitor::TwipsRect(3840, 120, 1455, 375).center(); // 打开串口
const QPoint kPortUp = monitor::TwipsRect(2040, 120, 375, 375).topLeft() + QPoint(12, 3);

// Whether the 24 lamps, lamp `ch` at `at(ch)` on the screen, show the channels: green on, red
// off; all yellow for none known.
bool LampsShow(const std::function<QPoint(int)>& at, std::optional<std::uint32_t> channels,
               const QImage& screen)
{
    for (int ch = 1; ch <= 24; ++ch) {
        const QRgb lamp = !channels                     ? 0xFFFFFF00
                          : (*channels >> (ch - 1)) & 1 ? 0xFF00FF00
                                                        : 0xFFFF0000;
        if (screen.pixel(at(ch)) != lamp)
            return false;
    }
    return true;
}

// The program runs from a folder of its own, beside boardsim's port link and, for Kestrel, its
// name file.
struct Rig : ProgramFolder
{
    Rig(const QString& binary, const QStringList& simArguments)
    {
        sim.emplace(dir.path(), simArguments);
        x.start(install(binary));
    }
    bool ready() const { return x.isRunning() && sim->started(); }

    // Waits for the window, clicks 打开串口 and waits for the lamps to show the board's channels.
    bool open(const QString& title, std::uint32_t channels)
    {
        window = x.waitForWindow(title).topLeft();
        click(kOpenButton);
        return !window.isNull() && shows(channels);
    }
    bool shows(std::uint32_t channels) // within ten seconds
    {
        const auto at = [&](int ch) { return window + LampPoint(ch); };
        return QTest::qWaitFor([&] { return LampsShow(at, channels, x.screenshot()); }, 10000);
    }
    void click(QPoint inWindow) { x.click(window + inWindow); }

    XSession x;
    QPoint window; // its top left corner on the screen
};

// While port 1 is open, two real clicks step the port spinner to 3, which counts at the next
// opening; then the device is pulled: the box tells of port 1, the one that was opened.
void LossToldByOpenedPort(Rig& rig, const QString& boxTitle)
{
    rig.click(kPortUp);
    rig.click(kPortUp);
    const QString lost = rig.sim->control("unplug") ? rig.x.boxText(boxTitle) : QString();
    QVERIFY2(lost.startsWith(QStringLiteral("串口 1（%1） 断开了").arg(rig.dir.filePath("com1"))),
             qPrintable(lost));
}

// The share of the progress bar's width filled, read along a line above its text.
double Filled(const QImage& screen, const QRect& bar)
{
    int filled = 0;
    for (int x = bar.left(); x <= bar.right(); ++x) {
        const QColor pixel = screen.pixelColor(x, bar.top() + 4);
        filled += pixel.blue() > pixel.red() + 60; // the desktop's highlight, not the groove
    }
    return double(filled) / bar.width();
}

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void kestrel()
    {
        Rig rig(KESTREL_PATH, {"--pattern", "A5C30F", "--log"});
        // First start: the name file is missing, then made.
        QVERIFY2(rig.ready() && rig.x.answer("^File Not Found$") &&
                     rig.x.answer("^Kestrel 通道监视$"),
                 "no display, no boardsim, or not the two messages of a first start");
        QVERIFY2(rig.open("^Kestrel$", 0xA5C30F), "no window, or no lamps showing the board");

        // One real click on the address spinner's upper arrow, with the name file gone: one step
        // to address 2, one box, and no further steps once the box has taken the mouse release;
        // then the Up key, one more.
        QVERIFY(QFile::remove(rig.dir.filePath("name.txt")));
        rig.click(monitor::TwipsRect(2310, 840, 375, 375).topLeft() + QPoint(12, 3));
        QVERIFY2(rig.x.answer("^File Not Found$"), "no box for the missing name file");
        const auto polled = [&](int address) {
            const QString rx =
                "rx " + Bytes(board::MakeRequest(address, 0x10, 0, 0)).toHex(' ').toUpper();
            return rig.sim->waitForLine([&](const QString& l) { return l == rx; }, 1s);
        };
        QVERIFY2(polled(2), "the address did not step to 2");
        QVERIFY2(rig.x.waitForWindow("^File Not Found$", 1500ms).isEmpty() && !polled(3),
                 "the spinner went on stepping after its box");
        rig.x.press("^Kestrel$", "Up"); // the clicked spinner has the focus; the box is answered
        QVERIFY2(rig.x.answer("^File Not Found$") && polled(3), "the Up key did not step it");
        LossToldByOpenedPort(rig, "^Kestrel 通道监视$");
    }

    void wrenfield()
    {
        Rig rig(WRENFIELD_PATH, {"--pattern", "800000", "--log"});
        QVERIFY2(rig.ready() && rig.open("^Halvard—串口输入检测板", 0x800000),
                 "no display, no boardsim, no window, or no lamps showing the board");
        // A click on green lamp 24 switches its channel off; on its status label, now red, on
        // again. A caption is no lamp: a click on red channel 1's asks for nothing.
        rig.click(monitor::TwipsRect(1065, 1785, 975, 375).center());
        const QPoint label = monitor::TwipsRect(3885, 9660, 1335, 615).topLeft() + QPoint(20, 20);
        for (const auto& [command, channels, at] :
             {std::tuple{board::kCmdSwitchOff, 0u, LampPoint(24)},
              {board::kCmdSwitchOn, 0x800000u, label}}) {
            rig.click(at);
            const auto sent = rig.sim->waitForLine(
                [](const QString& l) { return l.startsWith("rx") && !l.contains(" 10 00 00 "); },
                5s); // the first request that is no poll
            QCOMPARE(sent.value_or("none"),
                     "rx " + Bytes(board::MakeRequest(1, command, 0, 24)).toHex(' ').toUpper());
            QVERIFY2(rig.shows(channels), "lamp 24 did not follow its channel");
        }
        QCOMPARE(QDir(rig.dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList({"com1", "wrenfield"})); // the console keeps nothing in files
        // A pulled cable is told in the console's own box, by the port that was opened.
        LossToldByOpenedPort(rig, "^Wrenfield 测试台$");
    }

    // The overview on a bus of three boards: a scan with its progress bar, then the boards
    // watched; a channel changed on one board and another board falling silent show on their rows
    // and in the history it writes.
    void overview()
    {
        QTemporaryDir home; // the remembered line and the history go there
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
        qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
        qputenv("LC_ALL", "C");
        Rig rig(OVERVIEW_PATH, {"--address", "1,2,3", "--pattern", "0x5A5A5A"});
        namespace at = overview::layout;
        const QRect window = rig.x.waitForWindow("^Kestrel Overview$");
        rig.window = window.topLeft();
        QVERIFY2(rig.ready() && !window.isEmpty(), "no display, no boardsim or no window");

        // The scan runs through 0..255 on the line the program has by default, port 1.
        rig.click(at::kPageAt + at::kScanButton.center());
        const QRect bar = at::kProgress.translated(rig.window + at::kPageAt);
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         const double filled = Filled(rig.x.screenshot(), bar);
                         return filled > 0.05 && filled < 0.95;
                     },
                     10000),
                 "the progress bar showed no scan under way");
        QVERIFY2(QTest::qWaitFor([&] { return Filled(rig.x.screenshot(), bar) > 0.97; }, 20000),
                 "the progress bar did not fill");

        rig.click(at::kWatchButton.center());
        // Row `row` shows the channels, or every lamp yellow.
        const auto rowShows = [&](int row, std::optional<std::uint32_t> channels) {
            const auto lamp = [&](int ch) { return rig.window + at::LampCentre(row, ch); };
            return LampsShow(lamp, channels, rig.x.screenshot());
        };
        const auto shown = [&](std::uint32_t one, std::optional<std::uint32_t> two,
                               std::optional<std::uint32_t> three) {
            return QTest::qWaitFor(
                [&] { return rowShows(0, one) && rowShows(1, two) && rowShows(2, three); }, 10000);
        };
        QVERIFY2(shown(0x5A5A5A, 0x5A5A5A, 0x5A5A5A), "the three boards' rows do not show them");

        const QString history = home.filePath("data/kestrel/history.sqlite");
        const auto recorded = [&](int address, history::Event event, std::optional<int> channel) {
            const history::Filter filter{.address = address, .channel = channel, .events = {event}};
            return QTest::qWaitFor([&] { return !history::Events(history, filter).rows.empty(); },
                                   5000);
        };
        // A row's ground, between its first two lamps: marked for a while when the row changes,
        // else the page's own, as beside the rows.
        const auto ground = [&](int row) {
            return rig.x.screenshot().pixel(rig.window + at::LampCentre(row, 1) +
                                            QPoint(at::kLampPitch / 2, 0));
        };
        const QRgb plain = rig.x.screenshot().pixel(rig.window + at::kPageAt +
                                                    QPoint(at::kRowWidth + 8, at::kRowHeight / 2));
        QVERIFY2(QTest::qWaitFor(
                     [&] { return ground(0) == plain && ground(1) == plain && ground(2) == plain; },
                     10000),
                 "the rows are still marked long after the boards' first answers");
        QVERIFY(rig.sim->control("@2 pattern 0x000001"));
        QVERIFY2(shown(0x5A5A5A, 0x000001, 0x5A5A5A), "board 2's row did not follow it");
        QVERIFY2(ground(1) != plain && ground(0) == plain, "board 2's changed row is not marked");
        QVERIFY2(QTest::qWaitFor([&] { return ground(1) == plain; }, 10000),
                 "board 2's row stays marked");
        QVERIFY2(recorded(2, history::Event::On, 1), "board 2's channel 1 is not in the history");
        QVERIFY(rig.sim->control("@3 silent on"));
        QVERIFY2(shown(0x5A5A5A, 0x000001, std::nullopt), "board 3's row does not show it silent");
        QVERIFY2(recorded(3, history::Event::Lost, std::nullopt),
                 "board 3's silence is not in the history");
    }

    // No display, or one no server answers (our sessions take :100..:899), is told with what to
    // use instead, as the last line; --version needs none. Scripts as in support/script.h.
    void withoutDisplay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("script");
        QTest::newRow("none") << KESTREL_PATH
                              << "run; ? boardctl reads and switches the board (man boardctl).; $; "
                                 "exit 1";
        QTest::newRow("dead")
            << WRENFIELD_PATH
            << "run DISPLAY=:999 LC_ALL=zh_CN.UTF-8; "
               "? 没有图形界面时请用 boardctl 查看和操作检测板（man boardctl）。; $; "
               "exit 1";
        QTest::newRow("version") << KESTREL_PATH
                                 << "run --version; = kestrel " PROJECT_VERSION "; $; exit 0";
        QTest::newRow("help") << WRENFIELD_PATH << "run -h; ? man wrenfield tells more.; exit 0";
        QTest::newRow("unexpected argument")
            << KESTREL_PATH
            << "run QT_QPA_PLATFORM=offscreen foo; ? unexpected argument: foo; exit 2";
        QTest::newRow("overview, unexpected argument")
            << OVERVIEW_PATH
            << "run QT_QPA_PLATFORM=offscreen foo; ? unexpected argument: foo; exit 2";
    }
    void withoutDisplay()
    {
        QFETCH(QString, program);
        QFETCH(QString, script);
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            qunsetenv(name);
        Script(program).run(script);
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "test_e2e.moc"
