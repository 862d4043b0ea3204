#include "app/Form1.h"

void Form1::mAbout_Click() {
    const QString appText = QStringLiteral("vekEdit のバージョン情報#vekEdit / 格言・名言Editor");
    const QString otherText =
        QStringLiteral("Copyright (C) 2026 the vekEdit developers") + QStringLiteral("\r\n") +
        QStringLiteral("Special thanks to IBM Voiceland Staff") + QStringLiteral("\r\n") +
        QStringLiteral("        https://open-jtalk.sourceforge.net/");
    services_.aboutBox.show(this, appText, otherText, windowIcon());
}
