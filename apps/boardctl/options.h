// boardctl's command line: what to open, which board, which format, which command.
#pragma once

#include "channel_pattern.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace boardctl {

enum class Format { Text, Json, Csv };
enum class Command { Status, Watch, Toggle };

struct Options
{
    int port = 1;      // port number N, when no --device is given
    QString device;    // --device PATH; empty for a port number
    int address = 1;   // 0..255
    QString namesFile; // --names FILE; empty for the default
    Format format = Format::Text;
    Command command = Command::Status;
    std::optional<ChannelPattern> expect;
    int timeoutMs = 1000;                  // status and toggle
    std::optional<double> durationSeconds; // watch; none = until a signal
    int channel = 0;                       // toggle, 1..24
};

// Nothing more to do than print `text` and exit with `code` (help, version, wrong usage).
struct ExitNow
{
    int code = 0;
    QString text;
};

// `arguments` as QCoreApplication::arguments() gives them (program name first).
std::variant<Options, ExitNow> ParseOptions(const QStringList& arguments);

// The one-line synopsis printed after every usage error.
QString UsageLine();

} // namespace boardctl
