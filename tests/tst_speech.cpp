// Reading aloud with the open_jtalk engine: how a text is cut, against a fake sink, and on a
// real sound server.
#include <unistd.h>

#include <QDir>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

#include "harness.h"
#include "platform/audiosink.h"
#include "soundmonitor.h"
#include "speech/jtalkspeech.h"

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

// Processes whose parent is this test, reaped or not.
int childProcesses() {
    QStringList pids;
    for (const QString& task :
         QDir(u"/proc/self/task"_qs).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        pids << QString::fromLatin1(readBytes(u"/proc/self/task/%1/children"_qs.arg(task)))
                    .split(u' ', Qt::SkipEmptyParts);
    return pids.size();
}

}  // namespace

class SpeechTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

  private Q_SLOTS:
    void utterancesCoverTheText();
    void engineReadsAloud();
    void engineFailures();
    void realSound_data();
    void realSound();
};

void SpeechTest::utterancesCoverTheText() {
    // A long first sentence, a 3,000-character line without punctuation that has emoji with
    // skin tones (two code points each) where it must be cut, blank lines, control characters.
    const QString line3000 = QString(u"あいうえおかきくけ👍🏽"_qs).repeated(230);
    const QString text = u"急がば回れ、"_qs + QString(u"とても長い"_qs).repeated(60) +
                         u"、終わり。石の上にも三年。Ｒｏｍａ 123 abc😀！\r\n\r\n   \r\n"_qs +
                         line3000 + u"\n\u3000\t\x01\r\n"_qs;
    speech::Utterances u(text);
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
        QVERIFY(input.toUtf8().size() + 1 <= speech::kMaxInputBytes);
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
    // The same samples with and without a pause in the middle.
    const QString text = u"雨垂れ石を穿つ。\r\n塵も積もれば山となる。"_qs;
    QByteArray straight, paused;
    for (QByteArray* out : {&straight, &paused}) {
        auto* sink = new FakeSink;
        speech::JTalkSpeech speech(speech::JTalkFiles::find(),
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
    // Resumed from the very sample where it paused.
    QVERIFY(straight.size() > platform::kSampleRate * 2 * 2 && paused == straight);
    // The engine's leading silence is cut to 20 ms, so the first sound comes at once.
    qsizetype quiet = 0;
    while (std::abs(qFromLittleEndian<qint16>(straight.constData() + 2 * quiet)) <= 100) ++quiet;
    QCOMPARE(quiet, platform::kSampleRate / 50);
}

void SpeechTest::engineFailures() {
    const QString crash = dir.filePath(u"crash"_qs);
    writeBytes(crash, "#!/bin/sh\nkill -SEGV $$\n");
    QFile::setPermissions(crash, QFile::ReadOwner | QFile::ExeOwner);
    const QString junk = dir.filePath(u"junk"_qs);  // executable, but not a program
    writeBytes(junk, "\x7f\x01\x02");
    QFile::setPermissions(junk, QFile::ReadOwner | QFile::ExeOwner);
    const speech::JTalkFiles real = speech::JTalkFiles::find();
    using enum SpeechControl::ErrorReason;
    // Program, dictionary, voice; the reason and what the message names. "-" is the real one.
    const struct Row {
        QString program, dictionary, voice;
        SpeechControl::ErrorReason reason;
        const char* says;
    } rows[] = {
        {"/nowhere/open_jtalk", "-", "-", Configuration, "open-jtalk"},
        {"-", "/nowhere", "-", Configuration, "open-jtalk-mecab-naist-jdic"},
        {"-", "-", "/nowhere/v.htsvoice", Configuration, "hts-voice-nitech-jp-atr503-m001"},
        {"-", "-", "/etc/passwd", Configuration, "hts-voice-nitech-jp-atr503-m001"},
        {junk, "-", "-", Configuration, "起動できません"},
        {crash, "-", "-", Engine, "異常終了"},
    };
    for (const Row& row : rows) {
        auto* sink = new FakeSink;
        const auto pick = [](const QString& row, const QString& real) {
            return row == u"-" ? real : row;
        };
        speech::JTalkSpeech speech(
            {pick(row.program, real.program), pick(row.dictionary, real.dictionary),
             pick(row.voice, real.voice)},
            std::unique_ptr<platform::AudioSink>(sink));
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
    QTest::newRow("the span reported is the one heard") << u"follow stop"_qs;
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
    const speech::JTalkFiles files = speech::JTalkFiles::find();
    speech::JTalkSpeech one(files, std::make_unique<platform::QtAudioSink>());
    speech::JTalkSpeech two(files, std::make_unique<platform::QtAudioSink>());
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
            speech::JTalkSpeech& s = step.endsWith(u'0') ? one : two;
            s.SpeechVoice(step.endsWith(u'0') ? platform::kVoice0 : platform::kVoice1);
            s.SpeechSay(u"こんにちは、読み秀君です"_qs);
            QVERIFY2(monitor.waitLoud(at) < 1500, qPrintable(where + u": not heard"_qs));
            QVERIFY(SoundMonitor::waitUntil(
                [&] { return s.state() == SpeechControl::State::Ready; }, 5000));
        } else if (step == u"follow") {
            // The second phrase is reported as it is pulled; it is heard right after.
            double second = NAN;
            connect(&one, &SpeechControl::playing, this, [&](qsizetype start, qsizetype) {
                if (start > 0 && std::isnan(second)) second = monitor.now();
            });
            one.SpeechSetText(u"千里の道も一歩から。\r\n急がば回れ。"_qs);
            one.SpeechPlay();
            QVERIFY(SoundMonitor::waitUntil([&] { return !std::isnan(second); }, 5000));
            const double after = monitor.waitLoud(second);
            QVERIFY2(after < 100, qPrintable(u"heard %1 ms after it was reported"_qs.arg(after)));
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
