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
        if (!QFileInfo(u"/usr/bin/vekedit"_s).isExecutable()) {
            if (qEnvironmentVariableIsSet("VEKEDIT_EXPECT_INSTALLED")) QFAIL("not installed");
            QSKIP("the package is not installed (apt-get install ./build/vekedit_*.deb)");
        }
        QProcess x, editor;
        x.start(u"Xvfb"_s, u"-displayfd 1 -screen 0 1024x768x24 -nolisten tcp"_s.split(u' '));
        QVERIFY(x.waitForReadyRead(10000));
        env.insert(u"DISPLAY"_s, u":"_s + QString::fromLatin1(x.readAll()).trimmed());
        env.remove(u"QT_QPA_PLATFORM"_s);
        QTemporaryDir dir;
        writeBytes(
            dir.filePath(u"vek.dat"_s),
            cp932::encode(u"石の上にも三年\r\n急がば回れ\r\n塵も積もれば山となる\r\n"_s).bytes);
        SoundMonitor monitor;
        QVERIFY(monitor.ok);
        editor.setProcessEnvironment(env);
        editor.start(u"/usr/bin/vekedit"_s, {dir.filePath(u"vek.dat"_s)});
        const QString window = run(u"xdotool"_s, u"search --sync --name ^vekEdit"_s);
        QCOMPARE(run(u"xdotool"_s, u"getwindowname "_s + window), u"vekEdit 4 フレーズ"_s);
        run(u"xdotool"_s, u"windowfocus --sync "_s + window);
        for (int i = 0; i < 4; ++i) {  // F5 heard at once, Esc silent at once, again and again
            double at = monitor.now();
            run(u"xdotool"_s, u"key F5"_s);
            QCOMPARE_LT(monitor.waitLoud(at), 500);
            at = monitor.now();
            run(u"xdotool"_s, u"key Escape"_s);
            QCOMPARE_LE(monitor.waitSilent(at), 100);
        }
        run(u"import"_s, u"-window root installed.png"_s);
        run(u"xdotool"_s, u"key ctrl+q"_s);
        QVERIFY(editor.waitForFinished(5000));
        QCOMPARE(QProcess::execute(u"pgrep"_s, {u"-x"_s, u"open_jtalk"_s}), 1);  // none left
        x.terminate();
        x.waitForFinished();
    }
};

QTEST_MAIN(InstalledTest)
#include "tst_installed.moc"
