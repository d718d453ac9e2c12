// The INI layer fed any file bytes and any sequence of reads, writes, section probes and
// completions. It never crashes, and:
// - after writing key=v, reading the key gives Expected(v): v without its outer blanks and tabs,
//   then without one pair of matching outer quotes (" or '), then cut to its first 254 bytes,
//   before a two-byte character that would cross byte 254;
// - every other key (each name found in the file, read or written so far) reads as before;
// - a write changes one line or adds lines, never any other byte, and writing the same again
//   changes nothing; completion only adds lines and keeps every stored value;
// - section probes find exactly the lines equal to "[name]".
// Now and then the same steps go through Module2 on a real file and must give the same bytes.
#include "msgbox/message_box.h"
#include "naming/gbk.h"
#include "naming/ini_bytes.h"
#include "naming/module2.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace ini = naming::ini;

namespace {

// Names the failed check's line (std::source_location needs a newer clang).
void Require(bool condition, int line = __builtin_LINE())
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz_ini: check failed at line %d\n", line);
    std::abort();
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray Trimmed(QByteArray text)
{
    while (!text.isEmpty() && IsBlank(text.front()))
        text.remove(0, 1);
    while (!text.isEmpty() && IsBlank(text.back()))
        text.chop(1);
    return text;
}

bool IsTwoByteAt(const QByteArray& text, qsizetype i)
{
    return ini::IsLeadByte(uchar(text[i])) && i + 1 < text.size() &&
           ini::IsTrailByte(uchar(text[i + 1]));
}

// What a read must give back after `value` was written.
QByteArray Expected(const QByteArray& value)
{
    QByteArray v = Trimmed(value);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.sliced(1, v.size() - 2);
    qsizetype cut = 0;
    while (cut < v.size()) {
        const qsizetype length = IsTwoByteAt(v, cut) ? 2 : 1;
        if (cut + length > ini::kMaxValueBytes)
            break;
        cut += length;
    }
    return v.first(cut);
}

// With FUZZ_INI_TRACE set, each step is printed, to read a failing input.
void Trace(const char* what, const QByteArray& a, const QByteArray& b = {},
           const QByteArray& c = {})
{
    static const bool on = std::getenv("FUZZ_INI_TRACE") != nullptr;
    if (on)
        std::fprintf(stderr, "%s [%s] [%s] [%s]\n", what, a.toPercentEncoding(" []=").constData(),
                     b.toPercentEncoding(" []=").constData(),
                     c.toPercentEncoding(" []=").constData());
}

// Well-formed GBK text: every byte 0x81..0xFE is followed by its second byte.
bool WellFormed(const QByteArray& text)
{
    for (qsizetype i = 0; i < text.size(); i += IsTwoByteAt(text, i) ? 2 : 1) {
        if (ini::IsLeadByte(uchar(text[i])) && !IsTwoByteAt(text, i))
            return false;
    }
    return true;
}

std::vector<QByteArray> Lines(const QByteArray& content)
{
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < content.size(); ++i) {
        if (content[i] != '\r' && content[i] != '\n')
            continue;
        lines.push_back(content.sliced(start, i - start));
        if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < content.size())
        lines.push_back(content.sliced(start));
    return lines;
}

// GBK text the way a user could type it: ASCII with the INI layer's special characters, and
// two-byte characters whose second byte looks like '[', '\', ']', a letter or anything else.
QByteArray Text(FuzzedDataProvider& in, size_t maxChars)
{
    static constexpr char kSpecial[] = " \t\"'=[];aAkKzZ09\\#\x80";
    static constexpr uchar kTrails[] = {0x40, 0x41, 0x5A, 0x5B, 0x5C, 0x5D, 0x61, 0x7A, 0x7E, 0x80};
    QByteArray text;
    const size_t count = in.ConsumeIntegralInRange<size_t>(0, maxChars);
    for (size_t i = 0; i < count && in.remaining_bytes() > 0; ++i) {
        const uint8_t pick = in.ConsumeIntegral<uint8_t>();
        if (pick < 128) {
            text.append(kSpecial[pick % (sizeof kSpecial - 1)]);
        } else if (pick < 160) {
            const char c = char(0x20 + pick % 0x5F);
            text.append(c);
        } else {
            const uint8_t lead = in.ConsumeIntegralInRange<uint8_t>(0x81, 0xFE);
            const uint8_t trail = pick < 200 ? kTrails[pick % sizeof kTrails]
                                             : in.ConsumeIntegralInRange<uint8_t>(0x80, 0xFE);
            text.append(char(lead)).append(char(trail));
        }
    }
    return text;
}

// Long values reach past the 254-byte cut with a mix of one- and two-byte characters.
QByteArray Value(FuzzedDataProvider& in)
{
    QByteArray value = Text(in, 12);
    if (in.ConsumeBool() && !value.isEmpty()) {
        const qsizetype target = in.ConsumeIntegralInRange<qsizetype>(240, 520);
        while (value.size() < target)
            value += value;
        value += Text(in, 4);
    }
    return value;
}

// Section and key names seen in the file (roughly: only candidates for reads and writes), a few
// of each so that a long file does not make every input slow.
void Harvest(const QByteArray& content, std::vector<QByteArray>& sections,
             std::vector<QByteArray>& keys)
{
    for (const QByteArray& raw : Lines(content)) {
        if (sections.size() >= 12 || keys.size() >= 12)
            break;
        const QByteArray line = Trimmed(raw);
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            sections.push_back(Trimmed(line.sliced(1, (close < 0 ? line.size() : close) - 1)));
        } else if (const qsizetype eq = line.indexOf('='); eq >= 0) {
            keys.push_back(Trimmed(line.first(eq)));
        }
    }
}

struct Known
{
    QByteArray section, key, value;
};

// Names are compared without their outer blanks and ignoring ASCII case.
bool SameKey(const Known& known, const QByteArray& section, const QByteArray& key)
{
    return ini::NamesEqual(Trimmed(known.section), Trimmed(section)) &&
           ini::NamesEqual(Trimmed(known.key), Trimmed(key));
}

class Model
{
public:
    explicit Model(QByteArray content) : content_(std::move(content)) {}

    const QByteArray& content() const { return content_; }

    // Reads the key, checks it against what is known and remembers it.
    void Read(const QByteArray& section, const QByteArray& key)
    {
        const QByteArray value = ini::ReadValue(content_, section, key);
        Trace("read", section, key, value);
        Require(value.size() <= ini::kMaxValueBytes);
        if (Known* known = Find(section, key)) {
            Require(known->value == value);
            return;
        }
        if (known_.size() < 96)
            known_.push_back({section, key, value});
    }

    void Write(const QByteArray& section, const QByteArray& key, const QByteArray& value)
    {
        const std::optional<QByteArray> out = ini::WriteValue(content_, section, key, value);
        const QByteArray expected = Expected(value);
        Trace("write", section, key, value);
        Trace(" ->", out.value_or("(unchanged)"));
        if (!out) {
            Require(ini::ReadValue(content_, section, key) == expected);
            return;
        }
        RequireOneLineChanged(content_, *out);
        Require(!ini::WriteValue(*out, section, key, value));
        content_ = *out;
        Require(ini::ReadValue(content_, section, key) == expected);
        bool written = false;
        for (Known& known : known_) {
            if (SameKey(known, section, key)) {
                known.value = expected;
                written = true;
            }
            Require(ini::ReadValue(content_, known.section, known.key) == known.value);
        }
        if (!written && known_.size() < 96)
            known_.push_back({section, key, expected});
    }

    void Probe(const QByteArray& section)
    {
        const QByteArray header = '[' + section + ']';
        bool present = false;
        for (const QByteArray& line : Lines(content_))
            present = present || line == header;
        Require(ini::HasExactLine(content_, header) == present);
    }

    // Completion adds what is missing and changes no stored value: afterwards each wanted key
    // reads as before if it was set, otherwise as before or as its default (the first one given).
    void Complete(const std::vector<ini::SectionDefaults>& wanted)
    {
        std::vector<Known> defaults;
        for (const ini::SectionDefaults& section : wanted) {
            Trace("complete", section.name);
            for (const auto& [key, value] : section.keys) {
                Trace(" with", key, value);
                Read(section.name, key);
                if (!FindIn(defaults, section.name, key))
                    defaults.push_back({section.name, key, Expected(value)});
            }
        }
        const std::optional<QByteArray> out = ini::AddMissing(content_, wanted);
        Trace(" ->", out.value_or("(unchanged)"));
        if (!out)
            return;
        RequireSubsequence(content_, *out);
        content_ = *out;
        for (Known& known : known_) {
            const QByteArray value = ini::ReadValue(content_, known.section, known.key);
            const Known* added = FindIn(defaults, known.section, known.key);
            Require(value == known.value ||
                    (added && known.value.isEmpty() && value == added->value));
            known.value = value;
        }
        Require(!ini::AddMissing(content_, wanted));
    }

private:
    static Known* FindIn(std::vector<Known>& list, const QByteArray& section, const QByteArray& key)
    {
        for (Known& known : list) {
            if (SameKey(known, section, key))
                return &known;
        }
        return nullptr;
    }
    Known* Find(const QByteArray& section, const QByteArray& key)
    {
        return FindIn(known_, section, key);
    }

    // `after` is `before` with one span that holds no line break replaced (or added).
    static void RequireOneLineChanged(const QByteArray& before, const QByteArray& after)
    {
        const qsizetype limit = std::min(before.size(), after.size());
        qsizetype prefix = 0;
        while (prefix < limit && before[prefix] == after[prefix])
            ++prefix;
        qsizetype suffix = 0;
        while (suffix < limit - prefix &&
               before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
            ++suffix;
        const QByteArray removed = before.sliced(prefix, before.size() - prefix - suffix);
        Require(!removed.contains('\r') && !removed.contains('\n'));
    }

    static void RequireSubsequence(const QByteArray& part, const QByteArray& whole)
    {
        qsizetype i = 0;
        for (qsizetype j = 0; j < whole.size() && i < part.size(); ++j)
            i += whole[j] == part[i] ? 1 : 0;
        Require(i == part.size());
    }

    QByteArray content_;
    std::vector<Known> known_;
};

// The same write, read and probe through Module2 on a real file, in a folder of its own that
// goes with the check (libFuzzer ends without running static destructors).
void CheckOnRealFile(const QByteArray& content, const QByteArray& section, const QByteArray& key,
                     const QByteArray& value)
{
    const QString texts[3] = {naming::gbk::Decode(section), naming::gbk::Decode(key),
                              naming::gbk::Decode(value)};
    const QByteArray bytes[3] = {section, key, value};
    for (int i = 0; i < 3; ++i) {
        if (naming::gbk::Encode(texts[i]) != bytes[i])
            return; // a byte pair GBK leaves unassigned: no text to type
    }
    Trace("real file", section, key, value);
    const QTemporaryDir dir(QDir("/dev/shm").exists() ? "/dev/shm/fuzz_ini-XXXXXX" : QString());
    const QString path = dir.filePath("name.txt");
    // A message would mean the file was not found.
    const msgbox::Handler previous =
        msgbox::SetHandler([](const msgbox::Message&) { Require(false); });
    QFile file(path);
    Require(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    Require(naming::ReadIniValue(path, texts[0], texts[1]) ==
            naming::gbk::Decode(ini::ReadValue(content, section, key)));
    Require(naming::IniSectionExists(path, texts[0]) ==
            ini::HasExactLine(content, '[' + section + ']'));
    Require(naming::WriteIniValue(path, texts[0], texts[1], texts[2]) == 1);
    Require(file.open(QIODevice::ReadOnly));
    Require(file.readAll() == ini::WriteValue(content, section, key, value).value_or(content));
    msgbox::SetHandler(previous);
}

// Names the layer is asked to store.
bool Storable(const QByteArray& section, const QByteArray& key)
{
    return ini::IsWritableSection(section) && ini::IsWritableKey(key) && WellFormed(section) &&
           WellFormed(key);
}

std::vector<ini::SectionDefaults> Wanted(FuzzedDataProvider& in, std::vector<QByteArray>& names)
{
    std::vector<ini::SectionDefaults> wanted(in.ConsumeIntegralInRange<size_t>(1, 3));
    for (ini::SectionDefaults& section : wanted) {
        section.name = Text(in, 4);
        if (!Storable(section.name, {}))
            section.name = "s";
        names.push_back(section.name);
        const size_t count = in.ConsumeIntegralInRange<size_t>(0, 3);
        for (size_t i = 0; i < count; ++i) {
            QByteArray key = Text(in, 4);
            QByteArray value = Value(in);
            if (Storable(section.name, key))
                section.keys.emplace_back(std::move(key), std::move(value));
        }
    }
    return wanted;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    Model model(QByteArray::fromStdString(in.ConsumeRandomLengthString()));
    Trace("file", model.content());
    std::vector<QByteArray> sections;
    std::vector<QByteArray> keys;
    Harvest(model.content(), sections, keys);
    for (const QByteArray& section : sections)
        for (const QByteArray& key : keys)
            model.Read(section, key);

    const auto pick = [&in](std::vector<QByteArray>& pool) {
        if (pool.empty() || in.ConsumeBool())
            pool.push_back(Text(in, 6));
        return pool[in.ConsumeIntegralInRange<size_t>(0, pool.size() - 1)];
    };
    bool realFileUsed = false;
    for (int op = 0; op < 24 && in.remaining_bytes() > 0; ++op) {
        switch (in.ConsumeIntegralInRange<int>(0, 9)) {
        case 0:
        case 1:
        case 2:
            model.Read(pick(sections), pick(keys));
            break;
        case 3:
        case 4:
        case 5:
        case 6: {
            const QByteArray section = pick(sections);
            const QByteArray key = pick(keys);
            const QByteArray value = Value(in);
            if (!Storable(section, key))
                break;
            if (!realFileUsed && in.ConsumeIntegral<uint8_t>() == 0x5A) {
                CheckOnRealFile(model.content(), section, key, value);
                realFileUsed = true;
            }
            model.Write(section, key, value);
            break;
        }
        case 7:
            model.Probe(pick(sections));
            break;
        case 8:
            model.Complete(Wanted(in, sections));
            break;
        default:
            break;
        }
    }
    return 0;
}
