#include "kestrel_form.h"

#include "monitor/widgets.h"
#include "naming/module2.h"
#include "naming/name_file.h"
#include "naming/name_form.h"

#include <QCloseEvent>
#include <QLineEdit>

namespace kestrel {

KestrelForm::KestrelForm(const QString& programDir, QWidget* parent)
    : monitor::MainForm(programDir, parent), m_nameFile(naming::NameFilePath(programDir))
{
    Form_Initialize();
    connect(controls().add, &QLineEdit::textChanged, this, &KestrelForm::add_Change);
    connect(this, &monitor::MainForm::nameLabelClicked, this, &KestrelForm::Label4_Click);
}

KestrelForm::~KestrelForm() = default;

void KestrelForm::Form_Initialize()
{
    InitNameFile();
}

void KestrelForm::InitNameFile()
{
    const naming::NameFileStart start = naming::InitNameFile(m_nameFile);
    setWindowTitle(start.title);
    m_namesLoadable = start.namesLoadable; // false: the file could not be made, as told once
    LoadChannelNames(controls().add->text());
}

void KestrelForm::LoadChannelNames(const QString& addressText)
{
    std::array<QString, naming::kChannelCount> names{};
    // A file that went away while running is reported once per reload, not once per channel.
    if (m_namesLoadable && naming::FileExistsOrReport(m_nameFile))
        names = naming::LoadChannelNames(m_nameFile, addressText);
    for (int ch = 1; ch <= naming::kChannelCount; ++ch)
        controls().Label4[ch]->setText(names[ch - 1]);
}

void KestrelForm::add_Change()
{
    const monitor::MainFormControls& ui = controls();
    // Setting the value the spinner already holds raises no change: that ends the cycle.
    ui.VScroll1->setNumber(ui.add->text().toShort());
    LoadChannelNames(ui.add->text());
}

void KestrelForm::Label4_Click(int index)
{
    if (!m_nameForm) // one dialog for the whole run, without an owner window
        m_nameForm = std::make_unique<naming::NameForm>(m_nameFile, [this] { add_Change(); });
    m_nameForm->OpenFor(controls().add->text(), index);
}

void KestrelForm::closeEvent(QCloseEvent* event)
{
    if (m_nameForm)
        m_nameForm->close();
    monitor::MainForm::closeEvent(event);
}

} // namespace kestrel
