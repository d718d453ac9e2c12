// Helpers shared by the naming tests: GBK bytes, whole files, the recording message seam and a
// real write failure.
#pragma once

#include "msgbox/message_box.h"
#include "naming/gbk.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QString>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

namespace naming_test {

inline QByteArray Gbk(const QString& text)
{
    return naming::gbk::Encode(text).value();
}

inline QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QByteArray Sha256Hex(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// Inode and modification time: a file left untouched keeps both; an atomic replace changes the
// inode.
struct Stamp
{
    ino_t inode = 0;
    timespec mtime{};
    bool operator==(const Stamp& o) const
    {
        return inode == o.inode && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

inline Stamp StampOf(const QString& path)
{
    struct stat info
    {
    };
    ::stat(QFile::encodeName(path).constData(), &info);
    return Stamp{info.st_ino, info.st_mtim};
}

// Puts the file's times an hour back, so that any later write shows in its stamp at once.
inline void Backdate(const QString& path)
{
    const timespec past{std::time(nullptr) - 3600, 0};
    const timespec times[2] = {past, past};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

// Every entry of the directory (hidden ones too), to see that no temporary file is left.
inline QStringList Entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

// Records every message shown through the seam while it lives.
class MessageRecorder
{
public:
    MessageRecorder()
    {
        previous_ = msgbox::SetHandler([this](const msgbox::Message& m) { messages.push_back(m); });
    }
    ~MessageRecorder() { msgbox::SetHandler(previous_); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<msgbox::Message> messages;

private:
    msgbox::Handler previous_;
};

// Files written while it lives may grow to `bytes` at most: a larger write fails with EFBIG, a real
// failure that root cannot write around (unlike a read-only directory).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
};

} // namespace naming_test
