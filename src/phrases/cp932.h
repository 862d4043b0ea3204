#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

// The Windows Japanese code page, converted as Windows converts it (glibc's CP932 table),
// so that a file comes back byte for byte: bytes that are not CP932 are carried as escapes,
// and characters a file spells otherwise than Windows would keep that spelling.
namespace cp932 {

// For a character, the bytes a file spelled it with, where Windows would write other bytes
// (an NEC-selected IBM code such as ED 40 for what Windows writes FA 5C).
using Spellings = QHash<char16_t, QByteArray>;

struct Decoded {
    QString text;
    qsizetype invalidCount = 0;     // bad byte sequences, each byte carried as an escape
    qsizetype firstInvalidAt = -1;  // index in text of the first of them
    Spellings spellings;            // the first spelling of each, where a file has two
    bool twins = false;             // it holds a character the code page spells more than one way
    int error = 0;                  // errno, when glibc's table could not be read: nothing decoded
};

struct Encoded {
    QByteArray bytes;
    QList<char32_t> unmappable;  // distinct characters written as '?', in order of appearance
    int error = 0;               // errno, when glibc's converter could not be opened
};

Decoded decode(QByteArrayView bytes);
// Escapes become their bytes again, characters in spellings take those bytes, and every
// other character gets the Windows spelling.
Encoded encode(QStringView text, const Spellings& spellings = {});

}  // namespace cp932
