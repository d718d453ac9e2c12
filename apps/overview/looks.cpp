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

void ShowText(QLabel& label, const QString& text, bool warning)
{
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText,
                     warning ? QColor(Qt::red)
                             : QApplication::palette().color(QPalette::WindowText));
    label.setPalette(palette);
    label.setText(text);
    label.setVisible(!text.isEmpty());
}

} // namespace overview
