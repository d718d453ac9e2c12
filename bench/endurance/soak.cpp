// The soak run: Kestrel or Wrenfield on a private display beside boardsim for a set time, the line
// spoiled (a stray byte before every 23rd reply, a bad checksum on every 37th) and a fault every
// 1.2 s: 8 bytes of noise, a silence of 100 or 600 ms, or an unplug (the message answered, the
// terminal back, the port opened again), each ended by new channels on the board. It samples the
// lamps every 10 ms. PASS when the program lives, no sample shows channels that no whole frame
// carried, the lamps show the new channels within 100 ms of their first whole frame after every
// fault, memory grows by at most 2 MiB after warm-up and the program takes at most 5 % of a core.
//   soak kestrel|wrenfield [seconds = 60] [unplug cycles = 10] [seed = 1]
#include "link/frame.h"
#include "support/line_process.h"
#include "support/window_rig.h"
#include "support/x_session.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

int Soak(const QStringList& args)
{
    const bool kestrel = args.value(1) == "kestrel";
    const int seconds = args.value(2, "60").toInt(), faults = std::max(seconds * 10 / 12, 20);
    const int unplugs = std::clamp(args.value(3, "10").toInt(), 0, faults);
    QTemporaryDir work; // the program's own folder, where it finds the board as com1
    const QString program = work.filePath(kestrel ? "kestrel" : "wrenfield");
    QFile::copy(kestrel ? KESTREL_PATH : WRENFIELD_PATH, program);
    BoardsimProcess sim(work.path(), {"--log", "--seed", args.value(4, "1"), "--noise-every", "23",
                                      "--invalid-every", "37"});
    XSession x(qEnvironmentVariable("DISPLAY"));
    const QProcess* app = x.start(program);
    const QString box = kestrel ? "^Kestrel 通道监视$" : "^Wrenfield 测试台$";
    if (kestrel)
        x.answer("^File Not Found$") && x.answer(box); // the first start's messages
    const QRect window = x.waitForWindow(kestrel ? "^Kestrel$" : "^Halvard");
    QScreen* const screen = QGuiApplication::primaryScreen();
    // CPU seconds (100 ticks a second) and resident KiB (4 KiB pages) so far; fields counted after
    // the name, which may hold blanks.
    const auto usage = [pid = app->processId()] {
        QFile stat(QString("/proc/%1/stat").arg(pid));
        const QByteArray text = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        const auto fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        return std::tuple((fields.value(11).toDouble() + fields.value(12).toDouble()) / 100,
                          fields.value(21).toDouble() * 4, Clock::now());
    };

    QSet<std::uint32_t> sent;         // the channels whole frames carried
    std::uint32_t awaited = 0x5A5A5A; // after the last fault, and when its first whole frame came
    std::optional<Clock::time_point> frameAt, shownAt; // and when the lamps showed them
    bool afterStray = false; // a frame right after stray bytes is not taken whole
    long samples = 0, wrong = 0;
    std::vector<double> steps; // ms from the first whole frame after a fault to the lamps
    const auto readLog = [&] {
        sim.process().waitForReadyRead(0); // what the board has printed so far
        while (const auto line = sim.waitForLine([](const QString&) { return true; }, 0ms)) {
            const QByteArray bytes = QByteArray::fromHex(line->mid(3).toLatin1()).leftJustified(8);
            board::Frame frame{};
            std::copy_n(bytes.begin(), 8, frame.begin());
            const bool whole = line->startsWith("tx ") && board::IsValid(frame, board::kStatusHead);
            if (whole)
                sent.insert(board::ChannelBits(frame));
            if (whole && !afterStray && !frameAt && board::ChannelBits(frame) == awaited)
                frameAt = Clock::now();
            afterStray = line->startsWith("noise");
        }
    };
    // Samples every 10 ms until `until` (or, with `toStep`, until the lamps show the awaited
    // channels), stamping the board's log lines as they come.
    const auto run = [&](Clock::time_point until, bool toStep) {
        while (Clock::now() < until && !(toStep && shownAt) && app->state() == QProcess::Running) {
            const auto next = Clock::now() + 10ms;
            const QImage image = screen->grabWindow(0, window.x(), window.y(), 534, 713).toImage();
            const auto at = Clock::now();
            readLog(); // every frame sent before the grab
            std::uint32_t channels = 0, lit = 0;
            for (int ch = 1; ch <= 24; ++ch) {
                const QRgb c = image.pixel(LampPoint(ch));
                lit += c == 0xFF00FF00 || c == 0xFFFF0000;
                channels |= std::uint32_t(c == 0xFF00FF00) << (ch - 1);
            }
            wrong += lit == 24 && !sent.contains(channels);
            ++samples;
            if (!shownAt && frameAt && lit == 24 && channels == awaited)
                shownAt = at;
            for (; Clock::now() < next; readLog())
                sim.process().waitForReadyRead(2);
            QCoreApplication::processEvents();
        }
    };

    const QPoint open = window.topLeft() + monitor::TwipsRect(3840, 120, 1455, 375).center();
    x.click(open);
    const auto start = Clock::now();
    auto warm = usage();
    for (int i = 1; app->state() == QProcess::Running; ++i) {
        run(Clock::now() + 3s, true);
        steps.push_back(shownAt ? Ms(*shownAt - *frameAt).count() : 1e6); // 1e6: never shown
        if (i > faults)
            break;
        run(start + std::chrono::milliseconds(seconds * 1000LL * i / faults), false);
        if (i == faults / 5) // after a few of each fault
            warm = usage();
        awaited = (awaited * 2654435761u + 1) & 0xFFFFFF; // new channels, spread over all 24
        frameAt = shownAt = std::nullopt;
        const bool unplug = i * unplugs / faults != (i - 1) * unplugs / faults; // spread evenly
        if (sim.control(unplug ? "unplug"
                               : QStringList{"noise 8", "silence 100", "silence 600"}[i % 3]) &&
            unplug && x.answer(box))
            sim.control("replug");
        sim.control(QString("pattern %1").arg(awaited, 6, 16, QChar('0')));
        if (unplug)
            x.click(open);
    }
    const auto [cpu, kib, end] = usage();
    const double share =
        100 * (cpu - std::get<0>(warm)) * 1000 / Ms(end - std::get<2>(warm)).count();
    const double growth = kib - std::get<1>(warm);
    std::sort(steps.begin(), steps.end());
    const bool pass = app->state() == QProcess::Running && wrong == 0 && steps.back() <= 100 &&
                      growth <= 2048 && share <= 5;
    std::printf(
        "soak %s: %d s, %d faults, %d of them unplugs: %s\n  memory %.1f MiB after warm-up, then "
        "%+.0f KiB; CPU %.2f %% of a core\n  back in step after a fault: median %.1f, max %.1f ms; "
        "wrong lamp states: %ld of %ld samples\n",
        qPrintable(args.value(1)), seconds, faults, unplugs, pass ? "PASS" : "FAIL",
        std::get<1>(warm) / 1024, growth, share, steps[steps.size() / 2], steps.back(), wrong,
        samples);
    return pass ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // The run is a client of a display of its own, so that it reads the lamps in a millisecond.
    if (qEnvironmentVariableIsSet("KW_SOAK_ON_DISPLAY")) {
        const QGuiApplication app(argc, argv);
        return Soak(app.arguments());
    }
    const QCoreApplication app(argc, argv);
    qputenv("KW_SOAK_ON_DISPLAY", "1");
    XSession x;
    QProcess* soak = x.start(app.applicationFilePath(), app.arguments().mid(1));
    return x.isRunning() && soak->waitForFinished(-1) ? soak->exitCode() : 2;
}
