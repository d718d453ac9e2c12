// The INI layer fed any file bytes and any sequence of writes. It never crashes, and after each
// write the key reads back as the value cut to 254 bytes without a split character, while every
// other key seen so far reads as before.
#include "naming/ini_bytes.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

namespace ini = naming::ini;

namespace {

struct Name
{
    QByteArray section, key;
};

QByteArray Take(FuzzedDataProvider& data)
{
    const std::string text = data.ConsumeRandomLengthString(300);
    return QByteArray(text.data(), qsizetype(text.size()));
}

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

bool Blank(char c)
{
    return c == ' ' || c == '\t';
}

// A value that reads back as itself, up to the cut: no outer blanks and no outer quotes.
bool Plain(const QByteArray& v)
{
    return ini::IsWritable(v) && (v.isEmpty() || (!Blank(v.front()) && !Blank(v.back()) &&
                                                  v.front() != '"' && v.front() != '\''));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    QByteArray content = Take(data);
    std::vector<Name> seen;
    while (data.remaining_bytes() > 0) {
        const Name name{Take(data), Take(data)};
        const QByteArray value = Take(data);
        if (!ini::IsWritableSection(name.section) || !ini::IsWritableKey(name.key) || !Plain(value))
            continue;
        std::vector<QByteArray> before;
        for (const Name& other : seen)
            before.push_back(ini::ReadValue(content, other.section, other.key));
        if (const std::optional<QByteArray> updated =
                ini::WriteValue(content, name.section, name.key, value))
            content = *updated;
        const QByteArray read = ini::ReadValue(content, name.section, name.key);
        Require(value.startsWith(read) && read.size() <= ini::kMaxValueBytes);
        // Cut only where the next character would cross the 254th byte.
        const bool pair = read.size() + 1 < value.size() &&
                          ini::IsLeadByte(uchar(value[read.size()])) &&
                          ini::IsTrailByte(uchar(value[read.size() + 1]));
        Require(read == value || read.size() + (pair ? 2 : 1) > ini::kMaxValueBytes);
        for (size_t i = 0; i < seen.size(); ++i) {
            const bool same = ini::NamesEqual(seen[i].section.trimmed(), name.section.trimmed()) &&
                              ini::NamesEqual(seen[i].key.trimmed(), name.key.trimmed());
            Require(same || ini::ReadValue(content, seen[i].section, seen[i].key) == before[i]);
        }
        seen.push_back(name);
    }
    return 0;
}
