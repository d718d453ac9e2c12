// Kestrel's main window: the shared window with the channel names of the selected board address,
// kept in name.txt, and the rename dialog behind a click on a name.
#pragma once

#include "monitor/main_form.h"

#include <memory>

namespace kestrel {

class NameForm;

class KestrelForm : public monitor::MainForm
{
    Q_OBJECT

public:
    // The name file is prepared before the window is first shown.
    explicit KestrelForm(const QString& programDir, QWidget* parent = nullptr);
    ~KestrelForm() override;

    QString nameFilePath() const { return m_nameFile; }
    NameForm* nameForm() const { return m_nameForm.get(); }

public slots:
    // The address text changed (or a name was stored): the spinner follows the text and the 24
    // names of that address are loaded.
    void add_Change();
    void Label4_Click(int index);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void InitNameFile();
    void LoadChannelNames(const QString& addressText);

    QString m_nameFile;
    bool m_missingReported = false;       // the file could not be made: its absence was told once
    std::unique_ptr<NameForm> m_nameForm; // created at the first click on a name
};

} // namespace kestrel
