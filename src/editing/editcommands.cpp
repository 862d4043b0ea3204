#include <QAction>

#include "app/Form1.h"
#include "platform/escapes.h"

void Form1::mCopy_Click() {
    services_.clipboard.clear();
    services_.clipboard.setText(escapes::shown(Text1->selText()));
}

void Form1::mCut_Click() {
    const QString selected = Text1->selText();
    if (selected.isEmpty()) return;
    services_.clipboard.clear();
    services_.clipboard.setText(escapes::shown(selected));
    Text1->setSelText(QString());
}

void Form1::mPaste_Click() {
    Text1->setSelText(services_.clipboard.text());
    mSpeakTest->setEnabled(true);
}

void Form1::mClear_Click() {
    Text1->clearUndoably();
    mSpeakTest->setEnabled(false);
}

void Form1::mNew_Click() {
    if (saveChangesFirst()) mClear_Click();
}
