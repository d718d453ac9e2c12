// A program's main window on a real pseudo-terminal: a temporary program folder whose `com1`
// links to the terminal, message boxes recorded, the form built on that folder. Header-only, for
// tests that link the window anyway.
#pragma once

#include "monitor/layout.h"
#include "monitor/main_form.h"
#include "support/message_recorder.h"
#include "support/pseudo_terminal.h"

#include <QFile>
#include <QTemporaryDir>

#include <memory>

// A point of lamp `channel` in window coordinates that its status label does not cover.
inline QPoint LampPoint(int channel)
{
    const monitor::ChannelPlace& place = monitor::kChannelPlaces[channel - 1];
    return {monitor::Px(place.lampLeft + monitor::kLampWidth) - 4, monitor::Px(place.lampTop) + 3};
}

template <typename Form = monitor::MainForm> struct WindowRig : MessageRecorder
{
    QTemporaryDir dir;
    std::unique_ptr<PseudoTerminal> pty = std::make_unique<PseudoTerminal>();
    std::unique_ptr<Form> form;

    // `prepare` may fill the program folder before the window is built.
    explicit WindowRig(const std::function<void(const QString& dir)>& prepare = {})
    {
        linkPort(1);
        if (prepare)
            prepare(dir.path());
        form = std::make_unique<Form>(dir.path());
    }

    const monitor::MainFormControls& ui() const { return form->controls(); }

    // One poll tick run by the test: what it writes on the line, as hex.
    QByteArray tick() { return pty->tick(form->session()); }

    // `<dir>/comN` leads to `target`, by default this terminal.
    void linkPort(int number, const QString& target = {})
    {
        const QString link = dir.filePath(QStringLiteral("com%1").arg(number));
        QFile::remove(link);
        QFile::link(target.isEmpty() ? pty->slavePath() : target, link);
    }
};
