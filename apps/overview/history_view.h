// The history view: a history file's events newest first, filtered by board, channel, kind and
// time, page by page; the rows of the filter exported as CSV; any history file opened.
#pragma once

#include "history/queries.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QThread>

#include <memory>

namespace overview {

class HistoryView : public QWidget
{
    Q_OBJECT

public:
    explicit HistoryView(const QString& path, QWidget* parent = nullptr);
    ~HistoryView() override; // waits for an export under way

    // The first page of the filter, read anew.
    void query();

signals:
    // Another history file was opened here.
    void fileOpened(const QString& path);

private:
    history::Filter filter() const;
    void append(const history::Page& page);
    void exportCsv();
    void openFile();

    QString m_path;
    QSpinBox m_board;
    QSpinBox m_channel;
    QComboBox m_kind;
    QComboBox m_span;
    QDateTimeEdit m_from;
    QDateTimeEdit m_to;
    QPushButton m_query;
    QPushButton m_more;
    QPushButton m_export;
    QPushButton m_open;
    QLabel m_file;
    QLabel m_error;
    QTableWidget m_table;
    std::optional<history::Filter> m_next; // the next page's, while there is one
    std::unique_ptr<QThread> m_exporting;  // the export under way
    QString m_exportFailure;               // written by that thread until it ends
};

} // namespace overview
