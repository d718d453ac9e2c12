#include "output.h"

#include "link/text.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace boardctl {
namespace {

QString JsonString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2)); // ["..."] without the brackets
}

// Keys in the order the documentation shows them, which QJsonObject would sort.
QString JsonObject(const QList<std::pair<const char*, QString>>& members)
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

bool Output::print(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += (line + u'\n').toUtf8();
    if (m_stopFd < 0 && !bytes.isEmpty())
        m_failure = QString::fromLocal8Bit(std::strerror(EBADF));
    for (qsizetype done = 0; m_stopFd >= 0 && done < bytes.size();) {
        pollfd fds[] = {{STDOUT_FILENO, POLLOUT, 0}, {m_stopFd, POLLIN, 0}};
        const int ready =
            ::poll(fds, m_deadline ? 1 : 2, m_deadline ? int(m_deadline->remainingTime()) : -1);
        if (ready < 0 && errno == EINTR)
            continue;
        errno = 0; // nothing to write to: a stop signal came first, or the time is up
        // A pipe's reader that has gone shows as an error; the write then ends boardctl with
        // SIGPIPE, as it would any other program.
        const ssize_t n = fds[0].revents == 0
                              ? -1
                              : ::write(STDOUT_FILENO, bytes.constData() + done,
                                        size_t(std::min<qsizetype>(bytes.size() - done, PIPE_BUF)));
        if (n < 0 && errno != EINTR && errno != EAGAIN) {
            m_failure = errno ? QString::fromLocal8Bit(std::strerror(errno))
                              : board::Tr("读取输出的程序没有接收", "the reader took nothing");
            return false;
        }
        done += std::max<ssize_t>(n, 0);
    }
    return m_stopFd >= 0 || bytes.isEmpty();
}

void PrintError(const QString& message)
{
    const QByteArray bytes = (board::Tr("boardctl：", "boardctl: ") + message + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

QString Timestamp()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

bool Bit(std::uint32_t channels, int channel)
{
    return (channels >> (channel - 1)) & 1u;
}

QString StateWord(bool on)
{
    return on ? board::Tr("连接", "connected") : board::Tr("断开", "disconnected");
}

Formatter::Formatter(Format format, NameSource names, bool bus)
    : m_format(format), m_source(std::move(names)), m_bus(bus)
{
}

QString Formatter::name(std::uint8_t address, int channel) const
{
    if (!m_names.contains(address))
        m_names[address] = m_source(address);
    const QString& stored = m_names[address][size_t(channel - 1)];
    return stored.isEmpty() ? QStringLiteral("第%1路").arg(channel) : stored;
}

QStringList Formatter::header() const
{
    if (m_format != Format::Csv)
        return {};
    return {m_bus ? QStringLiteral("time,address,event,channel,name,state")
                  : QStringLiteral("time,event,channel,name,state")};
}

QString Formatter::json(const QString& time, std::uint8_t address, bool withAddress,
                        Members rest) const
{
    QList<std::pair<const char*, QString>> members{{"time", JsonString(time)}};
    if (withAddress || m_bus)
        members.append({"address", QString::number(address)});
    return JsonObject(members + QList(rest));
}

QString Formatter::text(const QString& time, std::uint8_t address) const
{
    return m_bus ? QStringLiteral("%1  地址 %2  ").arg(time).arg(address) : time + "  ";
}

QStringList Formatter::status(const QString& time, std::uint8_t address,
                              std::uint32_t channels) const
{
    if (m_format != Format::Json) {
        QStringList lines;
        for (int ch = 1; ch <= board::kChannels; ++ch)
            lines << event(time, address, {WatchEvent::Channel, ch, Bit(channels, ch)});
        return lines;
    }
    QStringList objects;
    for (int ch = 1; ch <= board::kChannels; ++ch)
        objects << JsonObject({{"channel", QString::number(ch)},
                               {"name", JsonString(name(address, ch))},
                               {"state", JsonString(State(Bit(channels, ch)))}});
    return {json(time, address, true,
                 {{"channels", u'[' + objects.join(QStringLiteral(", ")) + u']'}})};
}

QString Formatter::event(const QString& time, std::uint8_t address, const WatchEvent& event) const
{
    const bool isChannel = event.kind == WatchEvent::Channel;
    const QString state = isChannel ? State(event.on)
                                    : (event.kind == WatchEvent::LinkOk ? QStringLiteral("ok")
                                                                        : QStringLiteral("lost"));
    switch (m_format) {
    case Format::Json:
        if (isChannel)
            return json(time, address, false,
                        {{"event", JsonString(QStringLiteral("channel"))},
                         {"channel", QString::number(event.channel)},
                         {"name", JsonString(name(address, event.channel))},
                         {"state", JsonString(state)}});
        return json(time, address, false,
                    {{"event", JsonString(QStringLiteral("link"))}, {"state", JsonString(state)}});
    case Format::Csv:
        return csvRow(time, address, isChannel ? QStringLiteral("channel") : QStringLiteral("link"),
                      event.channel, state);
    case Format::Text:
        break;
    }
    if (isChannel)
        return text(time, address) +
               QStringLiteral("通道 %1  %2  %3")
                   .arg(event.channel, 2)
                   .arg(name(address, event.channel),
                        event.on ? QStringLiteral("连接") : QStringLiteral("断开"));
    return text(time, address) + (event.kind == WatchEvent::LinkOk
                                      ? QStringLiteral("链路恢复")
                                      : QStringLiteral("链路中断：检测板没有有效应答"));
}

QString Formatter::channel(const QString& time, std::uint8_t address, int channel, bool on) const
{
    if (m_format == Format::Json)
        return json(time, address, true,
                    {{"channel", QString::number(channel)},
                     {"name", JsonString(name(address, channel))},
                     {"state", JsonString(State(on))}});
    return event(time, address, {WatchEvent::Channel, channel, on});
}

QStringList Formatter::summary(const QString& time, std::uint8_t address, int linkLost,
                               const std::array<ChannelTotals, board::kChannels>& totals) const
{
    QStringList lines;
    QStringList objects;
    if (m_format == Format::Csv)
        lines << csvRow(time, address, QStringLiteral("summary"), 0,
                        QStringLiteral("link_lost=%1").arg(linkLost));
    else if (m_format == Format::Text)
        lines << text(time, address) + QStringLiteral("汇总：链路中断 %1 次").arg(linkLost);
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
            lines << csvRow(time, address, QStringLiteral("summary"), ch,
                            QStringLiteral("drops=%1 down_ms=%2 longest_down_ms=%3")
                                .arg(t.drops)
                                .arg(t.downMs)
                                .arg(t.longestDownMs));
            break;
        case Format::Text:
            lines << text(time, address) +
                         QStringLiteral("通道 %1  %2  ").arg(ch, 2).arg(name(address, ch)) +
                         QStringLiteral("掉线 %1 次，断开共 %2 毫秒，最长一次 %3 毫秒")
                             .arg(t.drops)
                             .arg(t.downMs)
                             .arg(t.longestDownMs);
            break;
        }
    }
    if (m_format == Format::Json)
        lines << json(time, address, false,
                      {{"event", JsonString(QStringLiteral("summary"))},
                       {"link_lost", QString::number(linkLost)},
                       {"channels", u'[' + objects.join(QStringLiteral(", ")) + u']'}});
    return lines;
}

QString Formatter::csvRow(const QString& time, std::uint8_t address, const QString& event,
                          int channel, const QString& state) const
{
    QStringList fields{time};
    if (m_bus)
        fields << QString::number(address);
    fields << event << (channel > 0 ? QString::number(channel) : QString())
           << (channel > 0 ? CsvField(name(address, channel)) : QString()) << CsvField(state);
    return fields.join(u',');
}

} // namespace boardctl
