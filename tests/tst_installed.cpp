// The installed program end to end: /usr/bin/vekedit on its own X server, heard on the test
// sound server, driven by keys as a user would.
#include "harness.h"
#include "soundmonitor.h"

class InstalledTest : public QObject {
    Q_OBJECT
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString xdotool(const QString& args) {  // on the test's X server
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(u"xdotool"_s, args.split(u' '));
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
        writeBytes(dir.filePath(u"vek.dat"_s),
                   cp932::encode(u"石の上にも三年\r\n急がば回れ\r\n"_s).bytes);
        SoundMonitor monitor;
        QVERIFY(monitor.ok);
        editor.setProcessEnvironment(env);
        editor.setChildProcessModifier([] { ::setpgid(0, 0); });  // its engines: its group
        editor.start(u"/usr/bin/vekedit"_s, {dir.filePath(u"vek.dat"_s)});
        const QString window = xdotool(u"search --sync --name ^vekEdit"_s);
        QCOMPARE(xdotool(u"getwindowname "_s + window), u"vekEdit 3 フレーズ"_s);
        xdotool(u"windowfocus --sync "_s + window);
        // F5 heard, Esc silent, again and again; bounds ten times what is expected.
        for (int i = 0; i < 4; ++i) {
            xdotool(u"key F5"_s);
            QVERIFY(!std::isnan(monitor.waitLoud(monitor.now() - 1)));
            const double at = monitor.now();
            xdotool(u"key Escape"_s);
            QCOMPARE_LE(monitor.waitSilent(at), 500);
        }
        QProcess::execute(u"import"_s, {u"-display"_s, env.value(u"DISPLAY"_s), u"-window"_s,
                                        u"root"_s, u"installed.png"_s});
        xdotool(u"key ctrl+q"_s);
        const QString group = QString::number(editor.processId());
        QVERIFY(editor.waitForFinished(5000));
        // None left: only the editor's own, as other programs may read aloud meanwhile.
        QCOMPARE(QProcess::execute(u"pgrep"_s, {u"-x"_s, u"open_jtalk"_s, u"-g"_s, group}), 1);
    }
};

QTEST_MAIN(InstalledTest)
#include "tst_installed.moc"
