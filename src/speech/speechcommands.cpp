// Start, Pause and Stop: reading the editor's text aloud.
#include <QAction>

#include "app/Form1.h"
#include "platform/escapes.h"

void Form1::mSpeakTest_Click() {
    const QString whole = Text1->text();
    if (whole.isEmpty()) return;
    if (const auto voice = platform::voiceId(settings_.iVoice)) PtSvr1->SpeechVoice(*voice);
    bPause = false;
    PtSvr1->SpeechStop();
    mStop->setEnabled(true);
    mPause->setEnabled(true);
    PtSvr1->SpeechSetText(escapes::shown(Text1->selLength() == 0 ? whole : Text1->selText()));
    PtSvr1->SpeechPlay();
}

void Form1::mPause_Click() {
    if (bPause) {
        PtSvr1->SpeechResume();
        bPause = false;
    } else {
        PtSvr1->SpeechPause();
        bPause = true;
    }
}

void Form1::mStop_Click() {
    PtSvr1->SpeechStop();
    mPause->setEnabled(false);
}

// Once per run: the menus go on working as usual, so one word on why it stays silent is enough.
void Form1::reportSpeechError(const QString& text) {
    if (speechErrorShown_) return;
    speechErrorShown_ = true;
    services_.messageBox.warn(this, QStringLiteral("読み上げができません。\n") + text);
}
