#include "widgets.h"

#include <QMouseEvent>

namespace monitor {

void ClickableLabel::mousePressEvent(QMouseEvent* event)
{
    event->accept(); // keep the press here, so a status label's click is its own
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

Lamp::Lamp(QWidget* parent) : ClickableLabel(parent)
{
    setAutoFillBackground(true);
    setFocusPolicy(Qt::TabFocus);
}

QColor Lamp::color() const
{
    return palette().color(QPalette::Window);
}

void Lamp::setColor(const QColor& color)
{
    if (color == this->color())
        return; // a silent board repaints every tick; an unchanged lamp needs no redraw
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
}

Spinner::Spinner(int maximum, QWidget* parent) : QScrollBar(Qt::Vertical, parent)
{
    setRange(-maximum, 0);
    setSingleStep(1);
    setPageStep(1);
    connect(this, &QScrollBar::valueChanged, this,
            [this](int value) { emit numberChanged(-value); });
}

} // namespace monitor
