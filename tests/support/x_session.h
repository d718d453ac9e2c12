// A private virtual X display for tests that run the real programs: start them on it, find their
// windows, click, answer and read message boxes and read the screen. Needs Xvfb, xdotool, xclip and
// ImageMagick.
#pragma once

#include <QImage>
#include <QProcess>

#include <list>

using namespace std::chrono_literals;

class XSession
{
public:
    XSession();  // starts Xvfb on a display of its own; check isRunning()
    ~XSession(); // stops the programs started here, then the display it started

    bool isRunning() const { return !m_display.isEmpty(); }
    // Starts a program on the display; it is stopped with the session.
    void start(const QString& program, const QStringList& arguments = {});
    // Where the first visible window whose title matches is, once it shows within the deadline;
    // an empty rect if none does.
    QRect waitForWindow(const QString& titleRegex, std::chrono::milliseconds deadline = 20s);
    // Waits for that message box and presses Return in it until it has gone; false if it stays.
    bool answer(const QString& titleRegex);
    // Real key presses (xdotool's names: "Return", "ctrl+c") in the first window that matches.
    void press(const QString& titleRegex, const QString& key);
    // The text of that message box, as Ctrl+C copies it (read with xclip); empty if none is.
    QString boxText(const QString& titleRegex);
    void click(QPoint p)
    {
        run("xdotool", QString("mousemove %1 %2 click 1").arg(p.x()).arg(p.y()).split(' '));
    }
    QImage screenshot() { return QImage::fromData(run("import", {"-window", "root", "png:-"})); }

private:
    QByteArray run(const QString& tool, const QStringList& arguments); // gives its stdout

    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
    std::list<QProcess> m_processes; // the servers tried, the last one the display's; programs
    QString m_display;
};
