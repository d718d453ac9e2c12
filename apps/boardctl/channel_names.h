// The channel names boardctl prints, read (never written) from a name file.
#pragma once

#include "options.h"
#include "output.h"

#include <variant>

namespace boardctl {

// --names FILE, else name.txt where the windows keep it for a program in programDir, if there is
// one, else no names. A name file asked for by --names that cannot be read gives its error
// message; an unreadable default file is reported and left out.
std::variant<ChannelNames, QString> LoadChannelNames(const Options& options,
                                                     const QString& programDir);

} // namespace boardctl
