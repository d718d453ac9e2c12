// End-to-end tests drive the real program binaries on a private virtual X display: start the
// display, start programs on it, find windows, click, press keys and read screen pixels.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QThread>

#include <chrono>
#include <memory>
#include <vector>

class XSession
{
public:
    XSession();  // starts Xvfb on a display of its own; check isRunning()
    ~XSession(); // stops every process started here, then the display

    static bool toolsPresent(); // Xvfb, xdotool and import are installed
    bool isRunning() const { return !m_display.isEmpty(); }
    QString display() const { return m_display; }

    // Starts a program on the display; the session owns and finally stops it.
    QProcess* start(const QString& program, const QStringList& arguments = {},
                    const QString& workingDir = {});

    // The id and geometry of the first visible window whose title matches the regular
    // expression, waiting up to the deadline; an invalid rect when none shows.
    QString waitForWindow(const QString& titleRegex, std::chrono::milliseconds deadline);
    QRect geometry(const QString& windowId);
    bool visible(const QString& windowId);

    void click(const QPoint& screenPoint);

    QImage screenshot();

    // Runs a tool on the display and gives its standard output.
    QByteArray run(const QString& program, const QStringList& arguments);

private:
    static QByteArray RunOn(const QString& display, const QString& program,
                            const QStringList& arguments);
    bool startServer(const QString& display);
    void stopServer();

    std::unique_ptr<QProcess> m_xvfb;
    std::vector<std::unique_ptr<QProcess>> m_children;
    QString m_display;
};

// Repeats `probe` (true when satisfied) until it holds or the deadline passes.

template <typename Probe> bool WaitFor(Probe probe, std::chrono::milliseconds deadline)
{
    QElapsedTimer clock;
    clock.start();
    do {
        if (probe())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20); // the probe asks another process; poll at a modest pace
    } while (clock.elapsed() < deadline.count());
    return probe();
}
