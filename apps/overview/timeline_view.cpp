#include "timeline_view.h"

#include "looks.h"

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

QString StateWord(history::State state)
{
    switch (state) {
    case history::State::On:
        return Tr("连接", "on");
    case history::State::Off:
        return Tr("断开", "off");
    case history::State::Unknown:
        return Tr("状态未知（无应答）", "unknown (no answer)");
    case history::State::Closed:
        break;
    }
    return Tr("串口关闭", "line closed");
}

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

double TimelineChart::xOf(const QDateTime& time) const
{
    const QRectF area = stripsArea();
    const double span = double(m_from.msecsTo(m_to));
    return area.left() + (span > 0 ? area.width() * double(m_from.msecsTo(time)) / span : 0);
}

void TimelineChart::paintEvent(QPaintEvent*)
{
    if (!m_from.isValid())
        return;
    QPainter painter(this);
    const QRectF area = stripsArea();
    const double lane = area.height() / board::kChannels;
    for (int ch = 1; ch <= board::kChannels; ++ch) {
        const double top = area.top() + (ch - 1) * lane;
        painter.drawText(QRectF(0, top, kLabelsWidth - 4, lane), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(ch));
        for (const history::Stretch& stretch : m_lanes.channels[std::size_t(ch - 1)]) {
            const double left = xOf(stretch.from);
            painter.fillRect(QRectF(left, top + 1, xOf(stretch.to) - left, lane - 2),
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
    painter.drawLine(QPointF(area.left(), area.bottom()), QPointF(area.right(), area.bottom()));
    for (qint64 at = first; at < m_to.toSecsSinceEpoch(); at += span.step) {
        const QDateTime tick = QDateTime::fromSecsSinceEpoch(at);
        const double x = xOf(tick);
        painter.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + 4));
        painter.drawText(QRectF(x - 40, area.bottom() + 4, 80, kAxisHeight - 4),
                         Qt::AlignHCenter | Qt::AlignTop, tick.toString(format));
    }
}

const history::Stretch* TimelineChart::stretchAt(QPoint point, int* channel) const
{
    const QRectF area = stripsArea();
    if (!m_from.isValid() || !area.contains(point))
        return nullptr;
    *channel = 1 + int((point.y() - area.top()) * board::kChannels / area.height());
    const QDateTime time = m_from.addMSecs(
        qint64(double(m_from.msecsTo(m_to)) * (point.x() - area.left()) / area.width()));
    for (const history::Stretch& stretch : m_lanes.channels[std::size_t(*channel - 1)])
        if (stretch.from <= time && time < stretch.to)
            return &stretch;
    return nullptr;
}

bool TimelineChart::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    int channel = 0;
    const history::Stretch* stretch = stretchAt(help->pos(), &channel);
    if (!stretch) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    const QString name = stretch->name.isEmpty()
                             ? Tr("第%1路", "channel %1").arg(channel)
                             : Tr("第%1路 %2", "channel %1 %2").arg(channel).arg(stretch->name);
    QToolTip::showText(help->globalPos(),
                       QStringLiteral("%1\n%2\n%3 – %4")
                           .arg(name, StateWord(stretch->state),
                                stretch->from.toLocalTime().toString(format),
                                stretch->to.toLocalTime().toString(format)),
                       this);
    return true;
}

TimelineView::TimelineView(QWidget* parent) : QWidget(parent), m_refresh(Tr("刷新", "Refresh"))
{
    m_board.setRange(0, 255);
    m_span.addItems(
        {Tr("最近一小时", "last hour"), Tr("最近一天", "last day"), Tr("最近一周", "last week")});
    m_span.setCurrentIndex(1);
    SetWarning(m_error, true);
    m_error.setWordWrap(true);
    m_error.hide();
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
    connect(&m_board, &QSpinBox::valueChanged, this, &TimelineView::refresh);
    connect(&m_span, &QComboBox::currentIndexChanged, this, &TimelineView::refresh);
}

void TimelineView::setSource(const QString& path, const QString& device)
{
    m_path = path;
    m_device = device;
}

void TimelineView::refresh()
{
    const QDateTime to = QDateTime::currentDateTimeUtc();
    const QDateTime from = to.addSecs(-kSpans[m_span.currentIndex()].seconds);
    const history::Lanes lanes = history::Timeline(m_path, m_device, m_board.value(), from, to);
    m_error.setText(lanes.error);
    m_error.setVisible(!lanes.error.isEmpty());
    m_chart.setLanes(lanes, from, to);
}

} // namespace overview
