// The INI format of the private-profile functions, over the raw bytes of a GBK file.
// No files here: every function takes the file's whole content and answers from it.
//
// Reading: section and key names match ignoring ASCII letter case, never inside a GBK two-byte
// character; blanks and tabs around names (stored or asked for) and values are ignored; a line
// without '=' is not a key; the value is everything after the first '=', one pair of matching outer
// quotes (" or ') stripped, cut to 254 bytes without splitting a two-byte character; a header is a
// line whose first non-blank character is '[', named by the trimmed text up to the first ']' (a
// line without one is no header, and can be a key of the section before); only
// the first of duplicate sections is searched and the first of duplicate keys wins; CR LF, LF and
// CR all end lines.
//
// Writing: replacing a key rewrites that line only, as stored-key '=' value; a new key goes after
// the last non-blank line of its section; a new section goes at the end of the file, without a
// blank line before it; writing the value already stored changes nothing; new lines end like the
// file's first line (CR LF in a file that has none).
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <utility>
#include <vector>

namespace naming::ini {

// Longest value a read hands back, in bytes (a 255-byte read buffer less its NUL).
constexpr qsizetype kMaxValueBytes = 254;

// A byte that starts a two-byte GBK character, and a byte that can be its second.
constexpr bool IsLeadByte(unsigned char b)
{
    return b >= 0x81 && b <= 0xFE;
}
constexpr bool IsTrailByte(unsigned char b)
{
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// Section and key names compare equal: ASCII letters ignore case outside two-byte characters.
bool NamesEqual(QByteArrayView a, QByteArrayView b);

// The value stored for the key in the section; empty when either is absent.
QByteArray ReadValue(QByteArrayView content, QByteArrayView section, QByteArrayView key);

// The file's content after writing key=value into the section; nothing when the content would not
// change (the value is already stored).
std::optional<QByteArray> WriteValue(QByteArrayView content, QByteArrayView section,
                                     QByteArrayView key, QByteArrayView value);

struct SectionDefaults
{
    QByteArray name;
    std::vector<std::pair<QByteArray, QByteArray>> keys; // key, default value, in order
};

// The content with every missing section and key added with its default value, in the order
// given (as the same sequence of single writes would add them; present keys are left alone);
// nothing when nothing is missing. One pass over the content.
std::optional<QByteArray> AddMissing(QByteArrayView content,
                                     const std::vector<SectionDefaults>& wanted);

// Some line of the content, without its line ending, is exactly `line` (byte for byte).
bool HasExactLine(QByteArrayView content, QByteArrayView line);

// A section, key or value that can be written: no CR, LF or NUL in it.
bool IsWritable(QByteArrayView text);

// Names that a write stores so that they are found again: writable, and for a section no ']' of
// its own and no lead byte without its second byte; for a key no '=' and no leading '['. Other
// names must not be handed to WriteValue or AddMissing: they would split or hide lines.
bool IsWritableSection(QByteArrayView name);
bool IsWritableKey(QByteArrayView name);

} // namespace naming::ini
