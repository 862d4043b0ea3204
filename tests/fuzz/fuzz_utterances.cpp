// The utterance splitter on any text: spans in order that lose nothing but blanks and line
// breaks between them, no input over the engine's limit, and no cut inside a grapheme
// cluster unless that cluster alone is over the limit.
#include <QTextBoundaryFinder>
#include <algorithm>
#include <cstdlib>

#include "speech/utterances.h"

extern "C" int LLVMFuzzerTestOneInput(const char* data, size_t size) {
    const QString text = QString::fromUtf8(data, qsizetype(size));
    const auto blank = [](QStringView s) {
        return std::all_of(s.begin(), s.end(),
                           [](QChar c) { return c.isSpace() || c < u' ' || c == u'\x7f'; });
    };
    // Clusters as each line has them; none spans a line break.
    const auto whole = [&](qsizetype at) {
        qsizetype from = at, to = at;
        const auto isBreak = [&](qsizetype i) {
            return QStringLiteral("\n\r\v\f\u0085\u2028\u2029").contains(text[i]);
        };
        while (from > 0 && !isBreak(from - 1)) --from;
        while (to < text.size() && !isBreak(to)) ++to;
        QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text.constData() + from,
                                     to - from);
        clusters.setPosition(at - from);
        if (clusters.isAtBoundary()) return true;
        const qsizetype start = from + clusters.toPreviousBoundary();
        return text.mid(start, from + clusters.toNextBoundary() - start).toUtf8().size() + 1 >
               speech::kMaxInputBytes;
    };
    speech::Utterances utterances(text);
    qsizetype pos = 0;
    while (const auto span = utterances.next()) {
        if (span->start < pos || span->length <= 0 || span->start + span->length > text.size() ||
            !blank(QStringView(text).mid(pos, span->start - pos)) ||
            utterances.input(*span).toUtf8().size() + 1 > speech::kMaxInputBytes ||
            !whole(span->start) || !whole(span->start + span->length))
            std::abort();
        pos = span->start + span->length;
    }
    if (!blank(QStringView(text).mid(pos))) std::abort();
    return 0;
}
