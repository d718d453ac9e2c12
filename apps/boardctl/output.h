// boardctl's three output formats: readable text, JSON (one object per line) and CSV rows of
// time,event,channel,name,state. Other programs parse the last two, so their shapes are fixed.
#pragma once

#include "options.h"
#include "watch_log.h"

#include "link/frame.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace boardctl {

using ChannelNames = std::array<QString, board::kChannels>;

// Lines on standard output, flushed at once (false when they could not be written); a message
// (Chinese) on standard error.
bool PrintLines(const QStringList& lines);
void PrintError(const QString& message);

// Now, ISO 8601 with milliseconds and the local offset.
QString Timestamp();

// Channel 1..24 is connected in a status frame's channel bits.
bool Bit(std::uint32_t channels, int channel);
// "连接" or "断开", the words of the windows' status labels.
QString StateWord(bool on);

class Formatter
{
public:
    // `names`: index 0 = channel 1; an empty name stands for "第n路".
    Formatter(Format format, int address, ChannelNames names);

    QString name(int channel) const;

    // Printed once before anything else (the CSV header); empty for the other formats.
    QStringList header() const;
    QStringList status(const QString& time, std::uint32_t channels) const;
    QString event(const QString& time, const WatchEvent& event) const;
    // toggle's answer: the channel's new state.
    QString channel(const QString& time, int channel, bool on) const;
    QStringList summary(const QString& time, int linkLost,
                        const std::array<ChannelTotals, board::kChannels>& totals) const;

private:
    QString textChannel(const QString& time, int channel) const;
    QString csvRow(const QString& time, const QString& event, int channel,
                   const QString& state) const;

    Format m_format;
    int m_address;
    ChannelNames m_names;
};

} // namespace boardctl
