// kestrel-overview's command line: the line and the boards to watch at once, for a wall screen,
// and the history written.
#pragma once

#include "link/command_line.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace overview {

struct Options
{
    std::optional<int> port;             // --port N
    QString device;                      // --device PATH
    std::vector<std::uint8_t> addresses; // --address LIST: watching starts at once
    bool anyAddress = false;             // take any valid answer (one board)
    QString historyFile;                 // --history FILE; empty: history::DefaultPath()
    int keepDays = 0;                    // rows kept so many days; 0: all
};

// `arguments` as QCoreApplication::arguments() gives them (program name first, Qt's own taken
// out). ExitNow for --help, --version and wrong usage (exit code 2).
std::variant<Options, board::ExitNow> ParseOptions(const QStringList& arguments);

// --help, in Tr's language.
QString Help();

// Addresses as ParseAddresses reads them back, runs joined: "1-3,7".
QString AddressText(const std::vector<std::uint8_t>& addresses);

} // namespace overview
