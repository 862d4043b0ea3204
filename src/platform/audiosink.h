#pragma once

#include <QAudioDevice>
#include <QAudioFormat>
#include <QIODevice>
#include <QObject>
#include <functional>
#include <memory>

class QAudioSink;

namespace platform {

inline constexpr int kSampleRate = 48000;

// Where the speech engine's samples go: kSampleRate, 16-bit, mono, pulled from a source device as
// the sound is played.
class AudioSink {
  public:
    virtual ~AudioSink() = default;
    // Starts pulling from source; false when there is no output to play on.
    virtual bool start(QIODevice* source) = 0;
    virtual void suspend() = 0;
    virtual void resume() = 0;
    // Silences at once and lets go of the source.
    virtual void stop() = 0;

    std::function<void()> idle;    // the source ran dry and all pulled samples were played
    std::function<void()> failed;  // the output went away while playing

    static QAudioFormat format();
    // What the sink holds ahead of the sound: short, so that Pause and Stop are heard at once.
    static constexpr int kBufferMs = 80;
};

// The user's default output through Qt Multimedia (PulseAudio or PipeWire).
class QtAudioSink final : public AudioSink {
  public:
    QtAudioSink();
    ~QtAudioSink() override;
    bool start(QIODevice* source) override;
    void suspend() override;
    void resume() override;
    void stop() override;

  private:
    void retire();

    QObject context_;  // for calls that must not outlive this
    QAudioDevice device_;
    // Kept from one reading to the next: Qt's sink runs pending events as it is destroyed,
    // which must not happen inside our callers.
    std::unique_ptr<QAudioSink> sink_;
};

}  // namespace platform
