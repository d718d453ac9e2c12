#include "widgets.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QTimer>
#include <memory>

namespace monitor {

ClickableLabel::ClickableLabel(const QString& text, QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setText(text);
}

void ClickableLabel::mousePressEvent(QMouseEvent* event)
{
    event->accept(); // keep the press here, so a status label's click is its own
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

Lamp::Lamp(QWidget* parent) : ClickableLabel({}, parent)
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
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QScrollBar::valueChanged, this, [this](int value) {
        const QScopedValueRollback stepping(m_stepping, true);
        // A box opened by the step runs its own event loop, which takes the mouse release: the
        // press ends here, so the arrow does not go on stepping once the box has gone.
        const auto loopRan = std::make_shared<bool>(false);
        QTimer::singleShot(0, this, [loopRan] { *loopRan = true; });
        emit numberChanged(-value);
        if (*loopRan) {
            QMouseEvent release(QEvent::MouseButtonRelease, QPointF(), QPointF(), Qt::LeftButton,
                                Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(this, &release);
        }
    });
    // A step that comes while the last one is still being handled (the auto-repeat firing while
    // its box is open) is dropped.
    connect(this, &QAbstractSlider::actionTriggered, this, [this] {
        if (m_stepping)
            setSliderPosition(value());
    });
}

} // namespace monitor
