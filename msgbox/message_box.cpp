#include "message_box.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>

namespace msgbox {
namespace {

Handler& CurrentHandler()
{
    static Handler handler; // the seam named by the design; empty means QMessageBox
    return handler;
}

QMessageBox::Icon ToQt(Icon icon)
{
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void Show(const Message& message)
{
    if (const Handler& handler = CurrentHandler()) {
        handler(message);
        return;
    }
    QMessageBox box(ToQt(message.icon), message.title, QString(), QMessageBox::Ok);
    // Paths and names are shown as they are: never taken for markup, never loading an image.
    box.setTextFormat(Qt::PlainText);
    box.setText(message.text);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定")); // Qt's own word is English
    // Ctrl+C copies the text, so that a path or a reason can be pasted into a report (Qt does it
    // only on Windows).
    QObject::connect(new QShortcut(QKeySequence::Copy, &box), &QShortcut::activated, &box,
                     [&box] { QGuiApplication::clipboard()->setText(box.text()); });
    box.exec();
}

Handler SetHandler(Handler handler)
{
    return std::exchange(CurrentHandler(), std::move(handler));
}

QString ApplicationTitle()
{
    // Not the display name: on X11 Qt appends that to every window title.
    return QApplication::applicationName();
}

} // namespace msgbox
