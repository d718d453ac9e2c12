#include "port_names.h"
#include "text.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace board {

QString PortDevice::describe() const
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    return QStringLiteral("%1 → %2%3")
        .arg(path, device.isEmpty() ? info.symLinkTarget() : device,
             device.isEmpty() ? Tr("（不存在）", " (missing)") : QString());
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

QString DescribePort(int number, const QString& programDir)
{
    const PortDevice device = FindPortDevice(number, programDir);
    if (device.path.isEmpty())
        return QStringLiteral("串口 %1：没有对应的设备（查找了 %2）")
            .arg(number)
            .arg(device.tried.join(QStringLiteral("、")));
    return QStringLiteral("串口 %1：%2").arg(number).arg(device.describe());
}

} // namespace board
