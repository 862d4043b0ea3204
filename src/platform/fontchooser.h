#pragma once

#include <QColor>
#include <QDialog>
#include <array>

#include "platform/FontDialog.h"

class QComboBox;
class QFontDialog;
class QLineEdit;

namespace platform {

struct NamedColor {
    QColor color;
    const char* name;  // UTF-8
};

// The sixteen classic colours, in the order the colour list shows them.
extern const std::array<NamedColor, 16> kClassicColors;

// Qt's font dialog has no colour, and takes whole sizes only; this one puts its font part
// next to a colour list and also accepts sizes such as 10.5 points.
class FontChooser : public QDialog {
    Q_OBJECT
  public:
    FontChooser(QWidget* owner, qint32 flags);
    FontChoice choice() const;

    QFontDialog* fonts() const { return fonts_; }
    QLineEdit* sizeEdit() const { return sizeEdit_; }
    QComboBox* colors() const { return colors_; }

  private:
    double typedSize() const;
    void showTypedSize();

    QFontDialog* fonts_;
    QLineEdit* sizeEdit_ = nullptr;
    QLineEdit* sample_ = nullptr;
    QComboBox* colors_ = nullptr;
    double lastTypedSize_ = 0;
};

}  // namespace platform
