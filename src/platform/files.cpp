#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

#include "platform/localpath.h"

namespace files {
namespace {

QString systemReason(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

std::optional<QString> writeInPlace(const QString& path, const QByteArray& data) {
    // O_NONBLOCK: a FIFO without a reader fails at once instead of hanging the editor.
    const int fd =
        ::open(localpath::toBytes(path).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
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
std::optional<QString> overwriteKeepingOld(const QString& path, const QByteArray& data) {
    const int fd = ::open(localpath::toBytes(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
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

std::optional<QString> writeFile(const QString& path, const QByteArray& data) {
    // QSaveFile would replace a device node with a regular file: write those in place.
    const QFileInfo target(path);
    if (target.exists() && !target.isFile() && !target.isDir()) return writeInPlace(path, data);

    QSaveFile file(path);
    // Qt's own fallback would truncate the old file before it knows the new one fits.
    file.setDirectWriteFallback(false);
    // Unbuffered, so that a full disk is reported by the write with its reason.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // A folder we may not create files in, holding a file we may write.
        if (target.isFile() && target.isWritable()) return overwriteKeepingOld(path, data);
        return file.errorString();
    }
    if (file.write(data) != data.size()) {
        // A short write leaves QSaveFile without an error of its own; errno has the reason.
        const int err = errno;
        const QString reason =
            file.error() != QFileDevice::NoError ? file.errorString() : systemReason(err);
        file.cancelWriting();
        return reason;
    }
    if (!file.commit()) return file.errorString();
    return std::nullopt;
}

}  // namespace files
