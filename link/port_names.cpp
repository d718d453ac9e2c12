#include "port_names.h"
#include "text.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QStandardPaths>

#include <map>

#include <cerrno>
#include <csignal>

namespace board {

QString PortDevice::describe() const
{
    if (path.isEmpty())
        return tried.join(Tr("、", ", "));
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    return QStringLiteral("%1 → %2%3")
        .arg(path, device.isEmpty() ? info.symLinkTarget() : device,
             device.isEmpty() ? Tr("（不存在）", " (missing)") : QString());
}

QString NoDevice()
{
    return Tr("没有对应的设备", "no such device");
}

QString UserFolder()
{
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    // Qt 6.4 takes a relative XDG_DATA_HOME as it stands; the base-directory rules ignore it.
    if (QDir::isRelativePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(data + QStringLiteral("/kestrel"));
}

bool CanWrite(const QFileInfo& info)
{
    constexpr auto kAnyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.isWritable() && (info.permissions() & kAnyWrite);
}

bool OwnFolderWritable(const QString& programDir)
{
    const QFileInfo folder(programDir);
    const QString path = folder.absoluteFilePath() + u'/';
    return CanWrite(folder) && (!path.startsWith(QStringLiteral("/usr/")) ||
                                path.startsWith(QStringLiteral("/usr/local/")));
}

PortDevice FindPortDevice(int number, const QString& programDir)
{
    PortDevice result;
    const QString link = QStringLiteral("com%1").arg(number);
    result.tried << QDir(programDir).filePath(link) << QDir(UserFolder()).filePath(link);
    if (number >= 1) {
        for (const char* family : {"ttyUSB", "ttyACM", "ttyS"})
            result.tried << QStringLiteral("/dev/%1%2").arg(QLatin1String(family)).arg(number - 1);
    }
    for (const QString& candidate : result.tried) {
        const QFileInfo info(candidate);
        if (info.exists() || info.isSymLink()) {
            result.path = candidate;
            // Two names for one device must open it under one name, so that the port lock
            // tells the second program that the first one holds it.
            result.device = info.canonicalFilePath();
            break;
        }
    }
    return result;
}

namespace {

// A live process's name, from its own record, else as a lock file named it.
QString Named(qint64 pid, const QString& fallback)
{
    if (pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno != EPERM))
        return {};
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                                  : fallback.trimmed();
    // The kernel cuts the name at 15 bytes ("kestrel-overvie"): the command line has it whole.
    QFile command(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (name.toLocal8Bit().size() == 15 && command.open(QIODevice::ReadOnly)) {
        const QString whole =
            QFileInfo(QString::fromLocal8Bit(command.read(4096).split('\0')[0])).fileName();
        name = whole.startsWith(name) ? whole : name;
    }
    return Tr("%1（进程 %2）", "%1 (process %2)").arg(name).arg(pid);
}

QFileInfoList ById()
{
    return QDir(QStringLiteral("/dev/serial/by-id")).entryInfoList(QDir::System | QDir::Files);
}

} // namespace

QString LockHolder(const QString& device)
{
    // LCK..ttyUSB0 for /dev/ttyUSB0, LCK..pts_3 for /dev/pts/3: a process id, then a name.
    const QString lock =
        QStringLiteral("LCK..") +
        QString(device).remove(QRegularExpression(QStringLiteral("^/dev/"))).replace(u'/', u'_');
    for (const char* folder : {"/var/lock", "/run/lock", "/var/spool/locks", "/var/spool/uucp",
                               "/etc/locks", "/tmp", "/var/tmp", "/var/lock/lockdev"}) {
        QFile file(QDir(QLatin1String(folder)).filePath(lock));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QStringList lines = QString::fromLocal8Bit(file.read(4096)).split(u'\n');
        if (const QString holder = Named(lines[0].trimmed().toLongLong(), lines.value(1));
            !holder.isEmpty())
            return holder;
    }
    return {};
}

QString ProcessHolding(const QString& device)
{
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList({"[0-9]*"}, QDir::Dirs)) {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::System))
            if (fd.symLinkTarget() == device)
                return Named(pid.toLongLong(), {});
    }
    return {};
}

std::vector<SerialDevice> SerialDevices(const QString& programDir)
{
    std::map<QString, SerialDevice> found;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
        found[QFileInfo(port.systemLocation()).canonicalFilePath()];
    for (const QFileInfo& id : ById())
        found[id.canonicalFilePath()].byId = id.filePath();
    for (const QString& folder : {programDir, UserFolder()}) {
        for (const QFileInfo& link : QDir(folder).entryInfoList({"com*"}, QDir::System)) {
            const QFileInfo device(link.canonicalFilePath());
            if (device.exists() && !device.isFile() && !device.isDir())
                found[device.filePath()].links << link.filePath();
        }
    }
    for (int number = 0; number <= 255; ++number) {
        const QString device = FindPortDevice(number, programDir).device;
        if (found.contains(device) && found[device].port < 0)
            found[device].port = number;
    }
    std::vector<SerialDevice> devices;
    for (auto& [name, device] : found) {
        device.device = name;
        device.holder = LockHolder(name);
        device.holder = device.holder.isEmpty() ? ProcessHolding(name) : device.holder;
        devices.push_back(std::move(device));
    }
    return devices;
}

QString DescribePort(int number, const QString& programDir)
{
    const PortDevice device = FindPortDevice(number, programDir);
    if (device.path.isEmpty())
        return Tr("串口 %1：%2（查找了 %3）", "port %1: %2 (looked for %3)")
            .arg(number)
            .arg(NoDevice(), device.describe());
    // What a person recognises: the adapter's own name, and a program that holds it (by its
    // lock: looking through every process would slow each step of the spinner).
    QString where = device.describe();
    for (const QFileInfo& id : ById())
        where += id.canonicalFilePath() == device.device ? u'\n' + id.filePath() : QString();
    if (const QString holder = LockHolder(device.device); !holder.isEmpty())
        where += Tr("\n正被 %1占用", "\nheld by %1").arg(holder);
    return Tr("串口 %1：%2", "port %1: %2").arg(number).arg(where);
}

} // namespace board
