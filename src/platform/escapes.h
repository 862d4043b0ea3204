#pragma once

#include <QString>
#include <QStringView>

// Bytes that are not text in their encoding (a file name that is not UTF-8, a file that is
// not CP932) travel inside a QString as the lone surrogates U+DC00..U+DCFF, one for each
// byte, so that they can be written back exactly.
namespace escapes {

inline QChar of(uchar byte) {
    return QChar(char16_t(0xDC00 + byte));
}

// Whether text[i] carries a byte, and not the low half of a surrogate pair.
inline bool at(QStringView text, qsizetype i) {
    const char16_t c = text[i].unicode();
    return c >= 0xDC00 && c <= 0xDCFF && !(i > 0 && text[i - 1].isHighSurrogate());
}

// For showing, reading aloud and the clipboard: each carried byte as U+FFFD.
inline QString shown(QString text) {
    for (qsizetype i = 0; i < text.size(); ++i)
        if (at(text, i)) text[i] = QChar::ReplacementCharacter;
    return text;
}

}  // namespace escapes
