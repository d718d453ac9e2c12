// name.txt: its default content, the start-up routine InitNameFile and the loading of
// the 24 channel names of an address. No widgets: the main window sets its title and
// labels from the results.
#pragma once

#include <QByteArray>
#include <QString>

#include "name_store.h"

#include <array>

namespace naming {


// The bytes of a freshly created name.txt: [软件属性] 名称=Kestrel, then [地址码0..255] each with
// 第1路名称=第1路 .. 第24路名称=第24路, CR LF after every line, in GBK.
QByteArray DefaultNameFileContent();

struct NameFileStart
{
    QString title;             // the main window's title
    bool namesLoadable = true; // false when the file could not be created: load no names then
};

// InitNameFile without the window, with the old faults mended: tests the marker line
// "[地址码0]" with IniSectionExists (a missing file shows the missing-file message there). When it
// is absent, the file is created in one atomic write, or, if it exists, completed (missing sections
// and keys added with their defaults; the title and stored names kept); then "名称文件被创建。" is
// shown (no icon, the application title). A failed write shows one message naming the path and the
// reason instead. When the marker is present nothing is written and the title is the stored "名称"
// value.
NameFileStart InitNameFile(const QString& path);

// The 24 names of the address (index 0 = channel 1): 24 ReadIniValue calls, each going to the
// file anew, in section "地址码" + addressText (the text unchanged).
std::array<QString, kChannelCount> LoadChannelNames(const QString& path,
                                                    const QString& addressText);

} // namespace naming
