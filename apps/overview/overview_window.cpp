#include "overview_window.h"

#include "board_row.h"
#include "layout.h"
#include "looks.h"

#include "link/text.h"
#include "msgbox/message_box.h"
#include "naming/name_store.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QSettings>
#include <QStatusBar>

#include <bit>
#include <cstdio>

namespace overview {

using board::Tr;

namespace {

// A scan asks each address once and waits as boardctl's scan does: at 9600 Bd an answer is in
// 17 ms after its request starts.
constexpr int kScanWaitMs = 30;
constexpr int kScanRetries = 0;

void PrintError(const QString& text)
{
    std::fputs(("kestrel-overview: " + text + u'\n').toUtf8().constData(), stderr);
}

void Warn(const QString& text)
{
    msgbox::Show({msgbox::Icon::Warning, msgbox::ApplicationTitle(), text});
}

QSettings Settings()
{
    return QSettings(QStringLiteral("kestrel"), QStringLiteral("kestrel-overview"));
}

} // namespace

OverviewWindow::OverviewWindow(const QString& programDir, const Options& options, QWidget* parent)
    : QMainWindow(parent), m_programDir(programDir), m_options(options),
      m_writer(options.historyFile.isEmpty() ? history::DefaultPath() : options.historyFile,
               options.keepDays),
      m_watch(
          programDir, m_writer,
          [this](std::uint8_t address, int channel) { return m_names.channel(address, channel); }),
      m_devices(programDir), m_historyView(m_writer.path()), m_timeline(m_writer.path())
{
    setObjectName(QStringLiteral("OverviewWindow"));
    setWindowTitle(Tr("Kestrel 总览", "Kestrel Overview"));
    setCentralWidget(new QWidget(this));
    for (QWidget* child : std::initializer_list<QWidget*>{&m_watchButton, &m_banner, &m_pages})
        child->setParent(centralWidget());
    buildBar();
    buildLinePage();
    m_watchPage.setFrameShape(QFrame::NoFrame);
    m_watchPage.setWidget(new QWidget);
    for (QWidget* page :
         std::initializer_list<QWidget*>{&m_linePage, &m_watchPage, &m_historyView, &m_timeline})
        m_pages.addWidget(page);
    m_pages.move(layout::kPageAt);
    connect(&m_historyView, &HistoryView::fileOpened, &m_timeline, &TimelineView::setPath);

    statusBar()->addWidget(&m_historyState, 1);
    statusBar()->addPermanentWidget(&m_notWritten);
    m_notWritten.hide();
    m_historyState.setText(Tr("历史文件：%1", "History: %1").arg(m_writer.path()));
    m_notWrittenTimer.setInterval(1000);
    connect(&m_notWrittenTimer, &QTimer::timeout, this, &OverviewWindow::showNotWritten);
    connect(&m_writer, &history::Writer::failed, this, [this](const QString& message) {
        // Told once, here and on standard error; the lamps go on.
        PrintError(message);
        ShowText(m_historyState, message, true);
        m_notWrittenTimer.start();
        showNotWritten();
    });

    connect(&m_watch, &LineWatch::boardChanged, this, [this](int index) {
        // A line just opened makes every row wait: no news to draw the eye to.
        const BoardView& board = m_watch.boards()[std::size_t(index)];
        m_rows[std::size_t(index)]->setBoard(board, board.link != Link::Waiting);
    });
    connect(&m_watch, &LineWatch::lineDown, this, [this](const QString& message) {
        ShowText(m_banner, QString(message).replace(u'\n', u' '), true); // two lines hold it
        PrintError(message);
    });
    connect(&m_watch, &LineWatch::lineUp, this,
            [this](const QString& message) { ShowText(m_banner, message, false); });

    resize(layout::kWindow);
    m_banner.setText(Tr("未在监视。", "Not watching."));
    if (!m_options.addresses.empty()) {
        startWatch(true); // which reads the names
    } else {
        readNames();
        showPage(LinePage);
    }
}

// The rows go before the watch, whose end still tells of every board.
OverviewWindow::~OverviewWindow()
{
    m_watch.disconnect(this);
}

void OverviewWindow::buildBar()
{
    const QString names[] = {Tr("线路", "Line"), Tr("监视", "Watch"), Tr("历史", "History"),
                             Tr("时间线", "Timeline")};
    for (int page = LinePage; page <= TimelinePage; ++page) {
        auto* button = new QPushButton(names[page], centralWidget());
        button->setCheckable(true);
        button->setGeometry(layout::PageButton(page));
        m_pageButtons.addButton(button, page);
    }
    connect(&m_pageButtons, &QButtonGroup::idClicked, this, &OverviewWindow::showPage);
    m_watchButton.setText(Tr("开始监视", "Start watching"));
    m_watchButton.setGeometry(layout::kWatchButton);
    connect(&m_watchButton, &QPushButton::clicked, this,
            [this] { m_watch.active() ? stopWatch() : startWatch(false); });
    m_banner.setGeometry(layout::kBanner);
    m_banner.setTextFormat(Qt::PlainText);
    m_banner.setWordWrap(true);
}

void OverviewWindow::buildLinePage()
{
    const auto place = [this](QWidget& widget, const QRect& where) {
        widget.setParent(&m_linePage);
        widget.setGeometry(where);
    };
    const auto label = [&](const QString& text, const QRect& where) {
        place(*new QLabel(text), where);
    };
    label(Tr("串口设备（设备插拔时自动刷新；点击一行选用）",
             "Serial devices (refreshed as devices come and go; click one to use it)"),
          layout::kDevicesLabel);
    m_deviceList.setColumnCount(5);
    m_deviceList.setHeaderLabels({Tr("设备", "Device"), Tr("串口号", "Port"),
                                  Tr("/dev/serial/by-id 名称", "/dev/serial/by-id name"),
                                  Tr("comN 链接", "comN links"), Tr("占用", "Held by")});
    m_deviceList.setRootIsDecorated(false);
    m_deviceList.header()->setStretchLastSection(true);
    place(m_deviceList, layout::kDeviceList);
    connect(&m_deviceList, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        m_lineEdit.setText(item->data(0, Qt::UserRole).toString());
    });
    connect(&m_devices, &DeviceWatch::changed, this, &OverviewWindow::showDevices);

    label(Tr("串口号或设备", "Port or device"), layout::kPathLabel);
    place(m_lineEdit, layout::kPathEdit);
    m_lineEdit.setPlaceholderText(Tr("串口号 N，或设备路径", "port number N, or a device path"));
    label(Tr("检测板地址", "Board addresses"), layout::kAddressLabel);
    place(m_addressEdit, layout::kAddressEdit);
    label(Tr("如 1-8,12；或扫描找出", "such as 1-8,12; or found by a scan"), layout::kAddressHint);
    label(Tr("扫描地址", "Scan addresses"), layout::kScanLabel);
    place(m_scanFrom, layout::kScanFrom);
    label(Tr("到", "to"), layout::kScanToLabel);
    place(m_scanTo, layout::kScanTo);
    m_scanFrom.setRange(0, 255);
    m_scanTo.setRange(0, 255);
    m_scanButton.setText(Tr("扫描", "Scan"));
    place(m_scanButton, layout::kScanButton);
    m_cancelButton.setText(Tr("取消", "Cancel"));
    m_cancelButton.setEnabled(false);
    place(m_cancelButton, layout::kCancelButton);
    place(m_progress, layout::kProgress);
    m_progress.setValue(0);
    connect(&m_scanButton, &QPushButton::clicked, this, &OverviewWindow::startScan);
    connect(&m_cancelButton, &QPushButton::clicked, this, [this] { endScan({}); });
    place(m_foundLabel, layout::kFoundLabel);
    place(m_foundList, layout::kFoundList);

    // The line and the boards of the last watch, unless the command line names them.
    const QSettings settings = Settings();
    m_lineEdit.setText(m_options.port ? QString::number(*m_options.port)
                       : !m_options.device.isEmpty()
                           ? m_options.device
                           : settings.value("line", QStringLiteral("1")).toString());
    m_addressEdit.setText(m_options.addresses.empty()
                              ? settings.value("addresses", QStringLiteral("1")).toString()
                              : AddressText(m_options.addresses));
    m_scanFrom.setValue(settings.value("scanFrom", 0).toInt());
    m_scanTo.setValue(settings.value("scanTo", 255).toInt());
}

void OverviewWindow::showDevices()
{
    m_deviceList.clear();
    for (const board::SerialDevice& device : m_devices.devices()) {
        auto* item = new QTreeWidgetItem(
            &m_deviceList,
            {device.device, device.port < 0 ? QString() : QString::number(device.port), device.byId,
             device.links.join(QStringLiteral("  ")), device.holder});
        // What the line box takes: the name that stays when the device node is renumbered.
        item->setData(0, Qt::UserRole,
                      !device.byId.isEmpty()    ? device.byId
                      : !device.links.isEmpty() ? device.links.first()
                                                : device.device);
    }
    for (int column = 0; column < 4; ++column)
        m_deviceList.resizeColumnToContents(column);
}

void OverviewWindow::readNames()
{
    m_names = NameBook(naming::NameFileToRead(m_programDir));
    if (!m_names.error().isEmpty())
        statusBar()->showMessage(Tr("无法读取名称文件（%1），通道用默认名称。",
                                    "The name file cannot be read (%1); channels go by number.")
                                     .arg(m_names.error()),
                                 15000);
}

void OverviewWindow::showPage(int page)
{
    m_pages.setCurrentIndex(page);
    m_pageButtons.button(page)->setChecked(true);
    if (page == HistoryPage)
        m_historyView.query();
    if (page == TimelinePage)
        m_timeline.refresh();
}

std::optional<Line> OverviewWindow::chosenLine()
{
    const QString text = m_lineEdit.text().trimmed();
    if (text.isEmpty()) {
        Warn(Tr("请选择串口设备，或输入串口号或设备路径。",
                "Choose a serial device, or type a port number or a device path."));
        return std::nullopt;
    }
    const auto port = board::WholeNumber(text, 0, 255);
    return port ? Line{int(*port), {}} : Line{1, text};
}

void OverviewWindow::startWatch(bool fromCommandLine)
{
    endScan({});
    m_watch.stop(); // its last changes go to the rows of the boards it watched
    const auto line = chosenLine();
    if (!line)
        return;
    const auto addresses = board::ParseAddresses(m_addressEdit.text().trimmed());
    if (!addresses) {
        Warn(Tr("检测板地址“%1”不是 0～255 的地址或列表（如 1-8,12）。",
                "The board addresses '%1' are not an address 0..255 or a list such as 1-8,12.")
                 .arg(m_addressEdit.text()));
        return;
    }
    readNames(); // names given in Kestrel since the last watch are shown and recorded
    m_rows.clear();
    QWidget* area = m_watchPage.widget();
    area->resize(layout::kRowWidth, int(addresses->size()) * layout::kRowHeight);
    for (std::size_t i = 0; i < addresses->size(); ++i) {
        m_rows.push_back(std::make_unique<BoardRow>(m_names, (*addresses)[i], area));
        m_rows.back()->move(0, int(i) * layout::kRowHeight);
        m_rows.back()->show();
    }
    const bool anyAddress = m_options.anyAddress && addresses->size() == 1;
    const board::OpenResult opened = m_watch.start(*line, *addresses, anyAddress, fromCommandLine);
    // The lamps get their first colours here: waiting on a line just opened, else closed.
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        m_rows[i]->setBoard(m_watch.boards()[i], false);
    if (!opened.ok && !fromCommandLine) {
        Warn(board::OpenFailure(opened));
        return;
    }
    QSettings settings = Settings();
    settings.setValue("line", m_lineEdit.text().trimmed());
    settings.setValue("addresses", m_addressEdit.text().trimmed());
    m_watchButton.setText(Tr("停止监视", "Stop watching"));
    m_devices.refresh();
    m_timeline.setBoard(addresses->front());
    showPage(WatchPage);
}

void OverviewWindow::stopWatch()
{
    m_watch.stop();
    m_devices.refresh();
    m_watchButton.setText(Tr("开始监视", "Start watching"));
    ShowText(m_banner, Tr("未在监视。", "Not watching."), false);
}

void OverviewWindow::startScan()
{
    if (m_scan)
        return;
    if (m_watch.active())
        stopWatch(); // the scan needs the line to itself
    const auto line = chosenLine();
    if (!line)
        return;
    if (m_scanFrom.value() > m_scanTo.value()) {
        Warn(Tr("扫描的起始地址不能大于结束地址。", "The scan's first address is above its last."));
        return;
    }
    std::vector<std::uint8_t> addresses;
    for (int address = m_scanFrom.value(); address <= m_scanTo.value(); ++address)
        addresses.push_back(std::uint8_t(address));
    m_found.clear();
    m_foundList.clear();
    m_progress.setRange(0, int(addresses.size()));
    m_progress.setValue(0);
    m_scanSession = std::make_unique<board::BoardSession>(m_programDir);
    m_scanSession->setPort(line->port);
    m_scanSession->setDevice(line->device);
    m_scan =
        std::make_unique<board::BoardScan>(*m_scanSession, addresses, kScanWaitMs, kScanRetries);
    connect(m_scan.get(), &board::BoardScan::found, this,
            [this](std::uint8_t address, std::uint32_t channels) {
                m_found.push_back(address);
                m_foundList.addItem(Tr("%1：%2 路连接", "%1: %2 channels on")
                                        .arg(BoardName(address))
                                        .arg(std::popcount(channels)));
            });
    connect(m_scan.get(), &board::BoardScan::progress, &m_progress, &QProgressBar::setValue);
    // Queued: the scan and its session end after the signal that ends them has returned.
    connect(
        m_scan.get(), &board::BoardScan::finished, this, [this] { endScan({}); },
        Qt::QueuedConnection);
    connect(
        m_scanSession.get(), &board::BoardSession::portLost, this,
        [this](const QString& reason) {
            endScan(board::LostText(m_scanSession->opened(), reason));
        },
        Qt::QueuedConnection);
    const board::OpenResult opened = m_scanSession->open();
    if (!opened.ok)
        return endScan(board::OpenFailure(opened));
    m_scanButton.setEnabled(false);
    m_cancelButton.setEnabled(true);
    m_foundLabel.setText(Tr("正在扫描……", "Scanning…"));
    QSettings settings = Settings();
    settings.setValue("scanFrom", m_scanFrom.value());
    settings.setValue("scanTo", m_scanTo.value());
}

void OverviewWindow::endScan(const QString& failure)
{
    if (!m_scan)
        return;
    m_scan.reset();
    m_scanSession.reset();
    m_devices.refresh();
    m_scanButton.setEnabled(true);
    m_cancelButton.setEnabled(false);
    // What was found stays the list to watch, also when the scan was cut short.
    std::ranges::sort(m_found);
    if (!m_found.empty())
        m_addressEdit.setText(AddressText(m_found));
    m_foundLabel.setText(m_found.empty() ? Tr("没有找到检测板。", "No board answered.")
                                         : Tr("找到 %1 块检测板：%2", "%1 boards found: %2")
                                               .arg(m_found.size())
                                               .arg(AddressText(m_found)));
    if (!failure.isEmpty())
        Warn(failure);
}

void OverviewWindow::showNotWritten()
{
    m_notWritten.setText(Tr("未写入历史的记录：%1 条", "Rows not written into the history: %1")
                             .arg(m_writer.notWritten()));
    m_notWritten.show();
}

void OverviewWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    const QSize room = centralWidget()->size();
    m_banner.resize(room.width() - 2 * layout::kMargin, layout::kBanner.height());
    m_pages.resize(room.width() - 2 * layout::kMargin, room.height() - layout::kPageAt.y());
    m_foundList.resize(
        layout::kFoundList.width(),
        std::max(layout::kFoundList.height(), m_pages.height() - layout::kFoundList.top()));
}

void OverviewWindow::closeEvent(QCloseEvent* event)
{
    endScan({});
    m_watch.stop();
    m_writer.close(); // what is pending, and the closed line, are written before the end
    if (const qint64 count = m_writer.notWritten(); count > 0)
        PrintError(Tr("历史文件 %1 中有 %2 条记录没能写入。",
                      "%2 rows could not be written into the history %1.")
                       .arg(m_writer.path())
                       .arg(count));
    event->accept();
}

} // namespace overview
