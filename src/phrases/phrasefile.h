#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <variant>

#include "phrases/cp932.h"

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
};

struct Phrases {
    QStringList lines;
    Findings findings;
    cp932::Spellings spellings;  // to write each character back as the file spelled it
};

Phrases parse(QByteArrayView bytes, int maxLines = kMaxPhrases);

// Reads no further than the lines it takes. A string is the reason the file could not be read,
// or is refused: more than kMaxBytes to take, or a line longer than kMaxLineLength.
std::variant<QString, Phrases> read(const QString& path, int maxLines = kMaxPhrases);

}  // namespace phrasefile
