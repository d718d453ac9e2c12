#include "name_file.h"

#include "file_io.h"
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
const QString kDefaultTitle = QStringLiteral("Kestrel");
const QString kMarkerSection = QStringLiteral("地址码0");

QByteArray Gbk(const QString& text)
{
    return gbk::Encode(text).value_or(QByteArray());
}

// Sections and keys of the created file, in the order the original writes them.
std::vector<ini::SectionDefaults> Defaults()
{
    const QByteArray di = Gbk(QStringLiteral("第"));
    const QByteArray keySuffix = Gbk(QStringLiteral("路名称"));
    const QByteArray valueSuffix = Gbk(QStringLiteral("路"));
    const QByteArray addressPrefix = Gbk(QStringLiteral("地址码"));

    std::vector<ini::SectionDefaults> sections;
    sections.reserve(1 + kAddressCount);
    sections.push_back({Gbk(kTitleSection), {{Gbk(kTitleKey), Gbk(kDefaultTitle)}}});
    for (int address = 0; address < kAddressCount; ++address) {
        ini::SectionDefaults section{addressPrefix + QByteArray::number(address), {}};
        section.keys.reserve(kChannelCount);
        for (int channel = 1; channel <= kChannelCount; ++channel) {
            const QByteArray number = QByteArray::number(channel);
            section.keys.emplace_back(di + number + keySuffix, di + number + valueSuffix);
        }
        sections.push_back(std::move(section));
    }
    return sections;
}

} // namespace

QByteArray DefaultNameFileContent()
{
    return ini::AddMissing(QByteArrayView(), Defaults()).value_or(QByteArray());
}

NameFileStart InitNameFile(const QString& path)
{
    if (IniSectionExists(path, kMarkerSection))
        return {ReadIniValue(path, kTitleSection, kTitleKey), true};

    // Marker absent: create the file, or complete the one that is there.
    const bool existed = QFileInfo(path).isFile();
    QByteArray content;
    if (existed) {
        fileio::ReadResult file = fileio::ReadWholeFile(path);
        if (!file.ok) {
            msgbox::Show({msgbox::Icon::Critical, msgbox::ApplicationTitle(),
                          QStringLiteral("无法读取名称文件“%1”：%2。").arg(path, file.reason)});
            return {kDefaultTitle, true};
        }
        content = std::move(file.data);
    }
    const std::optional<QByteArray> updated = ini::AddMissing(content, Defaults());
    const QByteArray& result = updated ? *updated : content;
    // A stored title is kept; a completed or new file holds the default one.
    const QString title = gbk::Decode(ini::ReadValue(result, Gbk(kTitleSection), Gbk(kTitleKey)));
    if (!updated)
        return {title, true}; // every key there already (say, a header spelt "[ 地址码0 ]")

    const QString reason = fileio::ReplaceFile(path, *updated);
    if (reason.isEmpty()) {
        msgbox::Show(
            {msgbox::Icon::None, msgbox::ApplicationTitle(), QStringLiteral("名称文件被创建。")});
        return {title, true};
    }
    const QString text =
        existed
            ? QStringLiteral("无法补全名称文件“%1”：%2。\n已有的名称照旧使用。").arg(path, reason)
            : QStringLiteral("无法创建名称文件“%1”：%2。\n通道名称将不显示，也无法更改。")
                  .arg(path, reason);
    msgbox::Show({msgbox::Icon::Critical, msgbox::ApplicationTitle(), text});
    return {title, QFileInfo(path).isFile()};
}

std::array<QString, kChannelCount> LoadChannelNames(const QString& path, const QString& addressText)
{
    std::array<QString, kChannelCount> names;
    const QString section = AddressSection(addressText);
    for (int channel = 1; channel <= kChannelCount; ++channel)
        names[size_t(channel - 1)] = ReadIniValue(path, section, ChannelKey(channel));
    return names;
}

} // namespace naming
