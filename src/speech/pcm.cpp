#include "speech/pcm.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/audiosink.h"

namespace speech {

PcmQueue::PcmQueue(QObject* parent) : QIODevice(parent) {
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void PcmQueue::append(const QByteArray& pcm, Span span) {
    if (pcm.isEmpty()) return;
    chunks_.push_back(pcm);
    starts_.emplace_back(appended_, span);
    appended_ += pcm.size();
    queued_ += pcm.size();
    Q_EMIT readyRead();
}

void PcmQueue::clear() {
    chunks_.clear();
    offset_ = 0;
    queued_ = 0;
    finished_ = false;
    appended_ = 0;
    starts_.clear();
}

Span PcmQueue::spanAt(qint64 offset) {
    while (starts_.size() > 1 && starts_[1].first <= offset) starts_.pop_front();
    return starts_.empty() || starts_.front().first > offset ? Span() : starts_.front().second;
}

qint64 PcmQueue::nextStart(qint64 offset) const {
    for (const auto& [start, span] : starts_)
        if (start > offset) return start;
    return -1;
}

qint64 PcmQueue::readData(char* data, qint64 maxSize) {
    maxSize -= maxSize % 2;  // whole samples only
    qint64 done = 0;
    while (done < maxSize && !chunks_.empty()) {
        const QByteArray& chunk = chunks_.front();
        const qint64 n = std::min<qint64>(maxSize - done, chunk.size() - offset_);
        std::memcpy(data + done, chunk.constData() + offset_, size_t(n));
        done += n;
        offset_ += n;
        if (offset_ == chunk.size()) {
            chunks_.pop_front();
            offset_ = 0;
        }
    }
    queued_ -= done;
    if (done > 0) Q_EMIT pulled();
    return done;
}

std::optional<QByteArray> wavSamples(const QByteArray& wav) {
    if (wav.size() < 12 || !wav.startsWith("RIFF") || wav.mid(8, 4) != "WAVE") return std::nullopt;
    const auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(wav.constData() + at); };
    const auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(wav.constData() + at); };
    bool formatOk = false;
    for (qsizetype at = 12; at + 8 <= wav.size();) {
        const QByteArray id = wav.mid(at, 4);
        const qint64 size = u32(at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt ") {
            if (size < 16 || body + 16 > wav.size()) return std::nullopt;
            formatOk = u16(body) == 1 && u16(body + 2) == 1 &&
                       u32(body + 4) == quint32(platform::kSampleRate) && u16(body + 14) == 16;
        } else if (id == "data") {
            if (!formatOk) return std::nullopt;
            QByteArray pcm = wav.mid(body, std::min<qint64>(size, wav.size() - body));
            pcm.chop(pcm.size() % 2);
            return pcm;
        }
        at = body + size + (size & 1);
    }
    return std::nullopt;
}

QByteArray trimSilence(const QByteArray& pcm, bool flowing) {
    // 20 ms before the first loud sample keeps the onset whole; with the 0.36 s after the
    // last one, phrases are 0.38 s apart. Pieces of one stretch are 0.18 s apart, a short
    // breath: the engine pauses 0.43-0.48 s at a comma.
    constexpr qsizetype kLead = platform::kSampleRate / 50;
    const qsizetype trail = platform::kSampleRate * (flowing ? 16 : 36) / 100;
    constexpr int kFloor = 100;  // about -50 dBFS
    const qsizetype n = pcm.size() / 2;
    const auto loud = [&](qsizetype i) {
        return std::abs(qFromLittleEndian<qint16>(pcm.constData() + 2 * i)) > kFloor;
    };
    qsizetype first = 0, last = n - 1;
    while (first < n && !loud(first)) ++first;
    if (first == n) return QByteArray();
    while (last > first && !loud(last)) --last;
    const qsizetype from = std::max<qsizetype>(0, first - kLead);
    const qsizetype to = std::min<qsizetype>(n, last + 1 + trail);
    return pcm.mid(2 * from, 2 * (to - from));
}

}  // namespace speech
