#include "recorder.h"

namespace history {

Recorder::Recorder(Writer& writer, QString device, Names names)
    : m_writer(writer), m_device(std::move(device)), m_names(std::move(names))
{
}

void Recorder::line(Event event)
{
    m_writer.append({QDateTime::currentDateTimeUtc(), m_device, {}, {}, event, {}});
}

void Recorder::board(std::uint8_t address, const std::vector<board::WatchEvent>& events)
{
    // A link event by the log's kind (Channel's place is never read: a channel's is on or off).
    constexpr Event kLink[] = {Event::On, Event::Lost, Event::Ok, Event::Absent};
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const board::WatchEvent& event : events)
        if (event.kind == board::WatchEvent::Channel)
            m_writer.append({now, m_device, address, event.channel,
                             event.on ? Event::On : Event::Off, m_names(address, event.channel)});
        else
            m_writer.append({now, m_device, address, {}, kLink[event.kind], {}});
}

} // namespace history
