// A private virtual X display for tests that run the real programs: start them on it, find their
// windows, click, answer and read message boxes and read the screen. Needs Xvfb, xdotool, xclip and
// ImageMagick. Header-only; its tests link Qt Gui and Qt Test.
#pragma once

#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QtCore/qtestsupport_core.h>

#include <list>
#include <ranges>

using namespace std::chrono_literals;

class XSession
{
public:
    XSession() // starts Xvfb on a display of its own; check isRunning()
    {
        m_env.insert("QT_QPA_PLATFORM", "xcb");
        // Xvfb's own search for a free display races when several tests start one at once: two
        // servers can settle on one number. So each session names a random display, which the
        // server's lock refuses when taken, and counts it as its own only once a client has
        // talked to it. -displayfd writes the number once the server accepts clients; -noreset
        // keeps it from resetting when its last client leaves, which refuses a client starting
        // then.
        for (int attempt = 0; attempt < 10 && m_display.isEmpty(); ++attempt) {
            const auto display = QString(":%1").arg(100 + QRandomGenerator::global()->bounded(800));
            QProcess& xvfb = m_processes.emplace_back();
            xvfb.setStandardErrorFile(QProcess::nullDevice()); // unread, it could fill and stall
            xvfb.startCommand("Xvfb " + display + " -displayfd 1 -screen 0 1024x768x24 -noreset");
            m_env.insert("DISPLAY", display);
            // Qt's events read the number and notice the end of a server refused its display.
            if (QTest::qWaitFor([&] { return xvfb.canReadLine() || !xvfb.state(); }, 30000) &&
                xvfb.state() && run("xdotool", {"getdisplaygeometry"}).startsWith("1024 768"))
                m_display = display;
        }
    }
    ~XSession() // stops the programs started here, then the display it started
    {
        // The programs before the display; a killed server would leave its lock behind.
        for (QProcess& process : std::views::reverse(m_processes)) {
            process.terminate();
            process.waitForFinished(5000);
        }
    }

    bool isRunning() const { return !m_display.isEmpty(); }
    // Starts a program on the display; it is stopped with the session.
    void start(const QString& program, const QStringList& arguments = {})
    {
        QProcess& process = m_processes.emplace_back();
        process.setProcessEnvironment(m_env);
        process.setProcessChannelMode(QProcess::ForwardedChannels); // its output reaches the log
        process.start(program, arguments);
    }
    // Where the first visible window whose title matches is, once it shows within the deadline;
    // an empty rect if none does.
    QRect waitForWindow(const QString& titleRegex, std::chrono::milliseconds deadline = 20s)
    {
        QRect place;
        const auto shown = [&] {
            // WINDOW=, X=, Y=, WIDTH=, HEIGHT=, one a line; nothing while no window matches.
            const auto lines = run("xdotool", {"search", "--onlyvisible", "--name", titleRegex,
                                               "getwindowgeometry", "--shell", "%1"})
                                   .split('\n');
            const auto at = [&](int i) { return lines.value(i).split('=').value(1).toInt(); };
            place = QRect(at(1), at(2), at(3), at(4));
            return place.width() > 50; // mapped and laid out
        };
        return QTest::qWaitFor(shown, int(deadline.count())) ? place : QRect();
    }
    // Waits for that message box and presses Return in it until it has gone; false if it stays.
    bool answer(const QString& titleRegex)
    {
        // Focus, then real key events: a key sent to the window that it closes would stay held
        // and repeat into the next box. A key pressed before the box has settled can be lost, so
        // it is pressed again while the box stays.
        const auto pressed = [&] {
            press(titleRegex, "Return");
            return waitForWindow(titleRegex, 1s).isEmpty();
        };
        return !waitForWindow(titleRegex).isEmpty() && QTest::qWaitFor(pressed, 5000);
    }
    // Real key presses (xdotool's names: "Return", "ctrl+c") in the first window that matches.
    void press(const QString& titleRegex, const QString& key)
    {
        const auto box =
            run("xdotool", {"search", "--onlyvisible", "--name", titleRegex}).split('\n');
        run("xdotool", {"windowfocus", "--sync", box.value(0), "key", key});
    }
    // The text of that message box, as Ctrl+C copies it (read with xclip); empty if none is.
    QString boxText(const QString& titleRegex)
    {
        QByteArray text; // the session's clipboard holds nothing else before
        const auto copied = [&] {
            press(titleRegex, "ctrl+c");
            return !(text = run("xclip", {"-selection", "clipboard", "-o"})).isEmpty();
        };
        return QTest::qWaitFor(copied, 25000) ? QString::fromUtf8(text) : QString(); // the box too
    }
    void click(QPoint p)
    {
        run("xdotool", QString("mousemove %1 %2 click 1").arg(p.x()).arg(p.y()).split(' '));
    }
    QImage screenshot() { return QImage::fromData(run("import", {"-window", "root", "png:-"})); }

private:
    QByteArray run(const QString& tool, const QStringList& arguments) // gives its stdout
    {
        QProcess process;
        process.setProcessEnvironment(m_env);
        process.start(tool, arguments);
        process.waitForFinished(10000);
        return process.readAllStandardOutput();
    }

    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
    std::list<QProcess> m_processes; // the servers tried, the last one the display's; programs
    QString m_display;
};
