// Files that cannot be read or written: nothing of the user's data may be lost.
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QtTest>

#include "fakes.h"
#include "testutil.h"

class FileFailureTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    static bool isRoot() { return ::geteuid() == 0; }

    // A main window holding a loaded text, so that a failed open has something to lose.
    void loadSomething(Harness& h) {
        writeBytes(path("old.dat"), "old\r\n");
        h.dialogs.answer = path("old.dat");
        h.form->mOpen_Click();
        h.form->Text1->setText(u"edited\r\n"_qs);
        h.messages.events.clear();
    }

  private Q_SLOTS:
    void openFailureKeepsEditor_data();
    void openFailureKeepsEditor();
    void cancelChangesNothing();
    void saveFailureKeepsOldFile();
    void fullDiskKeepsOldFile();
    void saveKeepsPermissionsAndLinks();
    void saveWritesDevicesInPlace();
};

void FileFailureTest::openFailureKeepsEditor_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << u"missing.dat"_qs;
    QTest::newRow("folder") << u"folder"_qs;
    QTest::newRow("fifo") << u"fifo"_qs;
    QTest::newRow("missing folder") << u"nowhere/x.dat"_qs;
}

void FileFailureTest::openFailureKeepsEditor() {
    QFETCH(QString, name);
    QDir(dir.path()).mkpath(u"folder"_qs);
    if (!QFileInfo::exists(path(u"fifo"_qs))) QCOMPARE(::mkfifo(qPrintable(path("fifo")), 0600), 0);

    Harness h;
    loadSomething(h);
    h.form->mClear_Click();
    h.form->Text1->setText(u"edited\r\n"_qs);  // Start enabled by the change
    h.form->mStop->setEnabled(false);
    const QString caption = h.form->windowTitle();
    h.form->setWindowTitle(u"vekEdit 2 フレーズ"_qs);
    h.dialogs.answer = path(name);
    h.form->mOpen_Click();  // a FIFO without a writer must not hang here

    QCOMPARE(h.form->Text1->text(), u"edited\r\n"_qs);
    QCOMPARE(h.form->sMsg[0], u"old"_qs);
    QCOMPARE(h.form->iMsgCount, 1);
    QCOMPARE(h.form->windowTitle(), u"vekEdit 2 フレーズ"_qs);
    QCOMPARE(h.messages.events.size(), 1);  // no beep, one message
    QVERIFY2(h.messages.events[0].startsWith(u"warn:ファイルを開けませんでした。"_qs) &&
                 h.messages.events[0].contains(path(name)),
             qPrintable(h.messages.events[0]));
    Q_UNUSED(caption);
}

void FileFailureTest::cancelChangesNothing() {
    Harness h;
    loadSomething(h);
    const QString flags = h.flags(), caption = h.form->windowTitle();
    writeBytes(path("keep.dat"), "keep");
    h.dialogs.answer.reset();
    h.form->mOpen_Click();
    h.form->mSave_Click();
    QCOMPARE(h.dialogs.kinds, (QStringList{"open", "open", "save"}));
    QCOMPARE(h.form->Text1->text(), u"edited\r\n"_qs);
    QCOMPARE(h.flags(), flags);
    QCOMPARE(h.form->windowTitle(), caption);
    QCOMPARE(h.messages.events, QStringList());
    QCOMPARE(readBytes(path("keep.dat")), QByteArray("keep"));
}

void FileFailureTest::saveFailureKeepsOldFile() {
    Harness h;
    h.form->Text1->setText(u"new text"_qs);

    h.dialogs.answer = path("nowhere/x.dat");
    h.form->mSave_Click();
    QCOMPARE(h.messages.events.size(), 1);
    QVERIFY(h.messages.events[0].startsWith(u"warn:ファイルを保存できませんでした。"_qs));
    QVERIFY(h.messages.events[0].contains(path("nowhere/x.dat")));

    // A file that may not be written, on a read-only mount when root ignores permissions.
    const QString ro = path(u"ro"_qs);
    QDir().mkpath(ro);
    bool mounted = false;
    if (isRoot()) {
        mounted = ::mount("tmpfs", qPrintable(ro), "tmpfs", 0, "size=64k") == 0;
        if (!mounted) QSKIP("cannot mount a tmpfs here");
    }
    writeBytes(ro + QStringLiteral("/old.dat"), "old content\r\n");
    if (mounted)
        QCOMPARE(::mount("tmpfs", qPrintable(ro), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
    else
        QVERIFY(QFile::setPermissions(ro + QStringLiteral("/old.dat"), QFile::ReadOwner) &&
                QFile::setPermissions(ro, QFile::ReadOwner | QFile::ExeOwner));
    h.messages.events.clear();
    h.dialogs.answer = ro + QStringLiteral("/old.dat");
    h.form->mSave_Click();
    QCOMPARE(h.messages.events.size(), 1);
    QVERIFY(h.messages.events[0].startsWith(u"warn:"_qs));
    QCOMPARE(readBytes(ro + QStringLiteral("/old.dat")), QByteArray("old content\r\n"));
    if (mounted) ::umount(qPrintable(ro));
}

void FileFailureTest::fullDiskKeepsOldFile() {
    if (!isRoot()) QSKIP("mounting a small disk needs root");
    const QString small = path(u"small"_qs);
    QDir().mkpath(small);
    if (::mount("tmpfs", qPrintable(small), "tmpfs", 0, "size=64k") != 0)
        QSKIP("cannot mount a tmpfs here");
    const QByteArray old = QByteArray(20000, 'o') + "\r\n";
    writeBytes(small + QStringLiteral("/vek.dat"), old);

    Harness h;
    h.form->Text1->setText(QString(100000, u'n'));  // more than the disk has left
    QVERIFY(!h.form->SaveMsg(small + QStringLiteral("/vek.dat")));
    QCOMPARE(h.messages.events.size(), 1);
    QVERIFY2(h.messages.events[0].startsWith(u"warn:ファイルを保存できませんでした。"_qs),
             qPrintable(h.messages.events[0]));
    QVERIFY2(!h.messages.events[0].contains(u"Unknown error"_qs), qPrintable(h.messages.events[0]));
    QCOMPARE(readBytes(small + QStringLiteral("/vek.dat")), old);
    QCOMPARE(QDir(small).entryList(QDir::Files | QDir::Hidden), QStringList{"vek.dat"});
    ::umount(qPrintable(small));
}

void FileFailureTest::saveKeepsPermissionsAndLinks() {
    Harness h;
    h.form->Text1->setText(u"saved\r\n"_qs);

    writeBytes(path("perm.dat"), "x");
    QVERIFY(QFile::setPermissions(path("perm.dat"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QVERIFY(h.form->SaveMsg(path("perm.dat")));
    QCOMPARE(QFile::permissions(path("perm.dat")), QFile::ReadOwner | QFile::WriteOwner |
                                                       QFile::ReadGroup | QFile::ReadUser |
                                                       QFile::WriteUser);

    writeBytes(path("target.dat"), "old");
    QVERIFY(QFile::link(path("target.dat"), path("link.dat")));
    QVERIFY(h.form->SaveMsg(path("link.dat")));
    QVERIFY(QFileInfo(path("link.dat")).isSymLink());
    QCOMPARE(readBytes(path("target.dat")), QByteArray("saved\r\n"));
}

void FileFailureTest::saveWritesDevicesInPlace() {
    Harness h;
    h.form->Text1->setText(u"to the device\r\n"_qs);
    // Our own null device in the temporary folder: a faulty save replaces only this one.
    const QString node = path("null");
    if (!isRoot() || ::mknod(qPrintable(node), S_IFCHR | 0666, makedev(1, 3)) != 0)
        QSKIP("making a device node needs root");
    QVERIFY(h.form->SaveMsg(node));
    struct stat st {};
    QCOMPARE(::stat(qPrintable(node), &st), 0);
    QVERIFY(S_ISCHR(st.st_mode));
    QCOMPARE(h.messages.events, QStringList{"inform:保存したよ"});

    // A FIFO nobody reads fails at once instead of hanging.
    QCOMPARE(::mkfifo(qPrintable(path("pipe")), 0600), 0);
    QVERIFY(!h.form->SaveMsg(path("pipe")));
    QVERIFY(QFileInfo(path("pipe")).exists() && !QFileInfo(path("pipe")).isFile());

    // Reading a device is refused without reading from it.
    h.messages.events.clear();
    h.dialogs.answer = node;
    h.form->mOpen_Click();
    QCOMPARE(h.messages.events.size(), 1);
    QVERIFY(h.messages.events[0].contains(u"通常のファイルではありません"_qs));
}

QTEST_MAIN(FileFailureTest)
#include "tst_filefailures.moc"
