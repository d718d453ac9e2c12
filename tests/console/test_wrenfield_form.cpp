// Wrenfield's window in-process, with a real pseudo-terminal as the serial line: the test plays
// the board on the master side and drives the poll ticks itself.
#include "apps/wrenfield/wrenfield_form.h"

#include "link/frame.h"
#include "link/serial_control.h"
#include "monitor/layout.h"
#include "monitor/looks.h"
#include "msgbox/message_box.h"
#include "monitor/widgets.h"
#include "support/pseudo_terminal.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t kOnly24Connected = 0x800000; // lamp 24 green, lamps 1..23 red
const QByteArray kPollAddress1 = "55 01 10 00 00 00 00 66";

bool LampsShow(const monitor::MainFormControls& ui, std::uint32_t bits)
{
    for (int ch = 1; ch <= board::kChannels; ++ch) {
        const bool on = (bits >> (ch - 1)) & 1;
        if (ui.Picture1[ch]->color() != (on ? monitor::kGreen : monitor::kRed))
            return false;
    }
    return true;
}

bool AllLampsAre(const monitor::MainFormControls& ui, const QColor& colour, const QString& text)
{
    for (int ch = 1; ch <= board::kChannels; ++ch) {
        if (ui.Picture1[ch]->color() != colour || ui.Label2[ch]->text() != text)
            return false;
    }
    return true;
}

} // namespace

class WrenfieldFormTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void clickOnGreenOrRedLampSendsItsCommandOnTheNextTick();
    void laterClickReplacesAnEarlierOne();
    void yellowAndGreyLampsAreIgnored();
    void statusLabelActsAsItsLampAndCaptionDoesNothing();
    void watchdogStillRunsOnACommandTick();
    void commandQueuedBeforeClosingGoesOutFirstAfterReopening();
    void addressIsReadAtTheTick();
    void formLoadEmptiesTheSlot();
    void titleAndCaptionsStayFixed();

private:
    const monitor::MainFormControls& ui() const { return m_form->controls(); }
    void openPort();
    void closePort();
    // Plays the board's answer and waits until the window has taken it in.
    void answer(std::uint32_t channels);
    // One tick of the poll timer; gives back what it wrote on the line, as hex.
    QByteArray tick();
    void clickLamp(int channel);
    void clickWidget(QWidget* widget);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PseudoTerminal> m_pty;
    std::unique_ptr<console::WrenfieldForm> m_form;
    QList<msgbox::Message> m_messages;
    msgbox::Handler m_previousHandler;
};

void WrenfieldFormTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_pty = std::make_unique<PseudoTerminal>();
    QVERIFY(QFile::link(m_pty->slavePath(), m_dir->filePath(QStringLiteral("com1"))));
    m_messages.clear();
    m_previousHandler =
        msgbox::SetHandler([this](const msgbox::Message& message) { m_messages << message; });

    m_form = std::make_unique<console::WrenfieldForm>(m_dir->path());
    ui().Timer1->stop(); // the test counts the ticks itself
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void WrenfieldFormTest::cleanup()
{
    m_form.reset();
    msgbox::SetHandler(std::move(m_previousHandler));
    for (const msgbox::Message& message : std::as_const(m_messages))
        qWarning() << "unexpected message box:" << message.text;
    QVERIFY(m_messages.isEmpty());
    // The console keeps no state in files: its directory holds only the port link.
    const QStringList left =
        QDir(m_dir->path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QCOMPARE(left, QStringList{QStringLiteral("com1")});
    m_pty.reset();
    m_dir.reset();
}

void WrenfieldFormTest::openPort()
{
    ui().open_comm->click();
    QCOMPARE(ui().open_comm->text(), monitor::kCaptionClose);
    ui().Timer1->stop();
}

void WrenfieldFormTest::closePort()
{
    ui().open_comm->click();
    QCOMPARE(ui().open_comm->text(), monitor::kCaptionOpen);
}

void WrenfieldFormTest::answer(std::uint32_t channels)
{
    QVERIFY2(m_form->link_ticks() < board::LinkWatchdog::kTicksAfterFrame,
             "a tick must come between two answers, or the wait below proves nothing");
    const board::Frame frame = board::MakeStatus(1, channels);
    m_pty->write(QByteArray(reinterpret_cast<const char*>(frame.data()), frame.size()));
    QTRY_VERIFY_WITH_TIMEOUT(m_form->link_ticks() == board::LinkWatchdog::kTicksAfterFrame &&
                                 LampsShow(ui(), channels),
                             5000);
}

QByteArray WrenfieldFormTest::tick()
{
    m_pty->readAvailable(); // nothing older belongs to this tick
    m_form->Timer1_Timer();
    return m_pty->read(static_cast<int>(board::kFrameSize), 10s).toHex(' ');
}

void WrenfieldFormTest::clickLamp(int channel)
{
    // A corner of the lamp that its status label does not cover.
    monitor::Lamp* lamp = ui().Picture1[channel];
    QTest::mouseClick(lamp, Qt::LeftButton, {}, QPoint(lamp->width() - 3, 3));
}

void WrenfieldFormTest::clickWidget(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

void WrenfieldFormTest::clickOnGreenOrRedLampSendsItsCommandOnTheNextTick()
{
    openPort();
    QCOMPARE(tick(), kPollAddress1);
    answer(kOnly24Connected);

    clickLamp(24);
    // The click changes nothing on screen; the lamp waits for the board's next answer.
    QCOMPARE(ui().Picture1[24]->color(), monitor::kGreen);
    QCOMPARE(ui().Label2[24]->text(), monitor::kTextConnected);
    QCOMPARE(tick(), QByteArray("55 01 11 00 00 00 18 7f"));
    QCOMPARE(tick(), kPollAddress1);

    clickLamp(1);
    QCOMPARE(ui().Picture1[1]->color(), monitor::kRed);
    QCOMPARE(tick(), QByteArray("55 01 12 00 00 00 01 69"));
    QCOMPARE(tick(), kPollAddress1);

    // The same green lamp clicked twice across a tick: two commands, since it stays green.
    answer(kOnly24Connected);
    clickLamp(24);
    QCOMPARE(tick(), QByteArray("55 01 11 00 00 00 18 7f"));
    clickLamp(24);
    QCOMPARE(tick(), QByteArray("55 01 11 00 00 00 18 7f"));
    QCOMPARE(tick(), kPollAddress1);
}

void WrenfieldFormTest::laterClickReplacesAnEarlierOne()
{
    openPort();
    QCOMPARE(tick(), kPollAddress1);
    answer(kOnly24Connected);

    clickLamp(24);
    clickLamp(1);
    QCOMPARE(tick(), QByteArray("55 01 12 00 00 00 01 69"));
    QCOMPARE(tick(), kPollAddress1); // the earlier command never reaches the line

    // Twice the same lamp before one tick: one frame.
    clickLamp(24);
    clickLamp(24);
    QCOMPARE(tick(), QByteArray("55 01 11 00 00 00 18 7f"));
    QCOMPARE(tick(), kPollAddress1);
}

void WrenfieldFormTest::yellowAndGreyLampsAreIgnored()
{
    // Before the port was ever opened every lamp is yellow.
    QVERIFY(AllLampsAre(ui(), monitor::kYellow, monitor::kTextUnknown));
    clickLamp(5);
    clickWidget(ui().Label2[6]);
    openPort();
    QCOMPARE(tick(), kPollAddress1);

    // Open, but no answer yet: still yellow.
    clickLamp(5);
    QCOMPARE(tick(), kPollAddress1);

    // Closed: the desktop's grey.
    closePort();
    QVERIFY(AllLampsAre(ui(), monitor::GreyText(), monitor::kTextUnknown));
    clickLamp(5);
    clickWidget(ui().Label2[5]);
    openPort();
    QCOMPARE(tick(), kPollAddress1);
}

void WrenfieldFormTest::statusLabelActsAsItsLampAndCaptionDoesNothing()
{
    openPort();
    QCOMPARE(tick(), kPollAddress1);
    answer(kOnly24Connected);

    clickWidget(ui().Label2[7]);
    QCOMPARE(tick(), QByteArray("55 01 12 00 00 00 07 6f"));
    clickWidget(ui().Label2[24]);
    QCOMPARE(tick(), QByteArray("55 01 11 00 00 00 18 7f"));

    // Captions are fixed texts: a click on one queues nothing and changes nothing.
    clickWidget(ui().Label4[24]);
    clickWidget(ui().Label4[7]);
    QCOMPARE(tick(), kPollAddress1);
    QCOMPARE(ui().Label4[24]->text(), monitor::InitialChannelName(24));
    QCOMPARE(ui().Label4[7]->text(), monitor::InitialChannelName(7));
    QVERIFY(LampsShow(ui(), kOnly24Connected));
}

void WrenfieldFormTest::watchdogStillRunsOnACommandTick()
{
    openPort();
    QCOMPARE(tick(), kPollAddress1);
    answer(kOnly24Connected);

    clickLamp(24);
    QCOMPARE(tick(), QByteArray("55 01 11 00 00 00 18 7f"));
    QCOMPARE(m_form->link_ticks(), 4);

    // The board stays silent: four more ticks count down and leave the lamps as they were.
    for (int i = 0; i < 4; ++i)
        QCOMPARE(tick(), kPollAddress1);
    QCOMPARE(m_form->link_ticks(), 0);
    QVERIFY(LampsShow(ui(), kOnly24Connected));

    // The next tick both paints the silence and sends the command.
    clickLamp(24);
    QCOMPARE(tick(), QByteArray("55 01 11 00 00 00 18 7f"));
    QVERIFY(AllLampsAre(ui(), monitor::kYellow, monitor::kTextUnknown));
    QCOMPARE(m_form->link_ticks(), 0);
}

void WrenfieldFormTest::commandQueuedBeforeClosingGoesOutFirstAfterReopening()
{
    openPort();
    QCOMPARE(tick(), kPollAddress1);
    answer(kOnly24Connected);

    clickLamp(1);
    closePort();
    QVERIFY(!ui().Timer1->isActive());
    QVERIFY(m_pty->read(1, 100ms).isEmpty()); // nothing leaves a closed port

    openPort();
    QCOMPARE(tick(), QByteArray("55 01 12 00 00 00 01 69"));
    QCOMPARE(tick(), kPollAddress1);
}

void WrenfieldFormTest::addressIsReadAtTheTick()
{
    openPort();
    QCOMPARE(tick(), kPollAddress1);
    answer(kOnly24Connected);

    clickLamp(24);
    ui().VScroll1->setNumber(2); // the address changes after the click, before the tick
    QCOMPARE(ui().add->text(), QStringLiteral("2"));
    QCOMPARE(tick(), QByteArray("55 02 11 00 00 00 18 80"));

    // The address box has no change handler: the spinner stays put, the text goes out as is.
    ui().add->setText(QStringLiteral("7"));
    QCOMPARE(ui().VScroll1->number(), 2);
    QCOMPARE(tick(), QByteArray("55 07 10 00 00 00 00 6c"));
}

void WrenfieldFormTest::formLoadEmptiesTheSlot()
{
    openPort();
    QCOMPARE(tick(), kPollAddress1);
    answer(kOnly24Connected);

    clickLamp(24);
    m_form->Form_Load();
    QCOMPARE(tick(), kPollAddress1);
}

void WrenfieldFormTest::titleAndCaptionsStayFixed()
{
    const QString title =
        QStringLiteral("Halvard—串口输入检测板  联系邮箱：support@halvard.example");
    QCOMPARE(m_form->windowTitle(), title);
    QCOMPARE(m_form->objectName(), QStringLiteral("main_form"));

    for (int ch = 1; ch <= board::kChannels; ++ch) {
        const QLabel* caption = ui().Label4[ch];
        QCOMPARE(caption->text(), monitor::InitialChannelName(ch));
        QVERIFY(caption->alignment() & Qt::AlignLeft);
        // A fixed caption must show whole in its narrow label.
        const int textWidth = caption->fontMetrics().horizontalAdvance(caption->text());
        QVERIFY2(textWidth <= caption->width(),
                 qPrintable(QStringLiteral("caption %1 is %2 px wide in a %3 px label")
                                .arg(ch)
                                .arg(textWidth)
                                .arg(caption->width())));
    }

    openPort();
    QCOMPARE(tick(), kPollAddress1);
    answer(kOnly24Connected);
    closePort();
    QCOMPARE(m_form->windowTitle(), title);
    for (int ch = 1; ch <= board::kChannels; ++ch)
        QCOMPARE(ui().Label4[ch]->text(), monitor::InitialChannelName(ch));
}

QTEST_MAIN(WrenfieldFormTest)
#include "test_wrenfield_form.moc"
