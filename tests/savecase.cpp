// One main window in a process of its own, for the saves that need one: another user, a fault
// injected by strace, a signal. Runs its arguments as steps, then prints each message shown,
// its paragraphs and lines parted by '|':
//   savecase text:N (N characters and a line end) | open:PATH | sh:COMMAND | save:PATH ...
#include <cstdio>
#include <cstdlib>

#include "harness.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Harness h;
    for (const QString& step : app.arguments().mid(1)) {
        const QString arg = step.section(u':', 1);
        if (step.startsWith(u"text:"))
            h.form->Text1->setText(QString(arg.toInt(), u'n') + u"\r\n"_s);
        if (step.startsWith(u"open:")) h.open(arg);
        if (step.startsWith(u"sh:") && std::system(qPrintable(arg)) != 0) return 2;
        if (step.startsWith(u"save:")) h.dialogs.answer = arg, h.form->mSave_Click();
    }
    for (QString e : h.messages.events)
        std::printf("%s\n", qPrintable(e.replace(u"\n\n"_s, u"|"_s).replace(u'\n', u'|')));
}
