// The real Wrenfield program beside the real board simulator, on a private virtual display: a
// click on a green lamp must reach the board as a switch-off command and come back as a red lamp.
#include "x_session.h"
#include "binaries.h"

#include "monitor/layout.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace std::chrono_literals;

namespace {

constexpr int kChannel = 24;

// A spot inside a lamp that its status label never covers: to read the colour, and to click
// the lamp itself rather than the label.
QPoint LampSpot(const QRect& window, int channel)
{
    const monitor::ChannelPlace& place = monitor::kChannelPlaces[channel - 1];
    return window.topLeft() +
           QPoint(monitor::Px(place.lampLeft) + 85, monitor::Px(place.lampTop) + 38);
}

bool LampIs(XSession& x, const QRect& window, int channel, const QColor& colour)
{
    return x.screenshot().pixelColor(LampSpot(window, channel)) == colour;
}

bool WaitForLine(QProcess* process, const QByteArray& line, QByteArray& seen)
{
    const bool found = WaitFor(
        [&] {
            seen += process->readAllStandardOutput();
            return seen.contains(line);
        },
        30s);
    if (!found)
        qWarning() << "no" << line << "in the simulator's log, which ends with" << seen.right(300);
    return found;
}

} // namespace

class WrenfieldEndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
#ifndef BOARDSIM_BINARY
        QSKIP("the board simulator is not part of this build");
#endif
        if (!XSession::toolsPresent())
            QSKIP("Xvfb, xdotool or ImageMagick is not installed");
    }

    void clickOnGreenLampSwitchesTheChannelOffAndBackOn()
    {
#ifdef BOARDSIM_BINARY
        // The program looks for its port link beside itself, so it runs from a copy.
        QTemporaryDir dir;
        const QString wrenfield = dir.filePath(QStringLiteral("wrenfield"));
        QVERIFY(QFile::copy(QStringLiteral(WRENFIELD_BINARY), wrenfield));

        XSession x;
        QVERIFY(x.isRunning());
        // Only channel 24 connected: its lamp green, all others red.
        QProcess* sim = x.start(QStringLiteral(BOARDSIM_BINARY),
                                {QStringLiteral("--dir"), dir.path(), QStringLiteral("--port"),
                                 QStringLiteral("1"), QStringLiteral("--pattern"),
                                 QStringLiteral("0x800000"), QStringLiteral("--log")});
        QByteArray log;
        QVERIFY(WaitForLine(sim, "boardsim: port 1", log));

        x.start(wrenfield, {}, dir.path());
        const QString window = x.waitForWindow(QStringLiteral("^Halvard—串口输入检测板  "), 60s);
        QVERIFY2(!window.isEmpty(), "Wrenfield's window did not show");
        const QRect geometry = x.geometry(window);
        QCOMPARE(geometry.size(), QSize(534, 713));

        const QRect openButton = monitor::TwipsRect(3840, 120, 1455, 375);
        x.click(geometry.topLeft() + openButton.center());
        QVERIFY(WaitForLine(sim, "rx 55 01 10 00 00 00 00 66", log));
        QVERIFY2(WaitFor([&] { return LampIs(x, geometry, kChannel, QColor(0, 255, 0)); }, 30s),
                 "lamp 24 never turned green");
        QVERIFY(LampIs(x, geometry, 1, QColor(255, 0, 0)));

        x.click(LampSpot(geometry, kChannel));
        QVERIFY(WaitForLine(sim, "rx 55 01 11 00 00 00 18 7F", log));
        QVERIFY2(WaitFor([&] { return LampIs(x, geometry, kChannel, QColor(255, 0, 0)); }, 30s),
                 "lamp 24 did not turn red after its switch-off command");

        // Red now: the same click asks the board to switch the channel on again.
        x.click(LampSpot(geometry, kChannel));
        QVERIFY(WaitForLine(sim, "rx 55 01 12 00 00 00 18 80", log));
        QVERIFY2(WaitFor([&] { return LampIs(x, geometry, kChannel, QColor(0, 255, 0)); }, 30s),
                 "lamp 24 did not turn green after its switch-on command");
#endif
    }
};

QTEST_MAIN(WrenfieldEndToEndTest)
#include "test_wrenfield_e2e.moc"
