// Reading aloud: how soon the first samples come, how memory behaves over a long reading,
// how fast Pause and Stop silence a real sound server, and how far apart the two voices are.
#include <QAudioDevice>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QProcess>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "platform/jtalk.h"

using namespace platform;

namespace {

const QStringList kPhrases{u"石の上にも三年、急がば回れ。"_qs, u"塵も積もれば山となる"_qs,
                           u"千里の道も一歩から、七転び八起き、笑う門には福来たる。"_qs,
                           u"時は金なり（ことわざ）"_qs};

QString phraseText(int lines) {
    QString text;
    for (int i = 0; i < lines; ++i) text += kPhrases[i % kPhrases.size()] + u"\r\n"_qs;
    return text;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void waitFor(const std::function<bool()>& done, int timeoutMs) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done()) loop.quit();
    });
    poll.start(1);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!done()) loop.exec();
}

// Takes every sample the moment it is there; notes when the first one came.
struct GreedySink : AudioSink {
    QIODevice* source = nullptr;
    QElapsedTimer* clock = nullptr;
    double firstMs = -1;
    bool start(QIODevice* s) override {
        source = s;
        QObject::connect(s, &QIODevice::readyRead, s, [this] {
            if (source && !source->read(1 << 20).isEmpty() && firstMs < 0)
                firstMs = clock->nsecsElapsed() / 1e6;
        });
        return true;
    }
    void suspend() override {}
    void resume() override {}
    void stop() override {
        if (source) source->disconnect();
        source = nullptr;
    }
};

// Pulls at the pace of a real 48 kHz output.
struct RealTimeSink : AudioSink {
    QTimer timer;
    QIODevice* source = nullptr;
    qint64 played = 0;
    RealTimeSink() {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (source) played += source->read(1920).size();
        });
    }
    bool start(QIODevice* s) override {
        source = s;
        timer.start();
        return true;
    }
    void suspend() override { timer.stop(); }
    void resume() override { timer.start(); }
    void stop() override {
        timer.stop();
        source = nullptr;
    }
};

qint64 residentKb() {
    QFile f(u"/proc/self/status"_qs);
    f.open(QIODevice::ReadOnly);
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}

QByteArray synthesize(const JTalkFiles& files, const QString& voice, const QString& text,
                      double* ms = nullptr) {
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(files.program, JTalkSpeech::arguments(files, voice));
    p.write(text.toUtf8() + '\n');
    p.closeWriteChannel();
    p.waitForFinished(30000);
    if (ms) *ms = t.nsecsElapsed() / 1e6;
    return wavSamples(p.readAllStandardOutput()).value_or(QByteArray());
}

// Median F0 by autocorrelation: 40 ms frames every 10 ms, voiced frames only, 60 to 500 Hz.
double medianF0(const QByteArray& pcm) {
    const int rate = 48000, frame = rate / 25, hop = rate / 100;
    std::vector<float> x(pcm.size() / 2);
    for (size_t i = 0; i < x.size(); ++i) x[i] = qFromLittleEndian<qint16>(pcm.constData() + 2 * i);
    std::vector<double> f0;
    for (size_t at = 0; at + frame < x.size(); at += hop) {
        const float* s = x.data() + at;
        double r0 = 0;
        for (int i = 0; i < frame; ++i) r0 += double(s[i]) * s[i];
        if (std::sqrt(r0 / frame) < 300) continue;
        double best = 0;
        int bestLag = 0;
        for (int lag = rate / 500; lag <= rate / 60; ++lag) {
            double r = 0;
            for (int i = 0; i + lag < frame; ++i) r += double(s[i]) * s[i + lag];
            if (r > best) best = r, bestLag = lag;
        }
        if (best > 0.3 * r0) f0.push_back(double(rate) / bestLag);
    }
    return median(f0);
}

void firstSamples(const JTalkFiles& files) {
    std::printf("\nTime from SpeechPlay to the first samples handed to the sink (median of 7)\n");
    double oneRun = 0;
    {
        std::vector<double> runs;
        for (int i = 0; i < 7; ++i) {
            double ms;
            synthesize(files, kVoice0, kPhrases[0], &ms);
            runs.push_back(ms);
        }
        oneRun = median(runs);
    }
    std::printf("  one open_jtalk run on the first sentence: %7.1f ms\n", oneRun);
    double oneLine = 0;
    for (int lines : {1, 32001}) {
        const QString text = phraseText(lines);
        std::vector<double> runs;
        for (int i = 0; i < 7; ++i) {
            QElapsedTimer clock;
            auto* sink = new GreedySink;
            sink->clock = &clock;
            JTalkSpeech speech(files, std::unique_ptr<AudioSink>(sink));
            speech.SpeechSetText(text);
            clock.start();
            speech.SpeechPlay();
            waitFor([&] { return sink->firstMs >= 0; }, 10000);
            runs.push_back(sink->firstMs);
        }
        const double ms = median(runs);
        if (lines == 1) oneLine = ms;
        std::printf("  %5d lines: %7.1f ms   %.2fx the run (target <= 1.3)", lines, ms,
                    ms / oneRun);
        if (lines > 1) std::printf("   %.2fx 1 line (target <= 1.1)", ms / oneLine);
        std::printf("\n");
    }
}

void memory(const JTalkFiles& files, int seconds) {
    std::printf("\nResident memory while reading 32001 lines for %d s at playback pace\n", seconds);
    const QString text = phraseText(32001);
    auto* sink = new RealTimeSink;
    JTalkSpeech speech(files, std::unique_ptr<AudioSink>(sink));
    speech.SpeechSetText(text);
    speech.SpeechPlay();
    const qint64 base = residentKb();
    qint64 peak = base;
    QTimer sample;
    int tick = 0;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        peak = std::max(peak, residentKb());
        if (++tick % 100 == 0)
            std::printf("  %3d s: %6.1f MB resident, %5.1f s played\n", tick / 10,
                        residentKb() / 1024.0, sink->played / 96000.0);
    });
    sample.start(100);
    waitFor([] { return false; }, seconds * 1000 + 500);
    std::printf("  start %.1f MB, peak %.1f MB: growth %.1f MB (target <= 30)\n", base / 1024.0,
                peak / 1024.0, (peak - base) / 1024.0);
}

// Records the default sink's monitor in 10 ms pieces, each stamped as it arrives.
struct Monitor {
    QProcess parec, zeros;
    QElapsedTimer* clock;
    std::vector<std::pair<double, double>> rms;  // arrival ms, RMS
    QByteArray pending;
    explicit Monitor(QElapsedTimer* c) : clock(c) {
        QObject::connect(&parec, &QProcess::readyReadStandardOutput, [this] {
            pending += parec.readAllStandardOutput();
            const double now = clock->nsecsElapsed() / 1e6;
            while (pending.size() >= 960) {  // 10 ms at 48 kHz
                double e = 0;
                for (int i = 0; i < 480; ++i)
                    e += std::pow(qFromLittleEndian<qint16>(pending.constData() + 2 * i), 2);
                rms.emplace_back(now, std::sqrt(e / 480));
                pending.remove(0, 960);
            }
        });
        const QStringList format{u"--raw"_qs, u"--format=s16le"_qs, u"--rate=48000"_qs,
                                 u"--channels=1"_qs, u"--latency-msec=10"_qs};
        // A monitor is silent while no stream plays; a stream of zeros keeps its clock going.
        zeros.setStandardInputFile(u"/dev/zero"_qs);
        zeros.start(u"pacat"_qs, QStringList{u"--playback"_qs} + format);
        parec.start(u"parec"_qs, QStringList{u"-d"_qs, u"@DEFAULT_MONITOR@"_qs} + format);
        parec.waitForStarted();
    }
    ~Monitor() {
        for (QProcess* p : {&parec, &zeros}) {
            p->kill();
            p->waitForFinished();
        }
    }
    bool loudNow() const { return !rms.empty() && rms.back().second > 1000; }
    // How long after at the sound went on; NaN when the recording does not reach 400 ms past.
    double silentAfter(double at) const {
        double lastLoud = at, lastHeard = 0;
        for (const auto& [ms, level] : rms) {
            if (ms >= at && level > 30) lastLoud = ms;
            lastHeard = ms;
        }
        return lastHeard < at + 400 ? NAN : lastLoud - at;
    }
};

void silencing(const JTalkFiles& files) {
    std::printf("\nTime from Pause or Stop to silence on the sound server's monitor\n");
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        std::printf("  no sound server: skipped (see README for a null sink)\n");
        return;
    }
    for (const char* what : {"Pause", "Stop"}) {
        std::vector<double> runs;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer clock;
            clock.start();
            Monitor monitor(&clock);
            JTalkSpeech speech(files, std::make_unique<QtAudioSink>());
            speech.SpeechSetText(phraseText(20));
            speech.SpeechPlay();
            waitFor([&] { return monitor.loudNow(); }, 10000);
            const double at = clock.nsecsElapsed() / 1e6;
            if (QByteArray(what) == "Pause") {
                speech.SpeechPause();
            } else {
                speech.SpeechStop();
            }
            waitFor([] { return false; }, 600);
            runs.push_back(monitor.silentAfter(at));
        }
        std::sort(runs.begin(), runs.end());
        std::printf("  %-5s: median %5.1f ms, worst %5.1f ms (target <= 100)\n", what, median(runs),
                    runs.back());
    }
}

void voices(const JTalkFiles& files) {
    std::printf("\nMedian F0 of the two voices on the same text\n");
    const QString text = u"千里の道も一歩から、七転び八起き、笑う門には福来たる。"_qs;
    const double f0 = medianF0(synthesize(files, kVoice0, text));
    const double f1 = medianF0(synthesize(files, kVoice1, text));
    std::printf("  読み秀君 %.0f Hz, 読み子ちゃん %.0f Hz: ratio %.2f (target >= 1.6)\n", f0, f1,
                f1 / f0);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const JTalkFiles files = JTalkFiles::find();
    if (const QString missing = files.missing(); !missing.isEmpty()) {
        std::printf("%s\n", qPrintable(missing));
        return 1;
    }
    // Each part alone when named: first, voices, silence, memory (add "short" for 10 s).
    const auto part = [&](const QString& name) {
        return args.size() < 2 || args.contains(name) ||
               (args.size() == 2 && args.contains(u"short"_qs));
    };
    if (part(u"first"_qs)) firstSamples(files);
    if (part(u"voices"_qs)) voices(files);
    if (part(u"silence"_qs)) silencing(files);
    if (part(u"memory"_qs)) memory(files, args.contains(u"short"_qs) ? 10 : 60);
    return 0;
}
