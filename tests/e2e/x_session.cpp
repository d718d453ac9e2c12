#include "x_session.h"

#include <QProcessEnvironment>
#include <QStandardPaths>

using namespace std::chrono_literals;

XSession::XSession()
{
    if (!toolsPresent())
        return;
    m_xvfb = std::make_unique<QProcess>();
    m_xvfb->setStandardErrorFile(QProcess::nullDevice()); // unread, it could fill and stall Xvfb
    // -displayfd picks a free display and writes its number to our pipe.
    m_xvfb->start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp")});
    if (!m_xvfb->waitForStarted(5000))
        return;
    QByteArray number;
    WaitFor(
        [&] {
            number += m_xvfb->readAllStandardOutput();
            return number.contains('\n');
        },
        30s);
    if (number.trimmed().isEmpty())
        return;
    m_display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
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
    if (m_xvfb) {
        m_xvfb->terminate();
        m_xvfb->waitForFinished(3000);
    }
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
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
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
