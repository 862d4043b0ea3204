// One main window in a process of its own, for what needs one: another user, a fault injected by
// strace, a signal. Runs its arguments as steps, then prints the text's length and each message
// shown, its paragraphs and lines parted by '|', also at each wait:
//   savecase text:N (N characters and a line end) | cd:FOLDER | open:PATH | sh:COMMAND | save:PATH
//            | wait (says "ready", then waits for SIGUSR1, so that strace can attach or go)
//            | speak (Start with the real engine and sound: says "heard" or "silent", then Stop)
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "harness.h"
#include "speech/jtalkspeech.h"

// The text's length, whether it is modified, and the messages shown since last told.
static void tell(Harness& h, qsizetype& told) {
    std::printf("text %lld%s\n", static_cast<long long>(h.form->Text1->text().size()),
                h.form->Text1->document()->isModified() ? " modified" : "");
    for (QString e : h.messages.events.mid(std::exchange(told, h.messages.events.size())))
        std::printf("%s\n", qPrintable(e.replace(u"\n\n"_s, u"|"_s).replace(u'\n', u'|')));
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // what was said, also by one that never ends
    sigset_t go;
    sigemptyset(&go);
    sigaddset(&go, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &go, nullptr);  // before any thread is made
    QApplication app(argc, argv);
    const QStringList steps = app.arguments().mid(1);
    const auto real = [] {
        return std::make_unique<speech::JTalkSpeech>(speech::JTalkFiles::find(),
                                                     std::make_unique<platform::PulseAudioSink>());
    };
    Harness h({}, steps.contains(u"speak"_s) ? platform::SpeechFactory(real) : nullptr);
    qsizetype told = 0;
    for (const QString& step : steps) {
        const QString arg = step.section(u':', 1);
        if (step.startsWith(u"text:")) {  // as if typed
            h.form->Text1->setText(QString(arg.toInt(), u'n') + u"\r\n"_s);
            h.form->Text1->document()->setModified(true);
        }
        if (step.startsWith(u"cd:")) QDir::setCurrent(arg);
        if (step.startsWith(u"open:")) h.open(arg);
        if (step.startsWith(u"sh:") && std::system(qPrintable(arg)) != 0) return 2;
        if (step.startsWith(u"save:")) h.dialogs.answer = arg, h.form->mSave_Click();
        if (step.startsWith(u"new:")) h.dialogs.answer = arg, h.form->mNew_Click();  // 保存
        if (step == u"wait") {
            tell(h, told);
            std::printf("ready\n");
            std::fflush(stdout);
            int sig;
            sigwait(&go, &sig);
        }
        if (step == u"speak") {
            bool heard = false;
            QObject::connect(h.form->PtSvr1.get(), &platform::SpeechControl::playing,
                             [&](qsizetype, qsizetype length) { heard = heard || length > 0; });
            const qsizetype told = h.messages.events.size();
            h.form->mSpeakTest_Click();
            (void)QTest::qWaitFor([&] { return heard || h.messages.events.size() > told; }, 10000);
            std::printf("%s\n", heard ? "heard" : "silent");
            h.form->mStop_Click();
        }
    }
    tell(h, told);
}
