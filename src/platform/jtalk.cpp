#include "platform/jtalk.h"

#include <signal.h>
#include <sys/prctl.h>

#include <QFileInfo>
#include <QtEndian>
#include <cstring>

namespace platform {
namespace {

const QString kDebianDictionary = QStringLiteral("/var/lib/mecab/dic/open-jtalk/naist-jdic");
const QString kDebianVoice =
    QStringLiteral("/usr/share/hts-voice/nitech-jp-atr503-m001/nitech_jp_atr503_m001.htsvoice");

QString firstExisting(const QStringList& candidates, bool (*usable)(const QString&)) {
    for (const QString& c : candidates)
        if (usable(c)) return c;
    return candidates.first();
}

bool isProgram(const QString& p) {
    const QFileInfo f(p);
    return f.isFile() && f.isExecutable();
}
bool isDictionary(const QString& p) {
    return QFileInfo(p + QStringLiteral("/sys.dic")).isReadable();
}
bool isVoice(const QString& p) {
    const QFileInfo f(p);
    return f.isFile() && f.isReadable();
}

}  // namespace

JTalkFiles JTalkFiles::find() {
    return {
        firstExisting(
            {QStringLiteral("/usr/bin/open_jtalk"), QStringLiteral("/usr/local/bin/open_jtalk")},
            isProgram),
        firstExisting({kDebianDictionary, QStringLiteral("/usr/local/share/open_jtalk/dic"),
                       QStringLiteral("/usr/local/lib/open_jtalk/dic"),
                       QStringLiteral("/usr/local/share/open-jtalk/naist-jdic")},
                      isDictionary),
        firstExisting({kDebianVoice,
                       QStringLiteral("/usr/local/share/hts-voice/nitech-jp-atr503-m001/"
                                      "nitech_jp_atr503_m001.htsvoice"),
                       QStringLiteral("/usr/local/share/open_jtalk/voice/"
                                      "nitech_jp_atr503_m001.htsvoice")},
                      isVoice),
    };
}

QString JTalkFiles::missing() const {
    if (!isProgram(program))
        return QStringLiteral(
                   "音声合成プログラム open_jtalk が見つかりません（%1）。"
                   "パッケージ open-jtalk をインストールしてください。")
            .arg(program);
    if (!isDictionary(dictionary))
        return QStringLiteral(
                   "open_jtalk の辞書が見つかりません（%1）。"
                   "パッケージ open-jtalk-mecab-naist-jdic をインストールしてください。")
            .arg(dictionary);
    if (!isVoice(voice))
        return QStringLiteral(
                   "声のデータが見つかりません（%1）。"
                   "パッケージ hts-voice-nitech-jp-atr503-m001（Debian では contrib）を"
                   "インストールしてください。")
            .arg(voice);
    return QString();
}

PcmQueue::PcmQueue(QObject* parent) : QIODevice(parent) {
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void PcmQueue::append(const QByteArray& pcm) {
    if (pcm.isEmpty()) return;
    chunks_.push_back(pcm);
    queued_ += pcm.size();
    Q_EMIT readyRead();
}

void PcmQueue::clear() {
    chunks_.clear();
    offset_ = 0;
    queued_ = 0;
    finished_ = false;
}

qint64 PcmQueue::readData(char* data, qint64 maxSize) {
    maxSize -= maxSize % 2;  // whole samples only
    qint64 done = 0;
    while (done < maxSize && !chunks_.empty()) {
        const QByteArray& chunk = chunks_.front();
        const qint64 n = std::min<qint64>(maxSize - done, chunk.size() - offset_);
        std::memcpy(data + done, chunk.constData() + offset_, size_t(n));
        done += n;
        offset_ += n;
        if (offset_ == chunk.size()) {
            chunks_.pop_front();
            offset_ = 0;
        }
    }
    queued_ -= done;
    if (done > 0) Q_EMIT pulled();
    return done;
}

std::optional<QByteArray> wavSamples(const QByteArray& wav) {
    if (wav.size() < 12 || !wav.startsWith("RIFF") || wav.mid(8, 4) != "WAVE") return std::nullopt;
    const auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(wav.constData() + at); };
    const auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(wav.constData() + at); };
    bool formatOk = false;
    for (qsizetype at = 12; at + 8 <= wav.size();) {
        const QByteArray id = wav.mid(at, 4);
        const qint64 size = u32(at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt ") {
            if (size < 16 || body + 16 > wav.size()) return std::nullopt;
            formatOk = u16(body) == 1 && u16(body + 2) == 1 && u32(body + 4) == 48000 &&
                       u16(body + 14) == 16;
        } else if (id == "data") {
            if (!formatOk) return std::nullopt;
            QByteArray pcm = wav.mid(body, std::min<qint64>(size, wav.size() - body));
            pcm.chop(pcm.size() % 2);
            return pcm;
        }
        at = body + size + (size & 1);
    }
    return std::nullopt;
}

QByteArray trimSilence(const QByteArray& pcm) {
    // 20 ms before the first loud sample keeps the onset whole; with the 0.36 s after the
    // last one, phrases are 0.38 s apart.
    constexpr qsizetype kLead = 960, kTrail = 17280;
    constexpr int kFloor = 100;  // about -50 dBFS
    const qsizetype n = pcm.size() / 2;
    const auto loud = [&](qsizetype i) {
        return std::abs(qFromLittleEndian<qint16>(pcm.constData() + 2 * i)) > kFloor;
    };
    qsizetype first = 0, last = n - 1;
    while (first < n && !loud(first)) ++first;
    if (first == n) return QByteArray();
    while (last > first && !loud(last)) --last;
    const qsizetype from = std::max<qsizetype>(0, first - kLead);
    const qsizetype to = std::min<qsizetype>(n, last + 1 + kTrail);
    return pcm.mid(2 * from, 2 * (to - from));
}

JTalkSpeech::JTalkSpeech(JTalkFiles files, std::unique_ptr<AudioSink> sink, QObject* parent)
    : SpeechControl(parent), files_(std::move(files)), sink_(std::move(sink)) {
    // Queued: the sink pulls from inside its own callbacks.
    connect(&pcm_, &PcmQueue::pulled, this, &JTalkSpeech::pump, Qt::QueuedConnection);
    sink_->idle = [this] { played(); };
    sink_->failed = [this] {
        if (state_ == State::Speaking || state_ == State::Paused)
            fail(ErrorReason::Playback, QStringLiteral("音声の出力が途中で止まりました。"));
    };
}

JTalkSpeech::~JTalkSpeech() {
    cancel();
    // Killed engines still being reaped end within moments.
    for (QProcess* killed : findChildren<QProcess*>()) killed->waitForFinished(1000);
}

QStringList JTalkSpeech::arguments(const JTalkFiles& files, const QString& voiceId) {
    QStringList args{QStringLiteral("-x"), files.dictionary,     QStringLiteral("-m"),
                     files.voice,          QStringLiteral("-s"), QStringLiteral("48000")};
    // The second voice is the same model, ten half-tones higher with a slightly smaller
    // vocal tract.
    if (voiceId == kVoice1)
        args << QStringLiteral("-fm") << QStringLiteral("10") << QStringLiteral("-a")
             << QStringLiteral("0.58");
    args << QStringLiteral("-ow") << QStringLiteral("/dev/stdout");
    return args;
}

void JTalkSpeech::SpeechVoice(const QString& voiceId) {
    if (voiceId == kVoice0 || voiceId == kVoice1) voice_ = voiceId;
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
    setState(State::Paused);
}

void JTalkSpeech::SpeechResume() {
    if (state_ != State::Paused) return;
    sink_->resume();
    setState(State::Speaking);
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
    utterances_ = speechtext::Utterances(text);
    // The sink opens while the first utterance is synthesized.
    if (!sink_->start(&pcm_)) {
        fail(ErrorReason::Playback,
             QStringLiteral(
                 "音声を出す装置が見つかりません。サウンドサーバー（パッケージ pipewire-pulse "
                 "か pulseaudio）が動いているか確かめてください。"));
        return;
    }
    setState(State::Speaking);
    pump();
}

void JTalkSpeech::cancel() {
    if (synth_) {
        // Killed, and reaped whenever it is gone: Stop never waits for the engine.
        synth_->disconnect(this);
        if (synth_->state() == QProcess::NotRunning) {
            synth_->deleteLater();  // we may be inside one of its signals
        } else {
            connect(synth_, &QProcess::finished, synth_, &QObject::deleteLater);
            synth_->kill();
        }
        synth_ = nullptr;
    }
    sink_->stop();
    pcm_.clear();
    utterances_ = speechtext::Utterances();
}

// Starts the next engine run when the sound is not far enough ahead.
void JTalkSpeech::pump() {
    if (synth_ || (state_ != State::Speaking && state_ != State::Paused)) return;
    // The last samples have been pulled; the trailing silence covers what the sink still holds.
    if (pcm_.drained()) return played();
    if (pcm_.queued() >= kAheadBytes) return;
    const std::optional<speechtext::Span> next = utterances_.next();
    if (!next) {
        pcm_.finish();
        if (pcm_.drained()) played();
        return;
    }
    synth_ = new QProcess(this);
    synth_->setProgram(files_.program);
    synth_->setArguments(arguments(files_, voice_));
    // The engine goes with us, however we end.
    synth_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    connect(synth_, &QProcess::finished, this, &JTalkSpeech::synthesized);
    connect(synth_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            fail(ErrorReason::Configuration,
                 QStringLiteral("open_jtalk を起動できません（%1）。パッケージ open-jtalk を"
                                "インストールしてください。")
                     .arg(synth_->errorString()));
    });
    synth_->start();
    synth_->write(utterances_.input(*next).toUtf8() + '\n');
    synth_->closeWriteChannel();
}

void JTalkSpeech::synthesized(int exitCode, QProcess::ExitStatus status) {
    const QByteArray wav = synth_->readAllStandardOutput();
    const QString err = QString::fromUtf8(synth_->readAllStandardError()).trimmed();
    synth_->deleteLater();
    synth_ = nullptr;
    if (status == QProcess::NormalExit && exitCode == 0) {
        const std::optional<QByteArray> pcm = wavSamples(wav);
        if (!pcm) {
            fail(ErrorReason::Engine, QStringLiteral("open_jtalk の出力が読めません。"));
            return;
        }
        pcm_.append(trimSilence(*pcm));
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

void JTalkSpeech::fail(ErrorReason reason, const QString& text) {
    cancel();
    setState(State::Error);
    QMetaObject::invokeMethod(
        this, [this, reason, text] { Q_EMIT errorOccurred(reason, text); }, Qt::QueuedConnection);
}

void JTalkSpeech::setState(State state) {
    if (state_ == state) return;
    state_ = state;
    Q_EMIT stateChanged(state);
}

}  // namespace platform
