#include "output.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

namespace boardctl {
namespace {

QString JsonString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2)); // ["..."] without the brackets
}

// Keys in the order the documentation shows them, which QJsonObject would sort.
QString JsonObject(std::initializer_list<std::pair<const char*, QString>> members)
{
    QStringList parts;
    for (const auto& [key, value] : members)
        parts << QStringLiteral("\"%1\": %2").arg(QLatin1String(key), value);
    return u'{' + parts.join(QStringLiteral(", ")) + u'}';
}

QString CsvField(const QString& text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    return u'"' + QString(text).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString State(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

} // namespace

bool Bit(std::uint32_t channels, int channel)
{
    return (channels >> (channel - 1)) & 1u;
}

QString StateWord(bool on)
{
    return on ? QStringLiteral("连接") : QStringLiteral("断开");
}

bool PrintLines(const QStringList& lines)
{
    for (const QString& line : lines) {
        const QByteArray bytes = (line + u'\n').toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    }
    // Flushed at once: a logger's reader sees each event as it happens.
    const bool written = std::fflush(stdout) == 0 && !std::ferror(stdout);
    std::clearerr(stdout); // the next lines are tried again (a full disk may get room)
    return written;
}

void PrintError(const QString& message)
{
    const QByteArray bytes = (QStringLiteral("boardctl：") + message + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

QString Timestamp()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

Formatter::Formatter(Format format, int address, ChannelNames names)
    : m_format(format), m_address(address), m_names(std::move(names))
{
}

QString Formatter::name(int channel) const
{
    const QString& stored = m_names[size_t(channel - 1)];
    return stored.isEmpty() ? QStringLiteral("第%1路").arg(channel) : stored;
}

QStringList Formatter::header() const
{
    if (m_format == Format::Csv)
        return {QStringLiteral("time,event,channel,name,state")};
    return {};
}

QStringList Formatter::status(const QString& time, std::uint32_t channels) const
{
    QStringList lines;
    if (m_format == Format::Json) {
        QStringList objects;
        for (int ch = 1; ch <= board::kChannels; ++ch)
            objects << JsonObject({{"channel", QString::number(ch)},
                                   {"name", JsonString(name(ch))},
                                   {"state", JsonString(State(Bit(channels, ch)))}});
        lines << JsonObject({{"time", JsonString(time)},
                             {"address", QString::number(m_address)},
                             {"channels", u'[' + objects.join(QStringLiteral(", ")) + u']'}});
        return lines;
    }
    for (int ch = 1; ch <= board::kChannels; ++ch)
        lines << event(time, {WatchEvent::Channel, ch, Bit(channels, ch)});
    return lines;
}

QString Formatter::event(const QString& time, const WatchEvent& event) const
{
    const bool isChannel = event.kind == WatchEvent::Channel;
    const QString state = isChannel ? State(event.on)
                                    : (event.kind == WatchEvent::LinkOk ? QStringLiteral("ok")
                                                                        : QStringLiteral("lost"));
    switch (m_format) {
    case Format::Json:
        if (isChannel)
            return JsonObject({{"time", JsonString(time)},
                               {"event", JsonString(QStringLiteral("channel"))},
                               {"channel", QString::number(event.channel)},
                               {"name", JsonString(name(event.channel))},
                               {"state", JsonString(state)}});
        return JsonObject({{"time", JsonString(time)},
                           {"event", JsonString(QStringLiteral("link"))},
                           {"state", JsonString(state)}});
    case Format::Csv:
        return csvRow(time, isChannel ? QStringLiteral("channel") : QStringLiteral("link"),
                      event.channel, state);
    case Format::Text:
        break;
    }
    if (isChannel)
        return textChannel(time, event.channel) + StateWord(event.on);
    return event.kind == WatchEvent::LinkOk
               ? QStringLiteral("%1  链路恢复").arg(time)
               : QStringLiteral("%1  链路中断：检测板没有有效应答").arg(time);
}

QString Formatter::channel(const QString& time, int channel, bool on) const
{
    if (m_format == Format::Json)
        return JsonObject({{"time", JsonString(time)},
                           {"address", QString::number(m_address)},
                           {"channel", QString::number(channel)},
                           {"name", JsonString(name(channel))},
                           {"state", JsonString(State(on))}});
    return event(time, {WatchEvent::Channel, channel, on});
}

QStringList Formatter::summary(const QString& time, int linkLost,
                               const std::array<ChannelTotals, board::kChannels>& totals) const
{
    QStringList lines;
    QStringList objects;
    if (m_format == Format::Csv)
        lines << csvRow(time, QStringLiteral("summary"), 0,
                        QStringLiteral("link_lost=%1").arg(linkLost));
    else if (m_format == Format::Text)
        lines << QStringLiteral("%1  汇总：链路中断 %2 次").arg(time).arg(linkLost);
    for (int ch = 1; ch <= board::kChannels; ++ch) {
        const ChannelTotals& t = totals[size_t(ch - 1)];
        switch (m_format) {
        case Format::Json:
            objects << JsonObject({{"channel", QString::number(ch)},
                                   {"drops", QString::number(t.drops)},
                                   {"down_ms", QString::number(t.downMs)},
                                   {"longest_down_ms", QString::number(t.longestDownMs)}});
            break;
        case Format::Csv:
            lines << csvRow(time, QStringLiteral("summary"), ch,
                            QStringLiteral("drops=%1 down_ms=%2 longest_down_ms=%3")
                                .arg(t.drops)
                                .arg(t.downMs)
                                .arg(t.longestDownMs));
            break;
        case Format::Text:
            lines << textChannel(time, ch) +
                         QStringLiteral("掉线 %1 次，断开共 %2 毫秒，最长一次 %3 毫秒")
                             .arg(t.drops)
                             .arg(t.downMs)
                             .arg(t.longestDownMs);
            break;
        }
    }
    if (m_format == Format::Json)
        lines << JsonObject({{"time", JsonString(time)},
                             {"event", JsonString(QStringLiteral("summary"))},
                             {"link_lost", QString::number(linkLost)},
                             {"channels", u'[' + objects.join(QStringLiteral(", ")) + u']'}});
    return lines;
}

QString Formatter::textChannel(const QString& time, int channel) const
{
    return QStringLiteral("%1  通道 %2  %3  ").arg(time).arg(channel, 2).arg(name(channel));
}

QString Formatter::csvRow(const QString& time, const QString& event, int channel,
                          const QString& state) const
{
    const QString number = channel > 0 ? QString::number(channel) : QString();
    const QString channelName = channel > 0 ? CsvField(name(channel)) : QString();
    return QStringList{time, event, number, channelName, CsvField(state)}.join(u',');
}

} // namespace boardctl
