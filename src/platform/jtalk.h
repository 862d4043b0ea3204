#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QProcess>
#include <QStringList>
#include <deque>
#include <memory>

#include "platform/SpeechControl.h"
#include "platform/audiosink.h"
#include "platform/utterances.h"

namespace platform {

// Where the engine program, its dictionary and its voice are.
struct JTalkFiles {
    QString program;
    QString dictionary;
    QString voice;
    // The Debian packages' places first, then the usual /usr/local ones.
    static JTalkFiles find();
    // What is missing, told to the user with the package that provides it; empty when all is
    // there.
    QString missing() const;
};

// Samples waiting to be played; the sink pulls them.
class PcmQueue final : public QIODevice {
    Q_OBJECT
  public:
    explicit PcmQueue(QObject* parent = nullptr);
    void append(const QByteArray& pcm);
    void clear();
    void finish() { finished_ = true; }  // nothing more will come
    bool drained() const { return finished_ && queued_ == 0; }
    qint64 queued() const { return queued_; }
    qint64 bytesAvailable() const override { return queued_ + QIODevice::bytesAvailable(); }
    bool isSequential() const override { return true; }

  Q_SIGNALS:
    void pulled();

  protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    std::deque<QByteArray> chunks_;
    qsizetype offset_ = 0;  // into the first chunk
    qint64 queued_ = 0;
    bool finished_ = false;
};

// The PCM of a 48 kHz, 16-bit mono WAV image, or nothing when it is not one.
std::optional<QByteArray> wavSamples(const QByteArray& wav);
// Cuts the silence the engine puts around every utterance down to a short pause.
QByteArray trimSilence(const QByteArray& pcm);

// Reads aloud with the open_jtalk program: text in on standard input, a WAV out on standard
// output, one short run per utterance, a few seconds ahead of the sound.
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
    static constexpr qint64 kAheadBytes = 48000 * 2 * 8;

  private:
    void begin(const QString& text);
    void cancel();
    void pump();
    void synthesized(int exitCode, QProcess::ExitStatus status);
    void played();
    void fail(ErrorReason reason, const QString& text);
    void setState(State state);

    JTalkFiles files_;
    std::unique_ptr<AudioSink> sink_;
    PcmQueue pcm_;
    QString voice_ = kVoice0;
    QString text_;
    speechtext::Utterances utterances_;
    QProcess* synth_ = nullptr;
    State state_ = State::Ready;
};

}  // namespace platform
