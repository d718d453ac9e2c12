// name.txt at start-up (InitNameFile), its default content, and the loading of the 24 channel
// names of an address. No widgets: the main window sets its title and labels from the results.
#pragma once

#include "name_store.h"

#include <QByteArray>
#include <QString>

#include <array>

namespace naming {

// The bytes of a freshly created name.txt: [软件属性] 名称=Kestrel, then [地址码0..255] each with
// 第1路名称=第1路 .. 第24路名称=第24路, CR LF after every line, in GBK.
QByteArray DefaultNameFileContent();

// The file Kestrel keeps for the run: NameFilePath, where the copy beside the program is taken
// over while the user has none, so that nothing stored is lost. When it cannot be, one message
// says why, and the run reads the copy beside the program if it can be read.
QString AdoptNameFile(const QString& programDir);

struct NameFileStart
{
    QString title;         // the main window's title
    bool reported = false; // the file could not be made or used, as already told once
};

// A file that is there but cannot be read is told with the reason (the title is "Kestrel", and the
// names read as the defaults until it can be read). Otherwise tests the marker line "[地址码0]" (a
// missing file shows the missing-file message there). When it is absent, the file is created, or
// an existing one completed (stored names kept), in one locked atomic write, then
// "名称文件被创建。" is shown; a failed write shows one message naming the path and the reason
// instead. A file saved as UTF-8 is first turned into GBK once (the UTF-8 copy kept beside it), or
// refused with a message naming what GBK cannot hold. When the marker is present nothing is written
// and the title is the stored "名称" value.
NameFileStart InitNameFile(const QString& path);

// The 24 names of the address (index 0 = channel 1): 24 ReadIniValue calls in section
// "地址码" + addressText (the text unchanged), looking at the file anew, so names appear as soon
// as it is usable. A missing file is told once, not once per channel, and not at all when
// `missingTold` (start-up already said the file could not be made or read); the names are empty
// then. A file that cannot be read is told likewise, and gives the default names 第1路 .. 第24路.
std::array<QString, board::kChannels> NamesOfAddress(const QString& path,
                                                     const QString& addressText, bool missingTold);

} // namespace naming
