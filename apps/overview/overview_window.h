// kestrel-overview's main window: the line chosen from the serial devices there are, its boards
// found by a scan or typed in, every board watched in a row of lamps, the history of the line and
// a timeline. It shows what LineWatch and the history say, and hands them the user's choices.
#pragma once

#include "device_watch.h"
#include "history_view.h"
#include "line_watch.h"
#include "names.h"
#include "options.h"
#include "timeline_view.h"

#include "history/writer.h"
#include "link/board_scan.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QProgressBar>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTreeWidget>

#include <memory>

namespace overview {

class BoardRow;

class OverviewWindow : public QMainWindow
{
    Q_OBJECT

public:
    enum Page { LinePage, WatchPage, HistoryPage, TimelinePage };

    // With the boards given on the command line it starts watching at once.
    OverviewWindow(const QString& programDir, const Options& options, QWidget* parent = nullptr);
    ~OverviewWindow() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildBar();
    void buildLinePage();
    void showDevices();
    void readNames();
    void showPage(int page);
    std::optional<Line> chosenLine();
    void startWatch(bool fromCommandLine);
    void stopWatch();
    void startScan();
    void endScan(const QString& failure);
    void showNotWritten();

    const QString m_programDir;
    const Options m_options;
    NameBook m_names;
    history::Writer m_writer; // before the watch, which writes through it
    LineWatch m_watch;
    DeviceWatch m_devices;

    QButtonGroup m_pageButtons;
    QPushButton m_watchButton;
    QLabel m_banner;
    QStackedWidget m_pages;

    QWidget m_linePage;
    QTreeWidget m_deviceList;
    QLineEdit m_lineEdit;
    QLineEdit m_addressEdit;
    QSpinBox m_scanFrom;
    QSpinBox m_scanTo;
    QPushButton m_scanButton;
    QPushButton m_cancelButton;
    QProgressBar m_progress;
    QLabel m_foundLabel;
    QListWidget m_foundList;

    QScrollArea m_watchPage;
    std::vector<std::unique_ptr<BoardRow>> m_rows;

    HistoryView m_historyView;
    TimelineView m_timeline;

    QLabel m_historyState; // the file written, or why it cannot be
    QLabel m_notWritten;   // the rows lost since
    QTimer m_notWrittenTimer;

    std::unique_ptr<board::BoardSession> m_scanSession;
    std::unique_ptr<board::BoardScan> m_scan; // after its session, which it holds
    std::vector<std::uint8_t> m_found;
};

} // namespace overview
