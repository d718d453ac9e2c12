// name_form, Kestrel's rename dialog: one edit box mingcheng and the buttons
// Command_ok and Command_cansel. One object for the run, modeless, without an owner window; closing
// it unloads it (the next opening starts from the layout and runs Form_Load again).
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QLineEdit;
class QPushButton;

namespace naming {

class NameForm : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString add READ add WRITE setAdd)
    Q_PROPERTY(QString xianlu READ xianlu WRITE setXianlu)

public:
    // `nameFilePath`: name.txt; `afterStore`: run after a name was stored (the main window's
    // add_Change). Create it with no parent: the dialog has no owner window.
    explicit NameForm(QString nameFilePath, std::function<void()> afterStore = {},
                      QWidget* parent = nullptr);

    // The address box's text at the click, and the clicked channel "1".."24".
    QString add() const { return add_; }
    void setAdd(const QString& add) { add_ = add; }
    QString xianlu() const { return xianlu_; }
    void setXianlu(const QString& xianlu) { xianlu_ = xianlu; }

    void setAfterStore(std::function<void()> afterStore) { afterStore_ = std::move(afterStore); }

    // What Label4_Click does once the object exists: sets add and xianlu, loads the window if it is
    // not loaded (layout values, then Form_Load), or, if it is open but now aimed at another
    // address or channel, reloads the box with that channel's stored name (mended: OK never stores
    // one channel's text under another); then shows it modeless and brings it to the front.
    void OpenFor(const QString& addText, int channel);

    // The window is loaded (shown and not closed since).
    bool isLoaded() const { return loaded_; }

    // The dialog's handlers.
    void Form_Load();
    void Command_ok_Click();
    void Command_cansel_Click();

    QLineEdit* mingcheng() const { return mingcheng_; }
    QPushButton* Command_ok() const { return ok_; }
    QPushButton* Command_cansel() const { return cancel_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void LoadLayoutValues();
    QString Section() const;
    QString Key() const;

    QString path_;
    std::function<void()> afterStore_;
    QString add_;
    QString xianlu_;
    bool loaded_ = false;
    QLineEdit* mingcheng_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

} // namespace naming
