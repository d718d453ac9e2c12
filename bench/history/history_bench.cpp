// The history at size: a file of 1,000,000 rows (8 boards on one line over 30 days, made once in
// a temporary folder through the writer), then the medians of opening it, the first page of one
// board's channel and a day's timeline of one board (targets < 200 ms each), and the deviation of
// a 50 ms timer's period while the same thread appends 1,000 events a second (p99 < 2 ms).
// Usage: history_bench [SECONDS of ticking, default 30]
#include "history/queries.h"
#include "history/writer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QString kDevice = QStringLiteral("/dev/ttyUSB0");
const QDateTime kStart(QDate(2025, 3, 1), QTime(0, 0), Qt::UTC);
constexpr int kRows = 1'000'000;
constexpr int kDays = 30;

double Percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

double MedianMs(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return Percentile(times, 0.5);
}

void Print(const char* what, double ms, const char* target)
{
    std::printf("%-56s %9.3f ms   %s\n", what, ms, target);
}

// Channels that switch at random, a lost link now and then (back after its on/off rows), and the
// port closed and opened once a day, spread evenly over kDays.
void MakeHistory(const QString& path)
{
    QStringList names;
    for (int channel = 1; channel <= board::kChannels; ++channel)
        names << QStringLiteral("第%1路").arg(channel);
    QRandomGenerator random(24);
    history::Writer writer(path);
    const qint64 stepMs = qint64(kDays) * 86'400'000 / kRows;
    QDate day;
    for (int rows = 0; rows < kRows;) {
        const QDateTime time = kStart.addMSecs(rows * stepMs);
        const int address = 1 + int(random.bounded(8));
        const int channel = 1 + int(random.bounded(board::kChannels));
        if (time.date() != day) {
            day = time.date();
            writer.append({time, kDevice, {}, {}, history::Event::Closed});
            writer.append({time, kDevice, {}, {}, history::Event::Opened});
            rows += 2;
        } else if (random.bounded(1000) == 0) {
            writer.append({time, kDevice, address, {}, history::Event::Lost});
            writer.append({time.addMSecs(300), kDevice, address, {}, history::Event::Ok});
            rows += 2;
        } else {
            writer.append({time, kDevice, address, channel,
                           random.bounded(2) ? history::Event::On : history::Event::Off,
                           names[channel - 1]});
            ++rows;
        }
    }
    writer.close();
    if (writer.notWritten() != 0)
        std::printf("%lld rows not written\n", writer.notWritten());
}

// The period of a 50 ms timer, ticking alone or appending 50 events each tick: the deviations
// from 50 ms.
std::vector<double> Ticks(const QString& path, int seconds, bool append)
{
    std::unique_ptr<history::Writer> writer;
    if (append)
        writer = std::make_unique<history::Writer>(path);
    std::vector<double> deviations;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QElapsedTimer clock;
    qint64 last = -1;
    int n = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0)
            deviations.push_back(std::abs(double(now - last) / 1e6 - 50.0));
        last = now;
        for (int i = 0; writer && i < 50; ++i, ++n)
            writer->append({QDateTime::currentDateTimeUtc(), kDevice, 1 + n % 8,
                            1 + n % board::kChannels,
                            n % 2 ? history::Event::On : history::Event::Off,
                            QStringLiteral("第%1路").arg(1 + n % board::kChannels)});
        if (deviations.size() >= size_t(seconds * 20))
            QCoreApplication::quit();
    });
    clock.start();
    timer.start(50);
    QCoreApplication::exec();
    if (writer) {
        writer->close();
        if (writer->notWritten() != 0)
            std::printf("%lld rows not written\n", writer->notWritten());
    }
    return deviations;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));

    QElapsedTimer made;
    made.start();
    MakeHistory(path);
    std::printf("made %d rows in %.1f s (%.1f MiB)\n", kRows, double(made.elapsed()) / 1000,
                double(QFileInfo(path).size()) / (1 << 20));

    const history::Filter channel{.address = 3, .channel = 7, .limit = 200};
    const QDateTime day = kStart.addDays(kDays / 2);
    Print("open (Reader: open, schema check)", MedianMs(21, [&] { history::Reader reader(path); }),
          "(target < 200 ms)");
    Print("board 3 channel 7, first page of 200, file opened too",
          MedianMs(21, [&] { history::Events(path, channel); }), "(target < 200 ms)");
    history::Reader reader(path);
    Print("  the same on an opened reader", MedianMs(21, [&] { reader.events(channel); }), "");
    const history::Page first = reader.events(channel);
    Print("  its next page", MedianMs(21, [&] { reader.events(*first.next); }), "");
    Print("  board 3, all channels, first page of 200",
          MedianMs(21, [&] { reader.events({.address = 3, .limit = 200}); }), "");
    Print("  the whole line, lost links only, first page of 200",
          MedianMs(21, [&] { reader.events({.events = {history::Event::Lost}, .limit = 200}); }),
          "");
    Print("a day's timeline of board 3, file opened too",
          MedianMs(21, [&] { history::Reader(path).timeline(kDevice, 3, day, day.addDays(1)); }),
          "(target < 200 ms)");
    Print("  the same on an opened reader",
          MedianMs(21, [&] { reader.timeline(kDevice, 3, day, day.addDays(1)); }), "");

    for (const bool append : {false, true}) {
        const std::vector<double> deviations = Ticks(path, seconds, append);
        std::printf("50 ms timer, %s, %zu periods: deviation median %.3f ms, p99 %.3f ms, "
                    "max %.3f ms%s\n",
                    append ? "appending 1,000 events/s" : "alone", deviations.size(),
                    Percentile(deviations, 0.5), Percentile(deviations, 0.99),
                    Percentile(deviations, 1.0), append ? "   (target p99 < 2 ms)" : "");
    }
    return 0;
}
