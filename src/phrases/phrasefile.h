#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>
#include <variant>

#include "phrases/cp932.h"
#include "platform/files.h"

// Phrase files: CP932 text, one phrase per line. A CR or CR LF ends a line; a lone LF
// belongs to its phrase; the last line needs no line end.
namespace phrasefile {

inline constexpr int kMaxPhrases = 32001;
// Bounds that keep the editor responsive: the text of the lines taken (a full file of long
// maxims is a few megabytes), and a line, which the text box lays out whole at every keystroke
// (20,000 characters: about 60 ms on the development machine).
inline constexpr qsizetype kMaxBytes = 16 << 20;
inline constexpr qsizetype kMaxLineLength = 20000;

// What a load met besides its lines.
struct Findings {
    bool truncated = false;      // the file held more lines than were taken
    qsizetype invalidCount = 0;  // byte sequences that are not CP932, read as U+FFFD
    int firstInvalidLine = 0;    // 1-based; 0 when there are none
    int firstLongLine = 0;       // 1-based, the first longer than kMaxLineLength; 0 when none
    // What a file written on Linux looks like, to be asked about.
    bool utf8 = false;    // valid UTF-8, and more than ASCII
    bool lfOnly = false;  // its lines are ended by lone LFs only
    int noCodePage = 0;   // errno, when the code page's table could not be read: nothing was
};

// How a file spelled what it held, to write it back the same way: a line it had keeps its own
// bytes, and a character in another line takes the file's first spelling of it.
struct Spelling {
    cp932::Spellings characters;
    QHash<qsizetype, QByteArray> own;  // by line number, the lines that may be spelled two ways
    QStringList lines;  // the file's lines, where some have bytes of their own, to find them again
};

struct Phrases {
    QStringList lines;
    Findings findings;
    Spelling spelling;
    files::Stamp file;  // the file as it was read
};

Phrases parse(QByteArrayView bytes, int maxLines = kMaxPhrases);

// As the file is (Exact), or converted from a file written on Linux: UTF-8 decoded, and a
// lone LF ends a line too.
enum class Reading { Exact, Converted };

// Reads no further than the lines it takes; a file to convert is read whole. A string is the
// reason the file could not be read, or is refused: more than kMaxBytes to take, or a line
// longer than kMaxLineLength (but for a file written on Linux read exactly: findings tell).
std::variant<QString, Phrases> read(const QString& path, Reading how = Reading::Exact,
                                    int maxLines = kMaxPhrases);
// Why a file with a line too long to edit is refused.
QString longLine(int line);
// Why nothing could be converted: the system's table of the code page could not be loaded.
QString noCodePage(int err);

// The bytes of a text to save as the file spelled it; every line break in it is CR LF.
cp932::Encoded encode(QStringView text, const Spelling& spelling);
// For each line after, the line before that it is, unchanged and in the same order, or -1.
QList<qsizetype> unchangedLines(const QStringList& before, const QList<QStringView>& after);

}  // namespace phrasefile
