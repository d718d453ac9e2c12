// name.txt on disk, without messages or widgets: where it lives, whole-file reads, updates that
// are locked against other programs and replace the file atomically, and the names of an address.
#pragma once

#include "link/frame.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace naming {

constexpr int kAddressCount = 256;

// "地址码" + address text, and "第" + channel + "路名称": the section and key of a channel's name.
QString AddressSection(const QString& addressText);
QString ChannelKey(int channel);

// Where a program in programDir keeps name.txt: beside it when a save can be made there (the
// portable folder: the folder writable, and the file, if any, an ordinary file); otherwise, and
// always for a program installed under /usr, the user's own copy in board::UserFolder().
QString NameFilePath(const QString& programDir);
// The file names are read from: NameFilePath, or the copy beside the program while the user has
// none of their own yet.
QString NameFileToRead(const QString& programDir);

struct FileRead
{
    QByteArray data;
    QString error;        // why it could not be read (board::Tr's language); empty when read
    bool missing = false; // nothing at all in its place
    // Saved as UTF-8 by a hand edit: a BOM, or a header "[地址码…" or "[软件属性]" in UTF-8.
    bool utf8() const;
};
// The whole file. A folder, pipe or device in its place is refused, never waited on.
FileRead ReadFile(const QString& path);

// One read-modify-write of the file, holding name.txt.lock so that no other program's save falls
// in between: `change` gets the current content (empty for a missing file) and gives the new one,
// or nothing to leave the file as it is. The file is replaced atomically, never when its write
// permission is off (even for root), and never with GBK text when it holds UTF-8. Returns why it
// could not (board::Tr's language); empty on success.
using Change = std::function<std::optional<QByteArray>(const QByteArray& content)>;
QString UpdateFile(const QString& path, const Change& change);

struct Utf8Conversion
{
    enum Result { NotUtf8, Converted, Refused, Failed } result = NotUtf8;
    QString backup;          // Converted: where the UTF-8 copy was kept
    QString unrepresentable; // Refused: the characters GBK cannot hold
    QString reason;          // Failed: why (board::Tr's language)
};
// Turns a UTF-8 name file into GBK once, keeping the UTF-8 copy beside it; refuses, leaving the
// file alone, when it holds characters GBK cannot hold.
Utf8Conversion ConvertFromUtf8(const QString& path);

// The 24 names stored for the address in a file read whole (index 0 = channel 1; an absent key
// gives an empty name), read as UTF-8 from a UTF-8 file: the names of several addresses from one
// read.
std::array<QString, board::kChannels> ChannelNames(const FileRead& file, int address);
// The title stored under 软件属性, 名称 in a file read whole (Kestrel's title bar), read as UTF-8
// from a UTF-8 file; empty when none is stored.
QString Title(const FileRead& file);

} // namespace naming
