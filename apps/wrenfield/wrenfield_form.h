// Wrenfield's main window: the shared window with fixed channel captions, and lamp clicks that
// queue a command for the next poll tick. It keeps no names and reads or writes no file.
#pragma once

#include "monitor/main_form.h"

namespace console {

class WrenfieldForm : public monitor::MainForm
{
    Q_OBJECT

public:
    explicit WrenfieldForm(const QString& programDir, QWidget* parent = nullptr);

    // A click on lamp `index` (1..24): queue the command its channel's state asks for; nothing
    // shown changes until the board answers.
    void Picture1_Click(int index);
    // The status label sits inside its lamp and stands for it.
    void Label2_Click(int index) { Picture1_Click(index); }
};

} // namespace console
