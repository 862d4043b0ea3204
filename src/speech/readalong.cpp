#include "speech/readalong.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <algorithm>

#include "platform/TextBox.h"

namespace speech {

ReadAlong::ReadAlong(TextBox* box) : QObject(box), box_(box) {
    connect(box_, &TextBox::edited, this, &ReadAlong::edited);
    for (QScrollBar* bar : {box_->verticalScrollBar(), box_->horizontalScrollBar()}) {
        connect(bar, &QScrollBar::valueChanged, this, [this] {
            if (!revealing_) following_ = false;
        });
    }
}

void ReadAlong::handOver(const QString& text, int position) {
    end();
    handed_ = true;
    following_ = true;
    base_ = position;
    for (qsizetype i = text.indexOf(u"\r\n"); i >= 0; i = text.indexOf(u"\r\n", i + 2))
        crlfs_.push_back(i);
}

void ReadAlong::show(qsizetype start, qsizetype length) {
    if (start == 0 && length == 0) return end();
    if (!handed_) return;
    const int from = toDocument(start, false);
    const int to = toDocument(start + length, true);
    from_ = to_ = QTextCursor();
    if (from < to && to < box_->document()->characterCount()) {
        from_ = QTextCursor(box_->document());
        from_.setPosition(from);
        to_ = QTextCursor(box_->document());
        to_.setPosition(to);
        to_.setKeepPositionOnInsert(true);
    }
    paint();
    if (!from_.isNull()) reveal();
}

void ReadAlong::end() {
    handed_ = false;
    crlfs_.clear();
    edits_.clear();
    from_ = to_ = QTextCursor();
    paint();
}

// Where an offset into the handed text is in the document now, as a start or an end: text
// inserted at either stays outside, and a deleted or replaced start or end moves to the
// remaining text, so that a span that was taken away whole ends up empty.
int ReadAlong::toDocument(qsizetype offset, bool isEnd) const {
    const auto pairs = std::lower_bound(crlfs_.begin(), crlfs_.end(), offset) - crlfs_.begin();
    int at = base_ + int(offset - pairs);
    for (const Edit& e : edits_) {
        if (at < e.position || (isEnd && at == e.position)) continue;
        if (at < e.position + e.removed)
            at = isEnd ? e.position : e.position + e.added;
        else
            at += e.added - e.removed;
    }
    return at;
}

void ReadAlong::edited(int position, int removed, int added) {
    if (handed_) edits_.push_back({position, removed, added});
    if (!from_.isNull()) paint();
}

void ReadAlong::paint() {
    QList<QTextEdit::ExtraSelection> marks;
    // Words deleted: the mark does not come back on what is typed in their place.
    if (!from_.isNull() && from_.position() >= to_.position()) from_ = to_ = QTextCursor();
    if (!from_.isNull()) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = from_;
        mark.cursor.setPosition(to_.position(), QTextCursor::KeepAnchor);
        QColor tint = box_->palette().color(QPalette::Highlight);
        tint.setAlpha(64);
        mark.format.setBackground(tint);
        marks << mark;
    }
    box_->setExtraSelections(marks);
}

// Brings the mark's first character into view while the view follows the reading.
void ReadAlong::reveal() {
    const QTextBlock block = box_->document()->findBlock(from_.position());
    box_->document()->documentLayout()->blockBoundingRect(block);  // lays out a far block
    const int inBlock = from_.position() - block.position();
    const QTextLine line = block.layout()->lineForTextPosition(inBlock);
    if (!line.isValid()) return;

    // The vertical bar counts lines, the horizontal one pixels.
    QScrollBar* vertical = box_->verticalScrollBar();
    QScrollBar* horizontal = box_->horizontalScrollBar();
    const int top = block.firstLineNumber() + line.lineNumber();
    const int lines = std::max(1, box_->viewport()->height() / box_->fontMetrics().lineSpacing());
    const int x = int(line.cursorToX(inBlock));
    const int width = box_->viewport()->width();
    const bool down = top >= vertical->value() && top < vertical->value() + lines;
    const bool across = x >= horizontal->value() && x < horizontal->value() + width - width / 8;
    if (down && across) following_ = true;
    if (!following_) return;
    revealing_ = true;
    if (!down) vertical->setValue(top - lines / 2);
    if (!across) horizontal->setValue(x - width / 4);
    revealing_ = false;
}

}  // namespace speech
