#include "platform/audiosink.h"

#include <pulse/pulseaudio.h>

#include <QSemaphore>
#include <algorithm>
#include <cstdint>

namespace platform {
namespace {

constexpr pa_sample_spec kSpec = {PA_SAMPLE_S16LE, kSampleRate, 1};
// What the server holds ahead of the sound. Pause and Stop cork and flush it, so it does not
// delay them; it only has to outlast a busy moment of this thread.
constexpr pa_usec_t kBufferUs = 150'000;
// Playback starts once this much is there, so the first sound is not held back.
constexpr pa_usec_t kPrebufUs = 10'000;

// The library's lock, held by this thread while it touches the library's objects.
class Locked {
  public:
    explicit Locked(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~Locked() { pa_threaded_mainloop_unlock(loop_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    pa_threaded_mainloop* loop_;
};

// The library's loop with its thread running. libpulse takes a thread it could not make for one
// that runs, so the loop is asked to answer first; one that does not is left as it is, since
// freeing it would wait for that thread.
pa_threaded_mainloop* runningLoop() {
    pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
    if (!loop) return nullptr;
    if (pa_threaded_mainloop_start(loop) < 0) {
        pa_threaded_mainloop_free(loop);
        return nullptr;
    }
    auto* answered = new QSemaphore;  // left to a loop that never answers
    {
        Locked lock(loop);
        pa_threaded_mainloop_once_unlocked(
            loop, [](pa_threaded_mainloop*, void* s) { static_cast<QSemaphore*>(s)->release(); },
            answered);
    }
    if (!answered->tryAcquire(1, 1000)) return nullptr;
    delete answered;
    return loop;
}

bool ready(pa_stream* s) {
    return s && pa_stream_get_state(s) == PA_STREAM_READY;
}

void done(pa_operation* op) {
    if (op) pa_operation_unref(op);
}

}  // namespace

PulseAudioSink::PulseAudioSink() = default;

PulseAudioSink::~PulseAudioSink() {
    if (!loop_) return;
    {
        Locked lock(loop_);
        disconnectAll();
    }
    pa_threaded_mainloop_stop(loop_);  // no callback runs after this
    pa_threaded_mainloop_free(loop_);
}

// Runs a handler on this thread; the library's thread calls this, and does nothing else of ours.
void PulseAudioSink::post(void (PulseAudioSink::*handler)()) {
    QMetaObject::invokeMethod(
        &relay_, [this, handler] { (this->*handler)(); }, Qt::QueuedConnection);
}

void PulseAudioSink::onContextState(pa_context*, void* self) {
    static_cast<PulseAudioSink*>(self)->post(&PulseAudioSink::contextChanged);
}

void PulseAudioSink::onStreamState(pa_stream*, void* self) {
    static_cast<PulseAudioSink*>(self)->post(&PulseAudioSink::streamChanged);
}

void PulseAudioSink::onWrite(pa_stream*, size_t, void* self) {
    auto* sink = static_cast<PulseAudioSink*>(self);
    if (!sink->feedPosted_.exchange(true)) sink->post(&PulseAudioSink::feed);
}

void PulseAudioSink::onDrained(pa_stream*, int, void* self) {
    static_cast<PulseAudioSink*>(self)->post(&PulseAudioSink::drained);
}

bool PulseAudioSink::start(QIODevice* source) {
    stop();
    if (!loop_ && !(loop_ = runningLoop())) return false;
    {
        Locked lock(loop_);
        if (!context_ && !connectContext()) return false;
        if (ready(stream_)) done(pa_stream_cork(stream_, 0, nullptr, nullptr));
    }
    source_ = source;
    pulled_ = heard_ = 0;
    paused_ = false;
    QObject::connect(source_, &QIODevice::readyRead, &relay_, [this] { feed(); });
    feed();
    return true;
}

void PulseAudioSink::suspend() {
    paused_ = true;
    if (!loop_) return;
    Locked lock(loop_);
    if (ready(stream_)) done(pa_stream_cork(stream_, 1, nullptr, nullptr));
}

void PulseAudioSink::resume() {
    paused_ = false;
    if (!loop_) return;
    {
        Locked lock(loop_);
        if (ready(stream_) && source_) done(pa_stream_cork(stream_, 0, nullptr, nullptr));
        askDrain();  // one asked before the pause may have been dropped with it
    }
    feed();
}

// Returns at once: the server drops what it holds and stops reading whenever it gets to it.
void PulseAudioSink::stop() {
    if (source_) QObject::disconnect(source_, nullptr, &relay_, nullptr);
    source_ = nullptr;
    draining_ = false;
    if (!loop_) return;
    Locked lock(loop_);
    forgetDrain();
    if (!ready(stream_)) return;
    done(pa_stream_flush(stream_, nullptr, nullptr));
    done(pa_stream_cork(stream_, 1, nullptr, nullptr));
}

void PulseAudioSink::drain() {
    if (!source_ || draining_) return;
    draining_ = true;
    Locked lock(loop_);
    if (ready(stream_))
        askDrain();
    else
        post(&PulseAudioSink::heardAll);  // nothing could be written yet: nothing to hear
}

// Asks the server to tell once all it holds has been played. A server keeps only the latest such
// request of a stream, drops it when the stream is corked (PipeWire) or plays a corked stream it
// is asked to drain (pipewire-pulse): so asked only while playing, anew at each resume, and only
// the latest answer counts. Called with the lock held.
void PulseAudioSink::askDrain() {
    if (!draining_ || paused_ || !ready(stream_)) return;
    forgetDrain();
    drain_ = pa_stream_drain(stream_, &PulseAudioSink::onDrained, this);
}

// An earlier request is not waited for: its answer, if one comes, is not looked at.
void PulseAudioSink::forgetDrain() {
    if (!drain_) return;
    pa_operation_cancel(drain_);
    pa_operation_unref(drain_);
    drain_ = nullptr;
}

// Some drain was answered; an end only if it is the latest one asked.
void PulseAudioSink::drained() {
    {
        Locked lock(loop_);
        if (!drain_ || pa_operation_get_state(drain_) != PA_OPERATION_DONE) return;
        forgetDrain();
    }
    heardAll();
}

void PulseAudioSink::heardAll() {
    if (draining_ && !paused_ && idle) idle();
}

qint64 PulseAudioSink::heard() const {
    if (!loop_) return heard_;
    Locked lock(loop_);
    pa_usec_t latency = 0;
    int negative = 0;
    // Until the server has told its position after a flush, the last figure stands.
    if (ready(stream_) && pa_stream_get_latency(stream_, &latency, &negative) == 0) {
        const qint64 unheard = negative ? 0 : qint64(pa_usec_to_bytes(latency, &kSpec));
        heard_ = std::clamp(pulled_ - unheard, heard_, pulled_);
    }
    return heard_;
}

bool PulseAudioSink::connectContext() {
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "vekEdit");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "vekedit");
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), nullptr, props);
    pa_proplist_free(props);
    if (!context_) return false;
    everReady_ = false;
    pa_context_set_state_callback(context_, &PulseAudioSink::onContextState, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0) {
        disconnectAll();
        return false;
    }
    return true;
}

void PulseAudioSink::contextChanged() {
    {
        Locked lock(loop_);
        if (!context_) return;
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY) {
            everReady_ = true;
            if (!stream_) createStream();
            if (stream_) return;
        } else if (PA_CONTEXT_IS_GOOD(state)) {
            return;
        }
    }
    lose();
}

void PulseAudioSink::createStream() {
    stream_ = pa_stream_new(context_, "読み上げ", &kSpec, nullptr);
    if (!stream_) return;
    pa_stream_set_state_callback(stream_, &PulseAudioSink::onStreamState, this);
    pa_stream_set_write_callback(stream_, &PulseAudioSink::onWrite, this);
    pa_buffer_attr attr;
    attr.maxlength = attr.minreq = attr.fragsize = uint32_t(-1);
    attr.tlength = uint32_t(pa_usec_to_bytes(kBufferUs, &kSpec));
    attr.prebuf = uint32_t(pa_usec_to_bytes(kPrebufUs, &kSpec));
    const auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING |
                                         PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0) {
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
}

void PulseAudioSink::streamChanged() {
    {
        Locked lock(loop_);
        if (!stream_) return;
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        if (state == PA_STREAM_READY) {
            if (source_ && !paused_) done(pa_stream_cork(stream_, 0, nullptr, nullptr));
            askDrain();
        }
        if (PA_STREAM_IS_GOOD(state)) return feed();
    }
    lose();
}

void PulseAudioSink::feed() {
    feedPosted_ = false;
    if (!source_ || !loop_) return;
    Locked lock(loop_);
    if (!ready(stream_)) return;
    const size_t room = pa_stream_writable_size(stream_);
    if (room == size_t(-1)) return;
    const qint64 n = std::min<qint64>(qint64(room), source_->bytesAvailable()) & ~qint64(1);
    if (n <= 0) return;
    const QByteArray samples = source_->read(n);
    if (pa_stream_write(stream_, samples.constData(), size_t(samples.size()), nullptr, 0,
                        PA_SEEK_RELATIVE) == 0)
        pulled_ += samples.size();
}

void PulseAudioSink::disconnectAll() {
    forgetDrain();
    if (stream_) {
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
}

// The server went away or refused us: the next start connects again.
void PulseAudioSink::lose() {
    bool lost;
    {
        Locked lock(loop_);
        disconnectAll();
        lost = everReady_;
    }
    if (source_ && failed) failed(lost);
}

}  // namespace platform
