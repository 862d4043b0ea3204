#include "settings/applyfont.h"

#include <QWidget>

void applyFont(QWidget* widget, const platform::FontChoice& font, bool withStrikeOut) {
    QFont f = widget->font();
    f.setFamily(font.name);
    if (font.size > 0) f.setPointSizeF(font.size);
    f.setBold(font.bold);
    f.setItalic(font.italic);
    f.setUnderline(font.underline);
    if (withStrikeOut) f.setStrikeOut(font.strikethrough);
    widget->setFont(f);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Text, platform::fromColorRef(font.color));
    widget->setPalette(palette);
}

platform::FontChoice storedFont(const SharedSettings& s) {
    return {s.sFontName, float(s.iFontSize),      s.bFontBold, s.bFontItalic, s.bFontUnderline,
            false,       s.vFontColor.value_or(0)};
}
