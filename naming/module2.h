// Module2: the three INI routines through which the naming code reads, probes and writes
// name.txt. Each takes the file's full path, begins with the existence guard (a missing
// file is reported in the "File Not Found" message box through the msgbox seam and nothing else
// happens), keeps no state and goes to the file anew on every call.
#pragma once

#include <QString>

#include "name_store.h"

namespace naming {

// <program directory>/name.txt, the program directory being QCoreApplication::applicationDirPath().
QString NameFilePath();

// The existence guard: true when the path names an ordinary file (a symbolic link to one counts);
// otherwise shows the missing-file message (Critical, title "File Not Found", text path +
// " not found.") and returns false.
bool FileExistsOrReport(const QString& path);

// The stored value (at most 254 GBK bytes, never a split character); empty when the file is missing
// (after the message), the section or key is absent or the value is empty.
QString ReadIniValue(const QString& path, const QString& section, const QString& key);

// Stores the value: non-zero when stored (or already stored), 0 when the file is missing (after the
// message; a missing file is never created here) or the write failed.
qint32 WriteIniValue(const QString& path, const QString& section, const QString& key,
                     const QString& value);
// The same; on a result of 0, `reason` (when given) receives why, in Chinese, and `unrepresentable`
// (when given) the characters GBK cannot hold if those were the cause (nothing is written then).
qint32 WriteIniValue(const QString& path, const QString& section, const QString& key,
                     const QString& value, QString* reason, QString* unrepresentable = nullptr);

// A line of the file is exactly "[" + section + "]" (no trimming, same case, whole line); false
// when the file is missing (after the message) or cannot be read.
bool IniSectionExists(const QString& path, const QString& section);

} // namespace naming
