#pragma once

#include <QIcon>
#include <QString>

class QWidget;

namespace platform {

// A modal About box. appText is "title#first line"; otherText is shown after
// a line about the system.
class AboutBox {
  public:
    virtual ~AboutBox() = default;
    virtual void show(QWidget* owner, const QString& appText, const QString& otherText,
                      const QIcon& icon) = 0;
};

}  // namespace platform
