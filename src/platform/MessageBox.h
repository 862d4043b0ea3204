#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace platform {

// Modal boxes with the program's title: an OK button only, or a question.
class MessageBox {
  public:
    virtual ~MessageBox() = default;
    // The index of the button chosen; the last one when the box is closed. Enter chooses
    // the default one.
    virtual int ask(QWidget* owner, const QString& text, const QStringList& buttons,
                    int defaultButton = 0) = 0;
    virtual void inform(QWidget* owner, const QString& text) = 0;  // no icon
    virtual void warn(QWidget* owner, const QString& text) = 0;
    virtual void beep() = 0;
};

}  // namespace platform
