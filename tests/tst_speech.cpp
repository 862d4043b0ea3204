// Reading aloud with the open_jtalk engine: against a fake sink, and on a real sound server.
#include <fcntl.h>
#include <sys/resource.h>
#include <QLocalServer>
#include <QLocalSocket>
#include <csignal>

#include "harness.h"
#include "soundmonitor.h"
#include "speech/jtalkspeech.h"

using Reason = platform::SpeechControl::ErrorReason;
using enum platform::SpeechControl::ErrorReason;
using enum platform::SpeechControl::State;
using Files = speech::JTalkFiles;

// Plays nothing: the test pulls the samples, as the sound server would, unless suspended; as
// there, what is pulled is heard a moment later.
struct FakeSink : platform::AudioSink {
    static constexpr qint64 kHeld = platform::kBytesPerSecond / 5;
    QIODevice* source = nullptr;
    bool suspended = false, draining = false, dry = false;
    qint64 pulled = 0;
    bool start(QIODevice* s) override {
        return source = s, suspended = draining = dry = false, pulled = 0, true;
    }
    void suspend() override { suspended = true; }
    void resume() override { suspended = false; }
    void stop() override { source = nullptr; }
    void drain() override { draining = true; }
    qint64 held = kHeld;  // pulled, not yet heard
    qint64 heard() const override { return dry ? pulled : std::max<qint64>(0, pulled - held); }
    QByteArray pull(qint64 n) {
        if (!source || suspended) return {};
        const QByteArray got = source->read(n);
        pulled += got.size();
        dry = got.isEmpty() && draining;
        if (dry && idle) idle();  // all of it has been played
        return got;
    }
};

class SpeechTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    // Processes started by this thread and not yet reaped, but for those named; none when the
    // list cannot be read.
    static int childProcesses(const QByteArrayList& except = {}) {
        int n = 0;
        for (const QByteArray& pid : readBytes(u"/proc/thread-self/children"_s).split(' '))
            n += pid.toInt() > 0 && !except.contains(pid);
        return n;
    }
    static QByteArrayList engines() {
        QByteArrayList found;
        for (const QByteArray& pid : readBytes(u"/proc/thread-self/children"_s).split(' '))
            if (readBytes("/proc/" + pid + "/comm") == "open_jtalk\n") found << pid;
        return found;
    }

  private Q_SLOTS:
    // Where a text is cut for the engine, and into how many pieces ('|' between them, '~' after
    // one followed by a breath only): the first piece of a reading short, so that it is heard at
    // once; a stretch too long for a breath cut before a word, and at each comma however spelled.
    void pieces_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pieces");
        const QString sentence =
            u"千里の道も一歩からという言葉の通り%1どんなに大きな目標であっても%1"
            u"小さな一歩を積み重ねることが何よりも大切だ"_s;
        const QString cut =
            u"千里の道も~|一歩からという言葉の通り%1|どんなに大きな目標であっても%1|"
            u"小さな一歩を積み重ねることが~|何よりも大切だ"_s;
        for (const char* comma : {"、", "，", "､", ",", " ", "　"})
            QTest::newRow(comma) << sentence.arg(QString::fromUtf8(comma))
                                 << cut.arg(QString::fromUtf8(comma));
        // Control characters are given as blanks, at which the engine pauses.
        QTest::newRow("a tab") << sentence.arg(u"\t"_s) << cut.arg(u" "_s);
        QTest::newRow("a delete") << sentence.arg(QChar(0x7F)) << cut.arg(u" "_s);
        QTest::newRow("none")
            << sentence.arg(QString()) + u"\r\n"_s + sentence.arg(QString())
            << u"千里の道も~|一歩からという言葉の通りどんなに~|大きな目標であっても"
               u"小さな一歩を~|積み重ねることが何よりも大切だ|"
               u"千里の道も一歩からという言葉の~|通りどんなに大きな目標であっても~|"
               u"小さな一歩を積み重ねることが~|何よりも大切だ"_s;
        // Clauses that each fit a breath: the first piece ends at the last comma within 120 bytes.
        QTest::newRow("the first piece at a comma")
            << u"急がば回れ、塵も積もれば山となる、石の上にも三年、猿も木から落ちる、二兎を追う者は一兎をも得ず。"_s
            << u"急がば回れ、塵も積もれば山となる、石の上にも三年、猿も木から落ちる、|二兎を追う者は一兎をも得ず。"_s;
        // First and after: a breath whole, and two in two.
        const QString breath = u"あいうえおかきくけこさしすせそた"_s;
        QTest::newRow("a breath, no more")
            << breath + u"\r\n"_s + breath + u"\r\n"_s + breath.repeated(2)
            << breath + u'|' + breath + u'|' + breath + u"~|"_s + breath;
        QTest::newRow("a breath, no more, and its comma")
            << breath + u"、\r\n"_s + breath + u"、"_s << breath + u"、|"_s + breath + u"、"_s;
        // As much as the engine reads of a line, no more: 999 bytes of UTF-8, not 1,000. A
        // character past U+FFFF takes 4, a Cyrillic letter 2.
        const QString haste = u"急がば回れ、"_s, article = u"第1条、"_s;  // 18 and 10 bytes
        const QString far = u"𠮷、"_s, cyrillic = u"Ж、"_s;               // 7 and 5 bytes
        QTest::newRow("the engine's most")
            << u"石の上にも三年\r\n急が、"_s + haste.repeated(60) + u"\r\n"_s +
                   article.repeated(110) + u"\r\n"_s + far.repeated(200) + u"\r\n"_s +
                   cyrillic.repeated(300)
            << u"石の上にも三年|急が、"_s + haste.repeated(55) + u'|' + haste.repeated(5) + u'|' +
                   article.repeated(99) + u'|' + article.repeated(11) + u'|' + far.repeated(142) +
                   u'|' + far.repeated(58) + u'|' + cyrillic.repeated(199) + u'|' +
                   cyrillic.repeated(101);
        QTest::newRow("a breath's phrases, one more")
            << u"私は本を読み彼は字を書く\r\n私は本を読み彼は字を書く\r\n"
               u"天は人の上に人を造らず人の下に人を造らずと言えり。"_s
            << u"私は本を読み~|彼は字を書く|私は本を読み彼は字を~|書く|"
               u"天は人の上に人を造らず~|人の下に人を造らずと言えり。"_s;
        QTest::newRow("a first sentence of 40 characters, whole")
            << u"急がば回れ、石の上にも三年、七転び八起き、笑う門には福来る、と昔の人はよく言う。"_s
            << u"急がば回れ、石の上にも三年、七転び八起き、笑う門には福来る、と昔の人はよく言う。"_s;
        QTest::newRow("only the first piece cut short")
            << u"急がば回れ。されば天より人を生ずるには、万人は万人皆同じ位にして、生まれながら貴賤上下の差別なし。"_s
            << u"急がば回れ。|されば天より人を生ずるには、万人は万人皆同じ位にして、生まれながら貴賤上下の差別なし。"_s;
        QTest::newRow("the first piece three phrases long")
            << u"人生は短く芸術は長いと昔の人はよく言ったものである。"_s
            << u"人生は短く芸術は~|長いと昔の人はよく~|言ったものである。"_s;
        QTest::newRow("kana: before a word or a number, else after a particle")
            << u"いしのうえにもさんねんいそがばまわれちりもつもればやまとなる\r\n"
               u"みすゞのこゝろはいつまでもかはらないのである。\r\n"
               u"わたしはデータをかくにんしたがまちがいはみつからなかったのでもういちどしらべた\r\n"
               u"まいにちほんをよんでいろいろなことをまなぶ。\r\n"
               u"わたしはまいとし3がつにふじさんのふもとへいきます。"_s
            << u"いしのうえにも~|さんねんいそがばまわれちりも~|つもればやまとなる|"
               u"みすゞのこゝろはいつまでもかは~|らないのである。|"
               u"わたしは~|データをかくにんしたがまちが~|いはみつからなかったのでも~|"
               u"ういちどしらべた|"
               u"まいにちほんを~|よんでいろいろなことをまなぶ。|"
               u"わたしはまいとし~|3がつにふじさんのふも~|とへいきます。"_s;
        QTest::newRow("katakana, its long vowels within a word")
            << u"スーパーマーケットチェーンストアーズのアイスクリームコーナー"_s
            << u"スーパーマーケッ~|トチェーンストアーズの~|アイスクリームコーナー"_s;
        QTest::newRow("a letter and its combining mark kept together")
            << u"急がば回れ。\r\n"_s + u"か\u3099"_s.repeated(9) + u"。"_s
            << u"急がば回れ。|"_s + u"か\u3099"_s.repeated(6) + u"~|"_s +
                   u"か\u3099"_s.repeated(3) + u"。"_s;
        QTest::newRow("katakana words joined by dots: cut at a dot")
            << u"シャーロック・ホームズ・シリーズのファンクラブ・メンバー。"_s
            << u"シャーロック・~|ホームズ・シリーズの~|ファンクラブ・メンバー。"_s;
        QTest::newRow("where katakana meets kanji")
            << u"石の上にも三年\r\nコンピュータ利用技術者試験対策講座\r\n日本語ワードプロセッサ操作検定試験"_s
            << u"石の上にも三年|コンピュータ~|利用技術者試験対策講~|座|日本語ワードプロセッサ~|操作検定試験"_s;
        QTest::newRow("kanji only") << u"独立自尊国家安全保障会議議長報告書提出期限延長申請"_s
                                    << u"独立自尊国家~|安全保障会議議長報告~|書提出期限延長申請"_s;
        QTest::newRow("sentences")
            << u"石の上にも三年。急がば回れ！塵も積もれば山となる？\f猿も木から落ちる"_s
            << u"石の上にも三年。|急がば回れ！|塵も積もれば山となる？|猿も木から落ちる"_s;
    }
    void pieces() {
        QFETCH(QString, text);
        QFETCH(QString, pieces);
        speech::Utterances cut(text);
        QStringList got;
        while (const auto span = cut.next())
            got << cut.input(*span) + (span->flowing ? u"~"_s : u""_s);
        QCOMPARE(got.join(u'|'), pieces);
    }

    // Two phrases in voice 1, read straight and with a pause in the middle, then in voice 0; and
    // lines of marks only, which have nothing to say, about a phrase; a stretch too long for a
    // breath.
    void engineReadsAloud() {
        QByteArray runs[5];
        const auto loudFrom = [](const QByteArray& pcm, qsizetype i) {  // the first loud sample
            while (std::abs(qFromLittleEndian<qint16>(pcm.constData() + 2 * i)) <= 100) ++i;
            return i;
        };
        for (int r = 0; r < 5; ++r) {
            auto* sink = new FakeSink;
            speech::JTalkSpeech s(Files::find(), std::unique_ptr<FakeSink>(sink));
            if (r >= 2) s.SpeechVoice(platform::kVoice1);  // then chosen back
            s.SpeechVoice(r < 2 ? platform::kVoice1 : platform::kVoice0);
            // The engine started ahead is of the voice chosen, and alone once the other is reaped.
            QTRY_VERIFY([&] {
                const QByteArrayList e = engines();
                const QByteArray args =
                    e.size() == 1 ? readBytes("/proc/" + e[0] + "/cmdline") : "";
                const QByteArrayList a = args.split('\0');
                return a.contains("-ow") && (r < 2 ? a.mid(a.indexOf("-fm"), 4) ==
                                                         QByteArrayList{"-fm", "10", "-a", "0.58"}
                                                   : !a.contains("-fm"));
            }());
            s.SpeechSetText(r < 3 ? u"雨垂れ石を穿つ。\r\n塵も積もれば山となる。"_s
                            : r == 3
                                ? u"・・・\r\n雨垂れ石を穿つ。\r\n・・・"_s
                                : u"千里の道も一歩からという言葉の通りどんなに大きな目標であっても"
                                  u"小さな一歩を積み重ねることが何よりも大切だ"_s);
            qint64 told = -1;      // how much had been heard when a span after the first was told
            qsizetype marked = 0;  // the length of the span told last
            connect(&s, &speech::JTalkSpeech::playing, this, [&](qsizetype at, qsizetype length) {
                if (at > 0 && told < 0) told = sink->heard();
                marked = length;
            });
            // The engine started ahead died, known (2) or not heard of yet (1): a new one, of the
            // voice chosen, says all of it.
            QByteArrayList killed;  // reaped at any moment: not counted
            if (r == 1 || r == 2) {
                killed = engines();
                for (const QByteArray& pid : killed) ::kill(pid.toInt(), SIGKILL);
                // Known: reaped. Any other child, such as one being started, is not the engine.
                if (r == 2) QTRY_VERIFY(engines().isEmpty());
                for (const QByteArray& pid : killed) {  // dead, with no event to tell it
                    const QString stat = u"/proc/"_s + pid + u"/stat"_s;
                    while (r == 1 && QFile::exists(stat) && !readBytes(stat).contains(") Z "))
                        QThread::msleep(1);
                }
            }
            const int ahead = childProcesses(killed);
            s.SpeechPlay();
            // Else the engine started ahead says it.
            QCOMPARE(childProcesses(killed), ahead + (r == 2));
            // Made ahead of the sound: all of a short reading is there before any of it is heard.
            if (r == 1)
                QTRY_COMPARE_WITH_TIMEOUT(sink->source->bytesAvailable(), runs[0].size(), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(!(runs[r] += sink->pull(4800)).isEmpty(), 10000);
            if (r == 0) {  // stopped, what the server held silenced; started twice: all afresh
                s.SpeechStop();
                QVERIFY(!sink->source);
                s.SpeechPlay();
                QTRY_VERIFY_WITH_TIMEOUT(!sink->pull(4800).isEmpty(), 10000);
                runs[r].clear(), s.SpeechPlay();
            }
            if (r == 1) {
                QTRY_VERIFY(marked > 0);
                // All of it handed over, none of it heard; paused longer than it lasts.
                sink->held = runs[0].size(), runs[r] += sink->pull(runs[0].size());
                for (int i = 0; i < 2; ++i) s.SpeechPause();  // twice is harmless
                QCOMPARE(s.state(), Paused);
                QTest::qWait(runs[0].size() * 1000 / platform::kBytesPerSecond);
                QVERIFY(sink->pull(4800).isEmpty());
                QCOMPARE_GT(marked, 0);  // the mark stays
                // Resumed, the last phrase is marked as it is heard, with nothing more pulled.
                sink->held = 1, s.SpeechResume();
                QCOMPARE(s.state(), Speaking);
                QTRY_VERIFY(told >= 0);
                sink->held = FakeSink::kHeld;
            }
            QTRY_VERIFY_WITH_TIMEOUT((runs[r] += sink->pull(4800), s.state() == Ready), 10000);
            // Told as its first sound is heard, not during the pause before it.
            if (r >= 2) {
                QVERIFY(told >= 0);
                QCOMPARE_LT(loudFrom(runs[r], told / 2) - told / 2, platform::kSampleRate / 10);
            }
            s.SpeechPause();  // after the end: accepted, nothing happens
            s.SpeechResume();
            QCOMPARE(s.state(), Ready);
            s.SpeechStop();
        }
        QVERIFY(runs[0].size() > platform::kBytesPerSecond * 2 && runs[1] == runs[0]);
        // Nothing to say at all: the reading ends at once.
        auto* sink = new FakeSink;
        speech::JTalkSpeech marks(Files::find(), std::unique_ptr<FakeSink>(sink));
        marks.SpeechSetText(u"・・・"_s);
        marks.SpeechPlay();
        QTRY_VERIFY_WITH_TIMEOUT(sink->pull(4800).isEmpty() && marks.state() == Ready, 10000);
        // Phrases 0.38 s apart, the pieces of a stretch too long for a breath 0.18 s.
        const auto gap = [](const QByteArray& pcm) {  // the longest silence within, in ms
            qsizetype longest = 0, quiet = 0;
            for (qsizetype i = 0; i < pcm.size() / 2; ++i)
                if (std::abs(qFromLittleEndian<qint16>(pcm.constData() + 2 * i)) > 100)
                    longest = std::max(longest, std::exchange(quiet, 0));
                else
                    ++quiet;
            return longest * 1000 / platform::kSampleRate;
        };
        QVERIFY2(gap(runs[0]) > 300 && gap(runs[0]) < 450,
                 qPrintable(QString::number(gap(runs[0]))));
        QVERIFY2(gap(runs[4]) < 250, qPrintable(QString::number(gap(runs[4]))));
        // The first sound comes at once, not after the engine's 0.4 s of silence.
        const qsizetype i = loudFrom(runs[0], 0);
        QVERIFY(i > 0 && i < platform::kSampleRate / 10);
        // 読み子ちゃん is ten half-tones above 読み秀君, from the first phrase on.
        for (const QByteArray& said : {runs[0].first(platform::kBytesPerSecond), runs[0]})
            QCOMPARE_GT(medianF0(said), 1.4 * medianF0(runs[2]));
    }

    // Files replaced ("what path..."); the reason and the message, whole where the system's own
    // words are not in it.
    void engineFailures_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Reason>("reason");
        QTest::addColumn<QString>("says");
        // What is missing, where it was looked for and the package that brings it.
        QTest::newRow("no engine")
            << "program /nowhere/open_jtalk" << Configuration
            << "音声合成プログラム open_jtalk が見つかりません（/nowhere/open_jtalk）。"
               "パッケージ open-jtalk をインストールしてください。";
        // The first of what is missing, as open_jtalk needs them.
        QTest::newRow("no dictionary, nor voice")
            << "dictionary / voice /nowhere" << Configuration
            << "open_jtalk の辞書が見つかりません（/）。"
               "パッケージ open-jtalk-mecab-naist-jdic をインストールしてください。";
        QTest::newRow("a folder for the voice")
            << "voice /" << Configuration
            << "声のデータが見つかりません（/）。パッケージ hts-voice-nitech-jp-atr503-m001"
               "（Debian では contrib）をインストールしてください。";
        QTest::newRow("not a voice") << "voice /etc/passwd" << Configuration
                                     << "open_jtalk が辞書か声のデータを読み込めません。パッケージ "
                                        "open-jtalk-mecab-naist-jdic と "
                                        "hts-voice-nitech-jp-atr503-m001 を入れ直してください。";
        // The system's words at the "…".
        const char* unstarted =
            "open_jtalk を起動できません（…）。パッケージ open-jtalk が入って"
            "いるか、メモリやプロセスの数に余裕があるか確かめてください。";
        QTest::newRow("a program the system cannot run")
            << "program unrunnable" << Configuration << unstarted;
        // No descriptor left for its pipes: start() fails before anyone could listen.
        QTest::newRow("no pipe") << "" << Configuration << unstarted;
        QTest::newRow("a crash") << "program crash" << Engine
                                 << "open_jtalk が失敗しました（異常終了）。";
        QTest::newRow("its last words")
            << "program fails" << Engine << "open_jtalk が失敗しました（終了コード 3）。last";
        for (const char* program : {"program garbage", "program slow"})  // not a wave, or at 16 kHz
            QTest::newRow(program) << program << Engine << "open_jtalk の出力が読めません。";
    }

    void engineFailures() {
        QFETCH(QString, file);
        QFETCH(Reason, reason);
        QFETCH(QString, says);
        writeBytes(dir.filePath(u"crash"_s), "#!/bin/sh\nkill -SEGV $$\n");
        writeBytes(dir.filePath(u"fails"_s), "#!/bin/sh\necho first >&2\necho last >&2\nexit 3\n");
        writeBytes(dir.filePath(u"unrunnable"_s), "#!/nowhere/sh\n");
        writeBytes(dir.filePath(u"garbage"_s), "#!/bin/sh\necho RIFF\n");
        // A wave as the engine makes them, but at 16 kHz.
        writeBytes(dir.filePath(u"slow"_s),
                   "#!/bin/sh\nprintf 'RIFF$\\0\\0\\0WAVEfmt \\20\\0\\0\\0\\1\\0\\1\\0\\200>\\0\\0"
                   "\\0}\\0\\0\\2\\0\\20\\0data\\0\\0\\0\\0'\n");
        for (const char* name : {"crash", "fails", "unrunnable", "garbage", "slow"})
            QFile::setPermissions(dir.filePath(name), QFile::ReadOwner | QFile::ExeOwner);
        Files files = Files::find();
        const QStringList replaced = file.split(u' ');  // what, path, what, path...
        for (qsizetype i = 0; i + 1 < replaced.size(); i += 2) {
            const QString &what = replaced[i], &name = replaced[i + 1];
            (what == u"program" ? files.program
             : what == u"voice" ? files.voice
                                : files.dictionary) =
                name.startsWith(u'/') ? name : dir.filePath(name);
        }
        auto* sink = new FakeSink;
        // Every descriptor below a limit taken: poll() still takes its few.
        rlimit was{};
        ::getrlimit(RLIMIT_NOFILE, &was);
        const rlimit few{64, was.rlim_max};
        QList<int> taken;
        if (file.isEmpty() && ::setrlimit(RLIMIT_NOFILE, &few) == 0)
            for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken << fd;
        const auto giveBack = [&] {
            for (const int fd : std::exchange(taken, {})) ::close(fd);
            ::setrlimit(RLIMIT_NOFILE, &was);
        };
        const auto atEnd = qScopeGuard(giveBack);
        speech::JTalkSpeech s(files, std::unique_ptr<FakeSink>(sink));
        QSignalSpy errors(&s, &speech::JTalkSpeech::errorOccurred);
        QTRY_COMPARE(childProcesses(), 0);  // an engine started ahead has died of the fault
        s.SpeechSay(u"こんにちは、読み秀君です"_s);
        QTRY_COMPARE(errors.size(), 1);
        giveBack();
        QCOMPARE(std::pair(s.state(), errors[0][0].value<Reason>()), std::pair(Error, reason));
        QVERIFY(!sink->source);  // nothing made before the failure plays on
        // With the system's reason where it has one, not the path of a program that is there.
        const QString told = errors[0][1].toString();
        QStringList parts = says.split(u'…');
        for (QString& part : parts) part = QRegularExpression::escape(part);
        QVERIFY2(QRegularExpression(parts.join(u".+"_s)).match(told).hasMatch() &&
                     !told.contains(dir.path()),
                 qPrintable(told));
        s.SpeechPause();
        s.SpeechStop();
        QTRY_COMPARE(childProcesses(), 0);
    }

    // Where each utterance begins in the sound, however much was pulled before it came.
    void spansFollowTheSamples() {
        speech::PcmQueue queue;
        char pulled[600];
        queue.append(QByteArray(1000, 'a'), {0, 3});
        QCOMPARE(queue.read(pulled, 600), 600);
        queue.append(QByteArray(1000, 'b'), {4, 2});
        QCOMPARE(queue.nextStart(0), 1000);
        QCOMPARE(queue.spanAt(999).start, 0);
        QCOMPARE(queue.spanAt(1000).start, 4);
        // A soft sound, above -50 dBFS, is kept, with 20 ms before it and 0.36 s after.
        QByteArray soft(platform::kBytesPerSecond, '\0');
        qToLittleEndian<qint16>(500, soft.data() + platform::kBytesPerSecond / 2);
        QCOMPARE(speech::trimSilence(soft).size(), 2 * (960 + 1 + 17280));
    }

    // Paused once the sound server has all of a reading, before or after it was asked to tell its
    // end: Pause silences it, and once resumed the reading ends by itself, whenever it came.
    void pausedWhileDraining() {
        REQUIRE_SOUND_SERVER();
        SoundMonitor monitor;
        platform::PulseAudioSink sink;
        bool ended = false;
        sink.idle = [&] { ended = true; };
        const auto listed = [](const QString& what) {  // as the desktop lists them
            QProcess pactl;
            pactl.start(u"pactl"_s, {u"list"_s, what});
            return pactl.waitForFinished() ? QString::fromUtf8(pactl.readAllStandardOutput())
                                           : QString();
        };
        const auto ours = [&] {  // the program's streams
            return listed(u"sink-inputs"_s)
                .split(u"Sink Input #"_s)
                .filter(u"application.name = \"vekEdit\""_s);
        };
        // Paused and resumed before the server has taken the stream, its end told meanwhile: it
        // ends only once resumed, and then by itself.
        {
            platform::PulseAudioSink early;
            bool over = false;
            early.idle = [&] { over = true; };
            QByteArray tone(platform::kBytesPerSecond / 10, '\x20');
            QBuffer source(&tone);
            source.open(QIODevice::ReadOnly);
            QVERIFY(early.start(&source));
            early.suspend(), early.drain();
            QCoreApplication::processEvents();
            QVERIFY(!over);
            early.resume();
            QVERIFY(SoundMonitor::waitUntil([&] { return over; }, 5000));
        }
        // A sound shorter than the buffer is played before its end is told: a slow engine's
        // first words are not held back. (PipeWire holds one this short until then, whatever
        // is asked.)
        QByteArray blip(platform::kBytesPerSecond / 20, '\x20');
        QBuffer first(&blip);
        first.open(QIODevice::ReadOnly);
        QVERIFY(sink.start(&first));
        QVERIFY(SoundMonitor::onPipeWire() || !std::isnan(monitor.waitLoud(monitor.now())));
        for (int after : {-1, 0, 50, 100, 150}) {                // -1: told of the end while paused
            QByteArray tone(platform::kBytesPerSecond, '\x20');  // a second, loud enough
            QBuffer source(&tone);
            source.open(QIODevice::ReadOnly);
            ended = false;
            QVERIFY(sink.start(&source));
            QVERIFY(SoundMonitor::waitUntil([&] { return source.atEnd(); }, 3000));
            // Listed by the program's name, its installed icon and what it plays, at the rate
            // the engine makes.
            if (after < 0) {
                const QString inputs = ours().join(u'\n');
                QVERIFY2(inputs.contains(u"media.name = \"読み上げ\""_s) &&
                             inputs.contains(u"application.icon_name = \"vekedit\""_s) &&
                             inputs.contains(u"s16le 1ch %1Hz"_s.arg(platform::kSampleRate)),
                         qPrintable(inputs));
            }
            const double at = monitor.now();
            if (after < 0) sink.suspend();
            sink.drain();
            QTest::qWait(std::max(after, 0));
            sink.suspend();
            QCOMPARE_LE(monitor.waitSilent(at), 500);
            sink.resume();
            QVERIFY(SoundMonitor::waitUntil([&] { return ended; }, 5000));
            sink.stop();
        }
        // One connection, however many readings; stopped, its stream paused, so that the output
        // may sleep.
        QCOMPARE(listed(u"clients"_s).count(u"application.name = \"vekEdit\""_s), 1);
        const auto playing = [&] { return ours().filter(u"Corked: no"_s); };  // not paused
        QVERIFY2(playing().isEmpty(), qPrintable(playing().join(u'\n')));
        // Stopped before the server had its stream, it stays paused once the server has it.
        platform::PulseAudioSink brief;
        QByteArray tone(platform::kBytesPerSecond, '\x20');
        QBuffer source(&tone);
        source.open(QIODevice::ReadOnly);
        QVERIFY(brief.start(&source));
        brief.stop();
        QVERIFY(SoundMonitor::waitUntil([&] { return ours().size() == 2; }, 5000));
        QTest::qWait(300);
        QVERIFY2(playing().isEmpty(), qPrintable(playing().join(u'\n')));
    }

    void realSound_data() {
        // Steps on two speech controls, heard on the sound server's monitor.
        QTest::addColumn<QString>("steps");
        QTest::newRow("20 readings in a row") << u"read stop "_s.repeated(20);
        // A Start while paused, or after a Stop, is heard and ends by itself, and nothing of
        // the reading stopped is heard with it.
        QTest::newRow("pause, resume, start if paused or stopped")
            << u"read pause resume pause short end0 read stop nothing stop short end0"_s;
        QTest::newRow("paused as it begins") << u"begin pause resume stop"_s;
        QTest::newRow("a reading that ended by itself") << u"short end0 short end0 read stop"_s;
        // All of it is heard, as much as when it is read straight. Paused twice: a server may
        // lose a moment at a cork by chance, and a fault loses more, every time.
        QTest::newRow("paused in the last phrase")
            << u"whole end0"_s + u" last wait pause resume end0"_s.repeated(2);
        // Another engine is started, unasked and untold.
        QTest::newRow("the waiting engines killed") << u"read stop engines read stop"_s;
        QTest::newRow("greetings from two controls") << u"greet0 end0 greet1 end1 "_s.repeated(3);
        QTest::newRow("the span reported is the one heard")
            << u"read stop follow stop follow stop"_s;
        QTest::newRow("long lines without a clause mark") << u"long stop huge stop"_s;
        // Told once it goes, also while paused, and at a Start while it is gone; heard again
        // once it is back. Gone between readings ("away"), untold, and back: heard again.
        QTest::newRow("the server goes away") << u"read kill refused missing revive read pause "
                                                 u"kill revive read stop away revive read "
                                                 u"stop"_s;
    }

    void realSound() {
        QFETCH(QString, steps);
        REQUIRE_SOUND_SERVER();
        std::optional<SoundMonitor> monitor(std::in_place);
        std::optional<QLocalServer> hangUp;
        const int children = childProcesses();
        double second = NAN;                           // when the second phrase was told as playing
        QList<std::pair<qsizetype, qsizetype>> spans;  // told as heard, since the last "follow"
        double began = NAN;      // when the reading whose sound is summed began
        QList<double> heardAll;  // the sum of each such reading's sound
        qsizetype heard = 0;     // where the phrase heard now begins
        speech::JTalkSpeech one(Files::find(), std::make_unique<platform::PulseAudioSink>());
        speech::JTalkSpeech two(Files::find(), std::make_unique<platform::PulseAudioSink>());
        QSignalSpy errors(&one, &speech::JTalkSpeech::errorOccurred);
        int marks = 0;    // spans told as heard since the last Start
        int outages = 0;  // of the sound server, each told
        connect(&one, &speech::JTalkSpeech::playing, this, [&](qsizetype at, qsizetype length) {
            if (at > 0 && std::isnan(second) && monitor) second = monitor->now();
            heard = at, marks += length > 0;
            if (length > 0) spans.append({at, length});
        });
        const QString proverbs = u"千里の道も一歩から。\r\n急がば回れ。"_s;
        // Without a clause mark, long and huge would each take seconds to begin if said whole.
        const QMap<QString, QString> readings = {
            {"read", proverbs.repeated(5)},
            {"short", "雨垂れ石を穿つ"},
            {"huge", QString(100000, u'長')},
            {"long",
             "千里の道も一歩からという言葉の通りどんなに大きな目標であっても小さな一歩を"
             "積み重ねることが何よりも大切だ"}};
        // Bounds are ten times what is expected: heard within 3 s, silent within 0.5 s.
        for (const QString& step : steps.split(u' ', Qt::SkipEmptyParts)) {
            speech::JTalkSpeech& s = step.endsWith(u'1') ? two : one;
            const double at = monitor->now();
            if (readings.contains(step)) {
                s.SpeechSetText(readings[step]);
                marks = 0, s.SpeechPlay();
                QVERIFY(!std::isnan(monitor->waitLoud(at)));
                // What is heard is marked, also when it was marked at the end of the last reading.
                if (&s == &one) QVERIFY(SoundMonitor::waitUntil([&] { return marks > 0; }, 3000));
            } else if (step.startsWith(u"greet")) {
                s.SpeechVoice(&s == &one ? platform::kVoice0 : platform::kVoice1);
                s.SpeechSay(u"こんにちは、読み秀君です"_s);
                QVERIFY(!std::isnan(monitor->waitLoud(at)));
            } else if (step == u"nothing") {  // nothing of the reading stopped before is heard
                s.SpeechSetText({}), s.SpeechPlay();
                QCOMPARE(monitor->waitSilent(at), 0.0);
            } else if (step == u"begin") {  // Pause comes before the first sound
                s.SpeechSetText(proverbs), s.SpeechPlay();
            } else if (step == u"whole" || step == u"last") {
                s.SpeechSetText(proverbs), s.SpeechPlay(), began = at;
                // "last": the second of two phrases begins to be heard
                if (step == u"last")
                    QVERIFY(SoundMonitor::waitUntil([&] { return heard > 0; }, 10000));
            } else if (step == u"follow") {
                // The second phrase is told as it begins to be heard: after the first, which
                // takes more than a second, and not before. Not one of a reading stopped before.
                second = NAN, spans.clear();
                s.SpeechSetText(u"石の上にも三年。\r\n"_s + proverbs);
                s.SpeechPlay();
                const double first = at + monitor->waitLoud(at, 3000, 30);
                QVERIFY(SoundMonitor::waitUntil([&] { return !std::isnan(second); }, 10000));
                QCOMPARE_GT(second - first, 500);
                QCOMPARE_LT(monitor->waitLoud(second, 3000, 30), 300);
                QCOMPARE(spans.mid(0, 2),
                         (QList<std::pair<qsizetype, qsizetype>>{{0, 8}, {10, 10}}));
            } else if (step.startsWith(u"end")) {
                QVERIFY(SoundMonitor::waitUntil([&] { return s.state() == Ready; }, 10000));
                if (!std::isnan(began)) {  // once all of it has come through the monitor
                    (void)monitor->waitSilent(monitor->now(), 300);
                    heardAll << monitor->energy(std::exchange(began, NAN));
                }
            } else if (step == u"pause" || step == u"stop") {
                step == u"pause" ? s.SpeechPause() : s.SpeechStop();
                QCOMPARE_LT(monitor->now() - at, 500);  // the window does not wait
                QCOMPARE_LE(monitor->waitSilent(at), 500);
                // The engine Stop killed is gone soon: one waits for each control, no more.
                QTRY_COMPARE_LE(childProcesses(), children + 2);
            } else if (step == u"resume") {
                s.SpeechResume();
                QVERIFY(!std::isnan(monitor->waitLoud(at)));
            } else if (step == u"wait") {  // into the phrase, well under way
                QTest::qWait(300);
            } else if (step == u"engines") {
                for (const QByteArray& pid : engines()) ::kill(pid.toInt(), SIGKILL);
            } else if (step == u"kill" || step == u"away" || step == u"revive") {
                monitor.reset(), hangUp.reset();
                QCOMPARE(QProcess::execute(u"bash"_s, {VEKEDIT_SOURCE_DIR "/tools/soundserver.sh",
                                                       step == u"revive" ? u"start"_s : u"kill"_s,
                                                       qEnvironmentVariable("XDG_RUNTIME_DIR")}),
                         0);
                if (step == u"revive") monitor.emplace();
                // Gone, and in its place a socket that hangs up on whoever comes, as a dying
                // server's may.
                const QString socket = qEnvironmentVariable("XDG_RUNTIME_DIR") + u"/pulse/native"_s;
                if (step != u"revive" && QDir().mkpath(QFileInfo(socket).path())) {
                    hangUp.emplace();
                    QObject::connect(&*hangUp, &QLocalServer::newConnection,
                                     [&] { hangUp->nextPendingConnection()->abort(); });
                    QVERIFY(hangUp->listen(socket));
                }
            }
            if (step == u"kill" || step == u"refused" || step == u"missing") {
                // Then refused before the output is set up; then nothing listens, as where no
                // server runs: told at once, not waited for on the session bus.
                if (step == u"refused") s.SpeechPlay();
                if (step == u"missing") hangUp.reset(), s.SpeechPlay();
                ++outages;
                QTRY_COMPARE_WITH_TIMEOUT(errors.size(), outages, 5000);
                QCOMPARE(errors.last()[0].value<Reason>(), Playback);
                // Stopped midway, else none to be found; no engine waits on for a failed reading.
                QVERIFY(errors.last()[1].toString().startsWith(
                    step == u"kill"
                        ? u"音声の出力が途中で止まりました"_s
                        : u"音声を出す装置が見つかりません。サウンドサーバー（パッケージ "
                          u"pipewire-pulse か pulseaudio）が動いているか確かめてください。"_s));
                QCOMPARE(s.state(), Error);
                QTRY_COMPARE(engines().size(), 1);  // the other control's
            }
        }
        QCOMPARE(errors.size(),
                 steps.count(u"kill") + steps.count(u"refused") + steps.count(u"missing"));
        // PipeWire 0.3 may lose a quantum at a cork, 1-1.4 %; what the server held is 2.4 % or
        // more. PipeWire 1.4 was seen 1-8 % off: told, not failed, until that is understood.
        if (heardAll.size() == 3) {
            const double off = std::min(std::abs(heardAll[1] / heardAll[0] - 1),
                                        std::abs(heardAll[2] / heardAll[0] - 1));
            if (SoundMonitor::onPipeWire())
                qWarning(
                    "PipeWire: a reading paused in its last phrase is %.1f %% off (%.4g %.4g %.4g)",
                    100 * off, heardAll[0], heardAll[1], heardAll[2]);
            else
                QCOMPARE_LT(off, 0.018);
        }
    }
};

QTEST_MAIN(SpeechTest)
#include "tst_speech.moc"
