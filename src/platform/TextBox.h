#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <QStringView>

// The multi-line text box. Its text is handed in and out with CR LF at every line break.
// A CR or CR LF ends a line; a lone LF stays inside its line (kept in the document as
// U+2028, so that it comes back out as LF). Every line break typed or pasted, U+2028 and
// U+2029 included, is a CR LF.
class TextBox : public QPlainTextEdit {
    Q_OBJECT
  public:
    using QPlainTextEdit::QPlainTextEdit;

    QString text() const;
    void setText(const QString& text);
    // The same as setText of the lines each followed by CR LF, in one pass.
    void setLines(const QStringList& lines);
    QString selText() const;
    qsizetype selLength() const { return selText().size(); }
    void setSelText(const QString& text);  // replaces the selection, or inserts at the caret
    void clearUndoably();                  // one step that Ctrl+Z takes back

    static QString toDocument(QStringView text);
    static QString fromDocument(QStringView raw);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
};
