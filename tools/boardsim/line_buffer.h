// Splits what arrives on standard input into lines, however it is chunked.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace boardsim {

class LineBuffer
{
public:
    static constexpr std::size_t kMaxLine = 4096;

    struct Line
    {
        std::string text;
        bool overlong = false; // longer than kMaxLine: refuse it, its text is cut
    };

    void append(std::string_view bytes) { m_buffer.append(bytes); }

    // The next complete line; with atEnd also an unterminated last line.
    std::optional<Line> next(bool atEnd = false)
    {
        while (true) {
            const auto newline = m_buffer.find('\n');
            if (m_skipping) {
                // The rest of an overlong line that was already reported.
                if (newline == std::string::npos) {
                    m_buffer.clear();
                    return std::nullopt;
                }
                m_buffer.erase(0, newline + 1);
                m_skipping = false;
                continue;
            }
            if (newline != std::string::npos) {
                Line line{m_buffer.substr(0, std::min(newline, kMaxLine)), newline > kMaxLine};
                m_buffer.erase(0, newline + 1);
                return line;
            }
            if (m_buffer.size() > kMaxLine) {
                // Report it now and drop the rest as it comes, so memory stays bounded.
                Line line{m_buffer.substr(0, kMaxLine), true};
                m_buffer.clear();
                m_skipping = true;
                return line;
            }
            if (atEnd && !m_buffer.empty())
                return Line{std::exchange(m_buffer, {}), false};
            return std::nullopt;
        }
    }

private:
    std::string m_buffer;
    bool m_skipping = false;
};

} // namespace boardsim
