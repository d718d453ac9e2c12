#include "support/x_session.h"

#include <QRandomGenerator>
#include <QtCore/qtestsupport_core.h>

#include <ranges>

XSession::XSession()
{
    m_env.insert("QT_QPA_PLATFORM", "xcb");
    // Xvfb's own search for a free display races when several tests start one at once: two
    // servers can settle on one number. So each session names a random display, which the
    // server's lock refuses when taken, and counts it as its own only once a client has talked
    // to it. -displayfd writes the number once the server accepts clients; -noreset keeps it
    // from resetting when its last client leaves, which refuses a client starting then.
    for (int attempt = 0; attempt < 10 && m_display.isEmpty(); ++attempt) {
        const auto display = QString(":%1").arg(100 + QRandomGenerator::global()->bounded(800));
        QProcess& xvfb = m_processes.emplace_back();
        xvfb.setStandardErrorFile(QProcess::nullDevice()); // unread, it could fill and stall Xvfb
        xvfb.startCommand("Xvfb " + display + " -displayfd 1 -screen 0 1024x768x24 -noreset");
        m_env.insert("DISPLAY", display);
        // Qt's events read the number and notice the end of a server refused its display.
        if (QTest::qWaitFor([&] { return xvfb.canReadLine() || !xvfb.state(); }, 30000) &&
            xvfb.state() && run("xdotool", {"getdisplaygeometry"}).startsWith("1024 768"))
            m_display = display;
    }
}

XSession::~XSession()
{
    // The programs before the display; a killed server would leave its lock behind.
    for (QProcess& process : std::views::reverse(m_processes)) {
        process.terminate();
        process.waitForFinished(5000);
    }
}

void XSession::start(const QString& program, const QStringList& arguments)
{
    QProcess& process = m_processes.emplace_back();
    process.setProcessEnvironment(m_env);
    process.setProcessChannelMode(QProcess::ForwardedChannels); // its output reaches the log
    process.start(program, arguments);
}

QByteArray XSession::run(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(m_env);
    process.start(tool, arguments);
    process.waitForFinished(10000);
    return process.readAllStandardOutput();
}

QRect XSession::waitForWindow(const QString& titleRegex, std::chrono::milliseconds deadline)
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

bool XSession::answer(const QString& titleRegex)
{
    // Focus, then real key events: a key sent to the window that it closes would stay held and
    // repeat into the next box. A key pressed before the box has settled can be lost, so it is
    // pressed again while the box stays.
    const auto pressed = [&] {
        press(titleRegex, "Return");
        return waitForWindow(titleRegex, 1s).isEmpty();
    };
    return !waitForWindow(titleRegex).isEmpty() && QTest::qWaitFor(pressed, 5000);
}

QString XSession::boxText(const QString& titleRegex)
{
    QByteArray text; // the session's clipboard holds nothing else before
    const auto copied = [&] {
        press(titleRegex, "ctrl+c");
        return !(text = run("xclip", {"-selection", "clipboard", "-o"})).isEmpty();
    };
    return QTest::qWaitFor(copied, 25000) ? QString::fromUtf8(text) : QString(); // the box too
}

void XSession::press(const QString& titleRegex, const QString& key)
{
    const auto box = run("xdotool", {"search", "--onlyvisible", "--name", titleRegex}).split('\n');
    run("xdotool", {"windowfocus", "--sync", box.value(0), "key", key});
}
