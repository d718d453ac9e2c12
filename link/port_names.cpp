#include "port_names.h"

#include <QDir>
#include <QFileInfo>

namespace board {

PortDevice FindPortDevice(int number, const QString& programDir)
{
    PortDevice result;
    result.tried << QDir(programDir).filePath(QStringLiteral("com%1").arg(number));
    if (number >= 1) {
        for (const char* family : {"ttyUSB", "ttyACM", "ttyS"})
            result.tried << QStringLiteral("/dev/%1%2").arg(QLatin1String(family)).arg(number - 1);
    }
    for (const QString& candidate : result.tried) {
        // exists() follows a link, so a dangling comN link does not count.
        if (QFileInfo::exists(candidate)) {
            result.path = candidate;
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
    const QFileInfo info(device.path);
    if (info.isSymLink())
        return QStringLiteral("串口 %1：%2 → %3")
            .arg(number)
            .arg(device.path, info.symLinkTarget());
    return QStringLiteral("串口 %1：%2").arg(number).arg(device.path);
}

} // namespace board
