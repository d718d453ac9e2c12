// A main window wired to a real pseudo-terminal through a `com1` link in a temporary program
// directory, with message boxes recorded instead of shown.
#pragma once

#include "monitor/main_form.h"
#include "msgbox/message_box.h"
#include "support/pseudo_terminal.h"

#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

template <typename Form = monitor::MainForm> struct WindowRig
{
    QTemporaryDir dir;
    std::unique_ptr<PseudoTerminal> pty = std::make_unique<PseudoTerminal>();
    QList<msgbox::Message> messages;
    msgbox::Handler previous;
    std::unique_ptr<Form> form;

    // `prepare` may fill the program directory before the window is built.
    explicit WindowRig(const std::function<void(const QString& dir)>& prepare = {})
    {
        linkPort(1);
        if (prepare)
            prepare(dir.path());
        previous = msgbox::SetHandler([this](const msgbox::Message& m) { messages << m; });
        form = std::make_unique<Form>(dir.path());
    }
    ~WindowRig()
    {
        form.reset();
        msgbox::SetHandler(previous);
    }

    const monitor::MainFormControls& ui() const { return form->controls(); }

    void linkPort(int number)
    {
        const QString link = dir.filePath(QStringLiteral("com%1").arg(number));
        QFile::remove(link);
        QFile::link(pty->slavePath(), link);
    }

    // A new device behind the same number, as when an adapter is plugged in again.
    void replug()
    {
        pty = std::make_unique<PseudoTerminal>();
        linkPort(1);
    }
};
