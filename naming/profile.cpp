#include "profile.h"

#include "file_io.h"
#include "gbk.h"
#include "ini_bytes.h"

#include <cerrno>

namespace naming::profile {

QString GetString(const QString& path, const QString& section, const QString& key)
{
    const std::optional<QByteArray> sectionBytes = gbk::Encode(section);
    const std::optional<QByteArray> keyBytes = gbk::Encode(key);
    if (!sectionBytes || !keyBytes)
        return {}; // no such name can be in a GBK file
    const fileio::ReadResult file = fileio::ReadWholeFile(path);
    if (!file.ok)
        return {};
    return gbk::Decode(ini::ReadValue(file.data, *sectionBytes, *keyBytes));
}

WriteResult WriteString(const QString& path, const QString& section, const QString& key,
                        const QString& value)
{
    WriteResult result;
    const std::optional<QByteArray> bytes[3] = {gbk::Encode(section), gbk::Encode(key),
                                                gbk::Encode(value)};
    if (!bytes[0] || !bytes[1] || !bytes[2]) {
        result.unrepresentable = gbk::Unrepresentable(section + key + value);
        result.reason = result.unrepresentable.isEmpty()
                            ? QStringLiteral("无法转换为 GBK 编码")
                            : QStringLiteral("含有 GBK 编码无法保存的字符：%1")
                                  .arg(gbk::QuoteEach(result.unrepresentable));
        return result;
    }
    for (const auto& part : bytes) {
        if (!ini::IsWritable(*part)) {
            result.reason = QStringLiteral("含有换行符或空字符");
            return result;
        }
    }
    if (!ini::IsWritableSection(*bytes[0]) || !ini::IsWritableKey(*bytes[1])) {
        result.reason = QStringLiteral("节名含有“]”，或键名含有“=”或以“[”开头");
        return result;
    }

    // A missing file is created (as the platform's write does); any other read failure stops.
    fileio::ReadResult file = fileio::ReadWholeFile(path);
    if (!file.ok && file.error != ENOENT) {
        result.reason = file.reason;
        return result;
    }
    const QByteArray content = std::move(file.data);
    const std::optional<QByteArray> updated =
        ini::WriteValue(content, *bytes[0], *bytes[1], *bytes[2]);
    if (!updated) {
        result.ok = true; // already stored: the file is left untouched
        return result;
    }
    result.reason = fileio::ReplaceFile(path, *updated);
    result.ok = result.reason.isEmpty();
    return result;
}

} // namespace naming::profile
