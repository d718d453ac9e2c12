#include "name_form.h"

#include "gbk.h"
#include "module2.h"
#include "msgbox/message_box.h"
#include "name_file.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include <limits>

namespace naming {
namespace {

constexpr int Px(int twips)
{
    return twips / 15;
}

// VB's CInt of the text: nothing when it is no 16-bit whole number.
std::optional<int> ToInt16(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < std::numeric_limits<qint16>::min() ||
        value > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return value;
}

QFont NameFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"),
                      QStringLiteral("AR PL UMing CN"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setPixelSize(32); // 24 pt at 96 dpi
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

} // namespace

NameForm::NameForm(QString nameFilePath, std::function<void()> afterStore, QWidget* parent)
    : QWidget(parent, Qt::Window), path_(std::move(nameFilePath)),
      afterStore_(std::move(afterStore)), mingcheng_(new QLineEdit(this)),
      ok_(new QPushButton(QStringLiteral("确 定"), this)),
      cancel_(new QPushButton(QStringLiteral("取 消"), this))
{
    setObjectName(QStringLiteral("name_form"));
    setWindowTitle(QStringLiteral("更改名称"));
    resize(Px(4740), Px(1890));
    // The main window's closing ends the program even while this dialog is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);

    mingcheng_->setObjectName(QStringLiteral("mingcheng"));
    mingcheng_->setGeometry(Px(960), Px(360), Px(3135), Px(615));
    mingcheng_->setFont(NameFont());

    ok_->setObjectName(QStringLiteral("Command_ok"));
    ok_->setGeometry(Px(1200), Px(1320), Px(975), Px(375));
    cancel_->setObjectName(QStringLiteral("Command_cansel"));
    cancel_->setGeometry(Px(2640), Px(1320), Px(975), Px(375));
    // Neither button is a default or cancel button: Enter and Esc do nothing.
    for (QPushButton* button : {ok_, cancel_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    setTabOrder(mingcheng_, ok_);
    setTabOrder(ok_, cancel_);

    connect(ok_, &QPushButton::clicked, this, &NameForm::Command_ok_Click);
    connect(cancel_, &QPushButton::clicked, this, &NameForm::Command_cansel_Click);
    LoadLayoutValues();
}

void NameForm::LoadLayoutValues()
{
    mingcheng_->setText(QStringLiteral("Text1"));
    mingcheng_->setFocus(Qt::OtherFocusReason);
}

QString NameForm::Section() const
{
    return AddressSection(add_);
}

QString NameForm::Key() const
{
    return QStringLiteral("第") + xianlu_ + QStringLiteral("路名称");
}

void NameForm::OpenFor(const QString& addText, int channel)
{
    const QString channelText = QString::number(channel);
    const bool retargeted = loaded_ && (addText != add_ || channelText != xianlu_);
    setAdd(addText);
    setXianlu(channelText);
    if (!loaded_) {
        LoadLayoutValues();
        loaded_ = true;
        Form_Load();
    } else if (retargeted) {
        Form_Load();
    }
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void NameForm::Form_Load()
{
    const std::optional<int> address = ToInt16(add_);
    const std::optional<int> channel = ToInt16(xianlu_);
    // The original stops here with an error for a text that is no number; we keep "Text1" then.
    if (!address || !channel || *address > 255 || *channel > kChannelCount || *channel < 1)
        return;
    mingcheng_->setText(ReadIniValue(path_, Section(), Key()));
}

void NameForm::Command_ok_Click()
{
    const QString text = mingcheng_->text();
    // Mended: a name GBK cannot hold is refused before anything is written; the dialog stays.
    if (const QString bad = gbk::Unrepresentable(text); !bad.isEmpty()) {
        msgbox::Show({msgbox::Icon::Warning, msgbox::ApplicationTitle(),
                      QStringLiteral("名称中有 GBK 编码无法保存的字符：%1。\n"
                                     "请删去或换掉这些字符后再按“确 定”。")
                          .arg(gbk::QuoteEach(bad))});
        return;
    }
    QString reason;
    if (WriteIniValue(path_, Section(), Key(), text, &reason) == 0) {
        // Mended: a failed write is reported and not taken for success; the dialog stays open with
        // the text so that it can be tried again.
        msgbox::Show({msgbox::Icon::Critical, msgbox::ApplicationTitle(),
                      QStringLiteral("名称未能保存到“%1”：%2。").arg(path_, reason)});
        return;
    }
    if (afterStore_)
        afterStore_();
    close();
}

void NameForm::Command_cansel_Click()
{
    close();
}

void NameForm::closeEvent(QCloseEvent* event)
{
    // Unload: the controls' contents are dropped; add and xianlu stay with the object.
    loaded_ = false;
    LoadLayoutValues();
    event->accept();
}

} // namespace naming
