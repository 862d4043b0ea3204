#pragma once

#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "platform/SpeechControl.h"
#include "platform/audiosink.h"
#include "speech/jtalkfiles.h"
#include "speech/pcm.h"
#include "speech/utterances.h"

namespace speech {

using platform::AudioSink;
using platform::SpeechControl;

// Reads aloud with the open_jtalk program: text in on standard input, a WAV out on standard
// output, one short run per utterance, a few seconds ahead of the sound. One engine is kept
// started ahead for the voice, its dictionary and voice loaded, so that no utterance waits for
// that; errors, a change of voice and the end of the control end it.
class JTalkSpeech final : public SpeechControl {
    Q_OBJECT
  public:
    JTalkSpeech(JTalkFiles files, std::unique_ptr<AudioSink> sink, QObject* parent = nullptr);
    ~JTalkSpeech() override;

    void SpeechVoice(const QString& voiceId) override;
    void SpeechStop() override;
    void SpeechSetText(const QString& text) override;
    void SpeechPlay() override;
    void SpeechPause() override;
    void SpeechResume() override;
    void SpeechSay(const QString& text) override;
    State state() const override { return state_; }

    // The engine's command line for a voice.
    static QStringList arguments(const JTalkFiles& files, const QString& voiceId);
    // Synthesized audio is kept at most this far ahead of the sound.
    static constexpr qint64 kAheadBytes = platform::kBytesPerSecond * 8;

  private:
    void begin(const QString& text);
    void cancel();
    void pump();
    void synthesize(QProcess* ahead);
    QProcess* startEngine(const QString& voice);
    void prepare();
    void end(QProcess*& engine);
    void synthesized(int exitCode, QProcess::ExitStatus status);
    void take(int exitCode, QProcess::ExitStatus status, const QByteArray& wav, const QString& err);
    void played();
    void followSound();
    void showPlaying(Span span);
    void failedToStart(const QString& why);
    void fail(ErrorReason reason, const QString& text);
    void setState(State state);

    JTalkFiles files_;
    std::unique_ptr<AudioSink> sink_;
    PcmQueue pcm_;
    QString voice_ = platform::kVoice0;
    QString text_;
    Utterances utterances_;
    QProcess* synth_ = nullptr;
    Span synthSpan_;               // the utterance synth_ is saying
    bool fromWaiting_ = false;     // synth_ was started ahead, before it was given the utterance
    QProcess* waiting_ = nullptr;  // started ahead for waitingVoice_, blocked on its input
    QString waitingVoice_;
    Span playing_;     // as last told
    QTimer nextSpan_;  // when the next span's first samples are heard
    State state_ = State::Ready;
};

}  // namespace speech
