// Wrenfield's main window: the shared window with fixed channel captions, and lamp clicks that
// queue a command for the next poll tick. It keeps no names and reads or writes no file.
#pragma once

#include "console/command_slot.h"

#include "monitor/main_form.h"

#include <cstdint>

namespace console {

class WrenfieldForm : public monitor::MainForm
{
    Q_OBJECT

public:
    // The title the window shows from creation to the end of the run.
    static const QString kTitle;

    explicit WrenfieldForm(const QString& programDir, QWidget* parent = nullptr);

    // The window has loaded: no command waits.
    void Form_Load();

    void QueueCommand(std::uint8_t cmd, std::uint8_t data1, std::uint8_t data2);
    // The send step of a tick, after the watchdog: exactly one frame, a command or the poll.
    void PollOrSendPending();

    // A click on lamp `index` (1..24): queue the command its colour asks for, change nothing shown.
    void Picture1_Click(int index);
    // The status label sits inside its lamp and stands for it.
    void Label2_Click(int index);

protected:
    void sendOnTick() override;

private:
    void placeCaptions();

    CommandSlot m_slot;
};

} // namespace console
