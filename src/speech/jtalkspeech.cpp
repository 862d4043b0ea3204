#include "speech/jtalkspeech.h"

#include <signal.h>
#include <sys/prctl.h>

#include <new>
#include <utility>

namespace speech {

using platform::kVoice0;
using platform::kVoice1;

namespace {
const QString kNoOutput = QStringLiteral(
    "音声を出す装置が見つかりません。サウンドサーバー（パッケージ pipewire-pulse "
    "か pulseaudio）が動いているか確かめてください。");
}  // namespace

JTalkSpeech::JTalkSpeech(JTalkFiles files, std::unique_ptr<AudioSink> sink, QObject* parent)
    : SpeechControl(parent), files_(std::move(files)), sink_(std::move(sink)) {
    // Queued: the sink pulls from inside its own calls.
    connect(&pcm_, &PcmQueue::pulled, this, &JTalkSpeech::followSound, Qt::QueuedConnection);
    connect(&pcm_, &PcmQueue::pulled, this, &JTalkSpeech::pump, Qt::QueuedConnection);
    nextSpan_.setSingleShot(true);
    nextSpan_.setTimerType(Qt::PreciseTimer);
    connect(&nextSpan_, &QTimer::timeout, this, &JTalkSpeech::followSound);
    sink_->idle = [this] { played(); };
    sink_->failed = [this](bool lost) {
        if (state_ != State::Speaking && state_ != State::Paused) return;
        fail(ErrorReason::Playback,
             lost ? QStringLiteral("音声の出力が途中で止まりました。") : kNoOutput);
    };
    prepare();
}

JTalkSpeech::~JTalkSpeech() {
    blockSignals(true);  // the owner is going too; it is told nothing more
    cancel();
    end(waiting_);
    // Killed engines still being reaped end within moments.
    for (QProcess* killed : findChildren<QProcess*>()) killed->waitForFinished(1000);
}

QStringList JTalkSpeech::arguments(const JTalkFiles& files, const QString& voiceId) {
    QStringList args{QStringLiteral("-x"), files.dictionary,
                     QStringLiteral("-m"), files.voice,
                     QStringLiteral("-s"), QString::number(platform::kSampleRate)};
    // The second voice is the same model, ten half-tones higher with a slightly smaller
    // vocal tract.
    if (voiceId == kVoice1)
        args << QStringLiteral("-fm") << QStringLiteral("10") << QStringLiteral("-a")
             << QStringLiteral("0.58");
    args << QStringLiteral("-ow") << QStringLiteral("/dev/stdout");
    return args;
}

void JTalkSpeech::SpeechVoice(const QString& voiceId) {
    if (voiceId != kVoice0 && voiceId != kVoice1) return;
    voice_ = voiceId;
    prepare();
}

void JTalkSpeech::SpeechStop() {
    cancel();
    if (state_ != State::Error) setState(State::Ready);
}

void JTalkSpeech::SpeechSetText(const QString& text) {
    text_ = text;
}

void JTalkSpeech::SpeechPlay() {
    begin(text_);
}

void JTalkSpeech::SpeechPause() {
    if (state_ != State::Speaking) return;
    sink_->suspend();
    nextSpan_.stop();
    setState(State::Paused);
}

void JTalkSpeech::SpeechResume() {
    if (state_ != State::Paused) return;
    sink_->resume();
    setState(State::Speaking);
    followSound();
}

void JTalkSpeech::SpeechSay(const QString& text) {
    begin(text);
}

void JTalkSpeech::begin(const QString& text) {
    cancel();
    if (const QString missing = files_.missing(); !missing.isEmpty()) {
        fail(ErrorReason::Configuration, missing);
        return;
    }
    utterances_ = Utterances(text);
    // The sink opens while the first utterance is synthesized.
    if (!sink_->start(&pcm_)) return fail(ErrorReason::Playback, kNoOutput);
    setState(State::Speaking);
    pump();
}

void JTalkSpeech::cancel() {
    end(synth_);
    sink_->stop();
    pcm_.clear();
    utterances_ = Utterances();
    nextSpan_.stop();
    showPlaying({});
}

// Starts the next engine run when the sound is not far enough ahead.
void JTalkSpeech::pump() {
    if (synth_ || (state_ != State::Speaking && state_ != State::Paused)) return;
    if (pcm_.drained()) return sink_->drain();  // the reading ends once the sink has played it
    if (pcm_.queued() >= kAheadBytes) return;
    const std::optional<Span> next = utterances_.next();
    if (!next) {
        pcm_.finish();
        if (pcm_.drained()) sink_->drain();
        return;
    }
    synthSpan_ = *next;
    // The engine waiting for this voice, with its dictionary and voice loaded; another is
    // started behind it, but not beside the first piece of a reading, which it would slow.
    QProcess* engine =
        waiting_ && waitingVoice_ == voice_ ? std::exchange(waiting_, nullptr) : nullptr;
    if (engine) engine->disconnect(this);
    synthesize(engine);
    if (pcm_.queued() > 0) prepare();
}

// Gives the utterance to an engine: the one started ahead, or, where there was none, a new one.
void JTalkSpeech::synthesize(QProcess* ahead) {
    QProcess* engine = ahead ? ahead : startEngine(voice_);
    synth_ = engine;
    fromWaiting_ = ahead != nullptr;
    // A pipe or a fork that failed is told from inside start(), before anyone could listen.
    if (engine->error() == QProcess::FailedToStart) return failedToStart(engine->errorString());
    connect(engine, &QProcess::finished, this, &JTalkSpeech::synthesized);
    connect(engine, &QProcess::errorOccurred, this, [this, engine](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        if (!fromWaiting_) return failedToStart(engine->errorString());
        end(synth_);  // started ahead, it never ran, though we had not heard of it yet
        synthesize(nullptr);
    });
    engine->write(utterances_.input(synthSpan_).toUtf8() + '\n');
    engine->closeWriteChannel();
}

QProcess* JTalkSpeech::startEngine(const QString& voice) {
    auto* engine = new QProcess(this);
    engine->setProgram(files_.program);
    engine->setArguments(arguments(files_, voice));
    // The engine goes with us, however we end.
    engine->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    engine->start();
    return engine;
}

// Keeps one engine started ahead for the voice, blocked on its input. One that dies meanwhile
// is let go, and the next utterance starts one of its own: nothing is told.
void JTalkSpeech::prepare() {
    if (waiting_ && waitingVoice_ == voice_) return;
    end(waiting_);
    if (state_ == State::Error || !files_.missing().isEmpty()) return;
    QProcess* engine = startEngine(voice_);
    if (engine->state() == QProcess::NotRunning) return engine->deleteLater();
    waiting_ = engine;
    waitingVoice_ = voice_;
    const auto gone = [this, engine] {
        if (waiting_ == engine) end(waiting_);
    };
    connect(engine, &QProcess::finished, this, gone);
    connect(engine, &QProcess::errorOccurred, this, gone);
}

// Killed, and reaped whenever it is gone: Stop never waits for an engine.
void JTalkSpeech::end(QProcess*& engine) {
    if (!engine) return;
    engine->disconnect(this);
    if (engine->state() == QProcess::NotRunning) {
        engine->deleteLater();  // we may be inside one of its signals
    } else {
        connect(engine, &QProcess::finished, engine, &QObject::deleteLater);
        engine->kill();
    }
    engine = nullptr;
}

// No pipe, no process or no program: the system says which.
void JTalkSpeech::failedToStart(const QString& why) {
    fail(ErrorReason::Configuration,
         QStringLiteral("open_jtalk を起動できません（%1）。パッケージ open-jtalk が入っているか、"
                        "メモリやプロセスの数に余裕があるか確かめてください。")
             .arg(why));
}

void JTalkSpeech::synthesized(int exitCode, QProcess::ExitStatus status) {
    QProcess* synth = std::exchange(synth_, nullptr);
    synth->deleteLater();
    prepare();
    // A wave of a few megabytes: without the memory for it, this reading ends, not the editor.
    try {
        take(exitCode, status, synth->readAllStandardOutput(),
             QString::fromUtf8(synth->readAllStandardError()).trimmed());
    } catch (const std::bad_alloc&) {
        fail(ErrorReason::Engine,
             QStringLiteral("メモリが足りないため、読み上げを続けられません。"));
    }
}

void JTalkSpeech::take(int exitCode, QProcess::ExitStatus status, const QByteArray& wav,
                       const QString& err) {
    if (fromWaiting_ && wav.isEmpty() && (status == QProcess::CrashExit || exitCode != 0)) {
        // The engine started ahead died before it was given the utterance, though we had not
        // heard of it yet: another says it, and fails in its own right if it must.
        synthesize(nullptr);
        return;
    }
    if (status == QProcess::NormalExit && exitCode == 0) {
        const std::optional<QByteArray> pcm = wavSamples(wav);
        if (!pcm) {
            fail(ErrorReason::Engine, QStringLiteral("open_jtalk の出力が読めません。"));
            return;
        }
        pcm_.append(trimSilence(*pcm, synthSpan_.flowing), synthSpan_);
    } else if (status == QProcess::NormalExit && err.contains(u"No phoneme")) {
        // Only marks or symbols: nothing to say here.
    } else if (status == QProcess::NormalExit && err.contains(u"cannot be loaded")) {
        fail(ErrorReason::Configuration,
             QStringLiteral("open_jtalk が辞書か声のデータを読み込めません。パッケージ "
                            "open-jtalk-mecab-naist-jdic と hts-voice-nitech-jp-atr503-m001 を"
                            "入れ直してください。"));
        return;
    } else {
        const QString how = status == QProcess::CrashExit
                                ? QStringLiteral("異常終了")
                                : QStringLiteral("終了コード %1").arg(exitCode);
        fail(
            ErrorReason::Engine,
            QStringLiteral("open_jtalk が失敗しました（%1）。%2").arg(how, err.section(u'\n', -1)));
        return;
    }
    pump();
}

// The sink has played everything it pulled.
void JTalkSpeech::played() {
    if (!pcm_.drained() || synth_) return;
    cancel();
    setState(State::Ready);
}

// Tells the span being heard now, by the sink's own clock, and wakes again when the next one is.
void JTalkSpeech::followSound() {
    if (state_ != State::Speaking) return;
    const qint64 heard = sink_->heard();
    showPlaying(pcm_.spanAt(heard));
    if (const qint64 next = pcm_.nextStart(heard); next >= 0)
        nextSpan_.start(int((next - heard) * 1000 / platform::kBytesPerSecond) + 1);
}

void JTalkSpeech::showPlaying(Span span) {
    if (span == playing_) return;
    playing_ = span;
    Q_EMIT playing(span.start, span.length);
}

void JTalkSpeech::fail(ErrorReason reason, const QString& text) {
    cancel();
    end(waiting_);
    setState(State::Error);
    QMetaObject::invokeMethod(
        this, [this, reason, text] { Q_EMIT errorOccurred(reason, text); }, Qt::QueuedConnection);
}

void JTalkSpeech::setState(State state) {
    if (state_ == state) return;
    state_ = state;
    Q_EMIT stateChanged(state);
}

}  // namespace speech
