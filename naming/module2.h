// Module2: the three INI routines through which Kestrel reads, probes and writes name.txt. Each
// takes the file's full path, begins with the existence guard (a missing file is reported in the
// "File Not Found" box and nothing else happens), keeps no state and goes to the file anew.
#pragma once

#include "name_store.h"

#include <QString>

namespace naming {

// The existence guard: true when the path names an ordinary file (a link to one counts);
// otherwise shows the missing-file message (path + " not found.", "File Not Found") and is false.
bool FileExistsOrReport(const QString& path);

// The stored value (at most 254 GBK bytes, never a split character); empty when the file is
// missing (after the message), the section or key is absent or the value is empty.
QString ReadIniValue(const QString& path, const QString& section, const QString& key);

// Stores the value: non-zero when stored (or already stored), 0 when the file is missing (after
// the message; it is never created here) or the write was refused; then `reason`, when given,
// says why (in the language of board::Tr). Text GBK cannot hold, line breaks and names that could not be found again
// are refused before anything is written.
qint32 WriteIniValue(const QString& path, const QString& section, const QString& key,
                     const QString& value, QString* reason = nullptr);

// A line of the file is exactly "[" + section + "]" (no trimming, same case, whole line); false
// when the file is missing (after the message) or cannot be read.
bool IniSectionExists(const QString& path, const QString& section);

} // namespace naming
