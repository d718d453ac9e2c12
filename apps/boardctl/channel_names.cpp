#include "channel_names.h"

#include "naming/name_store.h"

#include "link/text.h"

#include <QFileInfo>

namespace boardctl {

std::optional<NameSource> LoadChannelNames(const Options& options, const QString& programDir)
{
    const QString path =
        options.namesFile.isEmpty() ? naming::NameFileToRead(programDir) : options.namesFile;
    if (options.namesFile.isEmpty() && !QFileInfo::exists(path))
        return [](std::uint8_t) { return ChannelNames{}; };
    if (naming::ReadChannelNames(path, QStringLiteral("0")))
        return [path](std::uint8_t address) {
            return naming::ReadChannelNames(path, QString::number(address))
                .value_or(ChannelNames{});
        };
    if (!options.namesFile.isEmpty()) {
        PrintError(board::Tr("无法读取名称文件 %1。", "cannot read the name file %1.").arg(path));
        return std::nullopt;
    }
    PrintError(board::Tr("无法读取名称文件 %1，通道不显示名称。",
                         "cannot read the name file %1; the channels go without names.")
                   .arg(path));
    return [](std::uint8_t) { return ChannelNames{}; };
}

} // namespace boardctl
