// The three commands; each returns boardctl's exit code.
#pragma once

#include "board_session.h"
#include "options.h"
#include "output.h"
#include "stop_signals.h"

namespace boardctl {

struct Context
{
    const Options& options;
    const Formatter& formatter;
    BoardSession& session;
    const StopSignals& stops;
};

int RunStatus(const Context& context);
int RunWatch(const Context& context);
int RunToggle(const Context& context);

} // namespace boardctl
