#pragma once

#include <QColor>
#include <QString>
#include <QtGlobal>
#include <optional>

class QWidget;

namespace platform {

// Screen and printer fonts, with the effects section (underline, strikethrough, colour).
inline constexpr qint32 kFontFlagsScreenPrinterEffects = 259;
inline constexpr qint32 kFontFlagEffects = 0x100;

// Colours travel as 0x00BBGGRR, red in the low byte, as the font dialog gives them.
inline qint32 toColorRef(const QColor& c) {
    return c.red() | (c.green() << 8) | (c.blue() << 16);
}
inline QColor fromColorRef(qint32 v) {
    return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

struct FontChoice {
    QString name;
    float size = 0;  // points, unrounded
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;
    qint32 color = 0;  // 0x00BBGGRR
};

class FontDialog {
  public:
    virtual ~FontDialog() = default;
    // The confirmed choice, or nothing when the user cancelled.
    virtual std::optional<FontChoice> showFont(QWidget* owner, qint32 flags) = 0;
};

}  // namespace platform
