// The installed program end to end: /usr/bin/vekedit on its own X server, heard on the test
// sound server, driven by keys as a user would.
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "harness.h"
#include "phrases/cp932.h"
#include "soundmonitor.h"

class InstalledTest : public QObject {
    Q_OBJECT
    QString run(const QStringList& args) {  // xdotool on the test's X server
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(u"xdotool"_qs, args);
        p.waitForFinished();
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

  private Q_SLOTS:
    void readsAloudAndCloses();
};

void InstalledTest::readsAloudAndCloses() {
    const QString program = u"/usr/bin/vekedit"_qs;
    if (!QFileInfo(program).isExecutable()) {
        if (qEnvironmentVariableIsSet("VEKEDIT_EXPECT_INSTALLED")) QFAIL("not installed");
        QSKIP("the package is not installed (apt-get install ./build/vekedit_*.deb)");
    }
    QProcess x;
    x.start(u"Xvfb"_qs, {u"-displayfd"_qs, u"1"_qs, u"-screen"_qs, u"0"_qs, u"1024x768x24"_qs,
                         u"-nolisten"_qs, u"tcp"_qs});
    QVERIFY(x.waitForReadyRead(10000));
    env.insert(u"DISPLAY"_qs, u":"_qs + QString::fromLatin1(x.readAll()).trimmed());
    env.remove(u"QT_QPA_PLATFORM"_qs);
    QTemporaryDir dir;
    writeBytes(dir.filePath(u"vek.dat"_qs),
               cp932::encode(u"石の上にも三年\r\n急がば回れ\r\n塵も積もれば山となる\r\n"_qs).bytes);
    SoundMonitor monitor;
    QVERIFY(monitor.ok);
    QProcess editor;
    editor.setProcessEnvironment(env);
    editor.start(program, {dir.filePath(u"vek.dat"_qs)});
    const QString window =
        run({u"search"_qs, u"--sync"_qs, u"--name"_qs, u"^vekEdit"_qs}).section(u'\n', 0, 0);
    QCOMPARE(run({u"getwindowname"_qs, window}), u"vekEdit 4 フレーズ"_qs);
    run({u"windowfocus"_qs, u"--sync"_qs, window});
    for (int i = 0; i < 4; ++i) {
        double at = monitor.now();
        run({u"key"_qs, u"F5"_qs});
        const double heard = monitor.waitLoud(at);
        QVERIFY2(heard < 500, qPrintable(u"F5 heard after %1 ms"_qs.arg(heard)));
        at = monitor.now();
        run({u"key"_qs, u"Escape"_qs});
        const double silent = monitor.waitSilent(at);
        QVERIFY2(silent <= 100, qPrintable(u"Esc silent after %1 ms"_qs.arg(silent)));
    }
    QProcess::execute(u"import"_qs, {u"-display"_qs, env.value(u"DISPLAY"_qs), u"-window"_qs,
                                     u"root"_qs, u"installed.png"_qs});
    run({u"key"_qs, u"ctrl+q"_qs});
    QVERIFY(editor.waitForFinished(5000));
    QCOMPARE(QProcess::execute(u"pgrep"_qs, {u"-x"_qs, u"open_jtalk"_qs}), 1);  // none left
    x.terminate();
    x.waitForFinished();
}

QTEST_MAIN(InstalledTest)
#include "tst_installed.moc"
