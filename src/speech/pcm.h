#pragma once

#include <QByteArray>
#include <QIODevice>
#include <deque>
#include <optional>

namespace speech {

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

// The PCM of a 16-bit mono WAV image at the output's sample rate, or nothing when it is not one.
std::optional<QByteArray> wavSamples(const QByteArray& wav);
// Cuts the silence the engine puts around every utterance down to a short pause.
QByteArray trimSilence(const QByteArray& pcm);

}  // namespace speech
