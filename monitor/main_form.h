// The main window both programs share (`main_form`): port and address selectors, the port
// button, 24 lamps with their status and name labels. It shows the board session's state and
// hands it the user's choices; each program adds what clicks and names do.
#pragma once

#include "link/board_session.h"

#include <QWidget>

#include <array>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;

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

    const MainFormControls& controls() const { return m_ui; }
    board::BoardSession& session() { return m_session; }

    // Moves name label `channel` (1..24), for a window that places its captions differently.
    void placeNameLabel(int channel, const QRect& geometry, Qt::Alignment alignment);

public slots:
    void open_comm_Click();
    void VScroll1_Change();
    void VScroll2_Change();

signals:
    // Clicks on lamp, status label and name label `channel`; each program gives them meaning.
    void lampClicked(int channel);
    void statusLabelClicked(int channel);
    void nameLabelClicked(int channel);

private:
    void buildControls();
    void buildChannels();
    void setFocusOrder();

    void ShowStatus(std::uint32_t channels);
    void ShowPortOpened();
    void ShowPortClosed();
    void paintAll(const QColor& color, const QString& text);
    void onPortLost(const QString& reason);
    void updatePortTip();

    QString m_programDir;
    board::BoardSession m_session;
    MainFormControls m_ui;
};

} // namespace monitor
