// Where a timeline's strips stand and what lies under a point: the span across the strips' width,
// a lane a channel from the top. The chart draws with it and tells what is under the mouse.
#pragma once

#include "history/queries.h"

#include <QRectF>

#include <optional>
#include <utility>

namespace overview {

struct TimelineScale
{
    QRectF strips;
    QDateTime from, to;

    double x(const QDateTime& time) const;
    QRectF lane(int channel) const; // 1..24, from the top
    // The channel under a point of the strips and its stretch there; nothing outside the strips.
    std::optional<std::pair<int, history::Stretch>> at(const history::Lanes& lanes,
                                                       QPointF point) const;
};

// What hovering over a stretch tells: the channel with its name, the state, from when to when.
QString StretchText(int channel, const history::Stretch& stretch);

} // namespace overview
