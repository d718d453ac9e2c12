// boardctl's costs, with no display: the CPU that `watch` takes beside live simulated boards, the
// time from the last byte of a status frame written on the line to the line it prints, how a bus of
// eight boards is kept fresh, and how long a scan of every address takes.
// Run: build/bin/bench_boardctl [seconds per CPU run] [frames]
#include "link/frame.h"
#include "support/line_process.h"
#include "support/pseudo_terminal.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <unistd.h>
#include <vector>

namespace {

const QString kBoardctl = QStringLiteral(BOARDCTL_PATH);

// The time a process has run so far, in seconds.
double CpuSeconds(qint64 pid)
{
    // The scheduler's own count, in nanoseconds: the clock-tick counts of /proc/PID/stat are too
    // coarse, and on a virtual machine too noisy, for a share of one per cent.
    QFile stat(QStringLiteral("/proc/%1/schedstat").arg(pid));
    return stat.open(QIODevice::ReadOnly) ? stat.readAll().split(' ').value(0).toDouble() / 1e9 : 0;
}

bool CpuRun(const char* label, const QStringList& boardOptions, int seconds,
            const QStringList& watchOptions = {}, int target = 1)
{
    QTemporaryDir dir;
    BoardsimProcess board(dir.path(), boardOptions);
    LineProcess watch(kBoardctl, QStringList{"--device", dir.filePath("com1")} + watchOptions +
                                     QStringList{"watch"});
    const auto never = [](const QString&) { return false; };
    if (!board.started() || !watch.waitForLine([](const QString&) { return true; })) {
        std::fprintf(stderr, "%s: boardctl printed nothing beside boardsim\n", label);
        return false;
    }
    watch.waitForLine(never, 1s); // warm-up
    const double before = CpuSeconds(watch.process().processId());
    watch.waitForLine(never, std::chrono::seconds(seconds)); // reads what it prints meanwhile
    const double used = CpuSeconds(watch.process().processId()) - before;
    std::printf("watch, %s: CPU %.2f %% of a core over %d s (target: under %d %%)\n", label,
                100 * used / seconds, seconds, target);
    return true;
}

bool LatencyRun(int frames)
{
    PseudoTerminal line;
    LineProcess watch(kBoardctl, {"--device", line.slavePath(), "watch"});
    const auto channel1 = [](const QString& l) { return l.contains(QStringLiteral("通道  1 ")); };
    line.read(8, 2s);
    line.write(board::MakeStatus(1, 0));
    if (!watch.waitForLine(channel1, 2s)) {
        std::fprintf(stderr, "latency: boardctl printed no first status\n");
        return false;
    }
    std::vector<double> ms;
    QElapsedTimer clock;
    for (int i = 1; i <= frames; ++i) {
        line.readAvailable();
        if (line.read(8, 1s).size() < 8) // the next poll: the answer must come before the one after
            break;
        line.write(board::MakeStatus(1, i % 2));
        clock.start();
        if (!watch.waitForLine(channel1, 1s))
            break;
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    if (ms.size() < size_t(frames)) {
        std::fprintf(stderr, "latency: only %zu of %d changes were printed\n", ms.size(), frames);
        return false;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("status frame on the line to its line printed, %d frames: median %.2f ms, p95 "
                "%.2f ms, max %.2f ms (target: median under 5 ms)\n",
                frames, ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back());
    return true;
}

// Eight boards on a line paced at 9600 Bd, watched with no time between requests: how often each
// board is asked and answered, what share of the time the line is busy, how soon a change on any
// board is printed. (Its CPU is a run of its own: the simulator's log of every frame, read here,
// would share the two cores with it.)
bool BusRun(int seconds, int changes)
{
    constexpr double kExchangeMs = 16 * 10 * 1000.0 / 9600; // a request and its answer on the wire
    QTemporaryDir dir;
    BoardsimProcess board(dir.path(), {"--address", "1-8", "--log"});
    LineProcess watch(kBoardctl, {"--device", dir.filePath("com1"), "--address", "1-8",
                                  "--interval", "0", "watch"});
    if (!board.started() ||
        !watch.waitForLine([](const QString& l) { return l.contains("地址 8"); })) {
        std::fprintf(stderr, "bus: boardctl printed nothing of board 8\n");
        return false;
    }
    std::map<QString, int> answers; // per address byte, in hex
    const auto count = [&](std::chrono::milliseconds span) {
        board.waitForLine(
            [&](const QString& l) { return l.startsWith("tx ") && ++answers[l.mid(6, 2)] < 0; },
            span);
    };
    count(1s); // warm-up
    answers.clear();
    count(std::chrono::seconds(seconds));
    int total = 0, fewest = INT_MAX;
    for (const auto& [address, n] : answers)
        total += n, fewest = std::min(fewest, n);
    const double roundMs = 1000.0 * seconds / fewest;
    std::printf(
        "bus of 8, --interval 0: %d answers in %d s; each board fresh every %.1f ms at worst "
        "(floor %.1f ms, ratio %.2f; target under 167 ms); line busy %.0f %% (target at least 80 "
        "%%)\n",
        total, seconds, roundMs, 8 * kExchangeMs, roundMs / (8 * kExchangeMs),
        100 * total * kExchangeMs / (1000.0 * seconds));
    std::vector<double> ms;
    for (int i = 0; i < changes; ++i) {
        const int address = i % 8 + 1;
        const QString pattern = i / 8 % 2 ? "0x000000" : "0x000001";
        // At a moment of the round that nothing ties to the last change's line.
        watch.waitForLine([](const QString&) { return false; },
                          std::chrono::milliseconds(QRandomGenerator::global()->bounded(140)));
        // From the change sent to the time boardctl stamps on its line, so that neither reader's
        // own delay counts.
        const QDateTime sent = QDateTime::currentDateTime();
        if (!board.control(QString("@%1 pattern %2").arg(address).arg(pattern)))
            return false;
        const QString line =
            QString("地址 %1  通道  1  第1路  %2").arg(address).arg(i / 8 % 2 ? "断开" : "连接");
        const auto printed =
            watch.waitForLine([&](const QString& l) { return l.endsWith(line); }, 2s);
        if (!printed)
            return std::fprintf(stderr, "bus: change %d never printed\n", i), false;
        ms.push_back(
            sent.msecsTo(QDateTime::fromString(printed->section("  ", 0, 0), Qt::ISODateWithMs)));
    }
    std::sort(ms.begin(), ms.end());
    std::printf("a change on any board to its line, %d changes: median %.0f ms, p95 %.0f ms, max "
                "%.0f ms (target: one round plus 5 ms, %.1f ms)\n",
                changes, ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back(), roundMs + 5);
    return true;
}

// A scan of every address with three boards on a paced line, default options.
bool ScanRun()
{
    QTemporaryDir dir;
    BoardsimProcess board(dir.path(), {"--address", "3,100,200"});
    QElapsedTimer clock;
    clock.start();
    LineProcess scan(kBoardctl, {"--device", dir.filePath("com1"), "--json", "scan"});
    QStringList found;
    while (const auto line = scan.waitForLine([](const QString&) { return true; }, 20s))
        found << line->section("\"address\": ", 1, 1).section(',', 0, 0);
    const std::optional<int> code = scan.waitForExit(20s);
    std::printf("scan 0..255, boards at %s found in %.2f s, exit %d (target: under 12 s)\n",
                qPrintable(found.join(',')), clock.elapsed() / 1000.0, code.value_or(-1));
    return code == 0 && found == QStringList{"3", "100", "200"};
}

} // namespace

int main(int argc, char* argv[])
{
    qunsetenv("DISPLAY"); // boardctl must need none
    qunsetenv("WAYLAND_DISPLAY");
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int frames = argc > 2 ? std::max(10, std::atoi(argv[2])) : 300;
    const bool ok = CpuRun("board answering, no changes", {"--pattern", "0x5A5A5A"}, seconds) &&
                    CpuRun("board walking every 200 ms", {"--walk", "200"}, seconds) &&
                    LatencyRun(frames) && BusRun(seconds, 40) &&
                    CpuRun("bus of 8, --interval 0", {"--address", "1-8"}, seconds,
                           {"--address", "1-8", "--interval", "0"}, 2) &&
                    ScanRun();
    return ok ? 0 : 1;
}
