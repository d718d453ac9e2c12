#include "timeline_scale.h"

#include "link/text.h"

#include <algorithm>

namespace overview {

using board::Tr;

double TimelineScale::x(const QDateTime& time) const
{
    const double span = double(from.msecsTo(to));
    return strips.left() + (span > 0 ? strips.width() * double(from.msecsTo(time)) / span : 0);
}

QRectF TimelineScale::lane(int channel) const
{
    const double height = strips.height() / board::kChannels;
    return {strips.left(), strips.top() + (channel - 1) * height, strips.width(), height};
}

std::optional<std::pair<int, history::Stretch>> TimelineScale::at(const history::Lanes& lanes,
                                                                  QPointF point) const
{
    if (!strips.contains(point) || strips.isEmpty())
        return std::nullopt;
    // The bottom edge belongs to the last lane.
    const int channel = std::min(
        board::kChannels, 1 + int((point.y() - strips.top()) * board::kChannels / strips.height()));
    const QDateTime time = from.addMSecs(
        qint64(double(from.msecsTo(to)) * (point.x() - strips.left()) / strips.width()));
    for (const history::Stretch& stretch : lanes.channels[std::size_t(channel - 1)])
        if (stretch.from <= time && time < stretch.to)
            return std::pair(channel, stretch);
    return std::nullopt;
}

QString StretchText(int channel, const history::Stretch& stretch)
{
    using history::State;
    const QString state = stretch.state == State::On    ? Tr("连接", "on")
                          : stretch.state == State::Off ? Tr("断开", "off")
                          : stretch.state == State::Unknown
                              ? Tr("状态未知（无应答）", "unknown (no answer)")
                              : Tr("串口关闭", "line closed");
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    return QStringLiteral("%1\n%2\n%3 – %4")
        .arg(stretch.name.isEmpty()
                 ? Tr("第%1路", "channel %1").arg(channel)
                 : Tr("第%1路 %2", "channel %1 %2").arg(channel).arg(stretch.name),
             state, stretch.from.toLocalTime().toString(format),
             stretch.to.toLocalTime().toString(format));
}

} // namespace overview
