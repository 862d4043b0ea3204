#include "platform/TextBox.h"

#include "platform/escapes.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <algorithm>

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!composing()) Q_EMIT changed();
    });
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int at, int removed, int added) {
                if (!composing()) Q_EMIT edited(at, removed, added);
            });
}

QString TextBox::toDocument(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            out += u'\n';
            if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        } else if (c == u'\n') {
            out += QChar::LineSeparator;
        } else if (c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            out += u'\n';
        } else {
            out += c;
        }
    }
    return out;
}

QString TextBox::fromDocument(QStringView raw) {
    QString out;
    out.reserve(raw.size() + raw.size() / 16);
    for (const QChar c : raw) {
        if (c == QChar::ParagraphSeparator)
            out += u"\r\n";
        else if (c == QChar::LineSeparator)
            out += u'\n';
        else
            out += c;
    }
    return out;
}

QString TextBox::text() const {
    return fromDocument(document()->toRawText());
}

void TextBox::setText(const QString& text) {
    setPlainText(toDocument(text));
}

void TextBox::setLines(const QStringList& lines) {
    qsizetype length = 0;
    for (const QString& line : lines) length += line.size() + 1;
    QString raw;
    raw.reserve(length);
    for (const QString& line : lines) {
        const qsizetype start = raw.size();
        raw += line;
        std::replace(raw.begin() + start, raw.end(), QChar(u'\n'), QChar(QChar::LineSeparator));
        raw += u'\n';
    }
    setPlainText(raw);
}

QString TextBox::selText() const {
    return fromDocument(textCursor().selectedText());
}

void TextBox::setSelText(const QString& text) {
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection() && text.isEmpty()) return;  // nothing would change
    if (!text.isEmpty() && !fits(toDocument(text))) return Q_EMIT tooLong();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    if (!text.isEmpty()) cursor.insertText(toDocument(text));
    cursor.endEditBlock();
    setTextCursor(cursor);
}

void TextBox::clearUndoably() {
    QTextCursor all(document());
    all.select(QTextCursor::Document);
    all.removeSelectedText();
}

// Bytes carried from a file go to other programs as U+FFFD.
QMimeData* TextBox::createMimeDataFromSelection() const {
    auto* data = new QMimeData;
    data->setText(escapes::shown(textCursor().selection().toPlainText()));
    return data;
}

void TextBox::keyPressEvent(QKeyEvent* event) {
    // Shift+Enter would insert U+2028, which is saved as a lone LF.
    if (event->matches(QKeySequence::InsertLineSeparator)) {
        QKeyEvent enter(event->type(), Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QPlainTextEdit::keyPressEvent(&enter);
        event->setAccepted(enter.isAccepted());
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TextBox::insertFromMimeData(const QMimeData* source) {
    if (!source->hasText()) return QPlainTextEdit::insertFromMimeData(source);
    QString text = source->text();
    text.replace(QChar::LineSeparator, u'\n').replace(QChar::ParagraphSeparator, u'\n');
    if (!fits(text)) return Q_EMIT tooLong();
    textCursor().insertText(text);
    ensureCursorVisible();
}

// Whether text, as the document holds it, in place of the selection keeps every line (a
// block, which a lone LF does not end) within maxLineLength.
bool TextBox::fits(QStringView text) const {
    if (maxLineLength <= 0) return true;
    const QTextCursor c = textCursor();
    const QTextBlock last = document()->findBlock(c.selectionEnd());
    qsizetype line = c.selectionStart() - document()->findBlock(c.selectionStart()).position();
    for (const QChar ch : text) {
        const bool ends = ch == u'\r' || ch == u'\n' || ch == QChar::ParagraphSeparator;
        if ((line = ends ? 0 : line + 1) > maxLineLength) return false;
    }
    return line + last.length() - 1 - (c.selectionEnd() - last.position()) <= maxLineLength;
}

void TextBox::inputMethodEvent(QInputMethodEvent* event) {
    const bool commits = !event->commitString().isEmpty() || event->replacementLength() > 0;
    countBeforeComposing_ = commits ? -1 : document()->characterCount();
    QPlainTextEdit::inputMethodEvent(event);
    countBeforeComposing_ = -1;
}

// Qt reports a new or cancelled composition as a change of its whole line, though the text is
// the same; only a selection it replaces is really gone.
bool TextBox::composing() const {
    return countBeforeComposing_ >= 0 && document()->characterCount() == countBeforeComposing_;
}
