// The main window both programs share (`main_form`): port and address selectors, the port
// button, 24 lamps with their status and name labels, the poll timer and the serial control.
// Each program adds its own behaviour: what a tick sends, and what clicks and names do.
#pragma once

#include "link/frame.h"
#include "link/receiver.h"
#include "link/watchdog.h"

#include <QWidget>

#include <array>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace board {
class SerialControl;
}

namespace monitor {

class ClickableLabel;
class Lamp;
class Spinner;

// The window's controls under their own names; the channel arrays are indexed 1..24.
struct MainFormControls
{
    QLabel* Label3 = nullptr;
    QLineEdit* chuankou_num = nullptr;
    Spinner* VScroll2 = nullptr;
    QPushButton* open_comm = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* add = nullptr;
    Spinner* VScroll1 = nullptr;
    QTimer* Timer1 = nullptr;
    board::SerialControl* MSComm1 = nullptr;
    std::array<Lamp*, board::kChannels + 1> Picture1{};
    std::array<ClickableLabel*, board::kChannels + 1> Label2{};
    std::array<ClickableLabel*, board::kChannels + 1> Label4{};
};

class MainForm : public QWidget
{
    Q_OBJECT

public:
    // programDir is where the port links comN are looked for.
    explicit MainForm(const QString& programDir, QWidget* parent = nullptr);
    ~MainForm() override;

    const MainFormControls& controls() const { return m_ui; }
    const board::RecvBuf& recv_buf() const { return m_recvBuf; }
    std::int32_t link_ticks() const { return m_watchdog.link_ticks(); }

    // Moves name label `channel` (1..24), for a window that places its captions differently.
    void placeNameLabel(int channel, const QRect& geometry, Qt::Alignment alignment);

public slots:
    void open_comm_Click();
    void Timer1_Timer();
    void MSComm1_OnComm();
    void VScroll1_Change();
    void VScroll2_Change();

signals:
    // Clicks on lamp, status label and name label `channel`; each program gives them meaning.
    void lampClicked(int channel);
    void statusLabelClicked(int channel);
    void nameLabelClicked(int channel);

protected:
    // The request of one tick, after the watchdog. Kestrel polls; Wrenfield may send a command.
    virtual void sendOnTick();
    // Builds a request for the address the box shows now and writes it if the port is open.
    void SendFrame(std::uint8_t command, std::uint8_t data1, std::uint8_t data2);

private:
    void buildControls();
    void buildChannels();
    void setFocusOrder();
    void centreOnScreen();

    void ShowStatus();
    void ShowPortOpened();
    void ShowPortClosed();
    void paintAll(const QColor& color, const QString& text);
    void paintChannel(int channel, bool connected);
    void onPortLost(const QString& reason);
    void updatePortTip();

    QString m_programDir;
    MainFormControls m_ui;
    board::RecvBuf m_recvBuf{}; // slots 1..8 hold the last 8 bytes taken
    board::LinkWatchdog m_watchdog;
};

} // namespace monitor
