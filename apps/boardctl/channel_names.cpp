#include "channel_names.h"

#include "naming/name_store.h"

#include "link/text.h"

#include <memory>

namespace boardctl {

using board::Tr;

std::optional<NameSource> NameSourceFor(const Options& options, const QString& programDir)
{
    const QString path =
        options.namesFile.isEmpty() ? naming::NameFileToRead(programDir) : options.namesFile;
    // One read for every address asked about.
    const auto file = std::make_shared<const naming::FileRead>(naming::ReadFile(path));
    if (!file->error.isEmpty()) {
        if (!options.namesFile.isEmpty()) {
            PrintError(Tr("无法读取名称文件 %1：%2。", "cannot read the name file %1: %2.")
                           .arg(path, file->error));
            return std::nullopt;
        }
        if (!file->missing)
            PrintError(Tr("无法读取名称文件 %1（%2），通道不显示名称。",
                          "cannot read the name file %1 (%2); the channels go without names.")
                           .arg(path, file->error));
        return [](std::uint8_t) { return ChannelNames{}; };
    }
    if (file->utf8())
        PrintError(Tr("名称文件 %1 是以 UTF-8 编码保存的，按 UTF-8 读取；Kestrel 下次启动时会把它"
                      "转换为 GBK 编码。",
                      "the name file %1 was saved as UTF-8 and is read as such; Kestrel turns it "
                      "into GBK at its next start.")
                       .arg(path));
    return [file](std::uint8_t address) { return naming::ChannelNames(*file, address); };
}

} // namespace boardctl
