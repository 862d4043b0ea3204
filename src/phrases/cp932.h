#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

// The Windows Japanese code page, converted as Windows converts it (glibc's CP932 table).
namespace cp932 {

struct Decoded {
    QString text;
    qsizetype invalidCount = 0;     // bad byte sequences, each decoded to U+FFFD
    qsizetype firstInvalidAt = -1;  // index in text of the first of them
};

struct Encoded {
    QByteArray bytes;
    QList<char32_t> unmappable;  // distinct characters written as '?', in order of appearance
};

Decoded decode(QByteArrayView bytes);
Encoded encode(QStringView text);

}  // namespace cp932
