// Files that cannot be read or written: nothing of the user's data may be lost, and
// nothing may hang.
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QtTest>

#include "harness.h"
#include "platform/files.h"
#include "platform/localpath.h"

class FileFailureTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    static bool isRoot() { return ::geteuid() == 0; }
    // A small disk of our own; when ro, made read-only after the old file is on it.
    bool mountSmallDisk(const QString& at, const QByteArray& oldFile, bool ro) {
        QDir().mkpath(at);
        if (!isRoot() || ::mount("tmpfs", qPrintable(at), "tmpfs", 0, "size=64k") != 0)
            return false;
        writeBytes(at + QStringLiteral("/vek.dat"), oldFile);
        return !ro ||
               ::mount("tmpfs", qPrintable(at), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private Q_SLOTS:
    void failedOpenKeepsEditor();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void saveKeepsPermissionsLinksAndDevices();
};

void FileFailureTest::failedOpenKeepsEditor() {
    QDir(dir.path()).mkpath(u"folder"_qs);
    QCOMPARE(::mkfifo(qPrintable(path("fifo")), 0600), 0);  // no writer: opening must not hang
    writeBytes(path("old.dat"), "old\r\n");
    for (const QString& name : {u"missing.dat"_qs, u"folder"_qs, u"fifo"_qs, u"no/x.dat"_qs}) {
        Harness h;
        h.open(path("old.dat"));
        h.form->Text1->setText(u"edited\r\n"_qs);
        h.form->mSpeakTest->setEnabled(false);  // to see that a failed open leaves it
        h.form->setWindowTitle(u"vekEdit 2 フレーズ"_qs);
        h.messages.events.clear();
        h.open(path(name));
        QCOMPARE(h.form->Text1->text() + h.form->sMsg[0] + QString::number(h.form->iMsgCount) +
                     h.form->windowTitle() + h.flags(),
                 u"edited\r\nold1vekEdit 2 フレーズ11000"_qs);
        QCOMPARE(h.messages.events.size(), 1);  // no beep, one message naming the file
        QVERIFY2(h.messages.events[0].startsWith(u"warn:ファイルを開けませんでした。") &&
                     h.messages.events[0].contains(path(name)),
                 qPrintable(h.messages.events[0]));
    }
}

// Saves as the unprivileged user nobody, whose permissions are checked; the reason on failure.
std::optional<QString> saveAsNobody(const QString& path, const QByteArray& data) {
    int out[2];
    if (::pipe(out) != 0) return u"no pipe"_qs;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(1);
        const auto reason = files::writeFile(path, data);
        const QByteArray told = reason ? reason->toUtf8() : QByteArray("saved");
        (void)!::write(out[1], told.constData(), told.size());
        ::_exit(0);
    }
    ::close(out[1]);
    QByteArray told(4096, 0);
    const ssize_t n = ::read(out[0], told.data(), told.size());
    ::close(out[0]);
    ::waitpid(child, nullptr, 0);
    told.resize(std::max<ssize_t>(n, 0));
    return told == "saved" ? std::nullopt : std::optional(QString::fromUtf8(told));
}

void FileFailureTest::failedSaveKeepsOldFile_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("newSize");
    QTest::addColumn<bool>("saved");
    QTest::newRow("missing folder") << u"missing"_qs << 100000 << false;
    QTest::newRow("read-only") << u"readonly"_qs << 100000 << false;
    QTest::newRow("full disk") << u"full"_qs << 100000 << false;
    // The folder may not be written by the user, the file may: written in place.
    QTest::newRow("locked folder") << u"locked"_qs << 30000 << true;
    QTest::newRow("locked folder, full disk") << u"locked"_qs << 100000 << false;
}

void FileFailureTest::failedSaveKeepsOldFile() {
    QFETCH(QString, kind);
    QFETCH(int, newSize);
    QFETCH(bool, saved);
    const QByteArray old = QByteArray(20000, 'o') + "\r\n";
    const QString disk = path(kind);
    QString target = disk + QStringLiteral("/vek.dat");
    if (kind == u"missing") {
        target = path("no/such/folder/vek.dat");
    } else if (!mountSmallDisk(disk, old, kind == u"readonly")) {
        if (kind != u"readonly") QSKIP("a small disk and another user need root and tmpfs");
        writeBytes(target, old);  // without root a read-only file and folder do
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner) &&
                QFile::setPermissions(disk, QFile::ReadOwner | QFile::ExeOwner));
    }
    const QByteArray text(newSize, 'n');
    if (kind == u"locked") {
        QVERIFY(::chmod(qPrintable(dir.path()), 0755) == 0 &&
                ::chmod(qPrintable(disk), 0555) == 0 && ::chmod(qPrintable(target), 0666) == 0);
        const auto reason = saveAsNobody(target, text + "\r\n");
        QVERIFY2(saved == !reason, qPrintable(reason.value_or(u"saved"_qs)));
    } else {
        Harness h;
        h.form->Text1->setText(QString::fromLatin1(text));
        h.dialogs.answer = target;
        h.form->mSave_Click();
        QCOMPARE(h.messages.events.size(), 1);  // and no "保存したよ"
        QVERIFY2(h.messages.events[0].startsWith(u"warn:ファイルを保存できませんでした。") &&
                     h.messages.events[0].contains(target) &&
                     !h.messages.events[0].contains(u"Unknown error"),
                 qPrintable(h.messages.events[0]));
    }
    if (kind != u"missing") {
        QCOMPARE(readBytes(target).size(), saved ? newSize + 2 : old.size());
        QCOMPARE(readBytes(target), saved ? text + "\r\n" : old);
        QCOMPARE(QDir(disk).entryList(QDir::Files | QDir::Hidden), QStringList{"vek.dat"});
    }
    if (isRoot()) ::umount(qPrintable(disk));
}

void FileFailureTest::saveKeepsPermissionsLinksAndDevices() {
    Harness h;
    h.form->Text1->setText(u"saved\r\n"_qs);
    writeBytes(path("perm.dat"), "x");
    const auto perms = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(path("perm.dat"), perms));
    QVERIFY(h.form->SaveMsg(path("perm.dat")));
    QCOMPARE(QFile::permissions(path("perm.dat")) & ~(QFile::ReadUser | QFile::WriteUser), perms);

    // A name in Shift-JIS bytes is written under those very bytes.
    const QByteArray sjis = QFile::encodeName(dir.path()) + "/\x8a\x69\x8c\xbe.dat";
    QVERIFY(h.form->SaveMsg(localpath::fromBytes(sjis)));
    QCOMPARE(QDir(dir.path()).entryList({"*.dat"}).size(), 2);
    QVERIFY(::unlink(sjis.constData()) == 0);

    writeBytes(path("target.dat"), "old");
    QVERIFY(QFile::link(path("target.dat"), path("link.dat")));
    QVERIFY(h.form->SaveMsg(path("link.dat")));
    QVERIFY(QFileInfo(path("link.dat")).isSymLink());
    QCOMPARE(readBytes(path("target.dat")), QByteArray("saved\r\n"));

    // A FIFO nobody reads fails at once instead of hanging, and stays a FIFO.
    QCOMPARE(::mkfifo(qPrintable(path("pipe")), 0600), 0);
    QVERIFY(!h.form->SaveMsg(path("pipe")));
    QVERIFY(QFileInfo(path("pipe")).exists() && !QFileInfo(path("pipe")).isFile());

    // Our own null device in the temporary folder: a faulty save would replace only this one.
    const QString node = path("null");
    if (!isRoot() || ::mknod(qPrintable(node), S_IFCHR | 0666, makedev(1, 3)) != 0)
        QSKIP("making a device node needs root");
    QVERIFY(h.form->SaveMsg(node));
    struct stat st {};
    QVERIFY(::stat(qPrintable(node), &st) == 0 && S_ISCHR(st.st_mode));
    h.messages.events.clear();
    h.open(node);  // refused without reading from it
    QCOMPARE(h.messages.events.size(), 1);
    QVERIFY(h.messages.events[0].contains(u"通常のファイルではありません"));
}

QTEST_MAIN(FileFailureTest)
#include "tst_filefailures.moc"
