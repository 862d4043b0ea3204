#include "platform/audiosink.h"

#include <QAudioSink>
#include <QMediaDevices>

namespace platform {

QAudioFormat AudioSink::format() {
    QAudioFormat f;
    f.setSampleRate(kSampleRate);
    f.setChannelCount(1);
    f.setSampleFormat(QAudioFormat::Int16);
    return f;
}

QtAudioSink::QtAudioSink() = default;

QtAudioSink::~QtAudioSink() {
    retire();
}

// Qt's sink runs pending events as it is destroyed; that happens later, outside our callers.
void QtAudioSink::retire() {
    if (!sink_) return;
    sink_->disconnect();
    sink_->stop();
    sink_.release()->deleteLater();
}

bool QtAudioSink::start(QIODevice* source) {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) return false;
    if (!sink_ || device != device_) {
        retire();
        device_ = device;
        sink_ = std::make_unique<QAudioSink>(device, format());
        QObject::connect(sink_.get(), &QAudioSink::stateChanged, &context_,
                         [this](QAudio::State state) {
                             const bool broken =
                                 state == QAudio::StoppedState && sink_->error() != QAudio::NoError;
                             // Told after the signal has returned: the listener may stop or
                             // restart this sink. Dropped if this goes first.
                             QMetaObject::invokeMethod(
                                 &context_,
                                 [this, state, broken] {
                                     if (state == QAudio::IdleState && idle) idle();
                                     if (broken && failed) failed();
                                 },
                                 Qt::QueuedConnection);
                         });
    }
    // Asked anew each time: Qt keeps the size the server granted, about three quarters of
    // the request, so a restarted sink would shrink until it is too small to play at all.
    sink_->setBufferSize(format().bytesForDuration(kBufferMs * 1000));
    sink_->start(source);
    return sink_->error() == QAudio::NoError && sink_->state() != QAudio::StoppedState;
}

void QtAudioSink::suspend() {
    if (sink_) sink_->suspend();
}

void QtAudioSink::resume() {
    if (sink_) sink_->resume();
}

void QtAudioSink::stop() {
    if (sink_) sink_->stop();
}

}  // namespace platform
