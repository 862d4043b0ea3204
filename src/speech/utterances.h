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

struct Span {
    qsizetype start = 0;
    qsizetype length = 0;
    friend bool operator==(const Span&, const Span&) = default;
};

// Cuts a text, lazily and in order, into utterances: lines, then sentences, then pieces that
// fit the engine's input. Only line breaks and blank-only stretches fall between the spans.
class Utterances {
  public:
    explicit Utterances(const QString& text = QString());
    std::optional<Span> next();
    // What the engine is given for a span: control characters become blanks.
    QString input(Span span) const;

  private:
    void splitLine(qsizetype begin, qsizetype end);
    void splitSentence(qsizetype begin, qsizetype end);
    void add(qsizetype begin, qsizetype end);
    qsizetype cutPoint(qsizetype begin, qsizetype end, qsizetype limit, bool clauseOnly) const;

    QString text_;
    mutable QTextBoundaryFinder graphemes_;  // of the line being cut, which starts at line_
    qsizetype line_ = 0;
    qsizetype pos_ = 0;
    bool first_ = true;
    std::deque<Span> pending_;
};

}  // namespace speech
