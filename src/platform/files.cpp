#include "platform/files.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QMap>
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
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

// A call that a signal may interrupt, made again until it is not.
template <typename Call>
auto again(Call call) {
    decltype(call()) r;
    do {
        r = call();
    } while (r < 0 && errno == EINTR);
    return r;
}

bool writeAllAt(int fd, QByteArrayView data, qint64 to, qint64& done) {
    for (done = 0; done < to;) {
        const ssize_t n =
            again([&] { return ::pwrite(fd, data.data() + done, size_t(to - done), done); });
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

// The first `max` bytes, or all there are.
bool readAt(int fd, QByteArray& out, qint64 max) {
    out.clear();
    while (out.size() < max) {
        char chunk[65536];
        const ssize_t n = again([&] {
            return ::pread(fd, chunk, size_t(std::min<qint64>(sizeof chunk, max - out.size())),
                           out.size());
        });
        if (n < 0) return false;
        if (n == 0) break;
        out.append(chunk, n);
    }
    return true;
}

QByteArray hashOf(QByteArrayView bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

// The system's name for an open file; without /proc, the one a name resolves to.
QByteArray nameOf(int fd, const QByteArray& fallback) {
    QByteArray name(PATH_MAX, 0);
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    if (const ssize_t n = ::readlink(link.constData(), name.data(), name.size()); n > 0)
        return name.left(n);
    if (char* real = ::realpath(fallback.constData(), nullptr)) {
        name = real;
        ::free(real);
        return name;
    }
    return fallback;
}

Stamp stampOf(int fd, const QByteArray& name, const struct stat& st) {
    Stamp s;
    s.path = nameOf(fd, name);
    s.exists = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    return s;
}

// Extended attributes by name, the access control list among them; nothing if they cannot be
// listed.
std::optional<QMap<QByteArray, QByteArray>> attributes(int fd) {
    QByteArray names(XATTR_LIST_MAX, 0);
    const ssize_t n = ::flistxattr(fd, names.data(), names.size());
    if (n < 0 && errno != ENOTSUP) return std::nullopt;
    QMap<QByteArray, QByteArray> all;
    for (qsizetype at = 0; at < n; at += qsizetype(std::strlen(names.constData() + at)) + 1) {
        const char* name = names.constData() + at;
        QByteArray value(XATTR_SIZE_MAX, 0);
        const ssize_t size = ::fgetxattr(fd, name, value.data(), value.size());
        if (size < 0) return std::nullopt;
        all.insert(name, value.left(size));
    }
    return all;
}

// Makes a new file what the old one is: owner and group, then the access control list, exactly,
// without what the folder's default would add, then the mode, then the other attributes. Whether
// it got there is checked afterwards, as a whole.
bool makeLike(int to, int from, const struct stat& old) {
    const auto want = attributes(from);
    if (!want) return false;
    struct stat now {};
    if (::fstat(to, &now) == 0 && (now.st_uid != old.st_uid || now.st_gid != old.st_gid))
        (void)::fchown(to, old.st_uid, old.st_gid);
    const char* acl = "system.posix_acl_access";
    if (const auto a = want->constFind(acl); a != want->cend())
        (void)::fsetxattr(to, acl, a->constData(), size_t(a->size()), 0);
    else
        (void)::fremovexattr(to, acl);
    (void)::fchmod(to, old.st_mode & 07777);
    const auto have = attributes(to);
    for (auto a = want->cbegin(); a != want->cend(); ++a)
        if (have && (!have->contains(a.key()) || have->value(a.key()) != a.value()))
            (void)::fsetxattr(to, a.key().constData(), a->constData(), size_t(a->size()), 0);
    for (const QByteArray& name : have ? have->keys() : QList<QByteArray>())
        if (!want->contains(name)) (void)::fremovexattr(to, name.constData());
    return ::fstat(to, &now) == 0 && now.st_uid == old.st_uid && now.st_gid == old.st_gid &&
           (now.st_mode & 07777) == (old.st_mode & 07777) && attributes(to) == want;
}

// Devices and FIFOs: written as they are, never replaced by a regular file.
Written writeDevice(int dir, const QByteArray& leaf, int follow, const QByteArrayView data) {
    // O_NONBLOCK: a FIFO without a reader fails at once instead of hanging the editor.
    const Fd fd(again([&] {
        return ::openat(dir, leaf.constData(),
                        O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | follow);
    }));
    if (fd < 0) return {Written::Untouched, errno};
    // A reader that goes away midway fails the save, with EPIPE; its signal would end the editor.
    struct sigaction ignore {};
    struct sigaction was {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &was);
    const std::unique_ptr<struct sigaction, void (*)(struct sigaction*)> restore(
        &was, [](struct sigaction* old) { ::sigaction(SIGPIPE, old, nullptr); });
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return {Written::Untouched, errno};
    for (qint64 done = 0; done < data.size();) {
        const ssize_t n =
            again([&] { return ::write(fd, data.data() + done, size_t(data.size() - done)); });
        if (n <= 0) return {done ? Written::Partial : Written::Untouched, n == 0 ? EIO : errno};
        done += n;
    }
    return {};
}

// Rewrites a regular file in place. Its room is reserved, without making it longer, before the
// first byte is overwritten; if anything fails after that, the bytes overwritten and the old
// length are put back, each whatever became of the other. Only the bytes to be overwritten are
// kept, so a large file costs no more memory than the text.
Written overwrite(int fd, const QByteArray& name, const QByteArray& data) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {Written::Untouched, errno};
    const qint64 oldSize = st.st_size, newSize = data.size();
    QByteArray old;
    if (!readAt(fd, old, std::min(oldSize, newSize))) return {Written::Untouched, errno};
    // What a failed reservation did reserve is given back by cutting at the old length.
    const auto untouched = [&](int err) {
        if (newSize > oldSize) (void)again([&] { return ::ftruncate(fd, oldSize); });
        return Written{Written::Untouched, err};
    };
    if (newSize > oldSize &&
        again([&] { return ::fallocate(fd, FALLOC_FL_KEEP_SIZE, oldSize, newSize - oldSize); })) {
        const int err = errno;
        struct statvfs fs {};
        if (err != EOPNOTSUPP) return untouched(err);
        // A file system that cannot reserve: at least there must be room.
        if (::fstatvfs(fd, &fs) == 0 &&
            qint64(fs.f_bavail) * qint64(fs.f_frsize) < newSize - oldSize)
            return {Written::Untouched, ENOSPC};
    }
    // The old length is cut last, once the new bytes are on the disk: the bytes cut off are not
    // kept, and need not be.
    qint64 done = 0;
    if (writeAllAt(fd, data, newSize, done) && ::fsync(fd) == 0 &&
        (newSize >= oldSize || again([&] { return ::ftruncate(fd, newSize); }) == 0)) {
        Written saved;
        if (newSize < oldSize && ::fsync(fd) != 0) saved = {Written::Unconfirmed, errno};
        if (::fstat(fd, &st) == 0) saved.stamp = stampOf(fd, name, st);
        saved.stamp.hashed = newSize;
        saved.stamp.hash = hashOf(data);
        return saved;
    }
    const int err = errno;
    if (done == 0) return untouched(err);
    qint64 restored = 0;
    bool back = writeAllAt(fd, old, std::min<qint64>(done, old.size()), restored);
    back = again([&] { return ::ftruncate(fd, oldSize); }) == 0 && back;
    back = ::fsync(fd) == 0 && back;
    if (back) return {Written::Restored, err};
    Written damaged{Written::Damaged, err};
    // What is there now is ours, not another program's.
    QByteArray now;
    if (::fstat(fd, &st) == 0 && readAt(fd, now, st.st_size)) {
        damaged.stamp = stampOf(fd, name, st);
        damaged.stamp.hashed = now.size();
        damaged.stamp.hash = hashOf(now);
    }
    return damaged;
}

// The folder a name is in, opened by the system, and the name's last part.
struct Place {
    int dir = -1;
    QByteArray leaf;
    bool readable = false;  // open for reading, so that it can be synced
};

std::optional<Place> placeOf(const QByteArray& name) {
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray folder = slash < 0    ? QByteArray(".")
                              : slash == 0 ? QByteArray("/")
                                           : name.left(slash);
    Place p{-1, name.mid(slash + 1), true};
    if (p.leaf.isEmpty() || p.leaf == "." || p.leaf == "..") {
        errno = EISDIR;
        return std::nullopt;
    }
    p.dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (p.dir < 0 && errno == EACCES) {
        p.readable = false;
        p.dir = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    if (p.dir < 0) return std::nullopt;
    return p;
}

// Writes a new file beside the old one and puts it in its place, so that the old file stays until
// the new one is whole on the disk. The new file has no name until then, where the system allows,
// so a program killed while writing leaves nothing behind. Nothing when no new file can be made
// to be what the old one is: then it is to be rewritten in place.
std::optional<Written> replace(const Place& at, const QByteArray& name, const QByteArray& data,
                               int oldFd, const struct stat* old) {
    const int dir = at.dir;
    const QByteArray fdName = "/proc/self/fd/";
    // An unnamed file is named through /proc, which a chroot may lack.
    const bool proc = ::access("/proc/self/fd", X_OK) == 0;
    // Others may not read it while it is not yet what the old file is.
    const mode_t mode = old ? 0600 : 0666;
    QByteArray temp;
    errno = EOPNOTSUPP;
    int made = proc ? ::openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode) : -1;
    if (made < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
        static std::mt19937 random{std::random_device{}()};
        do {
            temp = ".vekedit-" + QByteArray::number(random(), 36);
            made = ::openat(dir, temp.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, mode);
        } while (made < 0 && errno == EEXIST);
        if (made < 0) temp.clear();
    }
    const Fd fd(made);
    const auto fail = [&](int err) -> std::optional<Written> {
        if (!temp.isEmpty()) ::unlinkat(dir, temp.constData(), 0);
        // A folder we may not create files in, or a file mounted in place.
        if (old && (err == EACCES || err == EPERM || err == EBUSY)) return std::nullopt;
        return Written{Written::Untouched, err};
    };
    if (fd < 0) return fail(errno);
    // What the old file is comes after the bytes: writing clears set-id bits and capabilities.
    qint64 done = 0;
    if (!writeAllAt(fd, data, data.size(), done)) return fail(errno);
    if (old && !makeLike(fd, oldFd, *old)) return fail(EPERM);
    if (::fsync(fd) != 0) return fail(errno);
    if (temp.isEmpty()) {
        const QByteArray self = fdName + QByteArray::number(int(fd));
        const auto link = [&](const QByteArray& to) {
            return ::linkat(AT_FDCWD, self.constData(), dir, to.constData(), AT_SYMLINK_FOLLOW);
        };
        if (!old) {  // a new file: it gets its name whole
            if (link(at.leaf) != 0) return fail(errno);
        } else {
            static std::mt19937 random{std::random_device{}()};
            int linked;
            do {
                temp = ".vekedit-" + QByteArray::number(random(), 36);
                linked = link(temp);
            } while (linked != 0 && errno == EEXIST);
            if (linked != 0) {
                const int err = errno;
                temp.clear();
                return fail(err);
            }
        }
    }
    if (!temp.isEmpty() && ::renameat(dir, temp.constData(), dir, at.leaf.constData()) != 0)
        return fail(errno);
    Written saved;
    struct stat st {};
    // Named by its new name: an unnamed file keeps the name it was made with.
    const Fd named(::openat(dir, at.leaf.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (::fstat(fd, &st) == 0) saved.stamp = stampOf(named, name, st);
    saved.stamp.hashed = data.size();
    saved.stamp.hash = hashOf(data);
    // The new name on the disk too; a file system that cannot sync a folder has nothing to sync.
    if (at.readable && ::fsync(dir) != 0 && errno != EINVAL && errno != EOPNOTSUPP)
        saved.outcome = Written::Unconfirmed, saved.error = errno;
    return saved;
}

// A file the system would not open for writing: one the user may not write is refused; for any
// other reason, such as a file planted by another in a shared folder, the reason is told.
Written refused(int dir, const char* leaf, int err) {
    if (err != EACCES && err != EPERM) return {Written::Untouched, err};
    // Read-only only when the system says so; a check that itself failed tells nothing.
    const bool readOnly = ::faccessat(dir, leaf, W_OK, AT_EACCESS) != 0 &&
                          (errno == EACCES || errno == EPERM || errno == EROFS);
    return {readOnly ? Written::ReadOnly : Written::Untouched, err};
}

// A file made through a link that led nowhere goes again when the save fails, so that nothing is
// left where there was nothing.
Written madeThrough(int dir, const QByteArray& leaf, int fd, Written written) {
    if (written.outcome == Written::Saved || written.outcome == Written::Unconfirmed)
        return written;
    QByteArray to(PATH_MAX, 0);
    const ssize_t n = ::readlinkat(dir, leaf.constData(), to.data(), to.size());
    struct stat made {
    }, there{};
    if (n > 0 && ::fstat(fd, &made) == 0 &&
        ::fstatat(dir, to.left(n).constData(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
        made.st_ino == there.st_ino && made.st_dev == there.st_dev)
        ::unlinkat(dir, to.left(n).constData(), 0);
    return {Written::Untouched, written.error};
}

Written write(const QByteArray& name, const QByteArray& data, bool& existed) {
    const std::optional<Place> at = placeOf(name);
    if (!at) return {Written::Untouched, errno};
    const Fd dir(at->dir);
    const char* leaf = at->leaf.constData();
    struct stat st {};
    if (::fstatat(dir, leaf, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) return {Written::Untouched, errno};
        const HeldSignals held;
        return *replace(*at, name, data, -1, nullptr);
    }
    // A link is followed by the system, also one that leads nowhere yet, and stays a link.
    const bool link = S_ISLNK(st.st_mode);
    const bool dangling = link && ::fstatat(dir, leaf, &st, 0) != 0;
    if (dangling && errno != ENOENT) return {Written::Untouched, errno};
    existed = !dangling;
    const int follow = link ? 0 : O_NOFOLLOW;
    if (!dangling && S_ISDIR(st.st_mode)) return {Written::Untouched, EISDIR};
    // Writing a device by way of a new file would replace the node with a regular file.
    if (!dangling && !S_ISREG(st.st_mode)) return writeDevice(dir, at->leaf, follow, data);
    // O_CREAT, so that the system refuses a file planted by another in a shared folder.
    const Fd fd(again([&] {
        return ::openat(dir, leaf, O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | follow,
                        0666);
    }));
    if (fd < 0) return refused(dir, leaf, errno);
    struct stat old {};
    if (::fstat(fd, &old) != 0) {
        const Written failed{Written::Untouched, errno};
        return dangling ? madeThrough(dir, at->leaf, fd, failed) : failed;
    }
    if (!S_ISREG(old.st_mode)) return {Written::Untouched, EINVAL};  // swapped meanwhile

    const HeldSignals held;
    // A link that led nowhere: what it leads to now is ours, and goes again if the save fails.
    if (dangling) return madeThrough(dir, at->leaf, fd, overwrite(fd, name, data));
    // Every name of a file with several sees the new text, and a link stays a link.
    if (link || old.st_nlink > 1) return overwrite(fd, name, data);
    if (std::optional<Written> replaced = replace(*at, name, data, fd, &old)) return *replaced;
    return overwrite(fd, name, data);
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
        case ENOMEM:
            return QStringLiteral("メモリが足りません");
        case EAGAIN:
            return QStringLiteral("今は読み書きできません（待たないと読めないファイルです）");
        case ENXIO:
            return QStringLiteral("読み出す側のいないパイプか、つながっていない装置です");
        case EPIPE:
            return QStringLiteral("読み出す側が途中でパイプを閉じました");
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
    name_ = localpath::toBytes(path);
    const int fd = ::open(name_.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
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
    fd_ = fd;  // still not blocking: a file of the kernel's may make a reader wait
    return std::nullopt;
}

qsizetype InputFile::readInto(QByteArray& buffer, qsizetype max) {
    const qsizetype old = buffer.size();
    buffer.resize(old + max);
    const ssize_t n = again([&] { return ::read(fd_, buffer.data() + old, size_t(max)); });
    if (n < 0) error_ = reason(errno);
    buffer.resize(old + std::max<ssize_t>(n, 0));
    return n;
}

Stamp InputFile::stamp(QByteArrayView read, bool whole) const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return {};
    Stamp s = stampOf(fd_, name_, st);
    if (whole) s.size = read.size();  // what grew while it was read is a change too
    s.hashed = read.size();
    s.hash = hashOf(read);
    return s;
}

Stamp stamp(const QString& path, qint64 hashed) {
    const QByteArray name = localpath::toBytes(path);
    const Fd at(::open(name.constData(), O_PATH | O_CLOEXEC));
    struct stat st {};
    if (at < 0 || ::fstat(at, &st) != 0) return {};
    Stamp s = stampOf(at, name, st);
    if (!S_ISREG(st.st_mode) || hashed == 0) return s;
    const Fd fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat same {};
    QByteArray bytes;
    if (fd >= 0 && ::fstat(fd, &same) == 0 && same.st_ino == st.st_ino &&
        same.st_dev == st.st_dev && readAt(fd, bytes, hashed < 0 ? st.st_size : hashed)) {
        s.hashed = bytes.size();
        s.hash = hashOf(bytes);
    }
    return s;
}

bool changedSince(const Stamp& then, const QString& path) {
    const Stamp now = stamp(path);
    if (!then.exists || !now.exists || then.path != now.path) return false;
    if (then.device != now.device || then.inode != now.inode || then.size != now.size) return true;
    // The same size, and perhaps the same time where the clock is coarse: the bytes tell.
    const Stamp read = then.hash.isEmpty() ? Stamp() : stamp(path, then.hashed);
    return !read.hash.isEmpty() && read.hash != then.hash;
}

Written writeFile(const QString& path, const QByteArray& data) {
    bool existed = false;
    Written written = write(localpath::toBytes(path), data, existed);
    written.existed = existed;
    return written;
}

}  // namespace files
