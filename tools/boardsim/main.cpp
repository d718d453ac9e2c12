// boardsim: the 24-channel detection board, played on a pseudo-terminal.
#include "console.h"
#include "options.h"
#include "simulator.h"
#include "stop_signals.h"

#include <QCoreApplication>

#include <cstdio>
#include <stdexcept>

int main(int argc, char* argv[])
{
    try {
        // Before anything could start a thread that would receive the signals instead.
        const boardsim::StopSignals stopSignals;
        const QCoreApplication app(argc, argv);
        const auto parsed = boardsim::ParseOptions(QCoreApplication::arguments());
        if (const auto* exit = std::get_if<boardsim::ExitNow>(&parsed)) {
            std::fputs((exit->text + '\n').c_str(), exit->code == 0 ? stdout : stderr);
            return exit->code;
        }
        const auto& options = std::get<boardsim::SimOptions>(parsed);
        const boardsim::Console console(options.logTraffic);
        boardsim::Simulator simulator(options, stopSignals, console);
        return simulator.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "boardsim: %s\n", e.what());
        return 1;
    }
}
