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
    explicit TextBox(QWidget* parent = nullptr);

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

    // A paste or drop that would make a line longer than this is refused and told by tooLong():
    // the box lays a whole line out again at every keystroke. 0: no limit.
    qsizetype maxLineLength = 0;

  Q_SIGNALS:
    // textChanged and QTextDocument::contentsChange, but not for an input method's
    // composition: it is only drawn in the box until it is committed.
    void changed();
    void edited(int position, int removed, int added);
    void tooLong();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
    void inputMethodEvent(QInputMethodEvent* event) override;

  private:
    bool composing() const;
    bool fits(QStringView text) const;

    int countBeforeComposing_ = -1;  // inside an input method event that commits nothing
};
