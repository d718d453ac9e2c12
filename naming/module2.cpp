#include "module2.h"

#include "gbk.h"
#include "ini_bytes.h"

#include "msgbox/message_box.h"

#include <QFileInfo>

namespace naming {
namespace {

// What stands in the file's place, for a save that found no file there.
QString MissingReason(const QString& path)
{
    const FileRead file = ReadFile(path);
    return file.missing || file.error.isEmpty()
               ? QStringLiteral("名称文件不存在（可能已被删除或移走）")
               : file.error;
}

QString Refusal(const QString& section, const QString& key, const QString& value)
{
    if (const QString bad = gbk::Unrepresentable(section + key + value); !bad.isEmpty())
        return QStringLiteral("含有 GBK 编码无法保存的字符：%1").arg(gbk::QuoteEach(bad));
    const QByteArray bytes[] = {*gbk::Encode(section), *gbk::Encode(key), *gbk::Encode(value)};
    if (!ini::IsWritable(bytes[0]) || !ini::IsWritable(bytes[1]) || !ini::IsWritable(bytes[2]))
        return QStringLiteral("含有换行符或空字符");
    if (!ini::IsWritableSection(bytes[0]) || !ini::IsWritableKey(bytes[1]))
        return QStringLiteral("节名含有“]”，或键名含有“=”或以“[”开头");
    return {};
}

} // namespace

bool FileExistsOrReport(const QString& path)
{
    if (QFileInfo(path).isFile())
        return true;
    msgbox::Show({msgbox::Icon::Critical, QStringLiteral("File Not Found"),
                  path + QStringLiteral(" not found.")});
    return false;
}

QString ReadIniValue(const QString& path, const QString& section, const QString& key)
{
    if (!FileExistsOrReport(path))
        return {};
    const std::optional<QByteArray> sectionBytes = gbk::Encode(section);
    const std::optional<QByteArray> keyBytes = gbk::Encode(key);
    if (!sectionBytes || !keyBytes)
        return {}; // no such name can be in a GBK file
    return gbk::Decode(ini::ReadValue(ReadFile(path).data, *sectionBytes, *keyBytes));
}

qint32 WriteIniValue(const QString& path, const QString& section, const QString& key,
                     const QString& value, QString* reason)
{
    QString failed;
    if (!FileExistsOrReport(path))
        failed = MissingReason(path);
    else if (failed = Refusal(section, key, value); failed.isEmpty())
        failed = UpdateFile(path, [&](const QByteArray& content) {
            return ini::WriteValue(content, *gbk::Encode(section), *gbk::Encode(key),
                                   *gbk::Encode(value));
        });
    if (reason)
        *reason = failed;
    return failed.isEmpty() ? 1 : 0;
}

bool IniSectionExists(const QString& path, const QString& section)
{
    if (!FileExistsOrReport(path))
        return false;
    const std::optional<QByteArray> name = gbk::Encode(section);
    return name && ini::HasExactLine(ReadFile(path).data, '[' + *name + ']');
}

} // namespace naming
