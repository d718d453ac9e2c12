#include "looks.h"

#include "monitor/looks.h"

#include <QApplication>

namespace overview {

QColor LampColor(history::State state)
{
    switch (state) {
    case history::State::On:
        return monitor::kGreen;
    case history::State::Off:
        return monitor::kRed;
    case history::State::Unknown:
        return monitor::kYellow;
    case history::State::Closed:
        break;
    }
    return monitor::GreyText();
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
