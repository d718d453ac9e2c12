// boardctl: the detection board from the command line, for scripts, loggers and machines with no
// display. Qt Core and Serial Port only.
#include "channel_names.h"
#include "commands.h"
#include "exit_codes.h"
#include "options.h"
#include "output.h"

#include "link/board_session.h"
#include "link/stop_signals.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    // Before anything could start a thread that would take the signals instead.
    const board::StopSignals stops;
    const QCoreApplication app(argc, argv);
    const auto parsed = boardctl::ParseOptions(QCoreApplication::arguments());
    if (const auto* exit = std::get_if<boardctl::ExitNow>(&parsed)) {
        if (exit->code == boardctl::kExitDone)
            boardctl::PrintLines({exit->text});
        else
            std::fputs((exit->text + u'\n').toUtf8().constData(), stderr);
        return exit->code;
    }
    const auto& options = std::get<boardctl::Options>(parsed);
    const QString programDir = QCoreApplication::applicationDirPath();
    const auto names = boardctl::LoadChannelNames(options, programDir);
    if (const auto* error = std::get_if<QString>(&names)) {
        boardctl::PrintError(*error + u'\n' + boardctl::UsageLine());
        return boardctl::kExitUsage;
    }
    const boardctl::Formatter formatter(options.format, options.address,
                                        std::get<boardctl::ChannelNames>(names));
    board::BoardSession session(programDir);
    session.setAddress(static_cast<std::uint8_t>(options.address));
    session.MSComm1().setCommPort(options.port);
    session.MSComm1().setDevicePath(options.device);
    const boardctl::Context context{options, formatter, session, stops};
    switch (options.command) {
    case boardctl::Command::Status:
        return boardctl::RunStatus(context);
    case boardctl::Command::Watch:
        return boardctl::RunWatch(context);
    case boardctl::Command::Toggle:
        return boardctl::RunToggle(context);
    }
    return boardctl::kExitUsage;
}
