#include "platform/audiosink.h"

#include <QAudioSink>
#include <QMediaDevices>

namespace platform {

QAudioFormat AudioSink::format() {
    QAudioFormat f;
    f.setSampleRate(48000);
    f.setChannelCount(1);
    f.setSampleFormat(QAudioFormat::Int16);
    return f;
}

QtAudioSink::QtAudioSink() = default;
QtAudioSink::~QtAudioSink() = default;

bool QtAudioSink::start(QIODevice* source) {
    stop();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) return false;
    sink_ = std::make_unique<QAudioSink>(device, format());
    // A short buffer, so Pause and Stop are heard at once.
    sink_->setBufferSize(format().bytesForDuration(80'000));
    // Told after the signal has returned: the listener may stop and delete this sink.
    QObject::connect(
        sink_.get(), &QAudioSink::stateChanged, sink_.get(),
        [this](QAudio::State s) {
            if (s == QAudio::IdleState && idle) {
                idle();
            } else if (s == QAudio::StoppedState && sink_->error() != QAudio::NoError && failed) {
                failed();
            }
        },
        Qt::QueuedConnection);
    sink_->start(source);
    if (sink_->error() != QAudio::NoError || sink_->state() == QAudio::StoppedState) {
        sink_.reset();
        return false;
    }
    return true;
}

void QtAudioSink::suspend() {
    if (sink_) sink_->suspend();
}

void QtAudioSink::resume() {
    if (sink_) sink_->resume();
}

void QtAudioSink::stop() {
    if (!sink_) return;
    sink_->disconnect();
    sink_->stop();
    sink_.reset();
}

}  // namespace platform
