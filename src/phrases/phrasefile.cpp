#include "phrases/phrasefile.h"

#include <algorithm>
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

    Findings& found = result.findings;
    for (qsizetype start = 0; start < cut;) {
        const auto* cr =
            static_cast<const char*>(std::memchr(bytes.data() + start, '\r', cut - start));
        const qsizetype end = cr ? cr - bytes.data() : cut;
        const QByteArrayView line = bytes.sliced(start, end - start);
        cp932::Decoded d = cp932::decode(line);
        const int number = int(result.lines.size()) + 1;
        if (d.invalidCount > 0 && found.invalidCount == 0) found.firstInvalidLine = number;
        found.invalidCount += d.invalidCount;
        if (d.text.size() > kMaxLineLength && !found.firstLongLine) found.firstLongLine = number;
        for (auto c = d.spellings.cbegin(); c != d.spellings.cend(); ++c)
            if (!result.spelling.characters.contains(c.key()))  // the file's first spelling
                result.spelling.characters.insert(c.key(), c.value());
        if (d.twins) result.spelling.lines[d.text].append(line.toByteArray());
        result.lines.append(std::move(d.text));
        start = end + 1;
        if (start < cut && bytes[start] == '\n') ++start;
    }
    return result;
}

namespace {

// Lines of a file written on Linux: UTF-8, or CP932 with a lone LF as a line end too.
Phrases converted(QByteArray bytes, bool utf8, int maxLines) {
    if (!utf8) {
        for (qsizetype i = 0; i < bytes.size(); ++i)
            if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) bytes[i] = '\r';
        return parse(bytes, maxLines);
    }
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);  // a byte order mark is no text
    Phrases result;
    for (qsizetype start = 0; start < text.size();) {
        if (result.lines.size() == maxLines) {
            result.findings.truncated = true;
            break;
        }
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
        if (end - start > kMaxLineLength && !result.findings.firstLongLine)
            result.findings.firstLongLine = int(result.lines.size()) + 1;
        result.lines.append(text.sliced(start, end - start));
        start = end + (text.mid(end, 2) == u"\r\n" ? 2 : 1);
    }
    return result;
}

bool isUtf8Text(QByteArrayView bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](char b) { return uchar(b) >= 0x80; }) &&
           bytes.isValidUtf8();
}

}  // namespace

std::variant<QString, Phrases> read(const QString& path, Reading how, int maxLines) {
    files::InputFile file;
    if (auto reason = file.open(path)) return *reason;
    QByteArray bytes;
    int ends = 0;
    qsizetype scanned = 0;
    for (;;) {
        const qsizetype n = file.readInto(bytes, 1 << 20);
        if (n < 0) return file.errorString();
        if (n == 0) break;
        scanned =
            how == Reading::Exact ? scanLineEnds(bytes, scanned, maxLines, ends) : bytes.size();
        // Enough once the byte after the last line end taken is known, and whether
        // anything follows it.
        if (ends == maxLines && bytes.size() >= scanned + 2) break;
        if (scanned > kMaxBytes) return tooBig();
    }
    if (scanned > kMaxBytes) return tooBig();
    const bool utf8 = isUtf8Text(QByteArrayView(bytes).first(std::min(scanned, bytes.size())));
    Phrases phrases = how == Reading::Exact ? parse(bytes, maxLines)
                                            : converted(std::move(bytes), utf8, maxLines);
    Findings& found = phrases.findings;
    if (how == Reading::Exact) {
        found.utf8 = utf8;
        found.lfOnly = bytes.contains('\n') && !bytes.contains('\r');
    }
    // A file written on Linux is one long line until it is converted: asked about first.
    if (found.firstLongLine && !found.utf8 && !found.lfOnly) return longLine(found.firstLongLine);
    return phrases;
}

QString longLine(int line) {
    return QStringLiteral("%1 行目が %2 文字を超えています。長すぎる行のあるファイルは開けません")
        .arg(line)
        .arg(kMaxLineLength);
}

cp932::Encoded encode(QStringView text, const Spelling& spelling) {
    if (spelling.lines.isEmpty()) return cp932::encode(text, spelling.characters);
    cp932::Encoded out;
    const auto append = [&](QStringView part) {
        cp932::Encoded e = cp932::encode(part, spelling.characters);
        out.bytes += e.bytes;
        for (char32_t c : e.unmappable)
            if (!out.unmappable.contains(c)) out.unmappable.append(c);
    };
    QHash<QString, qsizetype> used;  // of each line's own bytes, in order
    qsizetype run = 0;               // not yet written
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf(u"\r\n", start);
        if (end < 0) end = text.size();
        const QString line = text.sliced(start, end - start).toString();
        const auto own = spelling.lines.constFind(line);
        if (own != spelling.lines.cend() && used[line] < own->size()) {
            append(text.sliced(run, start - run));
            out.bytes += own->at(used[line]++);
            run = end;
        }
        start = end + 2;
    }
    append(text.sliced(run));
    return out;
}

}  // namespace phrasefile
