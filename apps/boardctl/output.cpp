#include "output.h"

#include "link/text.h"
#include "naming/name_store.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace boardctl {
namespace {

using board::Tr;

QString JsonString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2)); // ["..."] without the brackets
}

QString JsonObject(const Members& members)
{
    QStringList parts;
    for (const auto& [key, value] : members)
        parts << QStringLiteral("\"%1\": %2").arg(QLatin1String(key), value);
    return u'{' + parts.join(QStringLiteral(", ")) + u'}';
}

QString CsvField(const QString& text)
{
    static const QRegularExpression quoted(QStringLiteral("[,\"\n\r]"));
    return text.contains(quoted) ? u'"' + QString(text).replace(u'"', QStringLiteral("\"\"")) + u'"'
                                 : text;
}

// Control characters shown as \x1B and the like, so that text from a file cannot move the
// cursor, retitle or garble a terminal; line breaks stay where `keep` has them.
QString Printable(const QString& text, const QString& keep = {})
{
    QString shown;
    for (const QChar c : text)
        shown += c.category() == QChar::Other_Control && !keep.contains(c)
                     ? QStringLiteral("\\x") +
                           QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper()
                     : QString(c);
    return shown;
}

QString State(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

// A channel's state in JSON: in status's array, toggle's answer and watch's events.
Members ChannelMembers(int channel, const QString& name, bool on)
{
    return {{"channel", QString::number(channel)},
            {"name", JsonString(name)},
            {"state", JsonString(State(on))}};
}

} // namespace

struct Output::Shared
{
    std::mutex mutex;
    std::condition_variable wake;
    QByteArray backlog;
    bool writing = false; // the thread is writing a part taken from the backlog
    bool failing = false; // the last write failed
    QString failed;       // why a write failed last, kept once it works again
    qint64 dropped = 0;
    int idle = -1; // an eventfd, signalled whenever the backlog has been written out

    // The thread's life: wait for lines, write them with blocking writes, say when idle. A
    // reader that went away ends boardctl with SIGPIPE, as it would any other program.
    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return !backlog.isEmpty(); });
            const QByteArray bytes = std::exchange(backlog, {});
            writing = true;
            lock.unlock();
            int error = 0;
            for (qsizetype done = 0; done < bytes.size() && !error;) {
                const ssize_t n =
                    ::write(STDOUT_FILENO, bytes.constData() + done, size_t(bytes.size() - done));
                error = n < 0 && errno != EINTR ? errno : 0;
                done += std::max<ssize_t>(n, 0);
            }
            lock.lock();
            writing = false;
            failing = error != 0;
            failed = failing ? QString::fromLocal8Bit(std::strerror(error)) : failed;
            if (backlog.isEmpty())
                std::ignore = ::eventfd_write(idle, 1);
        }
    }
};

Output::Output(bool closed) : m_shared(std::make_shared<Shared>())
{
    if (closed) {
        m_shared->failed = QString::fromLocal8Bit(std::strerror(EBADF));
        return;
    }
    m_shared->idle = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::thread([shared = m_shared] { shared->run(); }).detach();
}

bool Output::print(const QStringList& lines, bool always)
{
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += (line + u'\n').toUtf8();
    Shared& s = *m_shared;
    std::unique_lock lock(s.mutex);
    if (s.idle < 0)
        return false; // standard output was closed
    const bool fits = always || s.backlog.size() + bytes.size() <= kBacklogBytes;
    const bool firstDrop = !fits && s.dropped == 0;
    s.dropped += fits ? 0 : lines.size();
    s.backlog += fits ? bytes : QByteArray();
    s.wake.notify_one();
    const bool written = !s.failing;
    lock.unlock();
    if (firstDrop)
        PrintError(Tr("读取输出的程序跟不上，输出行开始被丢弃（结束时给出丢弃的行数）。",
                      "the reader is not keeping up: lines of output are being dropped "
                      "(how many is told at the end)."));
    return written;
}

bool Output::flush(int stopFd, QDeadlineTimer deadline)
{
    Shared& s = *m_shared;
    for (;;) {
        {
            const std::scoped_lock lock(s.mutex);
            if (s.idle < 0 || (s.backlog.isEmpty() && !s.writing))
                return s.failed.isEmpty();
        }
        pollfd fds[] = {{s.idle, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int ready = ::poll(fds, stopFd < 0 ? 1 : 2, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0 || fds[1].revents) { // the time is up, or a stop signal came first
            const std::scoped_lock lock(s.mutex);
            s.failed = Tr("读取输出的程序没有接收", "the reader took nothing");
            return false;
        }
        eventfd_t count = 0;
        std::ignore = ::eventfd_read(s.idle, &count);
    }
}

QString Output::failure() const
{
    const std::scoped_lock lock(m_shared->mutex);
    return m_shared->failed;
}

qint64 Output::dropped() const
{
    const std::scoped_lock lock(m_shared->mutex);
    return m_shared->dropped;
}

void PrintError(const QString& message)
{
    const QByteArray bytes =
        (Tr("boardctl：", "boardctl: ") + Printable(message, QStringLiteral("\n")) + u'\n')
            .toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr); // unbuffered: one write
}

QString Timestamp()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

std::optional<NameSource> NameSourceFor(const Options& options, const QString& programDir)
{
    const QString path =
        options.namesFile.isEmpty() ? naming::NameFileToRead(programDir) : options.namesFile;
    // One read for every address asked about.
    const auto file = std::make_shared<const naming::FileRead>(naming::ReadFile(path));
    if (!file->error.isEmpty()) {
        if (!options.namesFile.isEmpty()) {
            PrintError(Tr("无法读取名称文件 %1：%2。", "cannot read the name file %1: %2.")
                           .arg(path, file->error));
            return std::nullopt;
        }
        if (!file->missing)
            PrintError(Tr("无法读取名称文件 %1（%2），通道不显示名称。",
                          "cannot read the name file %1 (%2); the channels go without names.")
                           .arg(path, file->error));
        return [](std::uint8_t) { return ChannelNames{}; };
    }
    if (file->utf8())
        PrintError(Tr("名称文件 %1 是以 UTF-8 编码保存的，按 UTF-8 读取；Kestrel 下次启动时会把它"
                      "转换为 GBK 编码。",
                      "the name file %1 was saved as UTF-8 and is read as such; Kestrel turns it "
                      "into GBK at its next start.")
                       .arg(path));
    return [file](std::uint8_t address) { return naming::ChannelNames(*file, address); };
}

Formatter::Formatter(Format format, NameSource names, bool bus)
    : m_format(format), m_source(std::move(names)), m_bus(bus)
{
}

QString Formatter::stored(std::uint8_t address, int channel) const
{
    if (!m_names.contains(address))
        m_names[address] = m_source(address);
    const QString& name = m_names[address][size_t(channel - 1)];
    return name.isEmpty() ? QStringLiteral("第%1路").arg(channel) : name;
}

QString Formatter::name(std::uint8_t address, int channel) const
{
    // JSON escapes control characters its own way, and CSV keeps data as it is.
    return m_format == Format::Text ? Printable(stored(address, channel))
                                    : stored(address, channel);
}

QStringList Formatter::devices(const std::vector<board::SerialDevice>& devices) const
{
    QStringList lines;
    if (m_format == Format::Csv)
        lines << QStringLiteral("device,by_id,port,links,holder");
    for (const board::SerialDevice& d : devices) {
        const QString port = d.port < 0 ? QString() : QString::number(d.port);
        const auto orNull = [](const QString& text) {
            return text.isEmpty() ? QStringLiteral("null") : JsonString(text);
        };
        QStringList links;
        for (const QString& link : d.links)
            links << JsonString(link);
        if (m_format == Format::Json)
            lines << JsonObject({{"device", JsonString(d.device)},
                                 {"by_id", orNull(d.byId)},
                                 {"port", port.isEmpty() ? QStringLiteral("null") : port},
                                 {"links", u'[' + links.join(QStringLiteral(", ")) + u']'},
                                 {"holder", orNull(d.holder)}});
        else if (m_format == Format::Csv)
            lines << QStringList{CsvField(d.device), CsvField(d.byId), port,
                                 CsvField(d.links.join(u' ')), CsvField(d.holder)}
                         .join(u',');
        else
            lines << Printable(
                QStringList{d.device, port.isEmpty() ? QString() : QStringLiteral("串口 ") + port,
                            d.byId, d.links.join(QStringLiteral(" ")),
                            d.holder.isEmpty() ? QString() : QStringLiteral("占用：") + d.holder}
                    .filter(QRegularExpression(QStringLiteral(".")))
                    .join(QStringLiteral("  ")));
    }
    return lines;
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
    Members members{{"time", JsonString(time)}};
    if (withAddress || m_bus)
        members.append({"address", QString::number(address)});
    return JsonObject(members + rest);
}

QString Formatter::text(const QString& time, std::uint8_t address) const
{
    return m_bus ? QStringLiteral("%1  地址 %2  ").arg(time).arg(address) : time + "  ";
}

QStringList Formatter::status(const QString& time, std::uint8_t address,
                              std::uint32_t channels) const
{
    // A line a channel; in JSON an object a channel, all in one line.
    QStringList lines;
    for (int ch = 1; ch <= board::kChannels; ++ch) {
        const bool on = board::ChannelOn(channels, ch);
        lines << (m_format == Format::Json
                      ? JsonObject(ChannelMembers(ch, name(address, ch), on))
                      : event(time, address, {board::WatchEvent::Channel, ch, on}));
    }
    if (m_format != Format::Json)
        return (std::exchange(m_headed, true) ? QStringList() : header()) + lines;
    return {
        json(time, address, true, {{"channels", u'[' + lines.join(QStringLiteral(", ")) + u']'}})};
}

QString Formatter::event(const QString& time, std::uint8_t address,
                         const board::WatchEvent& event) const
{
    const bool isChannel = event.kind == board::WatchEvent::Channel;
    static const QString kLinkStates[] = {
        {}, QStringLiteral("lost"), QStringLiteral("ok"), QStringLiteral("absent")};
    const QString kind = isChannel ? QStringLiteral("channel") : QStringLiteral("link");
    const QString state = isChannel ? State(event.on) : kLinkStates[event.kind];
    if (m_format == Format::Csv)
        return csvRow(time, address, kind, event.channel, state);
    if (m_format == Format::Json)
        return json(time, address, false,
                    Members{{"event", JsonString(kind)}} +
                        (isChannel
                             ? ChannelMembers(event.channel, name(address, event.channel), event.on)
                             : Members{{"state", JsonString(state)}}));
    if (isChannel)
        return text(time, address) +
               QStringLiteral("通道 %1  %2  %3")
                   .arg(event.channel, 2)
                   .arg(name(address, event.channel),
                        event.on ? QStringLiteral("连接") : QStringLiteral("断开"));
    static const QString kLinkTexts[] = {{},
                                         QStringLiteral("链路中断：检测板没有有效应答"),
                                         QStringLiteral("链路恢复"),
                                         QStringLiteral("链路：检测板没有应答（从未应答）")};
    return text(time, address) + kLinkTexts[event.kind];
}

QString Formatter::channel(const QString& time, std::uint8_t address, int channel, bool on) const
{
    if (m_format == Format::Json)
        return json(time, address, true, ChannelMembers(channel, name(address, channel), on));
    return event(time, address, {board::WatchEvent::Channel, channel, on});
}

QStringList Formatter::summary(const QString& time, std::uint8_t address, int linkLost,
                               const std::array<board::ChannelTotals, board::kChannels>& totals,
                               bool answered) const
{
    if (m_format == Format::Json) {
        QStringList objects;
        for (int ch = 1; ch <= board::kChannels; ++ch) {
            const board::ChannelTotals& t = totals[size_t(ch - 1)];
            objects << JsonObject({{"channel", QString::number(ch)},
                                   {"drops", QString::number(t.drops)},
                                   {"down_ms", QString::number(t.downMs)},
                                   {"longest_down_ms", QString::number(t.longestDownMs)}});
        }
        Members members{{"event", JsonString(QStringLiteral("summary"))},
                        {"link_lost", QString::number(linkLost)}};
        if (!answered)
            members.append({"answered", QStringLiteral("false")});
        members.append({"channels", u'[' + objects.join(QStringLiteral(", ")) + u']'});
        return {json(time, address, false, members)};
    }
    const bool csv = m_format == Format::Csv;
    QStringList lines{csv ? csvRow(time, address, QStringLiteral("summary"), 0,
                                   QStringLiteral("link_lost=%1").arg(linkLost) +
                                       (answered ? QString() : QStringLiteral(" answered=no")))
                          : text(time, address) +
                                (answered ? QStringLiteral("汇总：链路中断 %1 次").arg(linkLost)
                                          : QStringLiteral("汇总：从未应答"))};
    for (int ch = 1; ch <= board::kChannels; ++ch) {
        const board::ChannelTotals& t = totals[size_t(ch - 1)];
        const QString numbers =
            (csv ? QStringLiteral("drops=%1 down_ms=%2 longest_down_ms=%3")
                 : QStringLiteral("掉线 %1 次，断开共 %2 毫秒，最长一次 %3 毫秒"))
                .arg(t.drops)
                .arg(t.downMs)
                .arg(t.longestDownMs);
        lines << (csv ? csvRow(time, address, QStringLiteral("summary"), ch, numbers)
                      : text(time, address) +
                            QStringLiteral("通道 %1  %2  ").arg(ch, 2).arg(name(address, ch)) +
                            numbers);
    }
    return lines;
}

QString Formatter::dropped(const QString& time, qint64 lines) const
{
    if (m_format == Format::Json)
        return JsonObject({{"time", JsonString(time)},
                           {"event", JsonString(QStringLiteral("output"))},
                           {"lines_dropped", QString::number(lines)}});
    if (m_format == Format::Csv)
        return time + (m_bus ? QStringLiteral(",") : QString()) +
               QStringLiteral(",output,,,lines_dropped=%1").arg(lines);
    return time + QStringLiteral("  输出：%1 行因读取方没有及时读取而丢弃").arg(lines);
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
