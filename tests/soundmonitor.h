#pragma once

// What the default sound output plays, as heard on its monitor: the RMS of each 10 ms frame,
// stamped with the time it arrived. A stream of zeros keeps the monitor's clock going while
// nothing else plays, so that silence is recorded too.
#include <QtTest>

struct SoundMonitor {
    QElapsedTimer clock;
    std::vector<std::pair<double, double>> frames;  // arrival ms, RMS
    bool ok = false;

    SoundMonitor() {
        clock.start();
        QObject::connect(&parec_, &QProcess::readyReadStandardOutput, [this] {
            pending_ += parec_.readAllStandardOutput();
            for (; pending_.size() >= 960; pending_.remove(0, 960)) {  // 10 ms at 48 kHz
                double e = 0;
                for (int i = 0; i < 480; ++i)
                    e += std::pow(qFromLittleEndian<qint16>(pending_.constData() + 2 * i), 2);
                frames.emplace_back(now(), std::sqrt(e / 480));
            }
        });
        const QStringList format{"--raw", "--format=s16le", "--rate=48000", "--channels=1",
                                 "--latency-msec=10"};
        zeros_.setStandardInputFile("/dev/zero");
        zeros_.start("pacat", QStringList{"--playback"} + format);
        parec_.start("parec", QStringList{"-d", "@DEFAULT_MONITOR@"} + format);
        ok = waitUntil([this] { return !frames.empty(); }, 3000);
    }
    ~SoundMonitor() {
        for (QProcess* p : {&parec_, &zeros_}) p->kill(), p->waitForFinished();
    }
    double now() const { return clock.nsecsElapsed() / 1e6; }

    // Runs events until done; false on timeout.
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
        QElapsedTimer t;
        t.start();
        for (QEventLoop loop; !done(); loop.exec()) {
            if (t.elapsed() > timeoutMs) return false;
            QTimer::singleShot(2, &loop, &QEventLoop::quit);
        }
        return true;
    }
    // All that was heard since `at`, as the sum of each frame's mean square: the same for the
    // same sound, however it was cut into frames or held up on its way.
    double energy(double at) const {
        double sum = 0;
        for (const auto& [ms, rms] : frames)
            if (ms >= at) sum += rms * rms;
        return sum;
    }
    // Why no sound server answers, as the test command starts one; empty when one does.
    static QString missing() {
        QProcess p;
        p.start("pactl", {"info"});
        if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && p.waitForFinished() &&
            p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return {};
        return "no sound server: the test command starts a private one (tools/soundserver.sh)";
    }
    static bool onPipeWire() {
        QProcess p;
        p.start("pactl", {"info"});
        return p.waitForFinished() && p.readAllStandardOutput().contains("PipeWire");
    }
    // How long after `at` the first frame louder than floor came; NaN when none came in time.
    // Above 30 is any sound; above 300, a voice well under way.
    double waitLoud(double at, int timeoutMs = 3000, double floor = 300) {
        const auto heard = [&] {
            const auto loud = std::find_if(frames.begin(), frames.end(), [&](auto f) {
                return f.first > at && f.second > floor;
            });
            return loud == frames.end() ? NAN : loud->first - at;
        };
        waitUntil([&] { return !std::isnan(heard()); }, timeoutMs);
        return heard();
    }
    // How long after `at` sound went on, once `window` ms past it have been heard; NaN if never.
    double waitSilent(double at, double window = 600) {
        if (!waitUntil([&] { return !frames.empty() && frames.back().first >= at + window; },
                       3000 + int(window)))
            return NAN;
        double last = at;
        for (const auto& [ms, rms] : frames)
            if (ms >= at && rms > 30) last = ms;
        return last - at;
    }

  private:
    QProcess parec_, zeros_;
    QByteArray pending_;
};

// Skips a test where no sound server answers, but in CI, where that is a failure.
#define REQUIRE_SOUND_SERVER()                                       \
    if (const QString no = SoundMonitor::missing(); !no.isEmpty()) { \
        if (qEnvironmentVariableIsSet("CI")) QFAIL(qPrintable(no));  \
        QSKIP(qPrintable(no));                                       \
    }

// Median F0 by autocorrelation: 40 ms frames every 10 ms, voiced frames only, 60 to 500 Hz.
inline double medianF0(const QByteArray& pcm, int rate = 48000) {
    const auto x = [&](qsizetype i) {
        return double(qFromLittleEndian<qint16>(pcm.data() + 2 * i));
    };
    std::vector<double> f0;
    for (qsizetype at = 0, frame = rate / 25; 2 * (at + frame) < pcm.size(); at += rate / 100) {
        double r0 = 0, best = 0, lag = 0;
        for (int i = 0; i < frame; ++i) r0 += x(at + i) * x(at + i);
        for (int l = rate / 500; l <= rate / 60 && std::sqrt(r0 / frame) >= 300; ++l) {
            double r = 0;
            for (int i = 0; i + l < frame; ++i) r += x(at + i) * x(at + i + l);
            if (r > best) best = r, lag = l;
        }
        if (best > 0.3 * r0) f0.push_back(rate / lag);
    }
    std::sort(f0.begin(), f0.end());
    return f0.empty() ? 0 : f0[f0.size() / 2];
}
