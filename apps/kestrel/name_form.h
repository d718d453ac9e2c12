// name_form, Kestrel's rename dialog: the edit box mingcheng and the buttons Command_ok and
// Command_cansel. One object for the run holds add and xianlu; its window is built from the layout
// at every loading and thrown away when it closes, so each opening starts with the laid-out
// size, the default placement and "Text1".
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QLineEdit;
class QPushButton;
class QWidget;

namespace kestrel {

class NameForm : public QObject
{
    Q_OBJECT

public:
    // `afterStore` runs after a name was stored (the main window's add_Change).
    NameForm(QString nameFilePath, std::function<void()> afterStore);
    ~NameForm() override;

    // What Label4_Click does once the object exists: sets add and xianlu, loads the window if it
    // is not loaded (layout, then Form_Load) or, when the open dialog is aimed at another channel,
    // reloads the box with that channel's name, so OK never stores one channel's text under
    // another; then shows it modeless, without an owner, in front.
    void openFor(const QString& addText, int channel);

    // The dialog's window while it is loaded, else null; its controls likewise.
    QWidget* window() const { return m_window; }
    QLineEdit* mingcheng() const { return m_mingcheng; }
    QPushButton* Command_ok() const { return m_ok; }
    QPushButton* Command_cansel() const { return m_cancel; }

    void Form_Load();
    void Command_ok_Click();
    void Command_cansel_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load();
    void unload();

    QString m_path;
    std::function<void()> m_afterStore;
    QString m_add;    // the address box's text at the click
    QString m_xianlu; // the clicked channel, "1".."24"
    QPointer<QWidget> m_window;
    QLineEdit* m_mingcheng = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace kestrel
