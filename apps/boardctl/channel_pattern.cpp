#include "channel_pattern.h"

#include "link/frame.h"

namespace boardctl {

std::optional<ChannelPattern> ParseChannelPattern(const QString& text)
{
    if (text == QLatin1String("all-on"))
        return ChannelPattern{board::kAllChannels, board::kAllChannels};
    if (text == QLatin1String("all-off"))
        return ChannelPattern{board::kAllChannels, 0};
    if (text.size() != board::kChannels)
        return std::nullopt;
    ChannelPattern pattern;
    for (int i = 0; i < board::kChannels; ++i) {
        const QChar c = text[i].toLower();
        if (c == u'x')
            continue;
        if (c != u'0' && c != u'1')
            return std::nullopt;
        pattern.care |= 1u << i;
        if (c == u'1')
            pattern.on |= 1u << i;
    }
    return pattern;
}

std::vector<int> Mismatches(const ChannelPattern& pattern, std::uint32_t channels)
{
    std::vector<int> differing;
    const std::uint32_t wrong = (channels ^ pattern.on) & pattern.care;
    for (int i = 0; i < board::kChannels; ++i) {
        if (wrong & (1u << i))
            differing.push_back(i + 1);
    }
    return differing;
}

} // namespace boardctl
