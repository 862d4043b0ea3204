#pragma once

#include <QIODevice>
#include <QObject>
#include <atomic>
#include <functional>

struct pa_context;
struct pa_operation;
struct pa_stream;
struct pa_threaded_mainloop;

namespace platform {

inline constexpr int kSampleRate = 48000;
inline constexpr int kBytesPerSecond = kSampleRate * 2;  // 16-bit mono

// Where the speech engine's samples go: kSampleRate, 16-bit, mono, pulled from a source device
// as the sound is played.
class AudioSink {
  public:
    virtual ~AudioSink() = default;
    // Starts pulling from source, afresh; false when there is no output to play on.
    virtual bool start(QIODevice* source) = 0;
    virtual void suspend() = 0;
    virtual void resume() = 0;
    // Silences at once and lets go of the source.
    virtual void stop() = 0;
    // Nothing more will come: idle is told once all that was pulled has been heard.
    virtual void drain() = 0;
    // How many of the bytes pulled since start have been heard by now.
    virtual qint64 heard() const = 0;

    std::function<void()> idle;
    // The output could not be reached (lost: false) or went away (lost: true) while in use.
    std::function<void(bool lost)> failed;
};

// The user's sound server through PulseAudio's client library; PipeWire desktops serve the same
// API. One stream, kept from one reading to the next; a server that went away is connected to
// again at the next start. The library's own thread only hands events over to this thread.
class PulseAudioSink final : public AudioSink {
  public:
    PulseAudioSink();
    ~PulseAudioSink() override;
    bool start(QIODevice* source) override;
    void suspend() override;
    void resume() override;
    void stop() override;
    void drain() override;
    qint64 heard() const override;

  private:
    bool connectContext();
    void contextChanged();
    void streamChanged();
    void createStream();
    void feed();
    void askDrain();
    void forgetDrain();
    void drained();
    void heardAll();
    void disconnectAll();
    void lose();
    void post(void (PulseAudioSink::*handler)());

    static void onContextState(pa_context*, void* self);
    static void onStreamState(pa_stream*, void* self);
    static void onWrite(pa_stream*, size_t, void* self);
    static void onDrained(pa_stream*, int, void* self);

    QObject relay_;  // receives what the library's thread hands over
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::atomic<bool> feedPosted_ = false;
    bool everReady_ = false;  // the current context got through to the server
    QIODevice* source_ = nullptr;
    bool paused_ = false;
    bool draining_ = false;          // nothing more will come: idle once all of it is heard
    pa_operation* drain_ = nullptr;  // the latest drain asked, the only one whose answer counts
    qint64 pulled_ = 0;
    mutable qint64 heard_ = 0;
};

}  // namespace platform
