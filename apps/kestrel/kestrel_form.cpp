#include "kestrel_form.h"

#include "name_form.h"

#include "monitor/widgets.h"
#include "naming/name_file.h"

#include <QCloseEvent>
#include <QLineEdit>

namespace kestrel {

KestrelForm::KestrelForm(const QString& programDir, QWidget* parent)
    : monitor::MainForm(programDir, parent), m_nameFile(naming::AdoptNameFile(programDir))
{
    InitNameFile(); // before the window is first shown
    connect(controls().add, &QLineEdit::textChanged, this, &KestrelForm::add_Change);
    connect(this, &monitor::MainForm::nameLabelClicked, this, &KestrelForm::Label4_Click);
}

KestrelForm::~KestrelForm() = default;

void KestrelForm::InitNameFile()
{
    const naming::NameFileStart start = naming::InitNameFile(m_nameFile);
    // Qt shows the application's name in place of an empty title; a blank keeps the bar empty.
    setWindowTitle(start.title.isEmpty() ? QStringLiteral(" ") : start.title);
    m_missingReported = start.reported;
    LoadChannelNames(QString::number(session().address()));
}

void KestrelForm::LoadChannelNames(const QString& addressText)
{
    const auto names = naming::NamesOfAddress(m_nameFile, addressText, m_missingReported);
    for (int ch = 1; ch <= board::kChannels; ++ch)
        controls().Label4[ch]->setText(names[ch - 1]);
}

void KestrelForm::add_Change()
{
    // Setting the value the spinner already holds raises no change: that ends the cycle.
    controls().VScroll1->setNumber(session().address());
    LoadChannelNames(QString::number(session().address()));
}

void KestrelForm::Label4_Click(int index)
{
    if (!m_nameForm) // one dialog object for the whole run
        m_nameForm = std::make_unique<NameForm>(m_nameFile, [this] { add_Change(); });
    m_nameForm->openFor(QString::number(session().address()), index);
}

void KestrelForm::closeEvent(QCloseEvent* event)
{
    if (m_nameForm)
        m_nameForm->Command_cansel_Click();
    monitor::MainForm::closeEvent(event);
}

} // namespace kestrel
