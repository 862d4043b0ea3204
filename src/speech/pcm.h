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
    // The span said by the samples `offset` bytes into what has been pulled since clear(); the
    // spans before it are forgotten.
    Span spanAt(qint64 offset);
    // Where the span after the one at `offset` begins; -1 when none has been appended yet.
    qint64 nextStart(qint64 offset) const;

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
    qint64 appended_ = 0;
    std::deque<std::pair<qint64, Span>> starts_;  // where each span's samples begin
};

// The PCM of a 16-bit mono WAV image at the output's sample rate, or nothing when it is not one.
std::optional<QByteArray> wavSamples(const QByteArray& wav);
// Cuts the silence the engine puts around every utterance down to a short pause: shorter where
// the text flows on without a pause mark.
QByteArray trimSilence(const QByteArray& pcm, bool flowing = false);

}  // namespace speech
