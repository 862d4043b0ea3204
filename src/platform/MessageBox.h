#pragma once

#include <QString>

class QWidget;

namespace platform {

// Modal boxes with an OK button only and the program's title.
class MessageBox {
  public:
    virtual ~MessageBox() = default;
    virtual void inform(QWidget* owner, const QString& text) = 0;  // no icon
    virtual void warn(QWidget* owner, const QString& text) = 0;
    virtual void beep() = 0;
};

}  // namespace platform
