// boardctl's four commands; each returns boardctl's exit code.
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

int RunStatus(const Context& context);
int RunWatch(const Context& context);
int RunToggle(const Context& context);
int RunScan(const Context& context);
int RunPorts(const Context& context);

} // namespace boardctl
