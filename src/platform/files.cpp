#include "platform/files.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <random>

#include "platform/localpath.h"

namespace files {
namespace {

// Signals that would end the program in the middle of a save wait until it is over, then are
// raised again with the program's own dispositions. Handlers, not a blocked mask: a signal sent
// to the process may land on any of its threads.
class HeldSignals {
  public:
    HeldSignals() {
        caught_ = 0;
        struct sigaction hold {};
        hold.sa_handler = [](int sig) { caught_ = sig; };
        hold.sa_flags = SA_RESTART;
        sigemptyset(&hold.sa_mask);
        for (size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &hold, &old_[i]);
    }
    ~HeldSignals() {
        for (size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &old_[i], nullptr);
        if (caught_) ::raise(caught_);
    }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

  private:
    static constexpr std::array<int, 4> kSignals = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};
    static inline volatile sig_atomic_t caught_ = 0;
    std::array<struct sigaction, kSignals.size()> old_{};
};

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    operator int() const { return fd_; }

  private:
    int fd_;
};

QByteArray folderOf(const QByteArray& name) {
    const qsizetype slash = name.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : name.left(slash);
}

// The file a name leads to: links followed, the last one also when it leads nowhere yet, so
// that saving through it makes the file it names. Nothing, with errno set, on a loop.
std::optional<QByteArray> followLinks(QByteArray name) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(name.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
        QByteArray to(PATH_MAX, 0);
        const ssize_t n = ::readlink(name.constData(), to.data(), to.size());
        if (n < 0) return std::nullopt;
        to.truncate(n);
        name = to.startsWith('/') ? to : folderOf(name) + '/' + to;
    }
    errno = ELOOP;
    return std::nullopt;
}

bool writeAllAt(int fd, const QByteArray& data, qint64 from, qint64 to, qint64& done) {
    for (done = from; done < to;) {
        const ssize_t n = ::pwrite(fd, data.constData() + done, size_t(to - done), done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

bool readAll(int fd, QByteArray& out) {
    for (;;) {
        char chunk[65536];
        const ssize_t n = ::pread(fd, chunk, sizeof chunk, out.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(chunk, n);
    }
}

// Devices and FIFOs: written as they are, never replaced by a regular file.
Written writeDevice(const QByteArray& name, const QByteArray& data) {
    // O_NONBLOCK: a FIFO without a reader fails at once instead of hanging the editor.
    const Fd fd(::open(name.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd < 0) return {Written::Untouched, errno};
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    qint64 done = 0;
    for (; done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {Written::Untouched, errno};
        done += n;
    }
    return {};
}

// Rewrites a regular file in place. Its room is reserved before the first byte is overwritten;
// if anything fails after all, the bytes overwritten and the old length are put back.
Written overwrite(const QByteArray& name, const QByteArray& data) {
    const Fd fd(::open(name.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (fd < 0)
        return {errno == EACCES || errno == EPERM ? Written::ReadOnly : Written::Untouched, errno};
    QByteArray old;
    if (!readAll(fd, old)) return {Written::Untouched, errno};
    const qint64 oldSize = old.size(), newSize = data.size();
    const auto backToOldSize = [&](int err) {
        return Written{::ftruncate(fd, oldSize) == 0 ? Written::Untouched : Written::Damaged, err};
    };
    if (newSize > oldSize) {
        const int err = ::posix_fallocate(fd, oldSize, newSize - oldSize);
        struct statvfs fs {};
        if ((err == EOPNOTSUPP || err == EINVAL) && ::fstatvfs(fd, &fs) == 0 &&
            qint64(fs.f_bavail) * qint64(fs.f_frsize) < newSize - oldSize)
            return backToOldSize(ENOSPC);
        // A partial reservation may have made the file longer.
        if (err != 0 && err != EOPNOTSUPP && err != EINVAL) return backToOldSize(err);
    }
    qint64 done = 0;
    if (writeAllAt(fd, data, 0, newSize, done) && ::ftruncate(fd, newSize) == 0 && ::fsync(fd) == 0)
        return {};
    const int err = errno;
    struct stat st {};
    const bool sameSize = ::fstat(fd, &st) == 0 && st.st_size == oldSize;
    if (done == 0 && sameSize) return {Written::Untouched, err};
    // A file already cut short gets all its old bytes back.
    qint64 restored = 0;
    if (writeAllAt(fd, old, 0, sameSize ? std::min(done, oldSize) : oldSize, restored) &&
        (sameSize || ::ftruncate(fd, oldSize) == 0) && ::fsync(fd) == 0)
        return {Written::Restored, err};
    return {Written::Damaged, err};
}

// Owner and group, as far as we may; mode; then the access control list and the other extended
// attributes, by name, last, so that the mode does not change the list's mask.
void copyWhatItIs(const QByteArray& from, const struct stat& old, int to) {
    if (::fchown(to, old.st_uid, old.st_gid) != 0) (void)!::fchown(to, uid_t(-1), old.st_gid);
    ::fchmod(to, old.st_mode & 07777);
    QByteArray names(65536, 0);
    const ssize_t n = ::listxattr(from.constData(), names.data(), names.size());
    for (qsizetype at = 0; at < n;) {
        const char* attr = names.constData() + at;
        QByteArray value(65536, 0);
        const ssize_t size = ::getxattr(from.constData(), attr, value.data(), value.size());
        if (size >= 0) (void)::fsetxattr(to, attr, value.constData(), size_t(size), 0);
        at += qsizetype(std::strlen(attr)) + 1;
    }
}

QByteArray tempName(const QByteArray& folder) {
    static std::mt19937 random{std::random_device{}()};
    return folder + QByteArray("/.vekedit-") + QByteArray::number(random(), 36);
}

// Writes a new file beside the old one and puts it in its place, so that the old file stays
// until the new one is whole on the disk. The new file has no name until then, so a program
// killed while writing leaves nothing behind.
Written replace(const QByteArray& name, const QByteArray& data, const struct stat* old) {
    const QByteArray folder = folderOf(name);
    QByteArray temp;
    // An unnamed file is named through /proc, which a chroot may lack.
    const bool proc = ::access("/proc/self/fd", X_OK) == 0;
    errno = EOPNOTSUPP;
    int unnamed = proc ? ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600) : -1;
    if (unnamed < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
        // A file system without unnamed files: a named one, removed again on failure.
        temp = folder + "/.vekedit-XXXXXX";
        unnamed = ::mkostemp(temp.data(), O_CLOEXEC);
    }
    const Fd fd(unnamed);
    if (fd < 0) return {Written::Untouched, errno};
    const auto fail = [&](int err) {
        if (!temp.isEmpty()) ::unlink(temp.constData());
        return Written{Written::Untouched, err};
    };
    if (old) {
        copyWhatItIs(name, *old, fd);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    qint64 done = 0;
    if (!writeAllAt(fd, data, 0, data.size(), done) || ::fsync(fd) != 0) return fail(errno);
    if (temp.isEmpty()) {  // named only for the moment it takes to put it in place
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(int(fd));
        int linked;
        do {
            temp = tempName(folder);
            linked =
                ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, temp.constData(), AT_SYMLINK_FOLLOW);
        } while (linked != 0 && errno == EEXIST);
        if (linked != 0) {
            const int err = errno;
            temp.clear();
            return fail(err);
        }
    }
    if (::rename(temp.constData(), name.constData()) != 0) return fail(errno);
    const Fd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir >= 0) ::fsync(dir);  // the new name on the disk too
    return {};
}

}  // namespace

QString reason(int err) {
    switch (err) {
        case ENOSPC:
            return QStringLiteral("ディスクに空きがありません");
        case EDQUOT:
            return QStringLiteral("ディスクの使用量の上限（クォータ）を超えています");
        case EACCES:
            return QStringLiteral("アクセスが許可されていません");
        case EPERM:
            return QStringLiteral("この操作は許可されていません");
        case EROFS:
            return QStringLiteral("読み取り専用のファイルシステムです");
        case ENOENT:
            return QStringLiteral("ファイルかフォルダーが見つかりません");
        case ENOTDIR:
            return QStringLiteral("パスの途中にフォルダーでないものがあります");
        case EISDIR:
            return QStringLiteral("フォルダーです。ファイルを選んでください");
        case EIO:
            return QStringLiteral("入出力エラーです（ディスクか接続の不具合）");
        case ENAMETOOLONG:
            return QStringLiteral("ファイル名が長すぎます");
        case ELOOP:
            return QStringLiteral("シンボリックリンクが多すぎるか、循環しています");
        case EFBIG:
            return QStringLiteral("ファイルが大きすぎます");
        case ETXTBSY:
            return QStringLiteral("実行中のプログラムのファイルです");
        case EMFILE:
            return QStringLiteral("開いているファイルが多すぎます");
        case ENXIO:
            return QStringLiteral("読み出す側のいないパイプか、つながっていない装置です");
        default:
            return QStringLiteral("エラー番号 %1（%2）")
                .arg(err)
                .arg(QString::fromLocal8Bit(std::strerror(err)));
    }
}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<QString> InputFile::open(const QString& path) {
    const int fd =
        ::open(localpath::toBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return reason(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return reason(err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        if (S_ISDIR(st.st_mode)) return reason(EISDIR);
        return QStringLiteral("通常のファイルではありません（デバイスやパイプなど）");
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
        n = ::read(fd_, buffer.data() + old, size_t(max));
    } while (n < 0 && errno == EINTR);
    if (n < 0) error_ = reason(errno);
    buffer.resize(old + std::max<ssize_t>(n, 0));
    return n;
}

Stamp stamp(const QString& path) {
    Stamp s;
    const std::optional<QByteArray> target = followLinks(localpath::toBytes(path));
    if (!target) return s;
    // One spelling for one file: the folder as the system resolves it.
    const QByteArray folder = folderOf(*target);
    if (char* real = ::realpath(folder.constData(), nullptr)) {
        s.path = QByteArray(real) + '/' + target->mid(target->lastIndexOf('/') + 1);
        ::free(real);
    } else {
        s.path = *target;
    }
    struct stat st {};
    if (::stat(target->constData(), &st) != 0) return s;
    s.exists = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.modified = st.st_mtim;
    return s;
}

bool changedSince(const Stamp& then, const Stamp& now) {
    return then.exists && now.exists && then.path == now.path &&
           (then.device != now.device || then.inode != now.inode || then.size != now.size ||
            then.modified.tv_sec != now.modified.tv_sec ||
            then.modified.tv_nsec != now.modified.tv_nsec);
}

Written writeFile(const QString& path, const QByteArray& data) {
    const std::optional<QByteArray> name = followLinks(localpath::toBytes(path));
    if (!name) return {Written::Untouched, errno};
    struct stat old {};
    const bool exists = ::stat(name->constData(), &old) == 0;
    if (!exists && errno != ENOENT) return {Written::Untouched, errno};
    if (exists && S_ISDIR(old.st_mode)) return {Written::Untouched, EISDIR};
    // Writing a device by way of a new file would replace the node with a regular file.
    if (exists && !S_ISREG(old.st_mode)) return writeDevice(*name, data);
    if (exists && ::faccessat(AT_FDCWD, name->constData(), W_OK, AT_EACCESS) != 0)
        return {errno == EACCES || errno == EPERM ? Written::ReadOnly : Written::Untouched, errno};

    const HeldSignals held;
    // Every name of a file with several sees the new text.
    if (exists && old.st_nlink > 1) return overwrite(*name, data);
    const Written written = replace(*name, data, exists ? &old : nullptr);
    // A folder we may not create files in, or a file mounted in place, that we may write.
    if (exists && written.outcome == Written::Untouched &&
        (written.error == EACCES || written.error == EPERM || written.error == EBUSY))
        return overwrite(*name, data);
    return written;
}

}  // namespace files
