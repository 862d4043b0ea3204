// Start, Pause and Stop: reading the editor's text aloud.
#include <QAction>

#include "app/Form1.h"
#include "platform/escapes.h"
#include "speech/readalong.h"

void Form1::mSpeakTest_Click() {
    const QString whole = Text1->text();
    if (whole.isEmpty()) return;
    if (const auto voice = platform::voiceId(settings_.iVoice)) PtSvr1->SpeechVoice(*voice);
    bPause = false;
    PtSvr1->SpeechStop();
    mStop->setEnabled(true);
    mPause->setEnabled(true);
    const bool all = Text1->selLength() == 0;
    const QString text = all ? whole : Text1->selText();
    readAlong_->handOver(text, all ? 0 : Text1->textCursor().selectionStart());
    setReading(true);
    PtSvr1->SpeechSetText(escapes::shown(text));
    PtSvr1->SpeechPlay();
    // A control that failed before tells no change of state when it fails again.
    if (PtSvr1->state() == platform::SpeechControl::State::Error) setReading(false);
}

void Form1::mPause_Click() {
    if (bPause) {
        PtSvr1->SpeechResume();
        bPause = false;
    } else {
        PtSvr1->SpeechPause();
        bPause = true;
    }
    showPause();
}

void Form1::mStop_Click() {
    PtSvr1->SpeechStop();
    mPause->setEnabled(false);
    setReading(false);
}

// Told by Start and Stop themselves too, for a speech control that says nothing.
void Form1::setReading(bool reading) {
    reading_ = reading;
    mStop->setShortcut(reading ? QKeySequence(Qt::Key_Escape) : QKeySequence());
    showPause();
    if (!reading) readAlong_->end();
}

// The action checks itself when chosen; it shows what bPause says instead.
void Form1::showPause() {
    mPause->setChecked(bPause && reading_);
}

// Trouble is told once until sound is heard again, from this window's control or the Setting
// dialog's: the menus go on working as usual, so one word on why it stays silent is enough.
void Form1::watchSpeech(platform::SpeechControl* control) {
    using Reason = platform::SpeechControl::ErrorReason;
    connect(control, &platform::SpeechControl::errorOccurred, this,
            [this](Reason reason, const QString& text) {
                if (std::exchange(speechTrouble_, reason) == reason) return;
                services_.messageBox.warn(this, QStringLiteral("読み上げができません。\n") + text);
            });
    connect(control, &platform::SpeechControl::playing, this, [this](qsizetype, qsizetype length) {
        if (length > 0) speechTrouble_ = Reason::NoError;
    });
}
