#pragma once

#include <sys/stat.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace files {

// Why the system refused, in Japanese whatever the locale.
QString reason(int err);

// A file as it was read or written, to tell whether another program has written it since: which
// file it is, and a hash of its first bytes, so that a change is seen even where the file
// system's clock is too coarse to show it.
struct Stamp {
    QByteArray path;  // the system's own name for the file, links resolved
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 hashed = 0;  // how many bytes from the start the hash covers
    QByteArray hash;    // empty when they could not be read
};
// The file a name leads to now, with a hash of up to `hashed` bytes of it (-1: all of it).
Stamp stamp(const QString& path, qint64 hashed = 0);
// Whether the file a name leads to is the one of then, changed since: written, replaced or grown
// by someone else.
bool changedSince(const Stamp& then, const QString& path);

// A regular file open for reading. Neither opening nor reading ever blocks, whatever the path
// names (a FIFO, a device, a file of the kernel's), and anything but a regular file is refused.
class InputFile {
  public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Nothing on success, else the reason in the user's language.
    std::optional<QString> open(const QString& path);
    // Appends up to max bytes; returns how many were read, 0 at the end, -1 on error.
    qsizetype readInto(QByteArray& buffer, qsizetype max);
    QString errorString() const { return error_; }
    // The file that was read, and what was read of it from the start: all of it where whole.
    Stamp stamp(QByteArrayView read, bool whole) const;

  private:
    int fd_ = -1;
    QByteArray name_;
    QString error_;
};

struct Written {
    enum Outcome {
        Saved,
        Unconfirmed,  // written, but the system could not confirm that all of it is on the disk
        Untouched,    // failed before the old file was changed
        Restored,     // failed while rewriting it in place; its old bytes are back
        Damaged,      // failed while rewriting it in place, and so did putting the old bytes back
        Partial,      // a device or pipe took only part of the text
        ReadOnly,     // the file may not be written: left as it was
    } outcome = Saved;
    int error = 0;         // errno, when not saved
    Stamp stamp;           // the file as it is now, where that is known: saved, or damaged
    bool existed = false;  // there was a file of that name to replace

    Written(Outcome o = Saved, int e = 0) : outcome(o), error(e) {}
};

// Replaces the file's content with data. The name is walked by the system, links included, so
// that its guards against links and files planted by others apply. A regular file is replaced by
// a new one, written beside it, only where the new one can be made exactly what the old one is:
// owner, group, mode, access control list and extended attributes; otherwise, and for a file
// with several names or reached through a link, it is rewritten in place once its room is
// reserved, and its old bytes and length are put back if that fails. A device or FIFO is written
// as it is. A file the user may not write is never replaced. TERM, HUP, INT and QUIT wait until
// the file is whole, then end the program as they ask. Paths go to the system as their own bytes
// (escapes included).
Written writeFile(const QString& path, const QByteArray& data);

}  // namespace files
