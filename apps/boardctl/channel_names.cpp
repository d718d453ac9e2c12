#include "channel_names.h"

#include "naming/name_store.h"

#include <QFileInfo>

namespace boardctl {

std::variant<ChannelNames, QString> LoadChannelNames(const Options& options,
                                                     const QString& programDir)
{
    const QString address = QString::number(options.address);
    if (!options.namesFile.isEmpty()) {
        if (const auto names = naming::ReadChannelNames(options.namesFile, address))
            return *names;
        return QStringLiteral("无法读取名称文件 %1。").arg(options.namesFile);
    }
    const QString defaultFile = naming::NameFileToRead(programDir);
    if (!QFileInfo::exists(defaultFile))
        return ChannelNames{};
    if (const auto names = naming::ReadChannelNames(defaultFile, address))
        return *names;
    PrintError(QStringLiteral("无法读取名称文件 %1，通道不显示名称。").arg(defaultFile));
    return ChannelNames{};
}

} // namespace boardctl
