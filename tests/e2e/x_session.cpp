#include "x_session.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QStandardPaths>

using namespace std::chrono_literals;

XSession::XSession()
{
    if (!toolsPresent())
        return;
    // Xvfb's own search for a free display (-displayfd alone) races when several tests start
    // displays at once: two servers can settle on one number and a client reaches neither. So
    // each session names a random display, lets Xvfb's lock refuse a taken one, and only
    // counts a display as ours once a client has really talked to it.
    for (int attempt = 0; attempt < 10 && m_display.isEmpty(); ++attempt) {
        const QString display =
            QStringLiteral(":%1").arg(100 + QRandomGenerator::global()->bounded(800));
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(display.mid(1))))
            continue;
        if (startServer(display))
            m_display = display;
        else
            stopServer();
    }
}

bool XSession::startServer(const QString& display)
{
    m_xvfb = std::make_unique<QProcess>();
    m_xvfb->setStandardErrorFile(QProcess::nullDevice()); // unread, it could fill and stall Xvfb
    // With -displayfd the server writes the number once it accepts clients; -noreset keeps it
    // from resetting whenever its last client leaves, when a client starting then is refused.
    m_xvfb->start(QStringLiteral("Xvfb"),
                  {display, QStringLiteral("-displayfd"), QStringLiteral("1"),
                   QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24"),
                   QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!m_xvfb->waitForStarted(5000))
        return false;
    QByteArray number;
    const bool ready = WaitFor(
        [&] {
            number += m_xvfb->readAllStandardOutput();
            return number.contains('\n') || m_xvfb->state() == QProcess::NotRunning;
        },
        30s);
    if (!ready || m_xvfb->state() == QProcess::NotRunning)
        return false; // the display was taken after all, or the server failed
    return RunOn(display, QStringLiteral("xdotool"), {QStringLiteral("getdisplaygeometry")})
        .startsWith("1024 768");
}

void XSession::stopServer()
{
    if (!m_xvfb)
        return;
    m_xvfb->terminate();
    if (!m_xvfb->waitForFinished(10000)) {
        m_xvfb->kill();
        m_xvfb->waitForFinished(3000);
    }
    m_xvfb.reset();
}

XSession::~XSession()
{
    for (auto& child : m_children) {
        child->terminate();
        if (!child->waitForFinished(3000))
            child->kill();
        child->waitForFinished(3000);
    }
    m_children.clear();
    stopServer();
}

bool XSession::toolsPresent()
{
    for (const char* tool : {"Xvfb", "xdotool", "import"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return false;
    return true;
}

QProcess* XSession::start(const QString& program, const QStringList& arguments,
                          const QString& workingDir)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel); // shows up in a failing test
    if (!workingDir.isEmpty())
        process->setWorkingDirectory(workingDir);
    process->start(program, arguments);
    process->waitForStarted(5000);
    m_children.push_back(std::move(process));
    return m_children.back().get();
}

QByteArray XSession::run(const QString& program, const QStringList& arguments)
{
    return RunOn(m_display, program, arguments);
}

QByteArray XSession::RunOn(const QString& display, const QString& program,
                           const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.waitForFinished(10000);
    return process.readAllStandardOutput();
}

QString XSession::waitForWindow(const QString& titleRegex, std::chrono::milliseconds deadline)
{
    QString id;
    WaitFor(
        [&] {
            const QByteArray out = run(QStringLiteral("xdotool"),
                                       {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                        QStringLiteral("--name"), titleRegex});
            id = QString::fromLatin1(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(0);
            return !id.isEmpty() && geometry(id).width() > 50;
        },
        deadline);
    return id;
}

QRect XSession::geometry(const QString& windowId)
{
    const QByteArray out = run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"),
                                                           QStringLiteral("--shell"), windowId});
    int x = 0, y = 0, w = 0, h = 0;
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> kv = line.split('=');
        if (kv.size() != 2)
            continue;
        const int value = kv[1].toInt();
        if (kv[0] == "X")
            x = value;
        else if (kv[0] == "Y")
            y = value;
        else if (kv[0] == "WIDTH")
            w = value;
        else if (kv[0] == "HEIGHT")
            h = value;
    }
    return QRect(x, y, w, h);
}

bool XSession::visible(const QString& windowId)
{
    const QByteArray out =
        run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                        QStringLiteral("--name"), QStringLiteral(".*")});
    return out.split('\n').contains(windowId.toLatin1());
}

void XSession::click(const QPoint& p)
{
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
         QStringLiteral("click"), QStringLiteral("1")});
}

QImage XSession::screenshot()
{
    return QImage::fromData(
        run(QStringLiteral("import"),
            {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")}),
        "PNG");
}
