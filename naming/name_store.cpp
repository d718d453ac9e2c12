#include "name_store.h"

#include "file_io.h"
#include "gbk.h"
#include "ini_bytes.h"

namespace naming {

QString AddressSection(const QString& addressText)
{
    return QStringLiteral("地址码") + addressText;
}

QString ChannelKey(int channel)
{
    return QStringLiteral("第%1路名称").arg(channel);
}

QString NameFilePath(const QString& programDir)
{
    return programDir + QStringLiteral("/name.txt");
}

std::optional<std::array<QString, kChannelCount>> ReadChannelNames(const QString& path,
                                                                   const QString& addressText)
{
    const fileio::ReadResult file = fileio::ReadWholeFile(path);
    const std::optional<QByteArray> section = gbk::Encode(AddressSection(addressText));
    if (!file.ok || !section)
        return std::nullopt;
    std::array<QString, kChannelCount> names;
    for (int channel = 1; channel <= kChannelCount; ++channel)
        names[size_t(channel - 1)] = gbk::Decode(
            ini::ReadValue(file.data, *section, gbk::Encode(ChannelKey(channel)).value()));
    return names;
}

} // namespace naming
