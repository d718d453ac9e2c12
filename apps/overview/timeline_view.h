// The timeline: one board's 24 channels over the last hour, day or week, each a strip coloured as
// its lamp was, with a time axis; hovering over a strip tells that stretch's state and times.
#pragma once

#include "timeline_scale.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace overview {

// The strips themselves, drawn from the lanes a history query gave.
class TimelineChart : public QWidget
{
    Q_OBJECT

public:
    explicit TimelineChart(QWidget* parent = nullptr);

    void setLanes(const history::Lanes& lanes, const QDateTime& from, const QDateTime& to);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override; // tooltips

private:
    QRectF stripsArea() const;

    history::Lanes m_lanes;
    QDateTime m_from, m_to;
};

class TimelineView : public QWidget
{
    Q_OBJECT

public:
    // Reads every line's events in the history file at `path`.
    explicit TimelineView(const QString& path, QWidget* parent = nullptr);

    // Another history file to read.
    void setPath(const QString& path) { m_path = path; }
    void setBoard(int address) { m_board.setValue(address); }
    // Reads the span ending now anew.
    void refresh();

private:
    QString m_path;
    QSpinBox m_board;
    QComboBox m_span;
    QPushButton m_refresh;
    QLabel m_error;
    TimelineChart m_chart;
};

} // namespace overview
