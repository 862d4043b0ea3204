#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

class QWidget;

namespace platform {

// Screen and printer fonts, with the effects section (underline, strikethrough, colour).
inline constexpr qint32 kFontFlagsScreenPrinterEffects = 259;

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
