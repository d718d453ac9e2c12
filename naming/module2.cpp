#include "module2.h"

#include "file_io.h"
#include "gbk.h"
#include "ini_bytes.h"
#include "msgbox/message_box.h"
#include "profile.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace naming {

QString NameFilePath()
{
    return NameFilePath(QCoreApplication::applicationDirPath());
}


bool FileExistsOrReport(const QString& path)
{
    if (QFileInfo(path).isFile())
        return true;
    msgbox::Show(msgbox::Message{msgbox::Icon::Critical, QStringLiteral("File Not Found"),
                                 path + QStringLiteral(" not found.")});
    return false;
}

QString ReadIniValue(const QString& path, const QString& section, const QString& key)
{
    if (!FileExistsOrReport(path))
        return {};
    return profile::GetString(path, section, key);
}

qint32 WriteIniValue(const QString& path, const QString& section, const QString& key,
                     const QString& value)
{
    return WriteIniValue(path, section, key, value, nullptr, nullptr);
}

qint32 WriteIniValue(const QString& path, const QString& section, const QString& key,
                     const QString& value, QString* reason, QString* unrepresentable)
{
    if (reason)
        reason->clear();
    if (unrepresentable)
        unrepresentable->clear();
    if (!FileExistsOrReport(path)) {
        if (reason)
            *reason = QStringLiteral("名称文件不存在（可能已被删除或移走）");
        return 0;
    }
    const profile::WriteResult result = profile::WriteString(path, section, key, value);
    if (result.ok)
        return 1;
    if (reason)
        *reason = result.reason;
    if (unrepresentable)
        *unrepresentable = result.unrepresentable;
    return 0;
}

bool IniSectionExists(const QString& path, const QString& section)
{
    if (!FileExistsOrReport(path))
        return false;
    const std::optional<QByteArray> name = gbk::Encode(section);
    if (!name)
        return false; // a GBK file cannot hold such a header line
    const fileio::ReadResult file = fileio::ReadWholeFile(path);
    if (!file.ok)
        return false;
    return ini::HasExactLine(file.data, '[' + *name + ']');
}

} // namespace naming
