#include "platform/localpath.h"

#include "platform/escapes.h"

namespace localpath {
namespace {

// Length of the well-formed UTF-8 sequence at i, or 0.
qsizetype sequenceLength(QByteArrayView b, qsizetype i) {
    const auto c = static_cast<uchar>(b[i]);
    if (c < 0x80) return 1;
    qsizetype len;
    uchar lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;  // overlong
        if (c == 0xED) hi = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + len > b.size()) return 0;
    for (qsizetype k = 1; k < len; ++k) {
        const auto t = static_cast<uchar>(b[i + k]);
        if (t < (k == 1 ? lo : 0x80) || t > (k == 1 ? hi : 0xBF)) return 0;
    }
    return len;
}

}  // namespace

QString fromBytes(QByteArrayView bytes) {
    QString out;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype len = sequenceLength(bytes, i);
        if (len > 0) {
            i += len;
            continue;
        }
        out += QString::fromUtf8(bytes.sliced(runStart, i - runStart));
        out += escapes::of(static_cast<uchar>(bytes[i]));
        runStart = ++i;
    }
    out += QString::fromUtf8(bytes.sliced(runStart));
    return out;
}

QByteArray toBytes(const QString& path) {
    QByteArray out;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!escapes::at(path, i)) continue;
        out += QStringView(path).sliced(runStart, i - runStart).toUtf8();
        out += static_cast<char>(path[i].unicode() - 0xDC00);
        runStart = i + 1;
    }
    out += QStringView(path).sliced(runStart).toUtf8();
    return out;
}

}  // namespace localpath
