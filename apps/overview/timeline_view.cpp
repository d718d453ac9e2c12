#include "timeline_view.h"

#include "looks.h"
#include "timeline_scale.h"

#include "link/text.h"

#include <QHBoxLayout>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>

namespace overview {

using board::Tr;

namespace {

constexpr int kLabelsWidth = 36; // the channel numbers left of the strips
constexpr int kAxisHeight = 22;

// The spans offered, in seconds, and the axis's step for each.
struct Span
{
    qint64 seconds, step;
};
constexpr Span kSpans[] = {{3600, 600}, {86400, 3 * 3600}, {7 * 86400, 86400}};

} // namespace

TimelineChart::TimelineChart(QWidget* parent) : QWidget(parent)
{
    setMinimumHeight(24 * 8 + kAxisHeight);
}

void TimelineChart::setLanes(const history::Lanes& lanes, const QDateTime& from,
                             const QDateTime& to)
{
    m_lanes = lanes;
    m_from = from;
    m_to = to;
    update();
}

QRectF TimelineChart::stripsArea() const
{
    return QRectF(kLabelsWidth, 0, width() - kLabelsWidth - 8, height() - kAxisHeight);
}

void TimelineChart::paintEvent(QPaintEvent*)
{
    if (!m_from.isValid())
        return;
    QPainter painter(this);
    const TimelineScale scale{stripsArea(), m_from, m_to};
    for (int ch = 1; ch <= board::kChannels; ++ch) {
        const QRectF lane = scale.lane(ch);
        painter.drawText(QRectF(0, lane.top(), kLabelsWidth - 4, lane.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(ch));
        for (const history::Stretch& stretch : m_lanes.channels[std::size_t(ch - 1)]) {
            const double left = scale.x(stretch.from);
            painter.fillRect(
                QRectF(left, lane.top() + 1, scale.x(stretch.to) - left, lane.height() - 2),
                LampColor(stretch.state));
        }
    }
    // The axis: a tick and a time at each whole step of the local clock within the span.
    const qint64 seconds = m_from.secsTo(m_to);
    const Span span = *std::find_if(std::begin(kSpans), std::end(kSpans) - 1,
                                    [&](const Span& s) { return seconds <= s.seconds; });
    const qint64 offset = m_from.toLocalTime().offsetFromUtc();
    const qint64 first =
        ((m_from.toSecsSinceEpoch() + offset) / span.step + 1) * span.step - offset;
    const QString format = span.step >= 86400 ? QStringLiteral("MM-dd") : QStringLiteral("HH:mm");
    const QRectF area = stripsArea();
    painter.drawLine(QPointF(area.left(), area.bottom()), QPointF(area.right(), area.bottom()));
    for (qint64 at = first; at < m_to.toSecsSinceEpoch(); at += span.step) {
        const QDateTime tick = QDateTime::fromSecsSinceEpoch(at);
        const double x = scale.x(tick);
        painter.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + 4));
        painter.drawText(QRectF(x - 40, area.bottom() + 4, 80, kAxisHeight - 4),
                         Qt::AlignHCenter | Qt::AlignTop, tick.toString(format));
    }
}

bool TimelineChart::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    if (const auto under = TimelineScale{stripsArea(), m_from, m_to}.at(m_lanes, help->pos()))
        QToolTip::showText(help->globalPos(), StretchText(under->first, under->second), this);
    else
        QToolTip::hideText();
    return true;
}

TimelineView::TimelineView(const QString& path, QWidget* parent)
    : QWidget(parent), m_path(path), m_refresh(Tr("刷新", "Refresh"))
{
    m_board.setRange(0, 255);
    m_span.addItems(
        {Tr("最近一小时", "last hour"), Tr("最近一天", "last day"), Tr("最近一周", "last week")});
    m_span.setCurrentIndex(1);
    m_error.setWordWrap(true);
    ShowText(m_error, {}, true);
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(Tr("检测板", "Board"), this));
    bar->addWidget(&m_board);
    bar->addWidget(new QLabel(Tr("时间段", "Span"), this));
    bar->addWidget(&m_span);
    bar->addWidget(&m_refresh);
    bar->addStretch();
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->addLayout(bar);
    page->addWidget(&m_error);
    page->addWidget(&m_chart, 1);
    connect(&m_refresh, &QPushButton::clicked, this, &TimelineView::refresh);
    // A board chosen while the page is hidden (a new watch's first) is read when it is shown.
    const auto refreshShown = [this] {
        if (isVisible())
            refresh();
    };
    connect(&m_board, &QSpinBox::valueChanged, this, refreshShown);
    connect(&m_span, &QComboBox::currentIndexChanged, this, refreshShown);
}

void TimelineView::refresh()
{
    const QDateTime to = QDateTime::currentDateTimeUtc();
    const QDateTime from = to.addSecs(-kSpans[m_span.currentIndex()].seconds);
    const history::Lanes lanes = history::Reader(m_path).timeline({}, m_board.value(), from, to);
    ShowText(m_error, lanes.error, true);
    m_chart.setLanes(lanes, from, to);
}

} // namespace overview
