#pragma once

// What the default sound output plays, as heard on its monitor: 10 ms frames, each stamped
// with the time it arrived. A stream of zeros keeps the monitor's clock going while nothing
// else plays, so that silence is recorded too.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <QtEndian>
#include <cmath>
#include <functional>
#include <vector>

struct SoundMonitor {
    static constexpr double kLoud = 300;  // RMS of a 10 ms frame of speech
    static constexpr double kQuiet = 30;

    QElapsedTimer clock;
    std::vector<std::pair<double, double>> frames;  // arrival ms, RMS

    SoundMonitor() {
        clock.start();
        QObject::connect(&parec_, &QProcess::readyReadStandardOutput, [this] {
            pending_ += parec_.readAllStandardOutput();
            const double at = now();
            for (; pending_.size() >= 960; pending_.remove(0, 960)) {  // 10 ms at 48 kHz
                double e = 0;
                for (int i = 0; i < 480; ++i)
                    e += std::pow(qFromLittleEndian<qint16>(pending_.constData() + 2 * i), 2);
                frames.emplace_back(at, std::sqrt(e / 480));
            }
        });
        const QStringList format{"--raw", "--format=s16le", "--rate=48000", "--channels=1",
                                 "--latency-msec=10"};
        zeros_.setStandardInputFile("/dev/zero");
        zeros_.start("pacat", QStringList{"--playback"} + format);
        parec_.start("parec", QStringList{"-d", "@DEFAULT_MONITOR@"} + format);
        ok = parec_.waitForStarted() && zeros_.waitForStarted();
        // Running once the first frames come.
        ok = ok && waitUntil([this] { return !frames.empty(); }, 3000);
    }
    ~SoundMonitor() {
        for (QProcess* p : {&parec_, &zeros_}) {
            p->kill();
            p->waitForFinished();
        }
    }

    double now() const { return clock.nsecsElapsed() / 1e6; }

    // When the first loud frame after `at` arrived, or NaN.
    double firstLoudAfter(double at) const {
        for (const auto& [ms, rms] : frames)
            if (ms > at && rms > kLoud) return ms;
        return NAN;
    }
    // How long after `at` sound went on; NaN unless 400 ms past it have been heard.
    double silentAfter(double at) const {
        double last = at;
        for (const auto& [ms, rms] : frames)
            if (ms >= at && rms > kQuiet) last = ms;
        return frames.empty() || frames.back().first < at + 400 ? NAN : last - at;
    }
    // Events run while waiting; false on timeout.
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > timeoutMs) return false;
            QEventLoop loop;
            QTimer::singleShot(2, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return true;
    }
    // Waits for a loud frame after `at`; the delay in ms, or NaN.
    double waitLoud(double at, int timeoutMs = 3000) {
        waitUntil([&] { return !std::isnan(firstLoudAfter(at)); }, timeoutMs);
        return firstLoudAfter(at) - at;
    }
    // Waits until 400 ms after `at` have been heard; then as silentAfter.
    double waitSilent(double at) {
        waitUntil([&] { return !frames.empty() && frames.back().first >= at + 400; }, 3000);
        return silentAfter(at);
    }

    bool ok = false;

  private:
    QProcess parec_, zeros_;
    QByteArray pending_;
};
