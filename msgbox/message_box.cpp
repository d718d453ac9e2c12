#include "message_box.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>

namespace msgbox {
namespace {

Handler g_handler; // empty means QMessageBox

// Icon numbers its kinds as QMessageBox::Icon does.
static_assert(int(Icon::Information) == QMessageBox::Information &&
              int(Icon::Warning) == QMessageBox::Warning &&
              int(Icon::Critical) == QMessageBox::Critical);

} // namespace

void Show(const Message& message)
{
    if (g_handler) {
        g_handler(message);
        return;
    }
    QMessageBox box(static_cast<QMessageBox::Icon>(message.icon), message.title, QString(),
                    QMessageBox::Ok);
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
    return std::exchange(g_handler, std::move(handler));
}

QString ApplicationTitle()
{
    // Not the display name: on X11 Qt appends that to every window title.
    return QApplication::applicationName();
}

} // namespace msgbox
