// The command line of boardsim.
#pragma once

#include <QStringList>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>

namespace boardsim {

struct SimOptions
{
    std::filesystem::path dir = ".";
    unsigned port = 1;
    std::uint8_t address = 1;
    std::uint32_t pattern = 0x5A5A5A;
    unsigned walkMs = 0;  // 0: the pattern stays as it is
    unsigned delayMs = 0; // before each reply
    bool silent = false;
    unsigned invalidEvery = 0; // 0: off
    unsigned noiseEvery = 0;   // 0: off
    bool logTraffic = false;
    std::optional<std::uint32_t> seed; // for the random bytes; none: a different run each time
};

// --help, or a command line that cannot be run: print text, exit with code.
struct ExitNow
{
    int code;
    std::string text; // on stdout for code 0, else on stderr
};

// arguments[0] is the program name. Needs a QCoreApplication for the help text.
std::variant<SimOptions, ExitNow> ParseOptions(const QStringList& arguments);

} // namespace boardsim
