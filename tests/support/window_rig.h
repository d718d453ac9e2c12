// A program's main window on a real pseudo-terminal: a program folder whose `com1` leads to the
// test's line, message boxes recorded, the form built on that folder. Header-only, for tests that
// link the window anyway.
#pragma once

#include "monitor/layout.h"
#include "monitor/main_form.h"
#include "support/message_recorder.h"
#include "support/program_folder.h"

// A point of lamp `channel` in window coordinates that its status label does not cover.
inline QPoint LampPoint(int channel)
{
    const monitor::ChannelPlace& place = monitor::kChannelPlaces[channel - 1];
    return {monitor::Px(place.lampLeft + monitor::kLampWidth) - 4, monitor::Px(place.lampTop) + 3};
}

template <typename Form = monitor::MainForm> struct WindowRig : MessageRecorder, ProgramFolder
{
    std::unique_ptr<Form> form;

    // `prepare` may fill the program folder before the window is built.
    explicit WindowRig(const std::function<void(const QString& dir)>& prepare = {})
    {
        pty = std::make_unique<PseudoTerminal>();
        linkPort(1);
        if (prepare)
            prepare(dir.path());
        form = std::make_unique<Form>(dir.path());
    }

    const monitor::MainFormControls& ui() const { return form->controls(); }

    // One poll tick run by the test: what it writes on the line, as hex.
    QByteArray tick() { return pty->tick(form->session()); }
};
