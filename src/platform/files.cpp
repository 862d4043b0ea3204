#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/localpath.h"

namespace files {
namespace {

QString systemReason(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

std::optional<QString> writeInPlace(const QByteArray& path, const QByteArray& data) {
    // O_NONBLOCK: a FIFO without a reader fails at once instead of hanging the editor.
    const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return systemReason(errno);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            return systemReason(err);
        }
        done += n;
    }
    if (::close(fd) != 0 && errno != EINTR) return systemReason(errno);
    return std::nullopt;
}

bool writeAllAt(int fd, const QByteArray& data) {
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = ::pwrite(fd, data.constData() + done, data.size() - done, done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

// Overwrites a regular file in place, for a folder where no new file may be made. The room is
// reserved before the first byte is overwritten, and the old bytes are put back if a write
// fails after all, so a failed save leaves the old file as it was.
std::optional<QString> overwriteKeepingOld(const QByteArray& path, const QByteArray& data) {
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return systemReason(errno);
    const auto fail = [fd](int err) {
        ::close(fd);
        return std::optional(systemReason(err));
    };
    QByteArray old;
    for (;;) {
        char chunk[65536];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(errno);
        if (n == 0) break;
        old.append(chunk, n);
    }
    if (data.size() > old.size()) {
        const int err = ::posix_fallocate(fd, 0, data.size());
        if (err == EOPNOTSUPP || err == EINVAL) {
            struct statvfs fs {};
            if (::fstatvfs(fd, &fs) == 0 &&
                qint64(fs.f_bavail) * qint64(fs.f_frsize) < data.size() - old.size())
                return fail(ENOSPC);
        } else if (err != 0) {
            return fail(err);
        }
    }
    if (!writeAllAt(fd, data) || ::ftruncate(fd, data.size()) != 0 || ::fsync(fd) != 0) {
        const int err = errno ? errno : EIO;
        if (!writeAllAt(fd, old) || ::ftruncate(fd, old.size()) != 0)
            return std::optional(systemReason(err) +
                                 QStringLiteral("（元の内容も戻せませんでした）"));
        return fail(err);
    }
    if (::close(fd) != 0 && errno != EINTR) return systemReason(errno);
    return std::nullopt;
}

}  // namespace

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<QString> InputFile::open(const QString& path) {
    const int fd =
        ::open(localpath::toBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return systemReason(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return systemReason(err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        if (S_ISDIR(st.st_mode))
            return QStringLiteral("フォルダーです。ファイルを選んでください。");
        return QStringLiteral("通常のファイルではありません（デバイスやパイプなど）。");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    return std::nullopt;
}

qsizetype InputFile::readInto(QByteArray& buffer, qsizetype max) {
    const qsizetype old = buffer.size();
    buffer.resize(old + max);
    ssize_t n;
    do {
        n = ::read(fd_, buffer.data() + old, max);
    } while (n < 0 && errno == EINTR);
    if (n < 0) error_ = systemReason(errno);
    buffer.resize(old + std::max<ssize_t>(n, 0));
    return n;
}

bool sameFile(const QString& a, const QString& b) {
    struct stat sa {
    }, sb{};
    return !a.isEmpty() && !b.isEmpty() && ::stat(localpath::toBytes(a).constData(), &sa) == 0 &&
           ::stat(localpath::toBytes(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::optional<QString> writeFile(const QString& path, const QByteArray& data) {
    QByteArray name = localpath::toBytes(path);
    struct stat old {};
    const bool exists = ::stat(name.constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) return systemReason(EISDIR);
    // Writing a device by way of a new file would replace the node with a regular file.
    if (exists && !S_ISREG(old.st_mode)) return writeInPlace(name, data);
    // A link is followed: the file it names is replaced and the link stays.
    if (exists) {
        if (char* real = ::realpath(name.constData(), nullptr)) name = real, ::free(real);
    }

    // Written beside it and renamed over it, so that the old file stays until the new one is
    // whole on the disk.
    const qsizetype slash = name.lastIndexOf('/');
    QByteArray temp = (slash < 0 ? QByteArray(".") : name.left(slash)) + "/.vekedit-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        // A folder we may not create files in, holding a file we may write.
        if (exists && ::access(name.constData(), W_OK) == 0) return overwriteKeepingOld(name, data);
        return systemReason(err);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (exists) (void)!::fchown(fd, old.st_uid, old.st_gid);  // as far as we may
    int err = ::fchmod(fd, exists ? old.st_mode & 07777 : 0666 & ~mask) == 0 ? 0 : errno;
    if (!err && !writeAllAt(fd, data)) err = errno ? errno : EIO;
    if (!err && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err && errno != EINTR) err = errno;
    if (!err && ::rename(temp.constData(), name.constData()) != 0) err = errno;
    if (!err) return std::nullopt;
    ::unlink(temp.constData());
    return systemReason(err);
}

}  // namespace files
