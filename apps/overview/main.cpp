// kestrel-overview: every board of a serial line in one window, with the line's history.
#include "options.h"
#include "overview_window.h"

#include "link/stop_signals.h"
#include "link/text.h"
#include "monitor/program_start.h"

#include <QSocketNotifier>

#include <cstdio>
#include <optional>
#include <system_error>

namespace {

const monitor::ProgramText kProgram{
    "kestrel-overview", "Kestrel 总览", "Kestrel 总览：一条串口线路上的所有检测板在一个窗口中。",
    "Kestrel Overview: every board of a serial line in one window.", overview::Help};

} // namespace

int main(int argc, char* argv[])
{
    // A stop signal (a wall screen's shutdown) closes the window its own way, so that the
    // history gets its pending rows and the closed line. Made before any thread exists.
    std::optional<board::StopSignals> stops;
    try {
        stops.emplace();
    } catch (const std::system_error&) {
        // Without a descriptor the signals keep their usual meaning.
    }
    const monitor::Start start = monitor::StartProgram(argc, argv, kProgram);
    if (!start.app)
        return start.exitCode;
    start.app->setProperty(board::kFollowsLocale, true);
    QApplication::setApplicationName(board::Tr("Kestrel 总览", "Kestrel Overview"));
    const auto parsed = overview::ParseOptions(QApplication::arguments());
    if (const auto* exit = std::get_if<board::ExitNow>(&parsed)) {
        std::fputs((exit->text + u'\n').toUtf8().constData(), exit->code ? stderr : stdout);
        return exit->code;
    }
    overview::OverviewWindow window(QApplication::applicationDirPath(),
                                    std::get<overview::Options>(parsed));
    std::optional<QSocketNotifier> stopped;
    if (stops) {
        stopped.emplace(stops->fd(), QSocketNotifier::Read);
        QObject::connect(&*stopped, &QSocketNotifier::activated, &window, [&] {
            stops->take();
            window.close();
            QApplication::quit(); // also from inside a message box's own loop
        });
    }
    window.show();
    return QApplication::exec();
}
