#include "speech/utterances.h"

#include <QTextBoundaryFinder>

namespace speech {
namespace {

bool isLineBreak(char16_t c) {
    return c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == 0x85 || c == 0x2028 ||
           c == 0x2029;
}

// Control characters count as blanks: the engine is given blanks for them.
bool isBlank(char16_t c) {
    return c < 0x20 || c == 0x7F || QChar(c).isSpace();
}

// Where a long sentence may be cut without breaking a word: after a comma or a blank.
bool isClauseBreak(char16_t c) {
    return c == 0x3001 || c == 0xFF0C || c == 0xFF64 || c == u',' || isBlank(c);
}

// UTF-8 length of the character at i and how many UTF-16 units it takes.
std::pair<int, int> utf8At(const QString& s, qsizetype i) {
    const char16_t c = s.at(i).unicode();
    if (c < 0x80) return {1, 1};
    if (c < 0x800) return {2, 1};
    if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s.at(i + 1).isLowSurrogate())
        return {4, 2};
    return {3, 1};
}

}  // namespace

Utterances::Utterances(const QString& text) : text_(text) {}

std::optional<Span> Utterances::next() {
    while (pending_.empty() && pos_ < text_.size()) {
        qsizetype end = pos_;
        while (end < text_.size() && !isLineBreak(text_.at(end).unicode())) ++end;
        splitLine(pos_, end);
        pos_ = end;
        while (pos_ < text_.size() && isLineBreak(text_.at(pos_).unicode())) ++pos_;
    }
    if (pending_.empty()) return std::nullopt;
    const Span span = pending_.front();
    pending_.pop_front();
    first_ = false;
    return span;
}

QString Utterances::input(Span span) const {
    QString s = text_.mid(span.start, span.length);
    for (QChar& c : s)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = u' ';
    return s;
}

void Utterances::splitLine(qsizetype begin, qsizetype end) {
    if (begin == end) return;
    QTextBoundaryFinder sentences(QTextBoundaryFinder::Sentence, text_.constData() + begin,
                                  end - begin);
    // Clusters as the line has them: what comes before can change them (the script of a run).
    graphemes_ =
        QTextBoundaryFinder(QTextBoundaryFinder::Grapheme, text_.constData() + begin, end - begin);
    line_ = begin;
    // A sentence may end inside a grapheme cluster ("!" and an emoji modifier after it); the
    // cluster stays whole.
    qsizetype from = 0;
    for (qsizetype to = sentences.toNextBoundary(); to > 0; to = sentences.toNextBoundary()) {
        graphemes_.setPosition(to);
        if (!graphemes_.isAtBoundary()) to = graphemes_.toNextBoundary();
        if (to <= from) continue;
        splitSentence(begin + from, begin + to);
        from = to;
    }
    if (begin + from < end) splitSentence(begin + from, end);
}

void Utterances::splitSentence(qsizetype begin, qsizetype end) {
    const qsizetype limit = kMaxInputBytes - 1;  // room for the newline
    if (first_ && pending_.empty()) {
        const qsizetype cut = cutPoint(begin, end, kFirstSoftBytes, true);
        if (cut < end) {
            add(begin, cut);
            begin = cut;
        }
    }
    while (begin < end) {
        const qsizetype cut = cutPoint(begin, end, limit, false);
        add(begin, cut);
        begin = cut;
    }
}

// The end of the longest piece from begin that fits limit bytes: after its last clause break,
// else at its last grapheme boundary, never inside a cluster unless that cluster alone does
// not fit. With clauseOnly, end when there is no clause break.
qsizetype Utterances::cutPoint(qsizetype begin, qsizetype end, qsizetype limit,
                               bool clauseOnly) const {
    qsizetype p = begin, bytes = 0, clause = -1;
    while (p < end) {
        const auto [n, units] = utf8At(text_, p);
        if (bytes + n > limit) break;
        bytes += n;
        p += units;
        if (isClauseBreak(text_.at(p - 1).unicode())) clause = p;
    }
    if (p >= end) return end;
    // Never inside a grapheme cluster: a blank takes an emoji modifier after it, too.
    const auto snap = [&](qsizetype at) {
        graphemes_.setPosition(at - line_);
        if (!graphemes_.isAtBoundary()) graphemes_.toPreviousBoundary();
        return line_ + graphemes_.position();
    };
    if (const qsizetype cut = clause > begin ? snap(clause) : begin; cut > begin) return cut;
    if (clauseOnly) return end;
    const qsizetype cut = snap(p);
    return cut > begin ? cut : p;  // one huge cluster: cut between code points
}

void Utterances::add(qsizetype begin, qsizetype end) {
    for (qsizetype i = begin; i < end; ++i) {
        if (!isBlank(text_.at(i).unicode())) {
            pending_.push_back({begin, end - begin});
            return;
        }
    }
}

}  // namespace speech
