// What boardctl's exit status means; scripts on production lines test these numbers.
#pragma once

namespace boardctl {

enum ExitCode : int {
    kExitDone = 0,     // done, and --expect matched
    kExitMismatch = 1, // --expect did not match, or toggle saw no change
    kExitUsage = 2,    // wrong usage
    kExitNoPort = 3,   // the port cannot be opened, or went away during status, toggle or scan
    kExitNoAnswer = 4, // no valid answer in time (scan: no board answered)
    kExitOutput = 5,   // what was to be printed could not all be written
};

} // namespace boardctl
