// The installed program end to end: /usr/bin/vekedit on its own X server, heard on the test
// sound server, driven by keys as a user would.
#include <QtTest>

#include "harness.h"
#include "phrases/cp932.h"
#include "soundmonitor.h"

class InstalledTest : public QObject {
    Q_OBJECT
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString run(const QString& program, const QString& args) {  // on the test's X server
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(program, args.split(u' '));
        p.waitForFinished();
        return QString::fromUtf8(p.readAllStandardOutput()).section(u'\n', 0, 0);
    }

  private Q_SLOTS:
    void readsAloudAndCloses() {
        if (!QFileInfo(u"/usr/bin/vekedit"_qs).isExecutable()) {
            if (qEnvironmentVariableIsSet("VEKEDIT_EXPECT_INSTALLED")) QFAIL("not installed");
            QSKIP("the package is not installed (apt-get install ./build/vekedit_*.deb)");
        }
        QProcess x, editor;
        x.start(u"Xvfb"_qs, u"-displayfd 1 -screen 0 1024x768x24 -nolisten tcp"_qs.split(u' '));
        QVERIFY(x.waitForReadyRead(10000));
        env.insert(u"DISPLAY"_qs, u":"_qs + QString::fromLatin1(x.readAll()).trimmed());
        env.remove(u"QT_QPA_PLATFORM"_qs);
        QTemporaryDir dir;
        writeBytes(
            dir.filePath(u"vek.dat"_qs),
            cp932::encode(u"石の上にも三年\r\n急がば回れ\r\n塵も積もれば山となる\r\n"_qs).bytes);
        SoundMonitor monitor;
        QVERIFY(monitor.ok);
        editor.setProcessEnvironment(env);
        editor.start(u"/usr/bin/vekedit"_qs, {dir.filePath(u"vek.dat"_qs)});
        const QString window = run(u"xdotool"_qs, u"search --sync --name ^vekEdit"_qs);
        QCOMPARE(run(u"xdotool"_qs, u"getwindowname "_qs + window), u"vekEdit 4 フレーズ"_qs);
        run(u"xdotool"_qs, u"windowfocus --sync "_qs + window);
        for (int i = 0; i < 4; ++i) {  // F5 heard at once, Esc silent at once, again and again
            double at = monitor.now();
            run(u"xdotool"_qs, u"key F5"_qs);
            QCOMPARE_LT(monitor.waitLoud(at), 500);
            at = monitor.now();
            run(u"xdotool"_qs, u"key Escape"_qs);
            QCOMPARE_LE(monitor.waitSilent(at), 100);
        }
        run(u"import"_qs, u"-window root installed.png"_qs);
        run(u"xdotool"_qs, u"key ctrl+q"_qs);
        QVERIFY(editor.waitForFinished(5000));
        QCOMPARE(QProcess::execute(u"pgrep"_qs, {u"-x"_qs, u"open_jtalk"_qs}), 1);  // none left
        x.terminate();
        x.waitForFinished();
    }
};

QTEST_MAIN(InstalledTest)
#include "tst_installed.moc"
