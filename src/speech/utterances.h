#pragma once

#include <QString>
#include <QTextBoundaryFinder>
#include <deque>
#include <optional>

namespace speech {

// The engine reads only the first line of its input and silently drops what lies past about
// 1,020 bytes, so each run gets at most this much, its closing newline included.
inline constexpr qsizetype kMaxInputBytes = 1000;
// The first utterance is cut early at a comma or blank, so the first sound comes quickly.
inline constexpr qsizetype kFirstSoftBytes = 120;

// The longest stretch without a clause mark the engine says at a natural pace. It reads a
// breath group of up to 7 accent phrases at about 120 ms a mora, 8 at 150-200 ms and 10 at
// 300-380 ms (measured on 17 maxims); a 60-character line took 52 s. Phrases are counted as
// the script shows them (PhraseCount): no piece of 16 characters and 5 such phrases came to
// more than 7 accent phrases, and no line of the sample file is longer.
struct BreathLimit {
    qsizetype characters;
    int phrases;
};
inline constexpr BreathLimit kBreath{16, 5};

struct Span {
    qsizetype start = 0;
    qsizetype length = 0;
    bool flowing = false;  // cut where the text goes on without a pause mark
    friend bool operator==(const Span&, const Span&) = default;
};

// Cuts a text, lazily and in order, into utterances: lines, then sentences, then pieces that
// fit the engine's input and its breath. Only line breaks and blank-only stretches fall
// between the spans.
class Utterances {
  public:
    explicit Utterances(const QString& text = QString());
    std::optional<Span> next();
    // What the engine is given for a span: control characters become blanks.
    QString input(Span span) const;

  private:
    void splitLine(qsizetype begin, qsizetype end);
    void splitSentence(qsizetype begin, qsizetype end);
    void splitClauses(qsizetype begin, qsizetype end);
    void add(qsizetype begin, qsizetype end, bool flowing = false);
    qsizetype cutPoint(qsizetype begin, qsizetype end, qsizetype limit, bool clauseOnly) const;
    bool fitsBreath(qsizetype begin, qsizetype end) const;
    qsizetype breathCut(qsizetype begin, qsizetype end) const;

    QString text_;
    mutable QTextBoundaryFinder graphemes_;  // of the line being cut, which starts at line_
    qsizetype line_ = 0;
    qsizetype pos_ = 0;
    bool first_ = true;
    std::deque<Span> pending_;
};

}  // namespace speech
