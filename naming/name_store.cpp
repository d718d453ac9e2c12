#include "name_store.h"

#include "gbk.h"
#include "ini_bytes.h"

#include "link/port_names.h"
#include "link/text.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace naming {

using board::Tr;

namespace {

constexpr int kLockWaitMs = 2000;
const QByteArray kUtf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");

QString Reason(int error)
{
    switch (error) {
    case ENOENT:
        return Tr("文件或其所在的文件夹不存在", "no such file or folder");
    case ENOTDIR:
        return Tr("路径中有一级不是文件夹", "a part of the path is no folder");
    case EACCES:
    case EPERM:
        return Tr("没有访问权限", "permission denied");
    case EROFS:
        return Tr("所在的文件系统是只读的", "a read-only file system");
    case ENOSPC:
    case EDQUOT:
        return Tr("磁盘空间已满", "the disk is full");
    case EIO:
        return Tr("磁盘读写出错", "an input/output error");
    default:
        return Tr("系统错误 %1（%2）", "system error %1 (%2)")
            .arg(error)
            .arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

// What stands where an ordinary file is needed.
QString NotAFile(mode_t mode)
{
    return S_ISDIR(mode)
               ? Tr("是一个文件夹", "is a folder")
               : Tr("不是普通文件（是管道或设备）", "is no ordinary file (a pipe or device)");
}

// Something other than an ordinary file where a save needs one of its own (the lock, the
// temporary file), named for the message: a pipe would hold whoever opens it for ever, and a
// folder cannot be replaced. Empty when nothing or an ordinary file is there.
QString Obstacle(const QString& path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode))
        return {};
    return QStringLiteral("“%1”%2，请将它移走").arg(path, NotAFile(info.st_mode));
}

QString FolderNotWritable(const QString& path)
{
    return QStringLiteral("没有在文件所在的文件夹“%1”中新建文件的权限")
        .arg(QFileInfo(path).absolutePath());
}

QString Beside(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("name.txt"));
}

// What a save at the path needs: its folder writable (the lock's), and nothing there or an
// ordinary file (a link's target) whose folder is writable too (the temporary file's).
bool Saveable(const QString& path)
{
    const QFileInfo file(path);
    const QFileInfo target(file.exists() ? file.canonicalFilePath() : file.absoluteFilePath());
    return board::CanWrite(QFileInfo(file.absolutePath())) &&
           board::CanWrite(QFileInfo(target.absolutePath())) && (!file.exists() || file.isFile());
}

// Takes name.txt.lock for one read-modify-write. QLockFile takes over a lock whose holder died;
// a live holder is waited for a little, then the save is refused rather than the window frozen.
QString Lock(QLockFile& lock, const QString& path)
{
    // A new file may be the first in its folder (the user's own): the lock needs the folder.
    if (const QString folder = QFileInfo(path).absolutePath(); !QDir().mkpath(folder))
        return QStringLiteral("无法创建文件夹“%1”：%2").arg(folder, Reason(errno));
    const QDeadlineTimer deadline(kLockWaitMs);
    for (;;) {
        // QLockFile opens a lock it finds (and its .rmlock) to read the holder's name.
        for (const QString& name : {lock.fileName(), lock.fileName() + ".rmlock"}) {
            if (const QString blocked = Obstacle(name); !blocked.isEmpty())
                return blocked;
        }
        if (lock.tryLock(0))
            return {};
        if (lock.error() == QLockFile::PermissionError)
            return FolderNotWritable(path);
        if (lock.error() == QLockFile::UnknownError)
            return QStringLiteral("无法创建“%1”：%2").arg(lock.fileName(), Reason(errno));
        // A holder killed before it wrote its name into the lock leaves an empty one, which
        // QLockFile would honour for half a minute; after our wait it can go.
        qint64 pid = 0;
        QString host, application;
        if (deadline.hasExpired() && !lock.getLockInfo(&pid, &host, &application) &&
            lock.removeStaleLockFile())
            continue;
        if (deadline.hasExpired())
            return QStringLiteral("另一个程序正在保存名称文件，请稍后再试");
        QThread::msleep(5);
    }
}

// Replaces the file with `data`: a temporary file beside it (beside a link's target) is written,
// synced and renamed over it, so a crash leaves the old file or the new one, never a part. Only
// the lock's holder writes, so the temporary file has one fixed name, and one that a killed save
// left behind is simply taken over. (QSaveFile's random names could not be told from a user's.)
QString Replace(const QString& path, const QByteArray& data)
{
    // The file was read as an ordinary file (or found missing) under the lock just before.
    const QFileInfo info(path);
    if (info.exists() && !board::CanWrite(info))
        return QStringLiteral("文件是只读的（没有写权限）");
    const QFileInfo target(info.exists() ? info.canonicalFilePath() : info.absoluteFilePath());
    if (!board::CanWrite(QFileInfo(target.absolutePath())))
        return FolderNotWritable(target.filePath());
    // The one temporary file of a save: hidden, beside the file it replaces.
    QFile file(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
               QStringLiteral(".new"));
    file.remove(); // what a killed save left behind
    if (const QString blocked = Obstacle(file.fileName()); !blocked.isEmpty())
        return blocked;
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        // The file itself may be written: it is the folder that holds the new content first.
        const int error = errno;
        return error == EACCES || error == EPERM ? FolderNotWritable(target.filePath())
                                                 : Reason(error);
    }
    if (info.exists()) {
        file.setPermissions(info.permissions());
        // Only root keeps another user's ownership; anyone else's rewrite makes it theirs.
        std::ignore = ::fchown(file.handle(), info.ownerId(), info.groupId());
    }
    errno = 0;
    if (file.write(data) != data.size() || !file.flush() || ::fsync(file.handle()) != 0 ||
        ::rename(QFile::encodeName(file.fileName()).constData(),
                 QFile::encodeName(target.filePath()).constData()) != 0) {
        const int error = errno ? errno : EIO;
        file.remove();
        return Reason(error);
    }
    // Make the rename itself durable.
    if (const int folder = ::open(QFile::encodeName(target.absolutePath()).constData(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return {};
}

QByteArray WithoutBom(const QByteArray& content)
{
    return content.startsWith(kUtf8Bom) ? content.sliced(kUtf8Bom.size()) : content;
}

} // namespace

// A byte order mark, or a header of the file's own sections in UTF-8 ("[地址码" of any address,
// "[软件属性]"); read as GBK, those bytes are no sensible text.
bool FileRead::utf8() const
{
    return data.startsWith(kUtf8Bom) || data.contains(QStringLiteral("[地址码").toUtf8()) ||
           data.contains(QStringLiteral("[软件属性]").toUtf8());
}

QString AddressSection(const QString& addressText)
{
    return QStringLiteral("地址码") + addressText;
}

QString ChannelKey(int channel)
{
    return QStringLiteral("第%1路名称").arg(channel);
}

QString NameFilePath(const QString& programDir)
{
    return board::OwnFolderWritable(programDir) && Saveable(Beside(programDir))
               ? Beside(programDir)
               : Beside(board::UserFolder());
}

QString NameFileToRead(const QString& programDir)
{
    const QString path = NameFilePath(programDir);
    return QFileInfo::exists(path) ? path : Beside(programDir);
}

FileRead ReadFile(const QString& path)
{
    FileRead result;
    // Non-blocking, so that a named pipe in the file's place cannot hold the program at open.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info = {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        result.missing = errno == ENOENT;
        result.error = Reason(errno);
    } else if (!S_ISREG(info.st_mode)) {
        result.error = Tr("该路径", "the path ") + NotAFile(info.st_mode); // a pipe: read for ever
    } else {
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly))
            result.data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            result.error = Reason(EIO);
    }
    if (fd >= 0)
        ::close(fd);
    return result;
}

QString UpdateFile(const QString& path, const Change& change)
{
    QLockFile lock(path + QStringLiteral(".lock"));
    if (const QString failed = Lock(lock, path); !failed.isEmpty())
        return failed;
    const FileRead file = ReadFile(path);
    if (!file.error.isEmpty() && !file.missing)
        return file.error;
    if (file.utf8())
        return QStringLiteral("文件是 UTF-8 编码的，不能混入 GBK 编码的文字");
    const std::optional<QByteArray> updated = change(file.data);
    return updated ? Replace(path, *updated) : QString();
}

Utf8Conversion ConvertFromUtf8(const QString& path)
{
    if (!ReadFile(path).utf8())
        return {}; // the usual case, decided without taking the lock
    QLockFile lock(path + QStringLiteral(".lock"));
    if (const QString failed = Lock(lock, path); !failed.isEmpty())
        return {Utf8Conversion::Failed, {}, {}, failed};
    const FileRead file = ReadFile(path);
    if (!file.error.isEmpty() || !file.utf8())
        return {};
    const QString text = QString::fromUtf8(WithoutBom(file.data));
    const std::optional<QByteArray> bytes = gbk::Encode(text);
    if (!bytes)
        return {Utf8Conversion::Refused, {}, gbk::Unrepresentable(text), {}};
    // A name that is already taken keeps an earlier backup: look for a free one.
    QString backup = path + QStringLiteral(".utf8.bak");
    for (int n = 1; QFileInfo::exists(backup); ++n)
        backup = path + QStringLiteral(".utf8-%1.bak").arg(n);
    if (!QFile::copy(path, backup))
        return {Utf8Conversion::Failed, {}, {}, FolderNotWritable(path)};
    if (const QString failed = Replace(path, *bytes); !failed.isEmpty()) {
        QFile::remove(backup);
        return {Utf8Conversion::Failed, {}, {}, failed};
    }
    return {Utf8Conversion::Converted, backup, {}, {}};
}

namespace {

// What the INI rules read: GBK bytes. A UTF-8 file is read in its GBK form, since the rules would
// take a UTF-8 byte before ']' (as in "[软件属性]") for the first half of a GBK character; one
// that GBK cannot hold is read as it is.
struct IniText
{
    QByteArray bytes;
    bool utf8 = false;
};

IniText ForIni(const FileRead& file)
{
    if (!file.utf8())
        return {file.data};
    const QByteArray text = WithoutBom(file.data);
    const std::optional<QByteArray> bytes = gbk::Encode(QString::fromUtf8(text));
    return bytes ? IniText{*bytes} : IniText{text, true};
}

QString ReadName(const IniText& text, const QString& section, const QString& key)
{
    const auto encode = [&](const QString& name) {
        return text.utf8 ? name.toUtf8() : *gbk::Encode(name);
    };
    const QByteArray value = ini::ReadValue(text.bytes, encode(section), encode(key));
    return text.utf8 ? QString::fromUtf8(value) : gbk::Decode(value);
}

} // namespace

std::array<QString, board::kChannels> ChannelNames(const FileRead& file, int address)
{
    // boardctl and the overview read a UTF-8 file converted in memory: only Kestrel converts it
    // on disk.
    const IniText text = ForIni(file);
    const QString section = AddressSection(QString::number(address));
    std::array<QString, board::kChannels> names;
    for (int channel = 1; channel <= board::kChannels; ++channel)
        names[size_t(channel - 1)] = ReadName(text, section, ChannelKey(channel));
    return names;
}

QString Title(const FileRead& file)
{
    return ReadName(ForIni(file), QStringLiteral("软件属性"), QStringLiteral("名称"));
}

} // namespace naming
