// boardctl: the detection board from the command line, for scripts, loggers and machines with no
// display. Qt Core and Serial Port only.
#include "commands.h"
#include "exit_codes.h"
#include "options.h"
#include "output.h"

#include "link/board_session.h"
#include "link/stop_signals.h"

#include <QCoreApplication>

#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <system_error>
#include <unistd.h>

using namespace boardctl;

int main(int argc, char* argv[])
{
    // A closed standard stream would be taken by the next file opened (the signal descriptor,
    // the port): /dev/null holds its place, and a closed output still counts as not written.
    const bool outputClosed = ::fcntl(STDOUT_FILENO, F_GETFD) < 0;
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (::fcntl(fd, F_GETFD) < 0)
            ::open("/dev/null", O_RDWR);
    std::optional<board::StopSignals> stops;
    try {
        stops.emplace(); // before anything could start a thread that would take the signals
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "boardctl: %s\n", e.what());
        return kExitNoPort; // no descriptor left for the signals: none for a port either
    }
    const QCoreApplication app(argc, argv);
    Output out(outputClosed);
    const auto parsed = ParseOptions(QCoreApplication::arguments());
    if (const auto* exit = std::get_if<ExitNow>(&parsed)) {
        if (exit->code != kExitDone)
            return std::fputs((exit->text + u'\n').toUtf8().constData(), stderr), exit->code;
        return out.print({exit->text}) && out.flush(stops->fd()) ? exit->code : int(kExitOutput);
    }
    const auto& options = std::get<Options>(parsed);
    const QString programDir = QCoreApplication::applicationDirPath();
    const auto names = NameSourceFor(options, programDir);
    if (!names)
        return kExitUsage;
    const bool scan = options.command == Command::Scan;
    const Formatter formatter(options.format, *names, options.addresses.size() > 1 || scan);
    board::BoardSession session(programDir);
    session.setAddresses(options.addresses);
    session.setAddressCheck(!options.anyAddress);
    session.setPort(options.port);
    session.setDevice(options.device);
    // With no time between requests, the next goes out once the answer is in, or when the board
    // has had as long as the windows give it; a scan waits --timeout.
    session.setInterval(scan ? 0 : options.intervalMs,
                        scan ? options.timeoutMs : board::kPollIntervalMs);
    return RunCommand({options, formatter, session, *stops, out});
}
