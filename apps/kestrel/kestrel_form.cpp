#include "kestrel_form.h"

#include "monitor/widgets.h"

#include <QLineEdit>

namespace kestrel {

KestrelForm::KestrelForm(const QString& programDir, QWidget* parent)
    : monitor::MainForm(programDir, parent)
{
    connect(controls().add, &QLineEdit::textChanged, this, &KestrelForm::add_Change);
}

void KestrelForm::add_Change()
{
    const monitor::MainFormControls& ui = controls();
    // Setting the value the spinner already holds raises no change: that ends the cycle.
    ui.VScroll1->setNumber(ui.add->text().toShort());
}

} // namespace kestrel
