// Reading aloud: the Start, Pause and Stop commands against a fake engine, then the real
// open_jtalk engine against a fake audio sink.
#include <unistd.h>

#include <QDir>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

#include "harness.h"
#include "platform/jtalk.h"
#include "soundmonitor.h"

using platform::SpeechControl;

namespace {

// Plays nothing: the test pulls the samples, as a sound card would, unless suspended.
struct FakeSink : platform::AudioSink {
    QIODevice* source = nullptr;
    bool suspended = false;
    bool start(QIODevice* s) override {
        source = s;
        suspended = false;
        return true;
    }
    void suspend() override { suspended = true; }
    void resume() override { suspended = false; }
    void stop() override { source = nullptr; }
    QByteArray pull(qint64 n) {
        if (!source || suspended) return QByteArray();
        QByteArray got = source->read(n);
        if (got.isEmpty() && idle) idle();
        return got;
    }
};

// Processes whose parent is this test.
int childProcesses() {
    int n = 0;
    const QString me = QString::number(getpid());
    for (const QString& pid : QDir(u"/proc"_qs).entryList(QDir::Dirs)) {
        QFile stat(u"/proc/"_qs + pid + u"/stat"_qs);
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QString line = QString::fromLatin1(stat.readAll());
        // pid (comm) state ppid ...
        if (line.mid(line.lastIndexOf(u')') + 2).section(u' ', 1, 1) == me) ++n;
    }
    return n;
}

}  // namespace

class SpeechTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

  private Q_SLOTS:
    void commands();
    void closingStopsSpeech();
    void errorToldOnce();
    void utterancesCoverTheText();
    void engineReadsAloud();
    void engineFailures();
    void realSound_data();
    void realSound();
};

void SpeechTest::commands() {
    // Steps after typing "ab"; then the calls of the last step, bPause, and Pause and Stop as 0/1.
    const QString v0 = u"SpeechVoice:"_qs + platform::kVoice0;
    const QString v1 = u"SpeechVoice:"_qs + platform::kVoice1;
    const QStringList read{u"SpeechStop"_qs, u"SpeechSetText:ab"_qs, u"SpeechPlay"_qs};
    struct Row {
        const char* steps;
        QStringList calls;
        bool bPause;
        const char* flags;
    };
    const Row rows[] = {
        {"", {}, false, "00"},
        {"start", QStringList{v0} + read, false, "11"},
        {"voice1 start", QStringList{v1} + read, false, "11"},
        {"voice7 start", read, false, "11"},  // any other voice: the engine keeps its own
        {"start pause", {u"SpeechPause"_qs}, true, "11"},
        {"start pause pause", {u"SpeechResume"_qs}, false, "11"},
        {"start pause pause pause", {u"SpeechPause"_qs}, true, "11"},
        {"start stop", {u"SpeechStop"_qs}, false, "01"},
        {"start pause stop", {u"SpeechStop"_qs}, true, "01"},
        {"start pause stop start", QStringList{v0} + read, false, "11"},
        {"start stop pause", {u"SpeechPause"_qs}, true, "01"},  // as the handler, not the menu
        {"start erase start", {}, false, "11"},                 // empty text: nothing at all
        {"select start",
         {v0, u"SpeechStop"_qs, u"SpeechSetText:b\r\n "_qs, u"SpeechPlay"_qs},
         false,
         "11"},
    };
    for (const Row& row : rows) {
        Harness h;
        QTest::keyClicks(h.form->Text1, u"ab"_qs);
        FakeSpeech& speech = *h.speeches.at(0);
        for (const QString& step : QString::fromUtf8(row.steps).split(u' ', Qt::SkipEmptyParts)) {
            speech.take();
            if (step == u"start") h.form->mSpeakTest_Click();
            if (step == u"pause") h.form->mPause_Click();
            if (step == u"stop") h.form->mStop_Click();
            if (step.startsWith(u"voice")) h.settings.iVoice = qint16(step.mid(5).toInt());
            if (step == u"erase") h.form->Text1->setText(QString());
            if (step == u"select") {
                h.form->Text1->setText(u"ab\r\n c"_qs);
                QTextCursor c = h.form->Text1->textCursor();
                c.setPosition(1);
                c.setPosition(4, QTextCursor::KeepAnchor);
                h.form->Text1->setTextCursor(c);
            }
        }
        const QString where = QString::fromUtf8(row.steps);
        QVERIFY2(speech.calls == row.calls, qPrintable(where + u": "_qs + speech.calls.join(u',')));
        QVERIFY2(h.form->bPause == row.bPause, qPrintable(where));
        QVERIFY2(h.flags().mid(3) == QLatin1String(row.flags), qPrintable(where));
    }
}

void SpeechTest::closingStopsSpeech() {
    for (const bool byEnd : {true, false}) {
        Harness h;
        h.form->Form_Load();
        QTest::keyClicks(h.form->Text1, u"ab"_qs);
        h.form->mSpeakTest_Click();
        h.speeches.at(0)->take();
        if (byEnd) {
            h.form->mEnd_Click();
        } else {
            h.form->windowHandle()->close();  // the close box
        }
        QCOMPARE(h.speeches.at(0)->calls, QStringList{u"SpeechStop"_qs});
        QVERIFY(!h.form->isVisible() && !h.form->mPause->isEnabled());
    }
}

void SpeechTest::errorToldOnce() {
    Harness h;
    for (int i = 0; i < 2; ++i)
        Q_EMIT h.speeches.at(0)->errorOccurred(SpeechControl::ErrorReason::Configuration,
                                               u"パッケージ open-jtalk"_qs);
    QCOMPARE(h.messages.events,
             QStringList{u"warn:読み上げができません。\nパッケージ open-jtalk"_qs});
}

void SpeechTest::utterancesCoverTheText() {
    // A long first sentence, a 3,000-character line without punctuation that has emoji with
    // skin tones (two code points each) where it must be cut, blank lines, control characters.
    const QString line3000 = QString(u"あいうえおかきくけ👍🏽"_qs).repeated(230);
    const QString text = u"急がば回れ、"_qs + QString(u"とても長い"_qs).repeated(60) +
                         u"、終わり。石の上にも三年。Ｒｏｍａ 123 abc😀！\r\n\r\n   \r\n"_qs +
                         line3000 + u"\n\u3000\t\x01\r\n"_qs;
    speechtext::Utterances u(text);
    const auto blank = [](const QString& s) {
        return std::all_of(s.begin(), s.end(), [](QChar c) { return c.isSpace() || c < u' '; });
    };
    qsizetype pos = 0;
    QStringList inputs;
    while (const auto span = u.next()) {
        QVERIFY(span->start >= pos && span->length > 0);
        QVERIFY(blank(text.mid(pos, span->start - pos)));
        const QString input = u.input(*span);
        QVERIFY(!blank(input) && !input.contains(u'\n') && !input.contains(u'\r'));
        QVERIFY(input.toUtf8().size() + 1 <= speechtext::kMaxInputBytes);
        QVERIFY2(!input.startsWith(u"\U0001F3FD"_qs), "a cluster is never cut");
        inputs << input;
        pos = span->start + span->length;
    }
    QVERIFY(blank(text.mid(pos)));
    QCOMPARE(inputs.first(), u"急がば回れ、"_qs);  // short, so the first sound comes soon
    QCOMPARE(inputs.at(2), u"石の上にも三年。"_qs);
    QCOMPARE(inputs.size(), 4 + (230 * 35 + 998) / 999);
}

void SpeechTest::engineReadsAloud() {
    // Speech comes out, and the same with and without a pause in the middle.
    const QString text = u"雨垂れ石を穿つ。\r\n塵も積もれば山となる。"_qs;
    QByteArray straight, paused;
    for (QByteArray* out : {&straight, &paused}) {
        auto* sink = new FakeSink;
        platform::JTalkSpeech speech(platform::JTalkFiles::find(),
                                     std::unique_ptr<platform::AudioSink>(sink));
        speech.SpeechVoice(platform::kVoice1);
        speech.SpeechSetText(text);
        speech.SpeechPlay();
        QTRY_VERIFY_WITH_TIMEOUT(!(*out += sink->pull(4800)).isEmpty(), 10000);
        if (out == &paused) {
            speech.SpeechPause();
            speech.SpeechPause();  // harmless twice
            QCOMPARE(speech.state(), SpeechControl::State::Paused);
            QTest::qWait(300);
            QVERIFY(sink->pull(4800).isEmpty());
            speech.SpeechResume();
            QCOMPARE(speech.state(), SpeechControl::State::Speaking);
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            (*out += sink->pull(4800), speech.state() == SpeechControl::State::Ready), 10000);
        speech.SpeechPause();  // after the end: accepted, nothing happens
        speech.SpeechResume();
        speech.SpeechStop();
        QCOMPARE(speech.state(), SpeechControl::State::Ready);
    }
    QCOMPARE(paused.size(), straight.size());
    QVERIFY(paused == straight);
    double energy = 0;  // 16-bit samples: a few seconds, and loud
    for (qsizetype i = 0; i + 1 < straight.size(); i += 2)
        energy += std::pow(qFromLittleEndian<qint16>(straight.constData() + i), 2);
    QVERIFY(straight.size() > 48000 * 2 * 2 && std::sqrt(energy / (straight.size() / 2)) > 300);

    // Stop while the engine is at work on a long text: the child goes soon after.
    auto* sink = new FakeSink;
    platform::JTalkSpeech speech(platform::JTalkFiles::find(),
                                 std::unique_ptr<platform::AudioSink>(sink));
    speech.SpeechSetText(QString(u"七転び八起き。"_qs).repeated(2000));
    speech.SpeechPlay();
    QTRY_VERIFY(childProcesses() == 1);
    speech.SpeechStop();
    QTRY_COMPARE(childProcesses(), 0);
    QVERIFY(!sink->source && speech.state() == SpeechControl::State::Ready);
}

void SpeechTest::engineFailures() {
    const QString crash = dir.filePath(u"crash"_qs);
    writeBytes(crash, "#!/bin/sh\nkill -SEGV $$\n");
    QFile::setPermissions(crash, QFile::ReadOwner | QFile::ExeOwner);
    const QString junk = dir.filePath(u"junk"_qs);  // executable, but not a program
    writeBytes(junk, "\x7f\x01\x02");
    QFile::setPermissions(junk, QFile::ReadOwner | QFile::ExeOwner);
    const platform::JTalkFiles real = platform::JTalkFiles::find();
    struct Row {
        platform::JTalkFiles files;
        SpeechControl::ErrorReason reason;
        const char* says;
    } rows[] = {
        {{u"/nowhere/open_jtalk"_qs, real.dictionary, real.voice},
         SpeechControl::ErrorReason::Configuration,
         "open-jtalk"},
        {{real.program, u"/nowhere"_qs, real.voice},
         SpeechControl::ErrorReason::Configuration,
         "open-jtalk-mecab-naist-jdic"},
        {{real.program, real.dictionary, u"/nowhere/v.htsvoice"_qs},
         SpeechControl::ErrorReason::Configuration,
         "hts-voice-nitech-jp-atr503-m001"},
        {{real.program, real.dictionary, u"/etc/passwd"_qs},  // not a voice at all
         SpeechControl::ErrorReason::Configuration,
         "hts-voice-nitech-jp-atr503-m001"},
        {{junk, real.dictionary, real.voice},
         SpeechControl::ErrorReason::Configuration,
         "起動できません"},
        {{crash, real.dictionary, real.voice}, SpeechControl::ErrorReason::Engine, "異常終了"},
    };
    for (const Row& row : rows) {
        auto* sink = new FakeSink;
        platform::JTalkSpeech speech(row.files, std::unique_ptr<platform::AudioSink>(sink));
        QSignalSpy errors(&speech, &SpeechControl::errorOccurred);
        speech.SpeechSay(u"こんにちは、読み秀君です"_qs);
        QTRY_COMPARE(errors.size(), 1);
        QCOMPARE(speech.state(), SpeechControl::State::Error);
        QCOMPARE(errors.at(0).at(0).value<SpeechControl::ErrorReason>(), row.reason);
        const QString text = errors.at(0).at(1).toString();
        QVERIFY2(text.contains(QString::fromUtf8(row.says)), qPrintable(text));
        speech.SpeechPause();
        speech.SpeechStop();
        QTRY_COMPARE(childProcesses(), 0);
    }
}

void SpeechTest::realSound_data() {
    // Steps on two speech controls with the Qt sink, heard on the sound server's monitor.
    QTest::addColumn<QString>("steps");
    QTest::newRow("20 readings in a row") << u"read stop "_qs.repeated(20);
    QTest::newRow("pause, resume, start while paused") << u"read pause resume pause read stop"_qs;
    QTest::newRow("a reading that ended by itself") << u"short end read stop"_qs;
    QTest::newRow("greetings from two controls") << u"greet0 greet1 "_qs.repeated(3);
    QTest::newRow("the server goes away") << u"read kill"_qs;
}

void SpeechTest::realSound() {
    QFETCH(QString, steps);
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") ||
        QMediaDevices::defaultAudioOutput().isNull()) {
        if (qEnvironmentVariableIsSet("CI")) QFAIL("no sound server in CI");
        QSKIP("no sound server: the test command starts one with pulseaudio");
    }
    SoundMonitor monitor;
    QVERIFY2(monitor.ok, "parec and pacat record the monitor");
    const int children = childProcesses();
    const platform::JTalkFiles files = platform::JTalkFiles::find();
    platform::JTalkSpeech one(files, std::make_unique<platform::QtAudioSink>());
    platform::JTalkSpeech two(files, std::make_unique<platform::QtAudioSink>());
    QSignalSpy errors(&one, &SpeechControl::errorOccurred);
    int n = 0;
    for (const QString& step : steps.split(u' ', Qt::SkipEmptyParts)) {
        const QString where = u"step %1 %2"_qs.arg(++n).arg(step);
        const double at = monitor.now();
        if (step == u"read" || step == u"short") {
            one.SpeechSetText(step == u"short"
                                  ? u"雨垂れ石を穿つ"_qs
                                  : u"千里の道も一歩から。\r\n急がば回れ。"_qs.repeated(5));
            one.SpeechPlay();
            QVERIFY2(monitor.waitLoud(at) < 1500, qPrintable(where + u": not heard"_qs));
        } else if (step.startsWith(u"greet")) {
            platform::JTalkSpeech& s = step.endsWith(u'0') ? one : two;
            s.SpeechVoice(step.endsWith(u'0') ? platform::kVoice0 : platform::kVoice1);
            s.SpeechSay(u"こんにちは、読み秀君です"_qs);
            QVERIFY2(monitor.waitLoud(at) < 1500, qPrintable(where + u": not heard"_qs));
            QVERIFY(SoundMonitor::waitUntil(
                [&] { return s.state() == SpeechControl::State::Ready; }, 5000));
        } else if (step == u"end") {
            QVERIFY(SoundMonitor::waitUntil(
                [&] { return one.state() == SpeechControl::State::Ready; }, 5000));
        } else if (step == u"pause" || step == u"stop") {
            QElapsedTimer call;
            call.start();
            step == u"pause" ? one.SpeechPause() : one.SpeechStop();
            QVERIFY2(call.elapsed() < 50, qPrintable(where + u": the window waited"_qs));
            const double after = monitor.waitSilent(at);
            QVERIFY2(after <= 100, qPrintable(where + u": still heard after %1 ms"_qs.arg(after)));
            // Nothing is started from inside Stop, and the engine it killed is gone soon.
            QTRY_COMPARE(childProcesses(), children);
        } else if (step == u"resume") {
            one.SpeechResume();
            QVERIFY2(monitor.waitLoud(at) < 300, qPrintable(where + u": not heard"_qs));
        } else if (step == u"kill") {
            QProcess::execute(u"pulseaudio"_qs, {u"--kill"_qs});
            QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, 5000);
            QCOMPARE(errors.at(0).at(0).value<SpeechControl::ErrorReason>(),
                     SpeechControl::ErrorReason::Playback);
            QCOMPARE(one.state(), SpeechControl::State::Error);
            QCOMPARE(QProcess::execute(u"bash"_qs,
                                       {u"%1/tools/soundserver.sh"_qs.arg(VEKEDIT_SOURCE_DIR),
                                        u"start"_qs, qEnvironmentVariable("XDG_RUNTIME_DIR")}),
                     0);
        }
    }
    QCOMPARE(errors.size(), steps.contains(u"kill") ? 1 : 0);
}

QTEST_MAIN(SpeechTest)
#include "tst_speech.moc"
