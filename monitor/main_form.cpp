#include "main_form.h"

#include "layout.h"
#include "looks.h"
#include "msgbox/message_box.h"
#include "widgets.h"

#include "link/port_names.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace monitor {
namespace {

constexpr int kAddressMax = 255;
constexpr int kPortMax = 15;

void SetTextColour(QWidget* widget, const QColor& colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::Text, colour);
    widget->setPalette(p);
}

QLabel* MakeHeading(QWidget* parent, const char* name, const QString& text, const QRect& place)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(place);
    label->setFont(SongFont(kFont15_75pt));
    label->setAutoFillBackground(true); // opaque, in the window's colour
    SetTextColour(label, Qt::black);
    return label;
}

QLineEdit* MakeNumberBox(QWidget* parent, const char* name, const QRect& place)
{
    auto* box = new QLineEdit(QStringLiteral("1"), parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(place);
    box->setFont(SongFont(kFont15pt));
    box->setReadOnly(true); // only the spinner and the program write it
    SetTextColour(box, Qt::black);
    return box;
}

// A spinner starting at 1, like the box it stands beside.
Spinner* MakeSpinner(QWidget* parent, const char* name, int max, const QRect& place)
{
    auto* spinner = new Spinner(max, parent);
    spinner->setObjectName(QLatin1String(name));
    spinner->setGeometry(place);
    spinner->setNumber(1);
    return spinner;
}

} // namespace

MainForm::MainForm(const QString& programDir, QWidget* parent)
    : QWidget(parent), m_programDir(programDir), m_session(programDir, this)
{
    setObjectName(QStringLiteral("main_form"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(Px(kClientWidth), Px(kClientHeight));
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/monitor/icons/icon-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);

    buildControls();
    buildChannels();
    setFocusOrder();
    // Centred on the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_session.start(); // ticks from creation, before the port is first opened
    connect(&m_session, &board::BoardSession::frameTaken, this,
            [this](std::uint8_t, std::uint32_t channels) { ShowStatus(channels); });
    // The board has been silent for too long: undetermined until a valid frame.
    connect(&m_session, &board::BoardSession::silentTick, this,
            [this] { paintAll(kYellow, kTextUnknown); });
    connect(&m_session, &board::BoardSession::portLost, this, &MainForm::onPortLost);
    updatePortTip();
}

void MainForm::buildControls()
{
    m_ui.Label3 =
        MakeHeading(this, "Label3", QStringLiteral("串口号"), TwipsRect(120, 120, 1335, 375));
    m_ui.chuankou_num = MakeNumberBox(this, "chuankou_num", TwipsRect(1680, 120, 375, 375));
    m_ui.VScroll2 = MakeSpinner(this, "VScroll2", kPortMax, TwipsRect(2040, 120, 375, 375));

    m_ui.open_comm = new QPushButton(kCaptionOpen, this);
    m_ui.open_comm->setObjectName(QStringLiteral("open_comm"));
    m_ui.open_comm->setGeometry(TwipsRect(3840, 120, 1455, 375));
    m_ui.open_comm->setFont(SongFont(kFont15_75pt));

    m_ui.Label5 =
        MakeHeading(this, "Label5", QStringLiteral("模块地址"), TwipsRect(120, 840, 1335, 375));
    m_ui.add = MakeNumberBox(this, "add", TwipsRect(1680, 840, 690, 375));
    m_ui.VScroll1 = MakeSpinner(this, "VScroll1", kAddressMax, TwipsRect(2310, 840, 375, 375));

    // The spinners stand over the right edge of their boxes.
    m_ui.VScroll2->raise();
    m_ui.VScroll1->raise();

    connect(m_ui.open_comm, &QPushButton::clicked, this, &MainForm::open_comm_Click);
    connect(m_ui.VScroll1, &Spinner::numberChanged, this, &MainForm::VScroll1_Change);
    connect(m_ui.VScroll2, &Spinner::numberChanged, this, &MainForm::VScroll2_Change);
}

void MainForm::buildChannels()
{
    for (int ch = 1; ch <= board::kChannels; ++ch) {
        const ChannelPlace& place = kChannelPlaces[ch - 1];

        auto* lamp = new Lamp(this);
        lamp->setObjectName(QStringLiteral("Picture1_%1").arg(ch));
        lamp->setGeometry(TwipsRect(place.lampLeft, place.lampTop, kLampWidth, kLampHeight));
        lamp->setColor(kYellow);

        auto* status = new ClickableLabel(kTextUnknown, lamp);
        status->setObjectName(QStringLiteral("Label2_%1").arg(ch));
        status->setGeometry(TwipsRect(0, ch == 9 ? 105 : 120, kStatusWidth, kLabelHeight));
        status->setFont(SongFont(kFont15pt));

        auto* name = new ClickableLabel(InitialChannelName(ch), this);
        name->setObjectName(QStringLiteral("Label4_%1").arg(ch));
        name->setFont(SongFont(kFont15pt));
        m_ui.Picture1[ch] = lamp;
        m_ui.Label2[ch] = status;
        m_ui.Label4[ch] = name;
        placeNameLabel(ch, TwipsRect(place.nameLeft, place.nameTop, place.nameWidth, kLabelHeight),
                       ch <= 12 ? Qt::AlignRight : Qt::AlignLeft);

        connect(lamp, &Lamp::clicked, this, [this, ch] { emit lampClicked(ch); });
        connect(status, &ClickableLabel::clicked, this,
                [this, ch] { emit statusLabelClicked(ch); });
        connect(name, &ClickableLabel::clicked, this, [this, ch] { emit nameLabelClicked(ch); });
    }
}

void MainForm::placeNameLabel(int channel, const QRect& geometry, Qt::Alignment alignment)
{
    m_ui.Label4[channel]->setGeometry(geometry);
    m_ui.Label4[channel]->setAlignment(alignment | Qt::AlignVCenter);
}

void MainForm::setFocusOrder()
{
    QWidget* previous = m_ui.chuankou_num;
    for (QWidget* next :
         std::initializer_list<QWidget*>{m_ui.open_comm, m_ui.add, m_ui.VScroll1, m_ui.VScroll2})
        setTabOrder(std::exchange(previous, next), next);
    for (int ch = 1; ch <= board::kChannels; ++ch)
        setTabOrder(std::exchange(previous, m_ui.Picture1[ch]), m_ui.Picture1[ch]);
    m_ui.chuankou_num->setFocus();
}

void MainForm::open_comm_Click()
{
    if (m_session.isOpen()) {
        m_session.close();
        ShowPortClosed();
        return;
    }
    const board::OpenResult opened = m_session.open();
    updatePortTip();
    if (!opened.ok) {
        msgbox::Show(
            {msgbox::Icon::Warning, msgbox::ApplicationTitle(), board::OpenFailure(opened)});
        return;
    }
    ShowPortOpened();
}

// The session has started and stopped the poll timer.
void MainForm::ShowPortOpened()
{
    paintAll(kYellow, kTextUnknown);
    m_ui.chuankou_num->setEnabled(false);
    m_ui.open_comm->setText(kCaptionClose);
}

void MainForm::ShowPortClosed()
{
    paintAll(GreyText(), kTextUnknown);
    m_ui.chuankou_num->setEnabled(true);
    m_ui.open_comm->setText(kCaptionOpen);
}

void MainForm::onPortLost(const QString& reason)
{
    ShowPortClosed();
    msgbox::Show(
        {msgbox::Icon::Warning, msgbox::ApplicationTitle(),
         board::LostText(m_session.opened(), reason) +
             QStringLiteral("端口已关闭。\n请检查设备和连线，接好后点击“打开串口”重新连接。")});
}

void MainForm::ShowStatus(std::uint32_t channels)
{
    // Painted in the board's order: channels 17, 9, 1, 18, 10, 2, ... 24, 16, 8.
    for (std::int16_t k = 0; k < 8; ++k) {
        for (const int first : {17, 9, 1}) {
            const bool on = board::ChannelOn(channels, first + k);
            m_ui.Picture1[first + k]->setColor(on ? kGreen : kRed);
            m_ui.Label2[first + k]->setText(on ? kTextConnected : kTextDisconnected);
        }
    }
}

void MainForm::paintAll(const QColor& color, const QString& text)
{
    for (int ch = 1; ch <= board::kChannels; ++ch) {
        m_ui.Picture1[ch]->setColor(color);
        m_ui.Label2[ch]->setText(text);
    }
}

void MainForm::VScroll1_Change()
{
    m_session.setAddress(static_cast<std::uint8_t>(m_ui.VScroll1->number()));
    m_ui.add->setText(QString::number(m_ui.VScroll1->number()));
}

// The new number counts at the next opening.
void MainForm::VScroll2_Change()
{
    m_session.setPort(m_ui.VScroll2->number());
    m_ui.chuankou_num->setText(QString::number(m_ui.VScroll2->number()));
    updatePortTip();
}

void MainForm::updatePortTip()
{
    // Escaped rich text: a tooltip would take a path holding markup for markup.
    m_ui.chuankou_num->setToolTip(
        QStringLiteral("<p style='white-space:pre'>%1</p>")
            .arg(board::DescribePort(m_session.port(), m_programDir).toHtmlEscaped()));
}

} // namespace monitor
