#include "channel_names.h"

#include "naming/name_store.h"

namespace boardctl {

std::variant<ChannelNames, QString> LoadChannelNames(const Options& options,
                                                     const QString& programDir)
{
    const QString path =
        options.namesFile.isEmpty() ? naming::NameFileToRead(programDir) : options.namesFile;
    const naming::FileRead file = naming::ReadFile(path);
    if (file.error.isEmpty())
        return naming::ChannelNames(file, options.address);
    if (!options.namesFile.isEmpty())
        return QStringLiteral("无法读取名称文件 %1。").arg(path);
    if (!file.missing)
        PrintError(QStringLiteral("无法读取名称文件 %1，通道不显示名称。").arg(path));
    return ChannelNames{};
}

} // namespace boardctl
