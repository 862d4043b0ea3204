// Setting: the settings dialog, then its font applied to the editor.
#include <QCoreApplication>

#include "app/Form1.h"
#include "settings/Form2.h"
#include "settings/applyfont.h"

void Form1::mSetting_Click() {
    {
        Form2 dialog(settings_, services_, this);
        watchSpeech(dialog.PtSvr1.get());
        dialog.Form_Load();  // returns when the user has closed it
    }
    // As designed: the closed dialog's window goes before the editor is restyled, and the
    // editor is repainted before the command returns.
    QCoreApplication::processEvents();
    // Every value is applied, chosen in this opening or not; a size of 0 is refused and
    // leaves the size as it was.
    applyFont(Text1, storedFont(settings_), false);
    QCoreApplication::processEvents();
}
