#include "name_form.h"

#include "monitor/layout.h"
#include "monitor/looks.h"
#include "msgbox/message_box.h"
#include "naming/module2.h"

#include <QEvent>
#include <QLineEdit>
#include <QPushButton>

namespace kestrel {
namespace {

using monitor::TwipsRect;

// The text as a 16-bit whole number (CInt); nothing when it is none.
std::optional<int> ToInt16(const QString& text)
{
    bool ok = false;
    const short value = text.trimmed().toShort(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

} // namespace

NameForm::NameForm(QString nameFilePath, std::function<void()> afterStore)
    : m_path(std::move(nameFilePath)), m_afterStore(std::move(afterStore))
{
}

NameForm::~NameForm()
{
    delete m_window;
}

void NameForm::load()
{
    m_window = new QWidget(nullptr, Qt::Window);
    m_window->setObjectName(QStringLiteral("name_form"));
    m_window->setWindowTitle(QStringLiteral("更改名称"));
    m_window->resize(monitor::Px(4740), monitor::Px(1890));
    // The main window's closing ends the program even while this dialog is open.
    m_window->setAttribute(Qt::WA_QuitOnClose, false);
    QPalette face = m_window->palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    m_window->setPalette(face);
    m_window->setAutoFillBackground(true);
    m_window->installEventFilter(this);

    m_mingcheng = new QLineEdit(QStringLiteral("Text1"), m_window);
    m_mingcheng->setObjectName(QStringLiteral("mingcheng"));
    m_mingcheng->setGeometry(TwipsRect(960, 360, 3135, 615));
    m_mingcheng->setFont(monitor::SongFont(monitor::kFont24pt));
    m_ok = new QPushButton(QStringLiteral("确 定"), m_window);
    m_ok->setObjectName(QStringLiteral("Command_ok"));
    m_ok->setGeometry(TwipsRect(1200, 1320, 975, 375));
    m_cancel = new QPushButton(QStringLiteral("取 消"), m_window);
    m_cancel->setObjectName(QStringLiteral("Command_cansel"));
    m_cancel->setGeometry(TwipsRect(2640, 1320, 975, 375));
    // A plain window, not a QDialog: no default or cancel button, so Enter and Esc do nothing.
    // The tab order is the order of creation.
    m_mingcheng->setFocus();
    connect(m_ok, &QPushButton::clicked, this, &NameForm::Command_ok_Click);
    connect(m_cancel, &QPushButton::clicked, this, &NameForm::Command_cansel_Click);
    Form_Load();
}

void NameForm::unload()
{
    // Called from the window's own close: it goes once the event is done.
    m_window->removeEventFilter(this);
    m_window->deleteLater();
    m_window = nullptr;
    m_mingcheng = nullptr;
    m_ok = m_cancel = nullptr;
}

bool NameForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::Close)
        unload();
    return false;
}

void NameForm::openFor(const QString& addText, int channel)
{
    const QString channelText = QString::number(channel);
    const bool retargeted = m_window && (addText != m_add || channelText != m_xianlu);
    m_add = addText;
    m_xianlu = channelText;
    if (!m_window)
        load();
    else if (retargeted)
        Form_Load();
    m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
}

void NameForm::Form_Load()
{
    const std::optional<int> address = ToInt16(m_add);
    const std::optional<int> channel = ToInt16(m_xianlu);
    // A text that is no number, or out of range, loads nothing: the box keeps "Text1".
    if (!address || !channel || *address > 255 || *channel > board::kChannels || *channel < 1)
        return;
    m_mingcheng->setText(
        naming::ReadIniValue(m_path, naming::AddressSection(m_add), naming::ChannelKey(*channel)));
}

void NameForm::Command_ok_Click()
{
    QString reason;
    if (naming::WriteIniValue(m_path, naming::AddressSection(m_add),
                              naming::ChannelKey(m_xianlu.toInt()), m_mingcheng->text(),
                              &reason) == 0) {
        // Not saved: say why and keep the dialog open with the text, so it can be tried again.
        msgbox::Show({msgbox::Icon::Critical, msgbox::ApplicationTitle(),
                      QStringLiteral("名称未能保存到“%1”：%2。").arg(m_path, reason)});
        return;
    }
    if (m_afterStore)
        m_afterStore();
    Command_cansel_Click();
}

void NameForm::Command_cansel_Click()
{
    if (m_window)
        m_window->close();
}

} // namespace kestrel
