// Phrase files through the main window: bytes on disk, the lines loaded, the bytes saved;
// and files that cannot be read or written, where nothing of the user's may be lost and
// nothing may hang.
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QClipboard>
#include <QTemporaryDir>
#include <QtTest>

#include "harness.h"
#include "phrases/cp932.h"
#include "platform/escapes.h"
#include "platform/files.h"
#include "platform/localpath.h"

class PhraseFileTest : public QObject {
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
    void loadThenSave_data();
    void loadThenSave();
    void lineLimit_data();
    void lineLimit();
    void typedText();
    void failedOpenKeepsEditor();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void saveKeepsPermissionsLinksAndDevices();
};

// Every single byte but CR and LF, every pair of a lead and a trail byte, defined or not,
// 32 to a line, and sequences that are not CP932.
QByteArray everyCode() {
    QByteArray all;
    const auto lead = [](int b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); };
    for (int b = 0; b < 0x100; ++b)
        if (b != '\r' && b != '\n' && !lead(b)) all += char(b);
    all += "\r\n";
    int n = 0;
    for (int b = 0x81; b <= 0xFC; ++b)
        for (int trail = 0x40; trail <= 0xFC && lead(b); ++trail)
            if (trail != 0x7F) all += QByteArray{char(b), char(trail)} + (++n % 32 ? "" : "\r\n");
    return all + QByteArray::fromHex("0d0a 81 0d0a 8120 e0 0d0a 82");
}

void PhraseFileTest::loadThenSave_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");  // as shown; none for a file too long to list
    QTest::addColumn<QByteArray>("saved");   // what Save then writes
    QTest::addColumn<QString>("warning");    // in the load's warning
    const QByteArray nul("a\0b\r\n\0\r\n", 8);
    const QString bad(QChar::ReplacementCharacter);
    QTest::newRow("empty file") << QByteArray() << QStringList() << QByteArray("\r\n") << "";
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"}
                           << QByteArray("a\r\nb\r\n") << "";
    QTest::newRow("no final line end")
        << QByteArray("a\r\nb") << QStringList{"a", "b"} << QByteArray("a\r\nb\r\n") << "";
    QTest::newRow("lone CR") << QByteArray("a\rb\r") << QStringList{"a", "b"}
                             << QByteArray("a\r\nb\r\n") << "";
    QTest::newRow("lone LF stays")
        << QByteArray("a\nb\n\rc\n\r\n\n\r\n") << QStringList{"a\nb\n", "c\n", "\n"}
        << QByteArray("a\nb\n\r\nc\n\r\n\n\r\n") << "";
    QTest::newRow("blanks, NUL") << nul + "\r\n \t\x81\x40"
                                 << QStringList{QString::fromLatin1(nul.first(3)),
                                                QString(QChar(0)), "", u" \t\u3000"_qs}
                                 << nul + "\r\n \t\x81\x40\r\n"
                                 << "";
    // Bytes whose meaning differs between Shift-JIS tables, as Windows reads them; NEC and
    // NEC-selected IBM duplicates keep the spelling of the file, the first where it has two.
    const QByteArray spelled = QByteArray::fromHex(
        "5c7e 8160 817c 8161 81ca 8740 8754 878a 8790 ed40 fa40 fa55 f040 81e0 fa5c 0d0a");
    QTest::newRow("Windows spellings")
        << spelled
        << QStringList{u"\\~\uFF5E\uFF0D\u2225\uFFE2\u2460\u2160\u3231\u2252"
                       u"\u7E8A\u2170\uFFE4\uE000\u2252\u7E8A"_qs}
        << QByteArray(spelled).replace("\x81\xe0\xfa\x5c", "\x87\x90\xed\x40") << "";
    // A lead byte before a line end or a blank, an undefined pair, an undefined byte, a lead
    // byte at the very end: each is one bad sequence kept as it was, and no line end is
    // swallowed.
    const QByteArray invalid =
        QByteArray::fromHex("61 0d0a 62 81 0d0a 63 8120 64 0d0a 8540 0d0a a0 0d0a 88");
    QTest::newRow("bytes that are not CP932")
        << invalid << QStringList{"a", "b" + bad, "c" + bad + " d", bad + bad, bad, bad}
        << invalid + "\r\n"
        << u"5 か所ありました（最初は 2 行目）"_qs;
    QTest::newRow("every code") << everyCode() << QStringList() << everyCode() + "\r\n"
                                << u"元のバイトのまま書き戻します"_qs;
}

void PhraseFileTest::loadThenSave() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, saved);
    QFETCH(QString, warning);
    writeBytes(path("before.dat"), "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n");
    writeBytes(path("in.dat"), bytes);
    Harness h;
    h.open(path("before.dat"));
    h.messages.events.clear();
    QStringList captions;
    connect(h.form.get(), &QWidget::windowTitleChanged, this, [&](auto t) { captions << t; });

    h.open(path("in.dat"));
    const qsizetype count = lines.isEmpty() ? phrasefile::parse(bytes).lines.size() : lines.size();
    QCOMPARE(h.form->iMsgCount, count);
    // What is shown, copied and read aloud has U+FFFD for the bytes kept.
    h.form->Text1->selectAll();
    h.form->mCopy_Click();
    h.form->mSpeakTest_Click();
    if (!lines.isEmpty()) {
        const QString shown = lines.join(u"\r\n") + u"\r\n"_qs;
        QCOMPARE(h.clipboard.content.value_or(u"-"_qs), shown);
        QCOMPARE(h.speeches.at(0)->calls.filter(u"SetText"_qs), {u"SpeechSetText:"_qs + shown});
        for (qsizetype i = 0; i < 8; ++i) QCOMPARE(escapes::shown(h.form->sMsg[i]), lines.value(i));
    }
    // The progress caption shows one more than the lines read, then the count.
    QStringList expected{"vekEdit", u"vekEdit %1 フレーズ"_qs.arg(count + 1)};
    if (count > 0) expected.insert(1, u"vekEdit　%1　フレーズ読込み完了"_qs.arg(count + 1));
    QCOMPARE(captions, expected);
    QCOMPARE(h.messages.events.value(0), u"beep"_qs);
    QCOMPARE(h.messages.events.size(), warning.isEmpty() ? 1 : 2);
    QVERIFY2(h.messages.events.last().contains(warning), qPrintable(h.messages.events.last()));

    QVERIFY(h.form->SaveMsg(path("in.dat")));
    QCOMPARE(readBytes(path("in.dat")).toHex(' '), saved.toHex(' '));
}

void PhraseFileTest::lineLimit_data() {
    QTest::addColumn<int>("lastEndAt");    // offset of the 32001st CR; -1: no more than 32001
    QTest::addColumn<QByteArray>("tail");  // after the 32001st line end
    QTest::addColumn<bool>("truncated");
    QTest::newRow("32001") << -1 << QByteArray() << false;
    QTest::newRow("32001, the last unended") << -1 << QByteArray("32000") << false;
    QTest::newRow("32002") << -1 << QByteArray("32001\r\n") << true;
    QTest::newRow("32001 and an empty one") << -1 << QByteArray("\r\n") << true;
    // Past the first 1 MiB read, with the 32001st line end about the edge of that read.
    for (int d : {-2, -1, 0, 1, 2})
        QTest::addRow("1 MiB edge %+d", d) << (1 << 20) - 1 + d << QByteArray("more") << true;
}

void PhraseFileTest::lineLimit() {
    QFETCH(int, lastEndAt);
    QFETCH(QByteArray, tail);
    QFETCH(bool, truncated);
    QByteArray bytes;
    for (int i = 0; i < 32000; ++i) bytes += QByteArray::number(i) + "\r\n";
    const QByteArray lastLine = lastEndAt < 0 ? "32000" : QByteArray(lastEndAt - bytes.size(), 'x');
    writeBytes(path("many.dat"),
               bytes + lastLine + (tail == "32000" ? QByteArray() : "\r\n" + tail));
    Harness h;
    h.open(path("many.dat"));
    QCOMPARE(h.form->iMsgCount, 32001);
    QCOMPARE(h.form->sMsg[32000], QString::fromLatin1(lastLine));
    QCOMPARE(h.form->windowTitle(), u"vekEdit 32002 フレーズ"_qs);
    QCOMPARE(h.messages.events.size(), truncated ? 2 : 1);
    if (truncated) QVERIFY(h.messages.events[1].contains(u"先頭の 32001 行だけ"_qs));
    for (const QFileInfo& fd : QDir(u"/proc/self/fd"_qs).entryInfoList(QDir::System))
        QVERIFY2(!fd.symLinkTarget().endsWith(u"many.dat"_qs), "the file is closed");

    // Saving over it asks first where lines would be lost, and いいえ keeps the file.
    const QByteArray before = readBytes(path("many.dat"));
    h.messages.events.clear();
    h.dialogs.answer = path("many.dat");
    h.form->mSave_Click();
    QCOMPARE(h.messages.events.value(0).endsWith(u"失われます。上書きしますか？"), truncated);
    QCOMPARE(h.messages.events.size(), 1);  // the question, or 「保存したよ」
    if (truncated) QVERIFY(readBytes(path("many.dat")) == before);
}

void PhraseFileTest::typedText() {
    Harness h;
    QTest::keyClicks(h.form->Text1, u"one"_qs);
    QTest::keyClick(h.form->Text1, Qt::Key_Return);
    QTest::keyClicks(h.form->Text1, u"two"_qs);
    QTest::keyClick(h.form->Text1, Qt::Key_Return, Qt::ShiftModifier);  // a break all the same
    QGuiApplication::clipboard()->setText(u"3\u20284\u20295"_qs);       // from another program
    QTest::keyClick(h.form->Text1, Qt::Key_V, Qt::ControlModifier);
    writeBytes(path("longer.dat"), QByteArray(1000, 'z'));
    QVERIFY(h.form->SaveMsg(path("longer.dat")));
    QCOMPARE(readBytes(path("longer.dat")), QByteArray("one\r\ntwo\r\n3\r\n4\r\n5\r\n"));
    QCOMPARE(h.messages.events, QStringList{"inform:保存したよ"});

    // What Linux input methods type goes to the bytes Windows writes; characters CP932
    // cannot hold become '?', and the first ten are named before the confirmation.
    QString text = u"\u301C\u2016\u2212\u00A5\u00A2\u00A3\u00AC 😀a"_qs;
    for (char16_t c = u'Ā'; c < u'Ā' + 13; ++c) text += QChar(c);
    h.form->Text1->setText(text);
    h.messages.events.clear();
    QVERIFY(h.form->SaveMsg(path("q.dat")));
    QCOMPARE(readBytes(path("q.dat")), QByteArray::fromHex("8160 8161 817c 5c 8191 8192 81ca") +
                                           " ?a" + QByteArray(13, '?') + "\r\n");
    QVERIFY2(h.messages.events.size() == 2 && h.messages.events[0].contains(u"「😀」(U+1F600)") &&
                 h.messages.events[0].contains(u"ほか 4 種類"),
             qPrintable(h.messages.events.join(u'|')));
}

void PhraseFileTest::failedOpenKeepsEditor() {
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

// Saves as the unprivileged user nobody, whose permissions are checked.
bool savedAsNobody(const QString& path, const QByteArray& data) {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::setgroups(0, nullptr) || ::setgid(65534) || ::setuid(65534) ||
                files::writeFile(path, data));
    int status = -1;
    ::waitpid(child, &status, 0);
    return status == 0;
}

void PhraseFileTest::failedSaveKeepsOldFile_data() {
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

void PhraseFileTest::failedSaveKeepsOldFile() {
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
        QCOMPARE(savedAsNobody(target, text + "\r\n"), saved);
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

void PhraseFileTest::saveKeepsPermissionsLinksAndDevices() {
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
    QVERIFY(::unlink(sjis.constData()) == 0);  // there, under those bytes

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

QTEST_MAIN(PhraseFileTest)
#include "tst_phrasefile.moc"
