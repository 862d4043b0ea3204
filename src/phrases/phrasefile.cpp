#include "phrases/phrasefile.h"

#include <cstring>

#include "platform/cp932.h"
#include "platform/files.h"

namespace phrasefile {
namespace {

// Offset just past the end of line number maxLines, or -1 when the bytes hold fewer
// complete lines. CR and LF are never the second byte of a CP932 character, so
// lines can be found before decoding.
qsizetype endOfLines(QByteArrayView bytes, int maxLines) {
    const char* const data = bytes.data();
    qsizetype pos = 0;
    for (int ends = 0; ends < maxLines; ++ends) {
        const void* cr = std::memchr(data + pos, '\r', bytes.size() - pos);
        if (!cr) return -1;
        pos = static_cast<const char*>(cr) - data + 1;
        if (pos < bytes.size() && data[pos] == '\n') ++pos;
    }
    return pos;
}

}  // namespace

Phrases parse(QByteArrayView bytes, int maxLines) {
    Phrases result;
    qsizetype cut = endOfLines(bytes, maxLines);
    if (cut < 0) cut = bytes.size();
    result.truncated = cut < bytes.size();

    const cp932::Decoded decoded = cp932::decode(bytes.first(cut));
    result.invalidCount = decoded.invalidCount;
    const QString& text = decoded.text;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\r', start);
        if (end < 0) end = text.size();
        if (decoded.firstInvalidAt >= start && decoded.firstInvalidAt < end)
            result.firstInvalidLine = result.lines.size() + 1;
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
        while (ends < maxLines) {
            const void* cr = std::memchr(bytes.constData() + scanned, '\r', bytes.size() - scanned);
            if (!cr) {
                scanned = bytes.size();
                break;
            }
            scanned = static_cast<const char*>(cr) - bytes.constData() + 1;
            ++ends;
        }
        // Enough once the byte after the last line end taken is known, and whether
        // anything follows it.
        if (ends == maxLines && bytes.size() >= scanned + 2) break;
    }
    return parse(bytes, maxLines);
}

}  // namespace phrasefile
