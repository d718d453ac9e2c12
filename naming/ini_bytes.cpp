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
        if (length == 1 && out[i] >= 'A' && out[i] <= 'Z')
            out[i] = char(out[i] - 'A' + 'a');
        i += length;
    }
    return out;
}

struct Line
{
    QByteArrayView text; // without the line ending
    qsizetype begin = 0; // where it starts in the content
    qsizetype next = 0;  // where the following line starts
};

// Lines of a content, ended by CR LF, LF or CR; the last one may have no ending. CR and LF are
// never part of a two-byte GBK character, so lines split on bytes. The next CR and the next LF
// are remembered, so that a file without one of them is not searched to its end at every line.
class LineReader
{
public:
    explicit LineReader(QByteArrayView content, qsizetype from = 0)
        : m_content(content), m_pos(from)
    {
    }

    bool Next(Line& line)
    {
        if (m_pos >= m_content.size())
            return false;
        if (m_lf < m_pos)
            m_lf = Find('\n');
        if (m_cr < m_pos)
            m_cr = Find('\r');
        const qsizetype end = std::min(m_lf, m_cr);
        // CR LF is one ending (the LF found is the content's end when there is none).
        const qsizetype next =
            std::min(end == m_cr && m_lf == end + 1 ? end + 2 : end + 1, m_content.size());
        line = {m_content.sliced(m_pos, end - m_pos), m_pos, next};
        m_pos = next;
        return true;
    }

private:
    qsizetype Find(char c) const
    {
        const void* hit =
            std::memchr(m_content.data() + m_pos, c, size_t(m_content.size() - m_pos));
        return hit ? static_cast<const char*>(hit) - m_content.data() : m_content.size();
    }

    QByteArrayView m_content;
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
    line = Trimmed(line);
    if (line.isEmpty())
        return {Kind::Blank, {}, {}};
    if (line[0] == '[') {
        // The name runs to the first ']' that is a character of its own. Without one the line is
        // no header, as for the platform: a key under it stays in the section before.
        qsizetype j = 1;
        while (j < line.size() && line[j] != ']')
            j += CharLength(line, j);
        if (j < line.size())
            return {Kind::Header, Trimmed(line.sliced(1, j - 1)), {}};
    }
    // '=' (0x3D) is never the second byte of a two-byte character.
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return {};
    return {Kind::Key, Trimmed(line.first(eq)), Trimmed(line.sliced(eq + 1))};
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

// The line ending of the content's first line: "\r\n", "\n" or "\r"; "\r\n" when it has none.
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

// The key's line in the first section of that name, and what it holds; nothing when either is
// absent. Before the section, only a line that starts with '[' or a blank can be its header: the
// others are passed over without being parsed.
std::optional<std::pair<Line, Parsed>> FindKey(QByteArrayView content, QByteArrayView section,
                                               QByteArrayView key)
{
    LineReader reader(content);
    bool inSection = false;
    for (Line line; reader.Next(line);) {
        if (!inSection && (line.text.isEmpty() || (line.text[0] != '[' && !IsBlank(line.text[0]))))
            continue;
        const Parsed parsed = Parse(line.text);
        if (parsed.kind == Kind::Header) {
            if (inSection)
                break; // only the first section of that name is searched
            inSection = NamesEqual(parsed.name, section);
        } else if (inSection && parsed.kind == Kind::Key && NamesEqual(parsed.name, key)) {
            return std::pair(line, parsed);
        }
    }
    return std::nullopt;
}

} // namespace

bool NamesEqual(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && Folded(a) == Folded(b);
}

QByteArray ReadValue(QByteArrayView content, QByteArrayView section, QByteArrayView key)
{
    // Blanks around the names asked for are ignored, as around the names stored.
    const auto found = FindKey(content, Trimmed(section), Trimmed(key));
    return found ? ReadBack(found->second.value) : QByteArray();
}

std::optional<QByteArray> WriteValue(QByteArrayView content, QByteArrayView section,
                                     QByteArrayView key, QByteArrayView value)
{
    // New lines carry the trimmed names: a stored " a" would be read as "a" anyway.
    section = Trimmed(section);
    key = Trimmed(key);
    const auto found = FindKey(content, section, key);
    if (!found) // a new key, in a new section if need be
        return AddMissing(content,
                          {{section.toByteArray(), {{key.toByteArray(), value.toByteArray()}}}});
    const auto& [line, parsed] = *found;
    if (parsed.value == value)
        return std::nullopt;
    QByteArray out;
    out.append(content.first(line.begin))
        .append(parsed.name)
        .append('=')
        .append(value)
        .append(content.sliced(line.begin + line.text.size()));
    if (out == content)
        return std::nullopt;
    return out;
}

std::optional<QByteArray> AddMissing(QByteArrayView content,
                                     const std::vector<SectionDefaults>& wanted)
{
    struct SectionInfo
    {
        qsizetype insertAt = 0; // after its last non-blank line; the end for a section to add
        QSet<QByteArray> keys;  // folded
        QByteArray added;       // the lines to insert there
    };
    // The first section of each name in the order of the content, then the sections to add.
    std::vector<SectionInfo> sections;
    QHash<QByteArray, qsizetype> byName; // folded name -> index in sections
    LineReader reader(content);
    SectionInfo* current = nullptr;
    for (Line line; reader.Next(line);) {
        const Parsed parsed = Parse(line.text);
        if (parsed.kind == Kind::Header) {
            current = nullptr; // a later duplicate is never searched
            if (const QByteArray name = Folded(parsed.name); !byName.contains(name)) {
                byName.insert(name, qsizetype(sections.size()));
                current = &sections.emplace_back(SectionInfo{line.next, {}, {}});
            }
        } else if (current && parsed.kind != Kind::Blank) {
            current->insertAt = line.next;
            if (parsed.kind == Kind::Key)
                current->keys.insert(Folded(parsed.name));
        }
    }

    const QByteArray eol = LineEnding(content);
    for (const SectionDefaults& section : wanted) {
        const QByteArrayView name = Trimmed(section.name);
        const QByteArray foldedName = Folded(name);
        auto it = byName.constFind(foldedName);
        if (it == byName.cend()) {
            // A second wanted entry of the same name joins this one instead of adding a
            // duplicate section, whose keys would never be read.
            it = byName.insert(foldedName, qsizetype(sections.size()));
            sections.push_back({content.size(), {}, '[' + name.toByteArray() + ']' + eol});
        }
        SectionInfo& info = sections[size_t(*it)];
        for (const auto& [key, value] : section.keys) {
            const QByteArrayView trimmedKey = Trimmed(key);
            const QByteArray folded = Folded(trimmedKey);
            if (info.keys.contains(folded))
                continue;
            info.keys.insert(folded);
            info.added.append(trimmedKey).append('=').append(value).append(eol);
        }
    }
    if (std::ranges::all_of(sections, [](const SectionInfo& s) { return s.added.isEmpty(); }))
        return std::nullopt;

    QByteArray out;
    qsizetype copied = 0;
    for (const SectionInfo& info : sections) {
        if (info.added.isEmpty())
            continue;
        out.append(content.sliced(copied, info.insertAt - copied));
        copied = info.insertAt;
        if (!out.isEmpty() && out.back() != '\n' && out.back() != '\r') // the last line, unended
            out.append(eol);
        out.append(info.added);
    }
    return out.append(content.sliced(copied));
}

bool HasExactLine(QByteArrayView content, QByteArrayView wanted)
{
    LineReader reader(content);
    for (Line line; reader.Next(line);) {
        if (line.text == wanted)
            return true;
    }
    return false;
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
        if (length == 1 && (name[i] == ']' || IsLeadByte(static_cast<unsigned char>(name[i]))))
            return false;
        i += length;
    }
    return true;
}

bool IsWritableKey(QByteArrayView name)
{
    // '=' would end the key early; a leading '[' would make the line a header.
    return IsWritable(name) && !name.contains('=') && !Trimmed(name).startsWith('[');
}

} // namespace naming::ini
