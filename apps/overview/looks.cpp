#include "looks.h"

#include "monitor/looks.h"

#include <QApplication>

namespace overview {

QColor LampColor(history::State state)
{
    // In State's order: on, off, unknown, closed.
    const QColor colors[] = {monitor::kGreen, monitor::kRed, monitor::kYellow, monitor::GreyText()};
    return colors[int(state)];
}

void SetWarning(QWidget& widget, bool warning)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText,
                     warning ? QColor(Qt::red)
                             : QApplication::palette().color(QPalette::WindowText));
    widget.setPalette(palette);
}

} // namespace overview
