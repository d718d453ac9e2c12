#include "file_io.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace naming::fileio {
namespace {

// Closes the descriptor on every way out.
class Fd
{
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now and reports close's own error (0 when fine).
    int Close()
    {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int fd_;
};

int WriteAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        size -= written;
    }
    return 0;
}

QByteArray DirectoryOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.first(slash);
}

QByteArray BaseNameOf(const QByteArray& path)
{
    return path.sliced(path.lastIndexOf('/') + 1);
}

QString NotARegularFile()
{
    return QStringLiteral("该路径不是普通文件（是管道或设备）");
}

} // namespace

QString ReasonFromErrno(int error)
{
    switch (error) {
    case ENOENT:
        return QStringLiteral("文件或其所在的文件夹不存在");
    case ENOTDIR:
        return QStringLiteral("路径中有一级不是文件夹");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有访问权限");
    case EROFS:
        return QStringLiteral("所在的文件系统是只读的");
    case ENOSPC:
        return QStringLiteral("磁盘空间已满");
    case EDQUOT:
        return QStringLiteral("磁盘配额已用完");
    case EFBIG:
        return QStringLiteral("文件超过了允许的大小");
    case EISDIR:
        return QStringLiteral("该路径是一个文件夹");
    case EIO:
        return QStringLiteral("磁盘读写出错");
    case ENAMETOOLONG:
        return QStringLiteral("路径太长");
    case ELOOP:
        return QStringLiteral("符号链接层数太多");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("打开的文件太多");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("文件正被占用");
    default:
        return QStringLiteral("系统错误 %1（%2）")
            .arg(error)
            .arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

ReadResult ReadWholeFile(const QString& path)
{
    ReadResult result;
    const QByteArray native = QFile::encodeName(path);
    int raw;
    // Non-blocking, so that a named pipe in the file's place cannot hold the program at open.
    do {
        raw = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (raw < 0 && errno == EINTR);
    const auto fail = [&](int error) {
        result.error = error;
        result.reason = ReasonFromErrno(error);
        return result;
    };
    if (raw < 0)
        return fail(errno);
    Fd fd(raw);
    struct stat info;
    if (::fstat(fd.get(), &info) != 0)
        return fail(errno);
    if (S_ISDIR(info.st_mode))
        return fail(EISDIR);
    // A pipe or a device (a link to /dev/zero, say) could be read for ever.
    if (!S_ISREG(info.st_mode)) {
        result.error = EINVAL;
        result.reason = NotARegularFile();
        return result;
    }
    QByteArray data;
    data.resize(qsizetype(info.st_size > 0 ? info.st_size : 0) + 1);
    qsizetype size = 0;
    for (;;) {
        if (size == data.size())
            data.resize(data.size() * 2 + 4096);
        const ssize_t got = ::read(fd.get(), data.data() + size, size_t(data.size() - size));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (got == 0)
            break;
        size += got;
    }
    data.truncate(size);
    result.ok = true;
    result.data = std::move(data);
    return result;
}

QString ReplaceFile(const QString& path, const QByteArray& data)
{
    QByteArray target = QFile::encodeName(path);
    // Through a symbolic link, the file it points to is replaced, and the link stays.
    struct stat linkInfo;
    if (::lstat(target.constData(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(target.constData(), resolved))
            target = QByteArray(resolved);
    }
    struct stat info;
    const bool exists = ::stat(target.constData(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode))
        return ReasonFromErrno(EISDIR);
    // Never rename over a pipe or a device: through a link that would replace, say, /dev/null.
    if (exists && !S_ISREG(info.st_mode))
        return NotARegularFile();

    const QByteArray directory = DirectoryOf(target);
    QByteArray temporary;
    int raw = -1;
    for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
        temporary = directory + '/' + '.' + BaseNameOf(target) + ".tmp" +
                    QByteArray::number(QRandomGenerator::global()->generate(), 16);
        raw = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        // The new content is written beside the file first, so it is the folder that must be
        // writable: say so, as the file itself may well be.
        if (raw < 0 && (errno == EACCES || errno == EPERM))
            return QStringLiteral("没有在文件所在的文件夹“%1”中新建文件的权限")
                .arg(QFile::decodeName(directory));
        if (raw < 0 && errno != EEXIST && errno != EINTR)
            return ReasonFromErrno(errno);
    }
    if (raw < 0)
        return ReasonFromErrno(EEXIST);
    Fd fd(raw);
    const auto fail = [&](int error) {
        ::unlink(temporary.constData());
        return ReasonFromErrno(error);
    };
    if (exists) {
        // Keep the old file's mode and, where allowed, its owner.
        ::fchmod(fd.get(), info.st_mode & 07777);
        if (::fchown(fd.get(), info.st_uid, info.st_gid) != 0) {
            // Not the owner: the file becomes ours, as any rewrite by this user would make it.
        }
    }
    if (const int error = WriteAll(fd.get(), data.constData(), data.size()))
        return fail(error);
    if (::fsync(fd.get()) != 0)
        return fail(errno);
    if (const int error = fd.Close())
        return fail(error);
    if (::rename(temporary.constData(), target.constData()) != 0)
        return fail(errno);
    // Make the rename itself durable; a failure here leaves a complete file either way.
    int dir = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

} // namespace naming::fileio
