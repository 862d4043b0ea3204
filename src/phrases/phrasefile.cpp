#include "phrases/phrasefile.h"

#include <cstring>

#include "phrases/cp932.h"
#include "platform/files.h"

namespace phrasefile {
namespace {

// Finds line ends from pos on until ends reaches maxLines; returns the offset just past
// the last CR seen, or bytes.size() when there are no more. CR and LF are never the
// second byte of a CP932 character, so lines can be found before decoding.
qsizetype scanLineEnds(QByteArrayView bytes, qsizetype pos, int maxLines, int& ends) {
    while (ends < maxLines) {
        if (pos >= bytes.size()) return bytes.size();
        const void* cr = std::memchr(bytes.data() + pos, '\r', bytes.size() - pos);
        if (!cr) return bytes.size();
        pos = static_cast<const char*>(cr) - bytes.data() + 1;
        ++ends;
    }
    return pos;
}

QString tooBig() {
    return QStringLiteral("%1 MB を超えるファイルは開けません").arg(kMaxBytes >> 20);
}

}  // namespace

Phrases parse(QByteArrayView bytes, int maxLines) {
    Phrases result;
    int ends = 0;
    qsizetype cut = scanLineEnds(bytes, 0, maxLines, ends);
    if (ends == maxLines && cut < bytes.size() && bytes[cut] == '\n') ++cut;
    result.findings.truncated = cut < bytes.size();

    const cp932::Decoded decoded = cp932::decode(bytes.first(cut));
    result.findings.invalidCount = decoded.invalidCount;
    result.spellings = decoded.spellings;
    const QString& text = decoded.text;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\r', start);
        if (end < 0) end = text.size();
        if (decoded.firstInvalidAt >= start && decoded.firstInvalidAt < end)
            result.findings.firstInvalidLine = result.lines.size() + 1;
        if (end - start > kMaxLineLength && !result.findings.firstLongLine)
            result.findings.firstLongLine = result.lines.size() + 1;
        result.lines.append(text.sliced(start, end - start));
        start = end + 1;
        if (start < text.size() && text[start] == u'\n') ++start;
    }
    return result;
}

std::variant<QString, Phrases> read(const QString& path, int maxLines) {
    files::InputFile file;
    if (auto reason = file.open(path)) return *reason;
    QByteArray bytes;
    int ends = 0;
    qsizetype scanned = 0;
    for (;;) {
        const qsizetype n = file.readInto(bytes, 1 << 20);
        if (n < 0) return file.errorString();
        if (n == 0) break;
        scanned = scanLineEnds(bytes, scanned, maxLines, ends);
        // Enough once the byte after the last line end taken is known, and whether
        // anything follows it.
        if (ends == maxLines && bytes.size() >= scanned + 2) break;
        if (scanned > kMaxBytes) return tooBig();
    }
    if (scanned > kMaxBytes) return tooBig();
    Phrases phrases = parse(bytes, maxLines);
    if (const int line = phrases.findings.firstLongLine)
        return QStringLiteral(
                   "%1 行目が %2 文字を超えています。長すぎる行のあるファイルは開けません")
            .arg(line)
            .arg(kMaxLineLength);
    return phrases;
}

}  // namespace phrasefile
