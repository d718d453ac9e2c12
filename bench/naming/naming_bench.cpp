// Median timings of the naming code on real files in a temporary directory: creating name.txt
// (target < 20 ms), one address change = 24 reads (target < 2 ms), start-up with an existing file,
// and one rename. Plain printout; run with QT_QPA_PLATFORM=offscreen (no window is opened).
#include "msgbox/message_box.h"
#include "naming/module2.h"
#include "naming/name_file.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double MedianMs(int runs, const std::function<void()>& before, const std::function<void()>& work)
{
    std::vector<qint64> times;
    times.reserve(size_t(runs));
    for (int i = 0; i < runs; ++i) {
        if (before)
            before();
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed());
    }
    std::sort(times.begin(), times.end());
    return double(times[times.size() / 2]) / 1e6;
}

void Print(const char* what, int runs, double ms, const char* target)
{
    std::printf("%-58s median %8.3f ms over %3d runs%s\n", what, ms, runs, target);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int messages = 0;
    msgbox::SetHandler([&messages](const msgbox::Message&) { ++messages; });
    QTemporaryDir dir;
    const QString path = naming::NameFilePath(dir.path());

    const double create = MedianMs(
        31, [&] { QFile::remove(path); }, [&] { naming::InitNameFile(path); });
    Print("create name.txt (InitNameFile, no file; incl. fsync)", 31, create,
          "   (target < 20 ms)");

    const double build = MedianMs(31, {}, [] { naming::DefaultNameFileContent(); });
    Print("  of which building the 115372 bytes", 31, build, "");

    const double change255 =
        MedianMs(301, {}, [&] { naming::NamesOfAddress(path, QStringLiteral("255"), false); });
    Print("address change to 255 (24 reads, last section)", 301, change255, "   (target < 2 ms)");
    const double change1 =
        MedianMs(301, {}, [&] { naming::NamesOfAddress(path, QStringLiteral("1"), false); });
    Print("address change to 1 (24 reads, second section)", 301, change1, "   (target < 2 ms)");

    const double start = MedianMs(101, {}, [&] {
        naming::InitNameFile(path);
        naming::NamesOfAddress(path, QStringLiteral("1"), false);
    });
    Print("start-up with the file (marker, title, 24 names)", 101, start, "");

    int n = 0;
    const double rename = MedianMs(101, {}, [&] {
        naming::WriteIniValue(path, QStringLiteral("地址码128"), QStringLiteral("第12路名称"),
                              QStringLiteral("名称%1").arg(++n));
    });
    Print("one rename (WriteIniValue: lock, atomic replace, fsync)", 101, rename, "");

    if (messages != 2 * 31) // one missing-file and one creation message per creation run, none else
        std::printf("unexpected message count %d\n", messages);
    return 0;
}
