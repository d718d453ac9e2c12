#include "queries.h"

#include "link/text.h"

#include <QIODevice>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <tuple>

namespace history {

namespace {

// The filter's WHERE clause, and the values of its placeholders in order.
std::pair<QString, QVariantList> Where(const Filter& filter)
{
    QStringList terms{QStringLiteral("1")};
    QVariantList values;
    const auto add = [&](const char* term, const QVariantList& more) {
        terms << QString::fromLatin1(term);
        values << more;
    };
    if (!filter.device.isEmpty())
        add("device = ?", {filter.device});
    if (filter.address)
        add("address = ?", {*filter.address});
    if (filter.channel)
        add("channel = ?", {*filter.channel});
    if (!filter.events.isEmpty()) {
        terms << QStringLiteral("event IN (%1)")
                     .arg(QStringList(filter.events.size(), QStringLiteral("?")).join(u','));
        for (const Event event : filter.events)
            values << EventName(event);
    }
    if (filter.from.isValid())
        add("time >= ?", {Stamp(filter.from)});
    if (filter.to.isValid())
        add("time < ?", {Stamp(filter.to)});
    if (filter.before) // written so that the time index finds where the page starts
        add("time <= ? AND (time < ? OR rowid < ?)",
            {filter.before->time, filter.before->time, filter.before->rowid});
    return {terms.join(QStringLiteral(" AND ")), values};
}

// The filter's rows, newest first (rowid orders rows of one millisecond); limit -1: all.
bool Select(QSqlQuery& query, const Filter& filter, const char* columns, int limit)
{
    const auto [where, values] = Where(filter);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM events WHERE %2 ORDER BY time DESC, rowid DESC "
                                 "LIMIT %3")
                      .arg(QLatin1String(columns), where)
                      .arg(limit));
    for (const QVariant& value : values)
        query.addBindValue(value);
    return query.exec();
}

std::optional<int> Number(const QVariant& value)
{
    return value.isNull() ? std::nullopt : std::optional<int>(value.toInt());
}

QString CsvField(QString text)
{
    static const QRegularExpression special(QStringLiteral("[\",\r\n]"));
    return text.contains(special) ? u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"' : text;
}

// What each event, in Event's order, makes of a channel's state: on, off, lost, ok, absent,
// opened, closed, port_lost. An ok changes nothing (the on and off that follow it do).
constexpr std::optional<State> kStateAfter[] = {State::On,     State::Off,     State::Unknown,
                                                std::nullopt,  State::Unknown, State::Unknown,
                                                State::Closed, State::Closed};
static_assert(std::size(kStateAfter) == std::size_t(Event::PortLost) + 1);

// An event that sets a channel's state.
struct Mark
{
    QString time;
    qint64 rowid = 0;
    State state = State::Closed;
    QString name;
};

// The marks of the events `where` selects: the last one before the span, then the span's.
QString AddMarks(QSqlDatabase& db, const QString& where, const QVariantList& values,
                 const QString& from, const QString& to, QList<Mark>* marks)
{
    const std::pair<const char*, QVariantList> spans[] = {
        {"time < ? ORDER BY time DESC, rowid DESC LIMIT 1", {from}},
        {"time >= ? AND time < ? ORDER BY time, rowid", {from, to}}};
    for (const auto& [span, times] : spans) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.prepare(QStringLiteral("SELECT time, rowid, event, name FROM events WHERE %1 AND %2")
                          .arg(where, QLatin1String(span)));
        for (const QVariant& value : values + times)
            query.addBindValue(value);
        if (!query.exec())
            return Reason(query.lastError());
        while (query.next()) {
            const auto event = EventFromName(query.value(2).toString());
            if (const auto state = event ? kStateAfter[int(*event)] : std::nullopt)
                marks->append({query.value(0).toString(), query.value(1).toLongLong(), *state,
                               query.value(3).toString()});
        }
    }
    return {};
}

// A channel's stretches from its marks in order; those before the span give its first state.
QList<Stretch> Stretches(const QList<Mark>& marks, const QDateTime& from, const QDateTime& to)
{
    QList<Stretch> stretches;
    State state = State::Closed; // nothing known yet
    QString name;
    QDateTime since = from;
    const auto end = [&](const QDateTime& at) {
        if (at <= since)
            return;
        if (!stretches.isEmpty() && stretches.last().state == state) // two marks at one moment
            stretches.last().to = at;
        else
            stretches.append({since, at, state, name});
        since = at;
    };
    for (const Mark& mark : marks) {
        if (mark.state == state)
            continue;
        end(std::max(from, QDateTime::fromString(mark.time, Qt::ISODateWithMs)));
        state = mark.state;
        name = mark.name;
    }
    end(to);
    return stretches;
}

} // namespace

Reader::Reader(const QString& path) : m_connection(path, true)
{
    if (const QString why = m_connection.open(); !why.isEmpty())
        m_error = failed(why);
}

QString Reader::failed(const QString& reason) const
{
    return board::Tr("历史文件“%1”无法读取：%2。", "The history file %1 cannot be read: %2.")
        .arg(m_connection.path(), reason);
}

Page Reader::events(const Filter& filter)
{
    Page page{.error = m_error};
    if (!m_error.isEmpty())
        return page;
    QSqlQuery query(m_connection.db());
    const int limit = std::max(filter.limit, 1);
    if (!Select(query, filter, "rowid, time, device, address, channel, event, name", limit + 1)) {
        page.error = failed(Reason(query.lastError()));
        return page;
    }
    Position last;
    for (int fetched = 0; query.next(); ++fetched) {
        if (fetched == limit) {
            page.next = filter;
            page.next->before = last;
            break;
        }
        last = {query.value(1).toString(), query.value(0).toLongLong()};
        if (const auto event = EventFromName(query.value(5).toString()))
            page.rows.append({QDateTime::fromString(last.time, Qt::ISODateWithMs),
                              query.value(2).toString(), Number(query.value(3)),
                              Number(query.value(4)), *event, query.value(6).toString()});
    }
    return page;
}

QString Reader::exportCsv(const Filter& filter, QIODevice& out)
{
    if (!m_error.isEmpty())
        return m_error;
    QSqlQuery query(m_connection.db());
    if (!Select(query, filter, "time, device, address, channel, event, name", -1))
        return failed(Reason(query.lastError()));
    QByteArray text = "time,device,address,channel,event,name\r\n";
    for (bool more = true; more;) {
        more = query.next();
        if (more) {
            QStringList fields;
            for (int i = 0; i < 6; ++i)
                fields << CsvField(query.value(i).toString());
            text += fields.join(u',').toUtf8() + "\r\n";
        }
        if (!more || text.size() >= 64 * 1024) {
            if (out.write(text) != text.size())
                return board::Tr("无法写入导出的文件：%1", "The export cannot be written: %1")
                    .arg(out.errorString());
            text.clear();
        }
    }
    return query.lastError().isValid() ? failed(Reason(query.lastError())) : QString();
}

Lanes Reader::timeline(const QString& device, int address, const QDateTime& from,
                       const QDateTime& to)
{
    Lanes lanes{.error = m_error};
    if (!m_error.isEmpty())
        return lanes;
    const QString line = device.isEmpty() ? QString() : QStringLiteral(" AND device = ?");
    const QVariantList onLine = device.isEmpty() ? QVariantList{} : QVariantList{device};
    const QString start = Stamp(from);
    const QString end = Stamp(to);
    QSqlDatabase& db = m_connection.db();
    // The line's events and the board's lost and absent reach every channel.
    QList<Mark> shared;
    QString why =
        AddMarks(db, "address IS NULL AND channel IS NULL" + line, onLine, start, end, &shared);
    if (why.isEmpty())
        why = AddMarks(db, "address = ? AND channel IS NULL AND event IN ('lost', 'absent')" + line,
                       QVariantList{address} + onLine, start, end, &shared);
    for (int channel = 1; why.isEmpty() && channel <= board::kChannels; ++channel) {
        QList<Mark> marks = shared;
        why = AddMarks(db, "address = ? AND channel = ? AND event IN ('on', 'off')" + line,
                       QVariantList{address, channel} + onLine, start, end, &marks);
        std::ranges::sort(marks, {}, [](const Mark& m) { return std::tie(m.time, m.rowid); });
        lanes.channels[channel - 1] = Stretches(marks, from, to);
    }
    if (!why.isEmpty())
        lanes = {.error = failed(why)};
    return lanes;
}

Page Events(const QString& path, const Filter& filter)
{
    return Reader(path).events(filter);
}

} // namespace history
