// The channel names boardctl prints, read (never written) from a name file.
#pragma once

#include "options.h"
#include "output.h"

#include <optional>

namespace boardctl {

// --names FILE, else name.txt where the windows keep it for a program in programDir, if there is
// one, else no names. Nothing when the file that --names asks for cannot be read (after saying
// why); a default file that cannot be read is reported and left out.
std::optional<NameSource> NameSourceFor(const Options& options, const QString& programDir);

} // namespace boardctl
