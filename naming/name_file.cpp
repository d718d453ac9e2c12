#include "name_file.h"

#include "gbk.h"
#include "ini_bytes.h"
#include "module2.h"

#include "msgbox/message_box.h"

#include <QFileInfo>

#include <vector>

namespace naming {
namespace {

const QString kTitleSection = QStringLiteral("软件属性");
const QString kTitleKey = QStringLiteral("名称");
const QString kMarkerSection = QStringLiteral("地址码0");

QByteArray Gbk(const QString& text)
{
    return gbk::Encode(text).value_or(QByteArray());
}

// Sections and keys of the created file, in the order InitNameFile writes them. The GBK pieces
// are encoded once: a converter per key would make the 6145 keys cost tens of milliseconds.
std::vector<ini::SectionDefaults> Defaults()
{
    const QByteArray di = Gbk(QStringLiteral("第"));
    const QByteArray keyEnd = Gbk(QStringLiteral("路名称"));
    const QByteArray valueEnd = Gbk(QStringLiteral("路"));
    const QByteArray sectionStart = Gbk(AddressSection({}));
    std::vector<std::pair<QByteArray, QByteArray>> channels; // the same in every address
    for (int channel = 1; channel <= board::kChannels; ++channel) {
        const QByteArray number = QByteArray::number(channel);
        channels.emplace_back(di + number + keyEnd, di + number + valueEnd);
    }
    std::vector<ini::SectionDefaults> sections{
        {Gbk(kTitleSection), {{Gbk(kTitleKey), QByteArrayLiteral("Kestrel")}}}};
    for (int address = 0; address < kAddressCount; ++address)
        sections.push_back({sectionStart + QByteArray::number(address), channels});
    return sections;
}

void Tell(msgbox::Icon icon, const QString& text)
{
    msgbox::Show({icon, msgbox::ApplicationTitle(), text});
}

// An ordinary file is there but cannot be read (no permission, say); told with the reason when
// `tell`.
bool Unreadable(const QString& path, bool tell)
{
    const QString reason = QFileInfo(path).isFile() ? ReadFile(path).error : QString();
    if (!reason.isEmpty() && tell)
        Tell(msgbox::Icon::Critical,
             QStringLiteral("无法读取名称文件“%1”：%2。\n通道暂以默认名称显示，名称也无法更改；"
                            "文件可以读取后，切换一次模块地址即显示已存的名称。")
                 .arg(path, reason));
    return !reason.isEmpty();
}

// What a created file holds for every address: 第1路 .. 第24路.
std::array<QString, board::kChannels> DefaultNames()
{
    std::array<QString, board::kChannels> names;
    for (int channel = 1; channel <= board::kChannels; ++channel)
        names[size_t(channel - 1)] = QStringLiteral("第%1路").arg(channel);
    return names;
}

// A file a hand edit saved as UTF-8 is turned into GBK before anything reads or writes it.
bool Utf8Refused(const QString& path)
{
    const Utf8Conversion conversion = ConvertFromUtf8(path);
    if (conversion.result == Utf8Conversion::Converted)
        Tell(msgbox::Icon::Information,
             QStringLiteral("名称文件“%1”是以 UTF-8 编码保存的，已转换为 GBK 编码。\n"
                            "原文件保存为“%2”。")
                 .arg(path, conversion.backup));
    if (conversion.result == Utf8Conversion::Refused)
        Tell(msgbox::Icon::Critical,
             QStringLiteral("名称文件“%1”是以 UTF-8 编码保存的，其中的字符 %2 无法用 GBK 编码"
                            "保存，文件保持原样。\n请删去或换掉这些字符后重新启动本程序。")
                 .arg(path, gbk::QuoteEach(conversion.unrepresentable)));
    if (conversion.result == Utf8Conversion::Failed)
        Tell(msgbox::Icon::Critical,
             QStringLiteral("名称文件“%1”是以 UTF-8 编码保存的，无法转换为 GBK 编码：%2。")
                 .arg(path, conversion.reason));
    return conversion.result == Utf8Conversion::Refused ||
           conversion.result == Utf8Conversion::Failed;
}

} // namespace

QString AdoptNameFile(const QString& programDir)
{
    const QString path = NameFilePath(programDir);
    const QString beside = NameFileToRead(programDir);
    if (beside == path)
        return path;
    const FileRead old = ReadFile(beside); // never waits on a pipe in its place
    if (old.missing)
        return path;
    const auto takeOver = [&](const QByteArray& now) { // a copy another start made is kept
        return now.isEmpty() ? std::optional(old.data) : std::nullopt;
    };
    const QString failed = old.error.isEmpty() ? UpdateFile(path, takeOver) : old.error;
    if (failed.isEmpty())
        return path;
    Tell(msgbox::Icon::Critical,
         QStringLiteral("名称文件“%1”未能复制到“%2”：%3。").arg(beside, path, failed));
    return old.error.isEmpty() ? beside : path;
}

QByteArray DefaultNameFileContent()
{
    return ini::AddMissing(QByteArrayView(), Defaults()).value_or(QByteArray());
}

NameFileStart InitNameFile(const QString& path)
{
    // Unread, the file would look unmarked, and completing it would be refused in turn.
    if (Unreadable(path, true) || Utf8Refused(path))
        return {QStringLiteral("Kestrel"), true};
    if (IniSectionExists(path, kMarkerSection))
        return {ReadIniValue(path, kTitleSection, kTitleKey), false};

    // Marker absent: create the file, or complete the one that is there.
    const bool existed = QFileInfo(path).isFile();
    QString title = QStringLiteral("Kestrel");
    bool changed = false;
    const QString reason = UpdateFile(path, [&](const QByteArray& content) {
        const std::optional<QByteArray> updated = ini::AddMissing(content, Defaults());
        // A stored title is kept; a completed or new file holds the default one.
        title = gbk::Decode(
            ini::ReadValue(updated.value_or(content), Gbk(kTitleSection), Gbk(kTitleKey)));
        changed = updated.has_value();
        return updated;
    });
    if (reason.isEmpty()) {
        if (changed) // else every key is there already (say, a header spelt "[ 地址码0 ]")
            Tell(msgbox::Icon::None, QStringLiteral("名称文件被创建。"));
        return {title, false};
    }
    Tell(msgbox::Icon::Critical,
         existed
             ? QStringLiteral("无法补全名称文件“%1”：%2。\n已有的名称照旧使用。").arg(path, reason)
             : QStringLiteral("无法创建名称文件“%1”：%2。\n通道名称将不显示，也无法更改。")
                   .arg(path, reason));
    return {title, true};
}

std::array<QString, board::kChannels> NamesOfAddress(const QString& path,
                                                     const QString& addressText, bool missingTold)
{
    std::array<QString, board::kChannels> names;
    if (!(missingTold ? QFileInfo(path).isFile() : FileExistsOrReport(path)))
        return names;
    if (Unreadable(path, !missingTold))
        return DefaultNames();
    const QString section = AddressSection(addressText);
    for (int channel = 1; channel <= board::kChannels; ++channel)
        names[size_t(channel - 1)] = ReadIniValue(path, section, ChannelKey(channel));
    return names;
}

} // namespace naming
