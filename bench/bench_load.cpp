// Loading a large phrase file: the whole ReadMsg into a shown main window, against
// decoding and splitting the same bytes alone, which no loader can beat.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextDocumentLayout>
#include <QTemporaryDir>
#include <QTextDocument>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "harness.h"
#include "phrases/cp932.h"
#include "phrases/phrasefile.h"

namespace {

QByteArray makeFile(int lines) {
    const QStringList phrases{u"石の上にも三年、急がば回れ。"_s, u"塵も積もれば山となる"_s,
                              u"Time is money — 時は金なり（ことわざ）"_s,
                              u"千里の道も一歩から、七転び八起き、笑う門には福来たる。"_s};
    QString text;
    for (int i = 0; i < lines; ++i)
        text += QString::number(i) + u' ' + phrases[i % phrases.size()] + phrases[(i + 1) % 4] +
                u"\r\n"_s;
    return cp932::encode(text).bytes;
}

double medianMs(int runs, const std::function<void()>& run) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

qint64 peakKb() {
    QFile f(u"/proc/self/status"_s);
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}

// 32001 lines of characters the code page spells two ways (NEC's row 13, NEC's and IBM's
// extensions), which a save writes back with each line's own bytes.
void twoSpellings(Harness& h, QTemporaryDir& dir) {
    QByteArray bytes;
    const int rows[] = {0x87, 0xED, 0xEE, 0xFA, 0xFB};
    for (int i = 0; i < 32001; ++i) {
        for (int k = 0; k < 32; ++k) {
            bytes += char(rows[(i + k) % 5]);
            bytes += char(0x40 + (i * 7 + k) % 0x3C);
        }
        bytes += "\r\n";
    }
    const QString path = dir.filePath(u"twins.dat"_s), saved = dir.filePath(u"saved.dat"_s);
    writeBytes(path, bytes);
    const qint64 before = peakKb();
    const double load = medianMs(3, [&] {
        h.form->ReadMsg(path);
        QApplication::processEvents();
    });
    const double save = medianMs(3, [&] { h.form->SaveMsg(saved); });
    const bool same = readBytes(saved) == bytes;
    std::printf(
        "\n32001 lines spelled two ways, %lld bytes: load %.1f ms, save %.1f ms, "
        "saved byte for byte: %s, peak memory +%.1f MB\n",
        static_cast<long long>(bytes.size()), load, save, same ? "yes" : "NO",
        (peakKb() - before) / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    Harness h;
    h.form->show();

    std::printf("%8s %10s %10s %11s %10s %9s %12s %9s\n", "lines", "bytes", "floor ms",
                "toolkit ms", "load ms", "vs floor", "vs floor+tk", "vs half");
    double previous = 0;
    bool floorMet = true, growthMet = true;
    for (int lines : {8001, 16001, 32001}) {
        const QByteArray bytes = makeFile(lines);
        const QString path = dir.filePath(QStringLiteral("bench.dat"));
        writeBytes(path, bytes);
        const double floor = medianMs(7, [&] {
            volatile auto n = phrasefile::parse(bytes).lines.size();
            (void)n;
        });
        // What the toolkit's text document alone needs to take the same lines.
        const QString plain = phrasefile::parse(bytes).lines.join(u'\n') + u'\n';
        const double toolkit = medianMs(7, [&] {
            QTextDocument doc;
            doc.setDocumentLayout(new QPlainTextDocumentLayout(&doc));
            doc.setPlainText(plain);
        });
        const double load = medianMs(7, [&] {
            h.form->ReadMsg(path);
            QApplication::processEvents();  // layout and paint of what is shown
        });
        if (h.form->iMsgCount != lines) std::printf("wrong line count %d\n", h.form->iMsgCount);
        const double ratio = load / floor;
        const double growth = previous > 0 ? load / previous : 0;
        std::printf("%8d %10lld %10.2f %11.2f %10.2f %8.2fx %11.2fx %8.2fx\n", lines,
                    static_cast<long long>(bytes.size()), floor, toolkit, load, ratio,
                    load / (floor + toolkit), growth);
        if (lines == 32001 && ratio > 4.0) floorMet = false;
        if (growth > 2.2) growthMet = false;
        previous = load;
    }
    std::printf("target: load <= 4x floor at 32001 lines: %s\n", floorMet ? "met" : "missed");
    std::printf("target: doubling the lines <= 2.2x the time: %s\n", growthMet ? "met" : "missed");
    twoSpellings(h, dir);
    return 0;
}
