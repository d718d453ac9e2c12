// Records every message box shown while it lives, instead of showing it. Header-only, so that
// tests without widgets need not link the message-box seam.
#pragma once

#include "msgbox/message_box.h"

#include <QList>

class MessageRecorder
{
public:
    MessageRecorder()
        : m_previous(msgbox::SetHandler([this](const msgbox::Message& m) { messages << m; }))
    {
    }
    ~MessageRecorder() { msgbox::SetHandler(m_previous); }

    QList<msgbox::Message> messages;

private:
    msgbox::Handler m_previous;
};
