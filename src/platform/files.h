#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace files {

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

// Replaces the file's content with data. A regular file (or a new one) is written to a
// temporary file and renamed over it, keeping its permissions; a link is followed and
// stays a link; a device or FIFO is written in place, and so is a regular file in a folder
// where no new file may be made, once the room for it is reserved. On failure a regular
// file keeps its old content, and the reason is returned.
// Paths go to the system as their own bytes (escapes included), for reading and writing alike.
std::optional<QString> writeFile(const QString& path, const QByteArray& data);

// Whether both paths name one existing file.
bool sameFile(const QString& a, const QString& b);

}  // namespace files
