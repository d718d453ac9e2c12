// Stand-ins for the original platform's profile functions (GetPrivateProfileStringA and
// WritePrivateProfileStringA) over a GBK file: texts are converted to GBK, the file is read anew
// on every call, and a write replaces the file atomically. No message boxes here.
#pragma once

#include <QString>

namespace naming::profile {

// The stored value (INI rules in ini_bytes.h); empty when the file, section or key is absent or
// the file cannot be read.
QString GetString(const QString& path, const QString& section, const QString& key);

struct WriteResult
{
    bool ok = false;         // stored (or already stored: the file was left untouched)
    QString reason;          // why not, in Chinese
    QString unrepresentable; // characters GBK cannot hold, when that was the reason
};

// Stores key=value in the section, creating the file, section and key as needed. Refuses text
// that GBK cannot hold or that holds a line break or NUL, and names that could not be found again
// (ini::IsWritableSection, ini::IsWritableKey): nothing is written then.
WriteResult WriteString(const QString& path, const QString& section, const QString& key,
                        const QString& value);

} // namespace naming::profile
