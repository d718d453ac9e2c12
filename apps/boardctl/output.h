// boardctl's output: readable text, JSON (one object per line) and CSV rows of
// time,event,channel,name,state. Other programs parse the last two, so their shapes are fixed.
// With several boards every line carries the board's address.
#pragma once

#include "options.h"
#include "watch_log.h"

#include "link/frame.h"

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace boardctl {

using ChannelNames = std::array<QString, board::kChannels>;
// The 24 names of an address (index 0 = channel 1; an empty name stands for "第n路").
using NameSource = std::function<ChannelNames(std::uint8_t address)>;

// Standard output, written so that a reader that stalls never holds up a stop signal.
class Output
{
public:
    // stopFd: the stop signals' descriptor; -1 for a standard output that was closed.
    explicit Output(int stopFd) : m_stopFd(stopFd) {}

    // Writes the lines, each with its newline, and waits for room only while no stop signal is
    // pending (once finishing, two seconds at most); false when they could not all be written.
    bool print(const QStringList& lines);
    void finishing() { m_deadline = QDeadlineTimer(2000); }
    // Why the last print failed (a system error text), once it has failed.
    const std::optional<QString>& failure() const { return m_failure; }

private:
    int m_stopFd;
    std::optional<QDeadlineTimer> m_deadline;
    std::optional<QString> m_failure;
};

// A message on standard error, after "boardctl：".
void PrintError(const QString& message);

// Now, ISO 8601 with milliseconds and the local offset.
QString Timestamp();

// Channel 1..24 is connected in a status frame's channel bits.
bool Bit(std::uint32_t channels, int channel);
// "连接" or "断开" in messages, which follow the locale.
QString StateWord(bool on);

class Formatter
{
public:
    // `bus`: every line carries its address.
    Formatter(Format format, NameSource names, bool bus);

    QString name(std::uint8_t address, int channel) const;

    // Printed once before anything else (the CSV header); empty for the other formats.
    QStringList header() const;
    QStringList status(const QString& time, std::uint8_t address, std::uint32_t channels) const;
    QString event(const QString& time, std::uint8_t address, const WatchEvent& event) const;
    // toggle's answer: the channel's new state.
    QString channel(const QString& time, std::uint8_t address, int channel, bool on) const;
    QStringList summary(const QString& time, std::uint8_t address, int linkLost,
                        const std::array<ChannelTotals, board::kChannels>& totals) const;

private:
    using Members = std::initializer_list<std::pair<const char*, QString>>;
    QString json(const QString& time, std::uint8_t address, bool withAddress, Members rest) const;
    QString text(const QString& time, std::uint8_t address) const;
    QString csvRow(const QString& time, std::uint8_t address, const QString& event, int channel,
                   const QString& state) const;

    Format m_format;
    NameSource m_source;
    mutable std::map<std::uint8_t, ChannelNames> m_names; // read once an address
    bool m_bus;
};

} // namespace boardctl
