// boardctl's costs, with no display: the CPU that `watch` takes beside a live simulated board, and
// the time from the last byte of a status frame written on the line to the line it prints.
// Run: build/bin/bench_boardctl [seconds per CPU run] [frames]
#include "link/frame.h"
#include "support/line_process.h"
#include "support/pseudo_terminal.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

const QString kBoardctl = QStringLiteral(BOARDCTL_PATH);

// User plus system time of a process so far, in seconds.
double CpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // Fields after the command name in parentheses: state is field 3, utime 14, stime 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ::sysconf(_SC_CLK_TCK);
}

bool CpuRun(const char* label, const QStringList& boardOptions, int seconds)
{
    QTemporaryDir dir;
    BoardsimProcess board(dir.path(), boardOptions);
    LineProcess watch(kBoardctl, {"--device", dir.filePath("com1"), "watch"});
    const auto never = [](const QString&) { return false; };
    if (!board.started() || !watch.waitForLine([](const QString&) { return true; })) {
        std::fprintf(stderr, "%s: boardctl printed nothing beside boardsim\n", label);
        return false;
    }
    watch.waitForLine(never, 1s); // warm-up
    const double before = CpuSeconds(watch.process().processId());
    watch.waitForLine(never, std::chrono::seconds(seconds)); // reads what it prints meanwhile
    const double used = CpuSeconds(watch.process().processId()) - before;
    std::printf("watch, %s: CPU %.2f %% of a core over %d s (target: under 1 %%)\n", label,
                100 * used / seconds, seconds);
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
                    LatencyRun(frames);
    return ok ? 0 : 1;
}
