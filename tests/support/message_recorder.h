// Records every message box shown while it lives, instead of showing it. `onMessage`, when given,
// runs for each message before the box counts as closed: a test acts "while the box is open".
// Header-only, so that tests without widgets need not link the message-box seam.
#pragma once

#include "msgbox/message_box.h"

#include <QList>

class MessageRecorder
{
public:
    explicit MessageRecorder(std::function<void(const msgbox::Message&)> onMessage = {})
        : m_previous(msgbox::SetHandler([this, onMessage](const msgbox::Message& m) {
              messages << m;
              onMessage ? onMessage(m) : void();
          }))
    {
    }
    ~MessageRecorder() { msgbox::SetHandler(m_previous); }

    QList<msgbox::Message> messages;

private:
    msgbox::Handler m_previous;
};
