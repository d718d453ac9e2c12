// Everything boardsim tells its caller: one line at a time on stdout, flushed, so a script can wait
// on a line as soon as it is printed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace boardsim {

// "55 01 10 00 00 00 00 66": upper-case hex, one blank between bytes.
std::string HexBytes(std::span<const std::uint8_t> bytes);

class Console
{
public:
    explicit Console(bool logTraffic) : m_logTraffic(logTraffic) {}

    void say(std::string_view line) const;
    // On stderr: for things a person should read, never for a script to parse.
    void warn(std::string_view line) const;
    // "tag 55 01 ..." when traffic logging is on.
    void logBytes(std::string_view tag, std::span<const std::uint8_t> bytes) const;

private:
    bool m_logTraffic;
};

} // namespace boardsim
