#pragma once

#include <QObject>
#include <QString>
#include <QTextCursor>
#include <vector>

class TextBox;

namespace speech {

// Marks in the text box the words being heard, as the speech control reports them, with a
// tint that is not the user's selection. The mark keeps to its words while the text is
// edited, and is gone when they are deleted.
class ReadAlong : public QObject {
    Q_OBJECT
  public:
    explicit ReadAlong(TextBox* box);

    // The text given to the speech control, as TextBox::text() writes it, and the document
    // position of its first character.
    void handOver(const QString& text, int position);
    // A span of that text is heard now; (0, 0): nothing is.
    void show(qsizetype start, qsizetype length);
    // Nothing more will be heard of the text handed over.
    void end();

  private:
    struct Edit {
        int position, removed, added;
    };
    int toDocument(qsizetype offset, bool isEnd) const;
    void edited(int position, int removed, int added);
    void paint();
    void reveal();

    TextBox* box_;
    bool handed_ = false;
    int base_ = 0;
    std::vector<qsizetype> crlfs_;  // where the handed text has a CR LF, one document position
    std::vector<Edit> edits_;       // made in the document since the hand-over
    // The mark: from its first character to past its last; text typed at either end stays out.
    QTextCursor from_, to_;
    // The view follows the mark; scrolling elsewhere stops that until the mark is back in view.
    bool following_ = true;
    bool revealing_ = false;
};

}  // namespace speech
