#include "phrases/phrasefile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <vector>

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

// Past this many lines added or removed between two unchanged ones, the rest are paired in order
// by their text: the search grows with the square of it.
constexpr qsizetype kMaxEdits = 1000;

// Pairs equal lines of a and b in order, with as few lines added and removed between them as
// there can be (Myers' difference algorithm): from[j] becomes the line of a that b[j] is, plus
// base.
void pairLines(const int* a, qsizetype n, const int* b, qsizetype m, qsizetype* from,
               qsizetype base) {
    const qsizetype max = std::min(n + m, kMaxEdits), off = max + 1;
    std::vector<qsizetype> v(size_t(2 * max + 3), 0);
    std::vector<std::vector<qsizetype>> trace;  // v of each round d, for k from -d to d
    for (qsizetype d = 0; d <= max; ++d) {
        for (qsizetype k = -d; k <= d; k += 2) {
            qsizetype x = k == -d || (k != d && v[off + k - 1] < v[off + k + 1])
                              ? v[off + k + 1]
                              : v[off + k - 1] + 1;
            for (qsizetype y = x - k; x < n && y < m && a[x] == b[y];) ++x, ++y;
            v[off + k] = x;
            if (x < n || x - k < m) continue;
            // Back from the end, round by round: each round one line added or removed, after
            // lines both share.
            qsizetype y = m;
            for (qsizetype e = d; e > 0; --e) {
                const std::vector<qsizetype>& prev = trace[e - 1];
                const qsizetype kk = x - y;
                const bool down =
                    kk == -e || (kk != e && prev[kk - 1 + e - 1] < prev[kk + 1 + e - 1]);
                const qsizetype pk = down ? kk + 1 : kk - 1, px = prev[pk + e - 1];
                for (const qsizetype sx = down ? px : px + 1; x > sx;) --x, --y, from[y] = base + x;
                x = px, y = px - pk;
            }
            for (; x > 0 && y > 0;) --x, --y, from[y] = base + x;
            return;
        }
        trace.emplace_back(v.begin() + off - d, v.begin() + off + d + 1);
    }
    // Too far apart: each line takes the next one of its text.
    QHash<int, std::deque<qsizetype>> at;
    for (qsizetype i = 0; i < n; ++i) at[a[i]].push_back(i);
    qsizetype last = -1;
    for (qsizetype j = 0; j < m; ++j) {
        std::deque<qsizetype>& same = at[b[j]];
        while (!same.empty() && same.front() <= last) same.pop_front();
        if (same.empty()) continue;
        last = same.front();
        from[j] = base + last;
    }
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
        if (d.error) {
            result.findings.noCodePage = d.error;
            return result;
        }
        const int number = int(result.lines.size()) + 1;
        if (d.invalidCount > 0 && found.invalidCount == 0) found.firstInvalidLine = number;
        found.invalidCount += d.invalidCount;
        if (d.text.size() > kMaxLineLength && !found.firstLongLine) found.firstLongLine = number;
        for (auto c = d.spellings.cbegin(); c != d.spellings.cend(); ++c)
            if (!result.spelling.characters.contains(c.key()))  // the file's first spelling
                result.spelling.characters.insert(c.key(), c.value());
        if (d.twins) result.spelling.own.insert(result.lines.size(), line.toByteArray());
        result.lines.append(std::move(d.text));
        start = end + 1;
        if (start < cut && bytes[start] == '\n') ++start;
    }
    if (!result.spelling.own.isEmpty()) result.spelling.lines = result.lines;
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
    bool whole = false;  // read to its end
    for (;;) {
        const qsizetype n = file.readInto(bytes, 1 << 20);
        if (n < 0) return file.errorString();
        if ((whole = n == 0)) break;
        scanned =
            how == Reading::Exact ? scanLineEnds(bytes, scanned, maxLines, ends) : bytes.size();
        // Enough once the byte after the last line end taken is known, and whether
        // anything follows it.
        if (ends == maxLines && bytes.size() >= scanned + 2) break;
        if (scanned > kMaxBytes) return tooBig();
    }
    if (scanned > kMaxBytes) return tooBig();
    const bool utf8 = isUtf8Text(QByteArrayView(bytes).first(std::min(scanned, bytes.size())));
    // Of the descriptor read and the bytes it gave, so a change made since is never taken in.
    const files::Stamp stamp = file.stamp(bytes, whole);
    Phrases phrases = how == Reading::Exact ? parse(bytes, maxLines)
                                            : converted(std::move(bytes), utf8, maxLines);
    phrases.file = stamp;
    Findings& found = phrases.findings;
    if (found.noCodePage) return noCodePage(found.noCodePage);
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

QString noCodePage(int err) {
    // glibc says only EINVAL when it cannot load its module, whatever stopped it.
    return QStringLiteral(
               "Shift-JIS (CP932) の変換表（glibc の gconv モジュール）を読み込めません") +
           (err == EINVAL ? QString() : QStringLiteral("（%1）").arg(files::reason(err)));
}

cp932::Encoded encode(QStringView text, const Spelling& spelling) {
    if (spelling.own.isEmpty()) return cp932::encode(text, spelling.characters);
    cp932::Encoded out;
    const auto append = [&](QStringView part) {
        cp932::Encoded e = cp932::encode(part, spelling.characters);
        out.bytes += e.bytes;
        if (!out.error) out.error = e.error;
        for (char32_t c : e.unmappable)
            if (!out.unmappable.contains(c)) out.unmappable.append(c);
    };
    QList<QStringView> lines;  // a line end ends a line: none follows the last
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf(u"\r\n", start);
        if (end < 0) end = text.size();
        lines.append(text.sliced(start, end - start));
        start = end + 2;
    }
    const QList<qsizetype> from = unchangedLines(spelling.lines, lines);
    qsizetype run = 0;  // not yet written
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto own = spelling.own.constFind(from[i]);
        if (from[i] < 0 || own == spelling.own.cend()) continue;
        const qsizetype start = lines[i].data() - text.data();
        append(text.sliced(run, start - run));
        out.bytes += *own;
        run = start + lines[i].size();
    }
    append(text.sliced(run));
    return out;
}

QList<qsizetype> unchangedLines(const QStringList& before, const QList<QStringView>& after) {
    // Lines as numbers, equal where their texts are.
    QHash<QStringView, int> ids;
    const auto id = [&](QStringView line) {
        auto known = ids.find(line);
        return known != ids.end() ? *known : *ids.insert(line, int(ids.size()));
    };
    std::vector<int> a, b;
    for (const QString& line : before) a.push_back(id(line));
    for (QStringView line : after) b.push_back(id(line));
    QList<qsizetype> from(after.size(), -1);
    // What the two share at their start and at their end, then the stretch between.
    qsizetype head = 0, n = qsizetype(a.size()), m = qsizetype(b.size());
    for (; head < n && head < m && a[head] == b[head]; ++head) from[head] = head;
    for (; n > head && m > head && a[n - 1] == b[m - 1]; --n, --m) from[m - 1] = n - 1;
    pairLines(a.data() + head, n - head, b.data() + head, m - head, from.data() + head, head);
    // Of lines alike, a kept one keeps its place: lines added before it, and one like it taken
    // away after it, are lines changed where they stood.
    std::vector<bool> kept(a.size());
    for (qsizetype i : from)
        if (i >= 0) kept[size_t(i)] = true;
    for (qsizetype j = 0, added = 0; j < from.size(); ++j) {
        if (from[j] < 0) {
            ++added;
            continue;
        }
        for (size_t i = size_t(from[j]);
             added > 0 && i + 1 < a.size() && !kept[i + 1] && a[i + 1] == a[i]; ++i, --added)
            kept[i] = false, kept[i + 1] = true, from[j] = qsizetype(i + 1);
        added = 0;
    }
    return from;
}

}  // namespace phrasefile
