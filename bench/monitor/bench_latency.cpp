// From the last byte of a status frame written on the line to the lamps painted on screen.
// Run: build/bin/bench_status_latency [frames]
#include "link/frame.h"
#include "monitor/main_form.h"
#include "monitor/widgets.h"
#include "support/pseudo_terminal.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Notes the moment a lamp has actually been painted.
class PaintWatch : public QObject
{
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;

    QTemporaryDir dir;
    PseudoTerminal pty;
    QFile::link(pty.slavePath(), dir.filePath(QStringLiteral("com1")));
    monitor::MainForm form(dir.path());
    form.show();
    form.open_comm_Click();
    form.session().setInterval(3'600'000); // no polls: only the frames we write reach the window

    PaintWatch watch;
    form.controls().Picture1[1]->installEventFilter(&watch);

    std::vector<double> micros;
    QElapsedTimer clock;
    for (int i = 0; i < frames; ++i) {
        const board::Frame frame = board::MakeStatus(1, i % 2 ? 0xFFFFFF : 0x000000);
        watch.painted = false;
        pty.write(QByteArray(reinterpret_cast<const char*>(frame.data()), 8));
        clock.start();
        while (!watch.painted && clock.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        micros.push_back(clock.nsecsElapsed() / 1000.0);
    }
    std::sort(micros.begin(), micros.end());
    std::printf("status frame to lamps painted, %d frames: median %.3f ms, p95 %.3f ms, max %.3f "
                "ms (target: median under 5 ms)\n",
                frames, micros[micros.size() / 2] / 1000, micros[micros.size() * 95 / 100] / 1000,
                micros.back() / 1000);
    return 0;
}
