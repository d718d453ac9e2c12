#include "console.h"

#include <cstdio>

namespace boardsim {

std::string HexBytes(std::span<const std::uint8_t> bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const std::uint8_t b : bytes) {
        if (!text.empty())
            text += ' ';
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

void Console::say(std::string_view line) const
{
    // A reader that went away must not stop the board: SIGPIPE is ignored and the line is lost.
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Console::warn(std::string_view line) const
{
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void Console::logBytes(std::string_view tag, std::span<const std::uint8_t> bytes) const
{
    if (m_logTraffic)
        say(std::string(tag) + ' ' + HexBytes(bytes));
}

} // namespace boardsim
