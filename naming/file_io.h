// Whole-file reads and atomic whole-file replacement, with reasons in Chinese for the messages.
#pragma once

#include <QByteArray>
#include <QString>

namespace naming::fileio {

struct ReadResult
{
    bool ok = false;
    QByteArray data;
    int error = 0;  // the system's error number when it failed
    QString reason; // why it failed, in Chinese; empty when ok
};

// The whole file. A folder, pipe or device in its place is refused, never waited on or read for
// ever.
ReadResult ReadWholeFile(const QString& path);

// Replaces (or creates) the file with `data` atomically: a temporary file beside it (beside the
// target of a symbolic link) is written, flushed to disk and renamed over it, so the old file or
// the new one is there, never a part. An existing file's permissions are kept; a pipe or device
// in its place is refused. Returns an empty
// text on success, otherwise the reason in Chinese; on failure the file is as it was.
QString ReplaceFile(const QString& path, const QByteArray& data);

// A system error number as a short Chinese reason.
QString ReasonFromErrno(int error);

} // namespace naming::fileio
