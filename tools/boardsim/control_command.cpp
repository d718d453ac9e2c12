#include "control_command.h"

#include "board_state.h"

#include <charconv>
#include <vector>

namespace boardsim {
namespace {

std::vector<std::string_view> SplitWords(std::string_view line)
{
    std::vector<std::string_view> words;
    constexpr std::string_view blanks = " \t\r\n";
    while (true) {
        const auto start = line.find_first_not_of(blanks);
        if (start == std::string_view::npos)
            break;
        line.remove_prefix(start);
        const auto end = std::min(line.find_first_of(blanks), line.size());
        words.push_back(line.substr(0, end));
        line.remove_prefix(end);
    }
    return words;
}

std::optional<unsigned> ParseCount(std::string_view text, unsigned max)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value > max)
        return std::nullopt;
    return value;
}

ParsedLine Refuse(std::string echo, std::string why)
{
    return {std::move(echo), std::nullopt, std::move(why)};
}

} // namespace

ParsedLine ParseControlLine(std::string_view line)
{
    const auto words = SplitWords(line);
    std::string echo;
    for (const auto word : words)
        echo.append(echo.empty() ? "" : " ").append(word);
    if (words.empty())
        return {};

    const std::string_view name = words[0];
    const std::size_t arguments = words.size() - 1;
    const auto accept = [&](ControlCommand command) {
        return ParsedLine{echo, std::move(command), {}};
    };
    const auto noArguments = [&](ControlCommand command) {
        if (arguments != 0)
            return Refuse(echo, std::string(name) + " takes no argument");
        return accept(std::move(command));
    };

    if (name == "pattern") {
        const auto pattern = arguments == 1 ? ParsePattern(words[1]) : std::nullopt;
        if (!pattern)
            return Refuse(echo, "usage: pattern HEX (1 to 6 hex digits, e.g. pattern 0x5A5A5A)");
        return accept(command::SetPattern{*pattern});
    }
    if (name == "silence") {
        const auto ms = arguments == 1 ? ParseCount(words[1], kMaxSilenceMs) : std::nullopt;
        if (!ms)
            return Refuse(echo, "usage: silence MS (0 to 3600000)");
        return accept(command::Silence{*ms});
    }
    if (name == "silent") {
        if (arguments == 1 && (words[1] == "on" || words[1] == "off"))
            return accept(command::SetSilent{words[1] == "on"});
        return Refuse(echo, "usage: silent on|off");
    }
    if (name == "noise") {
        const auto count = arguments == 1 ? ParseCount(words[1], kMaxNoiseBytes) : std::nullopt;
        if (!count || *count == 0)
            return Refuse(echo, "usage: noise N (1 to 4096 random bytes)");
        return accept(command::Noise{*count});
    }
    if (name == "burst")
        return noArguments(command::Burst{});
    if (name == "invalid")
        return noArguments(command::SpoilNext{});
    if (name == "unplug")
        return noArguments(command::Unplug{});
    if (name == "replug")
        return noArguments(command::Replug{});
    if (name == "help")
        return noArguments(command::Help{});
    if (name == "quit" || name == "exit")
        return noArguments(command::Quit{});
    return Refuse(echo, "unknown command '" + std::string(name) + "' (type help for the list)");
}

std::string_view ControlHelp()
{
    return "pattern HEX    set the 24 channels, bit n-1 = channel n (e.g. pattern 0xFF00FF)\n"
           "silence MS     answer nothing for MS milliseconds\n"
           "silent on|off  stop or resume answering\n"
           "burst          send a status frame and 4 stray bytes in one go (12 bytes)\n"
           "noise N        send N random bytes now\n"
           "invalid        give the next reply a wrong checksum\n"
           "unplug         close the terminal and remove the link, as if the cable were pulled\n"
           "replug         open a new terminal and link it again\n"
           "quit           remove the link and exit\n";
}

} // namespace boardsim
