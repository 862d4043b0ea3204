// Setting: the settings dialog, then its font applied to the editor.
#include <QCoreApplication>

#include "app/Form1.h"
#include "settings/Form2.h"

void Form1::mSetting_Click() {
    {
        Form2 dialog(settings_, services_, this);
        connect(dialog.PtSvr1.get(), &platform::SpeechControl::errorOccurred, this,
                [this](platform::SpeechControl::ErrorReason, const QString& text) {
                    reportSpeechError(text);
                });
        dialog.Form_Load();  // returns when the user has closed it
    }
    QCoreApplication::processEvents();

    // Every value is applied, chosen in this opening or not; one that the text box
    // refuses leaves that property as it was.
    QFont font = Text1->font();
    font.setFamily(settings_.sFontName);
    if (settings_.iFontSize > 0) font.setPointSizeF(settings_.iFontSize);
    font.setBold(settings_.bFontBold);
    font.setItalic(settings_.bFontItalic);
    font.setUnderline(settings_.bFontUnderline);
    Text1->setFont(font);
    QPalette palette = Text1->palette();
    palette.setColor(QPalette::Text, platform::fromColorRef(settings_.vFontColor.value_or(0)));
    Text1->setPalette(palette);
    QCoreApplication::processEvents();
}
