#include "ini_bytes.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cstring>

namespace naming::ini {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView Trimmed(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    // A trailing blank is never the second byte of a two-byte character (those are 0x40 and up).
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Length of the character that starts at `i`: 2 for a lead byte followed by a trail byte.
qsizetype CharLength(QByteArrayView text, qsizetype i)
{
    if (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() &&
        IsTrailByte(static_cast<unsigned char>(text[i + 1])))
        return 2;
    return 1;
}

// The name folded for hashing: ASCII letters lowered outside two-byte characters.
QByteArray Folded(QByteArrayView name)
{
    QByteArray out(name.data(), name.size());
    for (qsizetype i = 0; i < out.size();) {
        const qsizetype length = CharLength(name, i);
        if (length == 1)
            out[i] = FoldAscii(out[i]);
        i += length;
    }
    return out;
}

struct Line
{
    qsizetype begin = 0; // first byte
    qsizetype end = 0;   // one past the last byte before the line ending
    qsizetype next = 0;  // first byte of the following line (end + length of the ending)
};

// Lines of a content, ended by CR LF, LF or CR; the last one may have no ending. CR and LF are
// never part of a two-byte GBK character, so lines split on bytes.
class LineReader
{
public:
    explicit LineReader(QByteArrayView content, qsizetype from = 0)
        : m_data(content.data()), m_size(content.size()), m_pos(from)
    {
    }

    bool Next(Line& line)
    {
        if (m_pos >= m_size)
            return false;
        if (m_lf < m_pos)
            m_lf = Find('\n');
        if (m_cr < m_pos)
            m_cr = Find('\r');
        const qsizetype end = std::min(m_lf, m_cr);
        line.begin = m_pos;
        line.end = end;
        if (end >= m_size)
            m_pos = m_size;
        else if (m_data[end] == '\r' && end + 1 < m_size && m_data[end + 1] == '\n')
            m_pos = end + 2;
        else
            m_pos = end + 1;
        line.next = m_pos;
        return true;
    }

private:
    qsizetype Find(char c) const
    {
        const void* hit = std::memchr(m_data + m_pos, c, size_t(m_size - m_pos));
        return hit ? static_cast<const char*>(hit) - m_data : m_size;
    }

    const char* m_data;
    qsizetype m_size;
    qsizetype m_pos;
    qsizetype m_lf = -1;
    qsizetype m_cr = -1;
};

enum class Kind { Blank, Header, Key, Other };

struct Parsed
{
    Kind kind = Kind::Other;
    QByteArrayView name;  // header: section name; key line: key (both trimmed)
    QByteArrayView value; // key line: everything after the first '=', trimmed
};

Parsed Parse(QByteArrayView line)
{
    Parsed parsed;
    qsizetype i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i == line.size()) {
        parsed.kind = Kind::Blank;
        return parsed;
    }
    if (line[i] == '[') {
        // The name runs to the first ']' that is a character of its own. Without one the line is
        // no header, as for the platform: a key under it stays in the section before.
        qsizetype j = i + 1;
        while (j < line.size() && line[j] != ']')
            j += CharLength(line, j);
        if (j < line.size()) {
            parsed.kind = Kind::Header;
            parsed.name = Trimmed(line.sliced(i + 1, j - i - 1));
            return parsed;
        }
    }
    // '=' (0x3D) is never the second byte of a two-byte character.
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return parsed;
    parsed.kind = Kind::Key;
    parsed.name = Trimmed(line.first(eq));
    parsed.value = Trimmed(line.sliced(eq + 1));
    return parsed;
}

QByteArrayView LineText(QByteArrayView content, const Line& line)
{
    return content.sliced(line.begin, line.end - line.begin);
}

// What a read hands back from the stored (trimmed) value.
QByteArray ReadBack(QByteArrayView stored)
{
    QByteArrayView value = stored;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    if (const qsizetype nul = value.indexOf('\0'); nul >= 0)
        value = value.first(nul);
    qsizetype cut = 0;
    while (cut < value.size()) {
        const qsizetype length = CharLength(value, cut);
        if (cut + length > kMaxValueBytes)
            break;
        cut += length;
    }
    return value.first(cut).toByteArray();
}

bool EndsWithLineEnding(QByteArrayView content)
{
    return !content.isEmpty() && (content.back() == '\n' || content.back() == '\r');
}

void AppendKeyLine(QByteArray& out, QByteArrayView key, QByteArrayView value, QByteArrayView eol)
{
    out.append(key).append('=').append(value).append(eol);
}

// Start of the line after the first header of the section, or -1. Only a line that starts with
// '[' or a blank can be a header: the others are passed over without being parsed.
qsizetype SectionBody(QByteArrayView content, QByteArrayView section)
{
    LineReader reader(content);
    Line line;
    while (reader.Next(line)) {
        const QByteArrayView text = LineText(content, line);
        if (text.isEmpty() || (text[0] != '[' && !IsBlank(text[0])))
            continue;
        if (const Parsed parsed = Parse(text);
            parsed.kind == Kind::Header && NamesEqual(parsed.name, section))
            return line.next;
    }
    return -1;
}

} // namespace

bool NamesEqual(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && Folded(a) == Folded(b);
}

QByteArray ReadValue(QByteArrayView content, QByteArrayView section, QByteArrayView key)
{
    // Blanks around the names asked for are ignored, as around the names stored.
    section = Trimmed(section);
    key = Trimmed(key);
    const qsizetype body = SectionBody(content, section);
    if (body < 0)
        return {};
    LineReader reader(content, body);
    Line line;
    while (reader.Next(line)) {
        const Parsed parsed = Parse(LineText(content, line));
        if (parsed.kind == Kind::Header)
            return {}; // only the first section of that name is searched
        if (parsed.kind == Kind::Key && NamesEqual(parsed.name, key))
            return ReadBack(parsed.value);
    }
    return {};
}

std::optional<QByteArray> WriteValue(QByteArrayView content, QByteArrayView section,
                                     QByteArrayView key, QByteArrayView value)
{
    // New lines carry the trimmed names: a stored " a" would be read as "a" anyway.
    section = Trimmed(section);
    key = Trimmed(key);
    const QByteArray eol = LineEnding(content);
    LineReader reader(content);
    Line line;
    bool inSection = false;
    bool found = false;
    qsizetype insertAt = 0;
    while (reader.Next(line)) {
        const QByteArrayView text = LineText(content, line);
        const Parsed parsed = Parse(text);
        if (parsed.kind == Kind::Header) {
            if (inSection)
                break;
            if (!found && NamesEqual(parsed.name, section)) {
                inSection = found = true;
                insertAt = line.next;
            }
            continue;
        }
        if (!inSection || parsed.kind == Kind::Blank)
            continue;
        insertAt = line.next;
        if (parsed.kind != Kind::Key || !NamesEqual(parsed.name, key))
            continue;
        if (parsed.value == value)
            return std::nullopt;
        QByteArray out;
        out.append(content.first(line.begin))
            .append(parsed.name)
            .append('=')
            .append(value)
            .append(content.sliced(line.end));
        if (out == content)
            return std::nullopt;
        return out;
    }
    QByteArray out;
    if (found) {
        out.append(content.first(insertAt));
        if (insertAt == content.size() && !EndsWithLineEnding(content))
            out.append(eol);
        AppendKeyLine(out, key, value, eol);
        out.append(content.sliced(insertAt));
        return out;
    }
    out.append(content);
    if (!content.isEmpty() && !EndsWithLineEnding(content))
        out.append(eol);
    out.append('[').append(section).append(']').append(eol);
    AppendKeyLine(out, key, value, eol);
    return out;
}

std::optional<QByteArray> AddMissing(QByteArrayView content,
                                     const std::vector<SectionDefaults>& wanted)
{
    struct SectionInfo
    {
        qsizetype insertAt = 0;
        QSet<QByteArray> keys; // folded
        qsizetype fresh = -1;  // a section to add: its index in `fresh`
    };
    std::vector<SectionInfo> sections;
    QHash<QByteArray, qsizetype> byName; // folded name -> index of its first occurrence
    {
        LineReader reader(content);
        Line line;
        SectionInfo* current = nullptr;
        while (reader.Next(line)) {
            const Parsed parsed = Parse(LineText(content, line));
            if (parsed.kind == Kind::Header) {
                const QByteArray name = Folded(parsed.name);
                if (byName.contains(name)) {
                    current = nullptr; // a later duplicate is never searched
                } else {
                    byName.insert(name, qsizetype(sections.size()));
                    sections.push_back(SectionInfo{line.next, {}, -1});
                    current = &sections.back();
                }
                continue;
            }
            if (!current || parsed.kind == Kind::Blank)
                continue;
            current->insertAt = line.next;
            if (parsed.kind == Kind::Key)
                current->keys.insert(Folded(parsed.name));
        }
    }

    const QByteArray eol = LineEnding(content);
    std::vector<std::pair<qsizetype, QByteArray>> insertions; // position, text
    std::vector<QByteArray> fresh; // sections to add at the end, header and keys
    for (const SectionDefaults& section : wanted) {
        const QByteArrayView name = Trimmed(section.name);
        const QByteArray foldedName = Folded(name);
        auto it = byName.constFind(foldedName);
        if (it == byName.cend()) {
            // A second wanted entry of the same name joins this one instead of adding a
            // duplicate section, whose keys would never be read.
            it = byName.insert(foldedName, qsizetype(sections.size()));
            sections.push_back(SectionInfo{0, {}, qsizetype(fresh.size())});
            fresh.push_back('[' + name.toByteArray() + ']' + eol);
        }
        SectionInfo& info = sections[size_t(*it)];
        QByteArray added;
        for (const auto& [key, value] : section.keys) {
            const QByteArrayView trimmedKey = Trimmed(key);
            const QByteArray folded = Folded(trimmedKey);
            if (info.keys.contains(folded))
                continue;
            info.keys.insert(folded);
            AppendKeyLine(added, trimmedKey, value, eol);
        }
        if (info.fresh >= 0)
            fresh[size_t(info.fresh)].append(added);
        else if (!added.isEmpty())
            insertions.emplace_back(info.insertAt, std::move(added));
    }
    if (insertions.empty() && fresh.empty())
        return std::nullopt;
    QByteArray tail;
    for (const QByteArray& section : fresh)
        tail.append(section);

    std::stable_sort(insertions.begin(), insertions.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QByteArray out;
    qsizetype copied = 0;
    for (const auto& [at, text] : insertions) {
        out.append(content.sliced(copied, at - copied));
        copied = at;
        if (at == content.size() && !EndsWithLineEnding(out))
            out.append(eol);
        out.append(text);
    }
    out.append(content.sliced(copied));
    if (!tail.isEmpty()) {
        if (!out.isEmpty() && !EndsWithLineEnding(out))
            out.append(eol);
        out.append(tail);
    }
    return out;
}

bool HasExactLine(QByteArrayView content, QByteArrayView wanted)
{
    LineReader reader(content);
    Line line;
    while (reader.Next(line)) {
        if (LineText(content, line) == wanted)
            return true;
    }
    return false;
}

QByteArray LineEnding(QByteArrayView content)
{
    for (qsizetype i = 0; i < content.size(); ++i) {
        if (content[i] == '\n')
            return QByteArrayLiteral("\n");
        if (content[i] == '\r')
            return (i + 1 < content.size() && content[i + 1] == '\n') ? QByteArrayLiteral("\r\n")
                                                                      : QByteArrayLiteral("\r");
    }
    return QByteArrayLiteral("\r\n");
}

bool IsWritable(QByteArrayView text)
{
    return !text.contains('\r') && !text.contains('\n') && !text.contains('\0');
}

bool IsWritableSection(QByteArrayView name)
{
    if (!IsWritable(name))
        return false;
    for (qsizetype i = 0; i < name.size();) {
        const qsizetype length = CharLength(name, i);
        // A ']' of its own would end the header early; a lead byte at the end would take the
        // header's ']' as its second byte.
        if ((length == 1 && name[i] == ']') ||
            (length == 1 && IsLeadByte(static_cast<unsigned char>(name[i]))))
            return false;
        i += length;
    }
    return true;
}

bool IsWritableKey(QByteArrayView name)
{
    // '=' would end the key early; a leading '[' would make the line a header.
    const QByteArrayView trimmed = Trimmed(name);
    return IsWritable(name) && !name.contains('=') && !trimmed.startsWith('[');
}

} // namespace naming::ini
