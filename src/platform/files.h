#pragma once

#include <sys/stat.h>

#include <QByteArray>
#include <QString>
#include <optional>

namespace files {

// Why the system refused, in Japanese whatever the locale.
QString reason(int err);

// A regular file open for reading. Opening never blocks, whatever the path names
// (a FIFO, a device), and anything but a regular file is refused.
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

  private:
    int fd_ = -1;
    QString error_;
};

// A file as it was when it was loaded or saved, to tell whether another program has written
// it since.
struct Stamp {
    QByteArray path;  // the file the name leads to, links followed
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
};
Stamp stamp(const QString& path);
// Whether now is the file of then, changed since: written, replaced or grown by someone else.
bool changedSince(const Stamp& then, const Stamp& now);

struct Written {
    enum Outcome {
        Saved,
        Untouched,  // failed before the old file was changed
        Restored,   // failed while rewriting it in place; its old bytes are back
        Damaged,    // failed while rewriting it in place, and so did putting the old bytes back
        ReadOnly,   // the file may not be written: left as it was
    } outcome = Saved;
    int error = 0;  // errno, when not saved
};

// Replaces the file's content with data, keeping what the file is: its owner and group, mode,
// access control list and extended attributes, its links. A link is followed, also one that
// leads nowhere yet, and stays a link. A regular file is written beside the old one and put in
// its place; one with several names, or in a folder where no new file may be made, is rewritten
// in place once its room is reserved, and its old bytes are put back if that fails. A device
// or FIFO is written as it is. A file the user may not write is never replaced. TERM, HUP, INT
// and QUIT wait until the file is whole, then end the program as they ask.
// Paths go to the system as their own bytes (escapes included).
Written writeFile(const QString& path, const QByteArray& data);

}  // namespace files
