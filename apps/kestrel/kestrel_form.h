// Kestrel's main window: the shared window plus the address box's change handler.
#pragma once

#include "monitor/main_form.h"

namespace kestrel {

class KestrelForm : public monitor::MainForm
{
    Q_OBJECT

public:
    explicit KestrelForm(const QString& programDir, QWidget* parent = nullptr);

public slots:
    // The address text changed: the spinner follows it.
    void add_Change();
};

} // namespace kestrel
