// The commands a script or a person types on standard input, one a line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace boardsim {

namespace command {
struct SetPattern
{
    std::uint32_t pattern;
};
struct Silence
{
    unsigned milliseconds;
};
struct SetSilent
{
    bool on;
};
struct Burst
{
};
struct Noise
{
    unsigned count;
};
struct SpoilNext
{
};
struct Unplug
{
};
struct Replug
{
};
struct Help
{
};
struct Quit
{
};
} // namespace command

using ControlCommand = std::variant<command::SetPattern, command::Silence, command::SetSilent,
                                    command::Burst, command::Noise, command::SpoilNext,
                                    command::Unplug, command::Replug, command::Help, command::Quit>;

constexpr unsigned kMaxNoiseBytes = 4096;
constexpr unsigned kMaxSilenceMs = 3'600'000;

struct ParsedLine
{
    std::string echo; // the words of the line joined by single blanks, for "ok <echo>"
    std::optional<ControlCommand> command;
    std::string error; // why the line was refused, when there is no command
};

// An empty line gives an empty echo and no command and no error.
ParsedLine ParseControlLine(std::string_view line);

// One line per command, for the "help" command.
std::string_view ControlHelp();

} // namespace boardsim
