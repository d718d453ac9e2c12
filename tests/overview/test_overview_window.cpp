// The overview's widgets drawn off screen: the history view over a real history file, the
// timeline's strips where their times are, and a wall screen's line that cannot be opened.
#include "apps/overview/history_view.h"
#include "apps/overview/layout.h"
#include "apps/overview/overview_window.h"
#include "apps/overview/timeline_view.h"

#include "history/writer.h"
#include "link/text.h"
#include "monitor/looks.h"
#include "support/message_recorder.h"
#include "support/program_folder.h"

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>

using namespace overview;

namespace {

// The table's rows as "address channel event name", top first.
QStringList Shown(const QTableWidget& table)
{
    QStringList rows;
    for (int row = 0; row < table.rowCount(); ++row)
        rows << QStringList{table.item(row, 2)->text(), table.item(row, 3)->text(),
                            table.item(row, 4)->text(), table.item(row, 5)->text()}
                    .join(u' ')
                    .simplified();
    return rows;
}

// The label whose text starts with `start`, if there is one.
const QLabel* Label(const QWidget& widget, const QString& start)
{
    for (const QLabel* label : widget.findChildren<QLabel*>())
        if (label->text().startsWith(start))
            return label;
    return nullptr;
}

} // namespace

class OverviewWindowTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home; // the user's folders: the remembered line, the default history

private slots:
    void initTestCase()
    {
        qApp->setProperty(board::kFollowsLocale, true);
        qputenv("LC_ALL", "C");
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toLocal8Bit());
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toLocal8Bit());
    }

    // Four events, shown newest first; a board and a kind narrow them; "all" stands for no
    // narrowing; the file shown is the one read. Export: nothing when the file dialog is
    // cancelled, else the rows shown in the file chosen.
    void historyView()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("h.sqlite");
        {
            history::Writer writer(path);
            const QDateTime at = QDateTime::currentDateTimeUtc().addSecs(-600);
            using history::Event;
            writer.append({at, "/dev/ttyUSB0", {}, {}, Event::Opened});
            writer.append({at.addSecs(1), "/dev/ttyUSB0", 1, 1, Event::On, "pump"});
            writer.append({at.addSecs(2), "/dev/ttyUSB0", 3, {}, Event::Lost});
            writer.append({at.addSecs(3), "/dev/ttyUSB0", 3, 2, Event::Off, "fan"});
        }
        HistoryView view(path);
        const auto boxes = view.findChildren<QSpinBox*>();
        QTableWidget& table = *view.findChild<QTableWidget*>();
        QCOMPARE(boxes[0]->text(), "all");
        QVERIFY(Label(view, path) && Label(view, path)->text() == path);
        view.query();
        QCOMPARE(Shown(table), QStringList({"3 2 off fan", "3 lost", "1 1 on pump", "opened"}));
        boxes[0]->setValue(3);
        view.query();
        QCOMPARE(Shown(table), QStringList({"3 2 off fan", "3 lost"}));
        view.findChildren<QComboBox*>()[0]->setCurrentText("lost");
        view.query();
        QCOMPARE(Shown(table), QStringList{"3 lost"});
        MessageRecorder told;
        const QString csv = dir.filePath("shown.csv");
        for (const QString& chosen : {QString(), csv}) {
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                dialog->selectFile(chosen);
                chosen.isEmpty() ? dialog->reject() : static_cast<QDialog*>(dialog)->accept();
            });
            for (QPushButton* button : view.findChildren<QPushButton*>())
                button->text() == "Export CSV…" ? button->click() : void();
        }
        QTRY_VERIFY(QFile(csv).size() > 60); // the header and the one row shown
        QVERIFY(told.messages.isEmpty());
    }

    // A file that is not a history is said in red above the empty table.
    void historyUnreadable()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("notes.txt");
        Put(path, "not a database\n");
        HistoryView view(path);
        view.query();
        const QLabel* error = Label(view, "The history file " + path + " cannot be read: ");
        QVERIFY(error && !error->isHidden());
        QCOMPARE(error->palette().color(QPalette::WindowText), QColor(Qt::red));
        QCOMPARE(view.findChild<QTableWidget*>()->rowCount(), 0);
    }

    // Channel 1 on for the span's first half and off for its second, channel 2 never known:
    // each colour where its time is, inside the strips, none in the numbers' column.
    void timelineStrips()
    {
        const QDateTime from = QDateTime::currentDateTimeUtc().addSecs(-100);
        const QDateTime half = from.addSecs(50), to = from.addSecs(100);
        history::Lanes lanes;
        lanes.channels[0] = {{from, half, history::State::On}, {half, to, history::State::Off}};
        TimelineChart chart;
        chart.resize(600, 24 * 10 + 22);
        chart.setLanes(lanes, from, to);
        const QImage image = chart.grab().toImage();
        // The first row down the middle of the strips that is green is channel 1's lane.
        int y = 0;
        while (y < image.height() && image.pixelColor(200, y) != monitor::kGreen)
            ++y;
        QVERIFY2(y < 10, "channel 1's green stretch is not at the top");
        QCOMPARE(image.pixelColor(80, y), monitor::kGreen);
        QCOMPARE(image.pixelColor(300, y), monitor::kGreen);
        QCOMPARE(image.pixelColor(330, y), monitor::kRed);
        QCOMPARE(image.pixelColor(580, y), monitor::kRed);
        QVERIFY(image.pixelColor(599, y) != monitor::kRed);
        QVERIFY(image.pixelColor(20, y) != monitor::kGreen);
        QVERIFY(image.pixelColor(200, y + 10) != monitor::kGreen); // channel 2: nothing
    }

    // A wall screen whose device is not there says so in red above the pages, and names the
    // history file it writes in the status bar.
    void lineNotThere()
    {
        QTemporaryDir dir;
        Options options;
        options.device = dir.filePath("ttyUSB9");
        options.addresses = {1};
        options.historyFile = dir.filePath("h.sqlite");
        OverviewWindow window(dir.path(), options);
        QVERIFY(Label(window, "History: " + options.historyFile));
        const QLabel* banner = Label(window, "Device " + options.device + " cannot be opened.");
        QVERIFY(banner);
        QCOMPARE(banner->palette().color(QPalette::WindowText), QColor(Qt::red));
        // Its board's row waits unmarked: nothing has changed on it.
        QWidget* row = window.findChild<QWidget*>("board1");
        QCOMPARE(row->grab().toImage().pixelColor(layout::kLampLeft - 2, layout::kRowHeight / 2),
                 row->palette().color(QPalette::Window));
    }

    // The line and the boards a watch started on are what the next start offers.
    void remembersLine()
    {
        QTemporaryDir dir;
        Options wall;
        wall.device = dir.filePath("ttyUSB9");
        wall.addresses = {3, 1};
        wall.historyFile = dir.filePath("h.sqlite");
        std::make_unique<OverviewWindow>(dir.path(), wall).reset(); // a watch started, and ended
        Options none;
        none.historyFile = wall.historyFile;
        const OverviewWindow next(dir.path(), none);
        QStringList edits;
        for (const QLineEdit* edit : next.findChildren<QLineEdit*>())
            edits << edit->text();
        QVERIFY2(edits.contains(wall.device) && edits.contains("3,1"), qPrintable(edits.join('|')));
    }

    // A history file that is not a database, while a board answers: said once in red where the
    // file is named, and the rows not written counted beside it; the lamps go on.
    void historyNotWritable()
    {
        QTemporaryDir dir;
        const BoardsimProcess sim(dir.path(), {"--pattern", "0x000001"});
        QVERIFY(sim.started());
        Options options;
        options.port = 1;
        options.addresses = {1};
        options.historyFile = dir.filePath("h.sqlite");
        Put(options.historyFile, "[地址码0]\n");
        OverviewWindow window(dir.path(), options);
        const QString notWritten = "Rows not written into the history: ";
        QTRY_VERIFY(Label(window, notWritten) &&
                    Label(window, notWritten)->text() != notWritten + "0");
        const QLabel* told = Label(window, "The history file");
        QVERIFY2(told && told->text().contains(options.historyFile) &&
                     told->palette().color(QPalette::WindowText) == QColor(Qt::red),
                 told ? qPrintable(told->text()) : "no history message");
        QVERIFY(window.findChild<QWidget*>("lamp1_1")->accessibleName().endsWith(" on"));
    }
};

QTEST_MAIN(OverviewWindowTest)
#include "test_overview_window.moc"
