// boardctl's command line: what to open, which boards, which format, which command.
#pragma once

#include "link/command_line.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace boardctl {

enum class Format { Text, Json, Csv };
// The state a production-line check expects of the 24 channels: connected, disconnected or either.
struct ChannelPattern
{
    std::uint32_t care = 0; // bit n-1 set: channel n is checked
    std::uint32_t on = 0;   // bit n-1 set: channel n must be connected (where checked)
};
enum class Command { Status, Watch, Toggle, Scan, Ports };

// The defaults are in the option table (options.cpp), as one would type them.
struct Options
{
    int port = 0;                        // port number N, when no --device is given
    QString device;                      // --device PATH; empty for a port number
    std::vector<std::uint8_t> addresses; // scan: --from..--to
    bool anyAddress = false;             // take any valid answer, whatever address it carries
    QString namesFile;                   // --names FILE; empty for the default
    Format format = Format::Text;
    Command command = Command::Status;
    std::optional<ChannelPattern> expect;
    int timeoutMs = 0;                     // status and toggle; scan: the wait for each answer
    int intervalMs = 0;                    // time between requests
    int from = 0, to = 0;                  // scan: the first and the last address asked
    int retries = 0;                       // scan: asks of a silent address after the first
    std::optional<double> durationSeconds; // watch; none = until a signal
    int channel = 0;                       // toggle, 1..24
    QString historyFile;                   // watch: the SQLite history written too, if any
    int keepDays = 0;                      // watch --history: rows kept so many days; 0: all
};

using board::ExitNow;

// `arguments` as QCoreApplication::arguments() gives them (program name first).
std::variant<Options, ExitNow> ParseOptions(const QStringList& arguments);

} // namespace boardctl
