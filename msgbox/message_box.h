// The one place through which both programs show message boxes. Production shows a modal
// QMessageBox; tests install a handler that records (and so answers) each message.
#pragma once

#include <QString>

#include <functional>

namespace msgbox {

// Numbered as QMessageBox::Icon is.
enum class Icon { None, Information, Warning, Critical };

struct Message
{
    Icon icon = Icon::None;
    QString title;
    QString text;
};

using Handler = std::function<void(const Message&)>;

// Shows the message and returns when the user has closed it.
void Show(const Message& message);

// Replaces the handler (an empty one restores the QMessageBox); returns the previous one.
Handler SetHandler(Handler handler);

// The fixed application title shown on the programs' own message boxes.
QString ApplicationTitle();

} // namespace msgbox
