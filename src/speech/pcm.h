#pragma once

#include <QByteArray>
#include <QIODevice>
#include <deque>
#include <optional>

#include "speech/utterances.h"

namespace speech {

// Samples waiting to be played; the sink pulls them.
class PcmQueue final : public QIODevice {
    Q_OBJECT
  public:
    explicit PcmQueue(QObject* parent = nullptr);
    // The samples of one utterance, and the span of the text they say.
    void append(const QByteArray& pcm, Span span = {});
    void clear();
    void finish() { finished_ = true; }  // nothing more will come
    bool drained() const { return finished_ && queued_ == 0; }
    qint64 queued() const { return queued_; }
    qint64 bytesAvailable() const override { return queued_ + QIODevice::bytesAvailable(); }
    bool isSequential() const override { return true; }
    // The span of the samples pulled last; empty before the first pull after clear().
    Span playing() const { return playing_; }

  Q_SIGNALS:
    void pulled();

  protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    struct Chunk {
        QByteArray pcm;
        Span span;
    };
    std::deque<Chunk> chunks_;
    qsizetype offset_ = 0;  // into the first chunk
    qint64 queued_ = 0;
    bool finished_ = false;
    Span playing_;
};

// The PCM of a 16-bit mono WAV image at the output's sample rate, or nothing when it is not one.
std::optional<QByteArray> wavSamples(const QByteArray& wav);
// Cuts the silence the engine puts around every utterance down to a short pause.
QByteArray trimSilence(const QByteArray& pcm);

}  // namespace speech
