#include "speech/utterances.h"

#include <QTextBoundaryFinder>
#include <algorithm>
#include <array>

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

bool isHiragana(char16_t c) {
    return (c >= 0x3041 && c <= 0x3096) || c == 0x309D || c == 0x309E;
}

bool isKatakana(char16_t c) {
    return (c >= 0x30A1 && c <= 0x30FA) || (c >= 0x30FC && c <= 0x30FE);
}

int script(char16_t c) {
    return isHiragana(c) ? 0 : isKatakana(c) ? 1 : 2;
}

// Where the engine begins another accent phrase, as far as the script shows it, counted from
// the start of a piece: a word in another script after hiragana, and every other kanji of a long
// run (長 sixteen times is eight phrases).
class PhraseCount {
  public:
    // Whether c, after before, starts a phrase; false for the first character of a piece.
    bool starts(char16_t before, char16_t c) {
        han_ = QChar::script(c) == QChar::Script_Han ? han_ + 1 : 0;
        return (han_ >= 3 && han_ % 2 == 1) || startsWord(before, c);
    }
    static bool startsWord(char16_t before, char16_t c) {
        return isHiragana(before) && !isHiragana(c) && QChar(c).isLetterOrNumber();
    }

  private:
    int han_ = 0;
};

// Particles that end a phrase inside a run of hiragana.
bool isParticle(char16_t c) {
    return c == u'を' || c == u'は' || c == u'が' || c == u'も';
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

// A stretch between clause marks that is too long for one breath is cut into pieces of its own.
void Utterances::splitSentence(qsizetype begin, qsizetype end) {
    qsizetype from = begin;  // not given out yet
    for (qsizetype at = begin; at < end;) {
        qsizetype stretch = at;
        while (stretch < end && !isClauseBreak(text_.at(stretch).unicode())) ++stretch;
        while (stretch < end && isClauseBreak(text_.at(stretch).unicode())) ++stretch;
        // A blank takes an emoji modifier after it into its cluster.
        graphemes_.setPosition(stretch - line_);
        if (!graphemes_.isAtBoundary())
            stretch = std::min(end, line_ + graphemes_.toNextBoundary());
        if (!fitsBreath(at, stretch)) {
            splitClauses(from, at);
            for (qsizetype piece = at; piece < stretch;) {
                const qsizetype cut = breathCut(piece, stretch);
                add(piece, cut, cut < stretch);
                piece = cut;
            }
            from = stretch;
        }
        at = stretch;
    }
    splitClauses(from, end);
}

void Utterances::splitClauses(qsizetype begin, qsizetype end) {
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

bool Utterances::fitsBreath(qsizetype begin, qsizetype end) const {
    qsizetype letters = 0;
    int phrases = 1;
    PhraseCount count;
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t c = text_.at(i).unicode();
        if (isClauseBreak(c)) continue;
        if (++letters > kBreath.characters) return false;
        if (count.starts(i > begin ? text_.at(i - 1).unicode() : u' ', c) &&
            ++phrases > kBreath.phrases)
            return false;
    }
    return true;
}

// The end of the first piece of a stretch too long for one breath: before a phrase, else after
// a particle, else at a change of script, else where the piece is full; pieces about even.
qsizetype Utterances::breathCut(qsizetype begin, qsizetype end) const {
    if (fitsBreath(begin, end)) return end;
    // The first piece of a reading is half as long, so that it is heard at once.
    const bool first = first_ && pending_.empty();
    const qsizetype most = first ? kBreath.characters / 2 : kBreath.characters;
    const int phraseLimit = first ? (kBreath.phrases + 1) / 2 : kBreath.phrases;
    const qsizetype pieces = (end - begin + most - 1) / most;
    const qsizetype room = std::min(most, (end - begin + pieces - 1) / pieces + 3);
    std::array<qsizetype, 4> best{-1, -1, -1, -1};  // by preference
    int phrases = 1;
    PhraseCount count;
    count.starts(u' ', text_.at(begin).unicode());
    for (qsizetype i = begin + 1; i < end && i - begin <= room; ++i) {
        const char16_t before = text_.at(i - 1).unicode(), c = text_.at(i).unicode();
        graphemes_.setPosition(i - line_);
        if (graphemes_.isAtBoundary()) {
            const int rank = PhraseCount::startsWord(before, c)    ? 0
                             : isParticle(before) && isHiragana(c) ? 1
                             : script(before) != script(c)         ? 2
                                                                   : 3;
            best[rank] = i;
        }
        if (count.starts(before, c) && ++phrases > phraseLimit) break;
    }
    for (const qsizetype cut : best)
        if (cut > begin) return cut;
    // One long cluster: whole, unless it is over the engine's limit.
    graphemes_.setPosition(begin - line_);
    const qsizetype cluster = line_ + graphemes_.toNextBoundary();
    return QStringView(text_).sliced(begin, cluster - begin).toUtf8().size() < kMaxInputBytes
               ? cluster
               : cutPoint(begin, end, kMaxInputBytes - 1, false);
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

void Utterances::add(qsizetype begin, qsizetype end, bool flowing) {
    for (qsizetype i = begin; i < end; ++i) {
        if (!isBlank(text_.at(i).unicode())) {
            pending_.push_back({begin, end - begin, flowing});
            return;
        }
    }
}

}  // namespace speech
