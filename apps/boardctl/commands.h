// boardctl's commands: the four over the session, and ports; each returns boardctl's exit code.
#pragma once

#include "options.h"
#include "output.h"

#include "link/board_session.h"
#include "link/stop_signals.h"

namespace boardctl {

struct Context
{
    const Options& options;
    const Formatter& formatter;
    board::BoardSession& session;
    const board::StopSignals& stops;
    Output& out;
};

// Runs the command that options.command names.
int RunCommand(const Context& context);

} // namespace boardctl
