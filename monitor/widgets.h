// The small widget kinds of the main window: lamps, clickable labels and upward spinners.
#pragma once

#include <QLabel>
#include <QScrollBar>

namespace monitor {

// A label that reports clicks, as the status and name labels do. Its text is always plain: a
// stored name such as `<img src=...>` is shown as typed and never makes Qt load anything.
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ClickableLabel(const QString& text = {}, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A coloured box whose background is the channel's state; it holds the status label.
class Lamp : public ClickableLabel
{
    Q_OBJECT

public:
    explicit Lamp(QWidget* parent = nullptr);

    QColor color() const;
    void setColor(const QColor& color);
};

// A vertical scroll bar used as an up/down control: the upper arrow (and the Up key) increases
// the number. Qt's scroll bars grow downwards whatever their appearance, so the bar runs
// -maximum..0.
class Spinner : public QScrollBar
{
    Q_OBJECT

public:
    Spinner(int maximum, QWidget* parent = nullptr);

    int number() const { return -value(); }
    void setNumber(int number) { setValue(-number); }

signals:
    void numberChanged(int number);

private:
    bool m_stepping = false; // the handlers of a step are running
};

} // namespace monitor
