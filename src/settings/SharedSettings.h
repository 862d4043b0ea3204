#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Values the start procedure and both windows hand each other for one run.
// Nothing here is ever saved; every run starts from these zeroed values.
struct SharedSettings {
    QString sCommand;
    qint16 iVoice = 0;
    QString sFontName;
    qint16 iFontSize = 0;
    bool bFontBold = false;
    bool bFontItalic = false;
    bool bFontUnderline = false;
    std::optional<qint32> vFontColor;  // empty until a font has been chosen
};
