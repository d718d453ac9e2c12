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
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const board::WatchEvent& event : events) {
        if (event.kind != board::WatchEvent::Channel) {
            constexpr Event kLink[] = {Event::On, Event::Lost, Event::Ok, Event::Absent};
            m_writer.append({now, m_device, address, {}, kLink[event.kind], {}});
            continue;
        }
        m_writer.append({now, m_device, address, event.channel, event.on ? Event::On : Event::Off,
                         m_names(address, event.channel)});
    }
}

} // namespace history
