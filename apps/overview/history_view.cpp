#include "history_view.h"

#include "looks.h"

#include "link/text.h"
#include "msgbox/message_box.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSaveFile>
#include <QVBoxLayout>

namespace overview {

using board::Tr;

namespace {

// The spans the time box offers, in seconds back from now; 0: the whole history; -1: the two
// boxes' own times.
constexpr qint64 kSpans[] = {0, 3600, 86400, 7 * 86400, -1};

} // namespace

HistoryView::HistoryView(const QString& path, QWidget* parent)
    : QWidget(parent), m_path(path), m_query(Tr("查询", "Show")), m_more(Tr("下一页", "Next page")),
      m_export(Tr("导出 CSV…", "Export CSV…")), m_open(Tr("打开历史文件…", "Open history…"))
{
    // -1 (and 0 for the channel) shown as "all": a number box says what it narrows to.
    m_board.setRange(-1, 255);
    m_channel.setRange(0, board::kChannels);
    for (QSpinBox* box : {&m_board, &m_channel}) {
        box->setSpecialValueText(Tr("全部", "all"));
        box->setValue(box->minimum());
    }
    m_kind.addItem(Tr("全部", "all"));
    for (int kind = 0; kind <= int(history::Event::PortLost); ++kind)
        m_kind.addItem(history::EventName(history::Event(kind)));
    m_span.addItems({Tr("全部时间", "all time"), Tr("最近一小时", "last hour"),
                     Tr("最近一天", "last day"), Tr("最近一周", "last week"),
                     Tr("从…到…", "from … to …")});
    const QDateTime now = QDateTime::currentDateTime();
    m_from.setDateTime(now.addDays(-1));
    m_to.setDateTime(now);
    for (QDateTimeEdit* edit : {&m_from, &m_to}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        edit->setCalendarPopup(true);
        edit->setEnabled(false);
        connect(&m_span, &QComboBox::currentIndexChanged, edit,
                [edit](int index) { edit->setEnabled(kSpans[index] < 0); });
    }
    m_table.setColumnCount(6);
    m_table.setHorizontalHeaderLabels({Tr("时间", "time"), Tr("设备", "device"),
                                       Tr("地址", "address"), Tr("通道", "channel"),
                                       Tr("事件", "event"), Tr("名称", "name")});
    m_table.setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table.setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table.verticalHeader()->hide();
    m_table.horizontalHeader()->setStretchLastSection(true);
    m_error.setWordWrap(true);
    ShowText(m_error, {}, true);
    m_file.setTextFormat(Qt::PlainText);

    auto* filters = new QHBoxLayout;
    const auto add = [&](const QString& label, QWidget* field) {
        filters->addWidget(new QLabel(label, this));
        filters->addWidget(field);
    };
    add(Tr("检测板", "Board"), &m_board);
    add(Tr("通道", "Channel"), &m_channel);
    add(Tr("事件", "Event"), &m_kind);
    add(Tr("时间", "Time"), &m_span);
    filters->addWidget(&m_from);
    add(Tr("到", "to"), &m_to);
    filters->addStretch();
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {&m_query, &m_more, &m_export, &m_open})
        buttons->addWidget(button);
    buttons->addWidget(&m_file, 1);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->addLayout(filters);
    page->addLayout(buttons);
    page->addWidget(&m_error);
    page->addWidget(&m_table, 1);

    connect(&m_query, &QPushButton::clicked, this, &HistoryView::query);
    // Enabled only while there is a next page.
    connect(&m_more, &QPushButton::clicked, this,
            [this] { append(history::Events(m_path, *m_next)); });
    connect(&m_export, &QPushButton::clicked, this, &HistoryView::exportCsv);
    connect(&m_open, &QPushButton::clicked, this, &HistoryView::openFile);
    m_more.setEnabled(false);
    m_file.setText(m_path);
}

history::Filter HistoryView::filter() const
{
    history::Filter filter;
    if (m_board.value() >= 0)
        filter.address = m_board.value();
    if (m_channel.value() > 0)
        filter.channel = m_channel.value();
    if (m_kind.currentIndex() > 0)
        filter.events = {history::Event(m_kind.currentIndex() - 1)};
    const qint64 span = kSpans[m_span.currentIndex()];
    if (span > 0)
        filter.from = QDateTime::currentDateTimeUtc().addSecs(-span);
    if (span < 0) {
        filter.from = m_from.dateTime().toUTC();
        filter.to = m_to.dateTime().toUTC();
    }
    return filter;
}

void HistoryView::query()
{
    m_table.setRowCount(0);
    append(history::Events(m_path, filter()));
}

void HistoryView::append(const history::Page& page)
{
    ShowText(m_error, page.error, true);
    m_next = page.next;
    m_more.setEnabled(m_next.has_value());
    for (const history::Row& row : page.rows) {
        const int at = m_table.rowCount();
        m_table.insertRow(at);
        const QStringList cells = {
            row.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
            row.device,
            row.address ? QString::number(*row.address) : QString(),
            row.channel ? QString::number(*row.channel) : QString(),
            history::EventName(row.event),
            row.name};
        for (int column = 0; column < cells.size(); ++column)
            m_table.setItem(at, column, new QTableWidgetItem(cells[column]));
    }
    m_table.resizeColumnsToContents();
}

void HistoryView::exportCsv()
{
    const QString target = QFileDialog::getSaveFileName(
        this, Tr("导出 CSV", "Export CSV"), QStringLiteral("history.csv"),
        Tr("CSV 文件 (*.csv)", "CSV files (*.csv)"));
    if (target.isEmpty() || m_exporting)
        return;
    // A long history takes seconds to write out: the window goes on meanwhile.
    m_export.setEnabled(false);
    m_exporting.reset(QThread::create([this, target, path = m_path, filter = filter()] {
        QSaveFile file(target);
        m_exportFailure = file.open(QIODevice::WriteOnly) ? QString() : file.errorString();
        if (m_exportFailure.isEmpty())
            m_exportFailure = history::Reader(path).exportCsv(filter, file);
        if (m_exportFailure.isEmpty() && !file.commit())
            m_exportFailure = file.errorString();
    }));
    connect(m_exporting.get(), &QThread::finished, this, [this, target] {
        m_exporting->wait();
        m_exporting.reset();
        m_export.setEnabled(true);
        if (!m_exportFailure.isEmpty())
            msgbox::Show(
                {msgbox::Icon::Warning, msgbox::ApplicationTitle(),
                 Tr("无法导出到 %1：%2", "Cannot export to %1: %2").arg(target, m_exportFailure)});
    });
    m_exporting->start();
}

HistoryView::~HistoryView()
{
    if (m_exporting)
        m_exporting->wait();
}

void HistoryView::openFile()
{
    const QString chosen =
        QFileDialog::getOpenFileName(this, Tr("打开历史文件", "Open a history"), m_path,
                                     Tr("SQLite 历史 (*.sqlite *.db);;所有文件 (*)",
                                        "SQLite histories (*.sqlite *.db);;All files (*)"));
    if (chosen.isEmpty())
        return;
    m_path = chosen;
    m_file.setText(m_path);
    query();
    emit fileOpened(m_path);
}

} // namespace overview
