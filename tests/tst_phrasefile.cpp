// Phrase files through the main window: bytes on disk, the lines loaded, the bytes saved;
// and files that cannot be read or written, where nothing of the user's may be lost and
// nothing may hang.
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QClipboard>
#include <QtTest>

#include "harness.h"
#include "platform/escapes.h"
#include "platform/localpath.h"

// Every single byte but CR and LF, every pair of a lead and a trail byte, defined or not,
// 32 to a line, and sequences that are not CP932.
static QByteArray everyCode() {
    const auto lead = [](int b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); };
    QByteArray all;
    for (int b = 0; b < 0x100; ++b)
        if (b != '\r' && b != '\n' && !lead(b)) all += char(b);
    for (int n = 0, code = 0x8140; code <= 0xFCFC; ++code)
        if (const int t = code & 0xFF; lead(code >> 8) && t >= 0x40 && t <= 0xFC && t != 0x7F)
            all += (n++ % 32 ? "" : "\r\n") + QByteArray{char(code >> 8), char(code)};
    return all + QByteArray::fromHex("0d0a 81 0d0a 8120 e0 0d0a 82");
}

// The one message shown, up to the reason the system words; all of them when there are more.
static QString message(const QStringList& events) {
    return events.size() == 1 ? events[0].section(u"\n\n理由: "_s, 0, 0) : events.join(u'|');
}

struct Load {
    QByteArray bytes;
    QStringList lines;  // as shown; none for a file too long to list
    QByteArray saved;   // what Save then writes; none where it asks and by default keeps the file
    QString warning{};  // in the load's warning
};

class PhraseFileTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

  private Q_SLOTS:
    void loadThenSave_data() {
        QTest::addColumn<Load>("load");
        const QByteArray nul("a\0b\r\n\0\r\n", 8);
        const QString bad(QChar::ReplacementCharacter);
        QTest::newRow("empty file") << Load{"", {}, "\r\n"};
        QTest::newRow("CR LF, lone CR") << Load{"a\r\nb\r", {"a", "b"}, "a\r\nb\r\n"};
        QTest::newRow("lone LF stays")
            << Load{"a\nb\n\rc\n\r\n\n\r\n", {"a\nb\n", "c\n", "\n"}, "a\nb\n\r\nc\n\r\n\n\r\n"};
        QTest::newRow("blanks, NUL") << Load{nul + "\r\n \t\x81\x40",
                                             {u"a\0b"_s, u"\0"_s, "", u" \t\u3000"_s},
                                             nul + "\r\n \t\x81\x40\r\n"};
        // Bytes whose meaning differs between Shift-JIS tables, as Windows reads them; NEC and
        // NEC-selected IBM duplicates keep the spelling of the file, the first where it has two.
        const QByteArray spelled = QByteArray::fromHex(
            "5c7e 8160 817c 8161 81ca 8740 8754 878a 8790 ed40 fa40 fa55 f040 81e0 fa5c 0d0a");
        QTest::newRow("Windows spellings")
            << Load{spelled,
                    {u"\\~\uFF5E\uFF0D\u2225\uFFE2\u2460\u2160\u3231\u2252"
                     u"\u7E8A\u2170\uFFE4\uE000\u2252\u7E8A"_s},
                    QByteArray(spelled).replace("\x81\xe0\xfa\x5c", "\x87\x90\xed\x40")};
        // A lead byte before a line end or a blank, an undefined pair, an undefined byte, a
        // lead byte at the very end: each is one bad sequence kept as it was, and no line end
        // is swallowed.
        const QByteArray invalid =
            QByteArray::fromHex("61 0d0a 62 81 0d0a 63 8120 64 0d0a 8540 0d0a a0 0d0a 88");
        QTest::newRow("bytes that are not CP932")
            << Load{invalid,
                    {"a", "b" + bad, "c" + bad + " d", bad + bad, bad, bad},
                    invalid + "\r\n",
                    u"5 か所ありました（最初は 2 行目）"_s};
        QTest::newRow("every code")
            << Load{everyCode(), {}, everyCode() + "\r\n", u"元のバイトのまま書き戻します"_s};
        // 32001 lines, the most taken, then what follows the text of the last; past the first
        // 1 MiB read, the 32001st line end lies about the edge of that read.
        QByteArray many;
        for (int i = 0; i < 32000; ++i) many += QByteArray::number(i) + "\r\n";
        const auto limit = [&](const char* name, const QByteArray& last, const QByteArray& after) {
            const bool more = after.size() > 2;  // more than a line end: lines are left out
            QTest::newRow(name) << Load{many + last + after,
                                        QString::fromLatin1(many + last).split(u"\r\n"_s),
                                        more ? QByteArray() : many + last + "\r\n",
                                        more ? u"先頭の 32001 行だけ"_s : QString()};
        };
        limit("32001", "32000", "\r\n");
        limit("32001, the last unended", "32000", "");
        limit("32002", "32000", "\r\n32001\r\n");
        limit("32001 and an empty one", "32000", "\r\n\r\n");
        for (int d : {-2, -1, 0, 1, 2})
            limit(qPrintable(QString::asprintf("1 MiB edge %+d", d)),
                  QByteArray((1 << 20) - 1 + d - many.size(), 'x'), "\r\nmore");
    }

    void loadThenSave() {
        QFETCH(Load, load);
        const auto& [bytes, lines, saved, warning] = load;
        writeBytes(path("in.dat"), "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n");
        Harness h;
        h.open(path("in.dat"));  // longer than most files below: none of it may be left
        writeBytes(path("in.dat"), bytes);
        h.messages.events.clear();
        QStringList captions;
        connect(h.form.get(), &QWidget::windowTitleChanged, this, [&](auto t) { captions << t; });

        h.open(path("in.dat"));
        // Lines too many to list end in CR LF, but for the last.
        const auto count = lines.isEmpty() ? bytes.count("\r\n") + !bytes.isEmpty() : lines.size();
        QCOMPARE(h.form->iMsgCount, count);
        for (const QFileInfo& fd : QDir(u"/proc/self/fd"_s).entryInfoList(QDir::System))
            QVERIFY2(!fd.symLinkTarget().endsWith(u"in.dat"_s), "the file is closed");
        // What is shown, copied and read aloud has U+FFFD for the bytes kept.
        h.form->Text1->selectAll();
        h.form->mCopy_Click();
        h.form->mSpeakTest_Click();
        if (!lines.isEmpty()) {
            const QString shown = lines.join(u"\r\n") + u"\r\n"_s;
            QCOMPARE(h.clipboard.content.value_or(u"-"_s), shown);
            QCOMPARE(h.speeches.at(0)->calls.filter(u"SetText"_s), {u"SpeechSetText:"_s + shown});
            for (qsizetype i = 0; i < 32001; ++i)
                QCOMPARE(escapes::shown(h.form->sMsg[i]), lines.value(i));
        }
        // The progress caption shows one more than the lines read, then the count.
        QStringList expected{"vekEdit", u"vekEdit %1 フレーズ"_s.arg(count + 1)};
        if (count > 0) expected.insert(1, u"vekEdit　%1　フレーズ読込み完了"_s.arg(count + 1));
        QCOMPARE(captions, expected);

        // Where lines would be lost, Save asks first, and by default keeps the file. The messages:
        // the load's, then the question or 「保存したよ」.
        h.form->mSave_Click();
        const QStringList& e = h.messages.events;
        QCOMPARE(e.size(), warning.isEmpty() ? 2 : 3);
        QVERIFY(e[0] == u"beep" && e[e.size() - 2].contains(warning));
        QVERIFY(
            e.last().endsWith(saved.isEmpty() ? u"失われます。上書きしますか？" : u"保存したよ"));
        QCOMPARE(readBytes(path("in.dat")), saved.isEmpty() ? bytes : saved);
    }

    void typedText() {
        Harness h;
        QTest::keyClicks(h.form->Text1, u"one\rtwo"_s);                     // with Enter
        QTest::keyClick(h.form->Text1, Qt::Key_Return, Qt::ShiftModifier);  // a break all the same
        // From another program: line breaks, what Linux input methods type for what Windows
        // writes, and characters CP932 cannot hold, saved as '?' and the first ten named.
        QGuiApplication::clipboard()->setText(
            u"3\u20284\u20295\u301C\u2016\u2212\u00A5\u00A2\u00A3\u00AC 😀aĀāĂăĄąĆćĈĉĊċČ"_s);
        QTest::keyClick(h.form->Text1, Qt::Key_V, Qt::ControlModifier);
        writeBytes(path("longer.dat"), QByteArray(1000, 'z'));
        QVERIFY(h.form->SaveMsg(path("longer.dat")));
        QCOMPARE(readBytes(path("longer.dat")),
                 "one\r\ntwo\r\n3\r\n4\r\n5\x81\x60\x81\x61\x81\x7c\\\x81\x91\x81\x92\x81\xca ?a" +
                     QByteArray(13, '?') + "\r\n");
        QCOMPARE(h.messages.events.size(), 2);  // a warning naming them, then 「保存したよ」
        QVERIFY(h.messages.events[0].contains(u"「😀」(U+1F600)") &&
                h.messages.events.join(u'|').endsWith(u"ほか 4 種類|inform:保存したよ"));
    }

    void failedOpenKeepsEditor() {
        QCOMPARE(::mkfifo(qPrintable(path("fifo")), 0600), 0);  // no writer: opening must not hang
        writeBytes(path("old.dat"), "old\r\n");
        for (const QString& name : {u"missing.dat"_s, u"."_s, u"fifo"_s, u"no/x.dat"_s}) {
            Harness h;
            h.open(path("old.dat"));
            h.form->Text1->setText(u"edited\r\n"_s);
            h.form->mSpeakTest->setEnabled(false);  // to see that a failed open leaves it
            h.form->setWindowTitle(u"vekEdit 2 フレーズ"_s);
            h.messages.events.clear();
            h.open(path(name));
            QCOMPARE(
                h.form->Text1->text() + h.form->sMsg[0] + QString::number(h.form->iMsgCount) +
                    h.form->windowTitle() + h.flags() + message(h.messages.events),
                u"edited\r\nold1vekEdit 2 フレーズ11000warn:ファイルを開けませんでした。\n\n"_s +
                    path(name));  // no beep
        }
    }

    void failedSaveKeepsOldFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing folder") << u"missing"_s;
        QTest::newRow("read-only") << u"readonly"_s;
        QTest::newRow("full disk") << u"full"_s;
        QTest::newRow("locked folder") << u"locked"_s;
        QTest::newRow("locked folder, full disk") << u"locked, full"_s;
    }

    void failedSaveKeepsOldFile() {
        QFETCH(QString, kind);
        const bool saved = kind == u"locked";  // the only one where a smaller new file fits
        const QByteArray old = QByteArray(20000, 'o') + "\r\n", text(saved ? 30000 : 100000, 'n');
        const QString disk = path(kind), target = disk + u"/vek.dat"_s;
        const auto unmount = qScopeGuard([&] { ::umount(qPrintable(disk)); });
        if (kind != u"missing") {  // a small disk of our own
            if (!QDir().mkpath(disk) || ::mount("tmpfs", qPrintable(disk), "tmpfs", 0, "size=64k"))
                QSKIP("a small disk and another user need root and tmpfs");
            writeBytes(target, old);
            QVERIFY(kind != u"readonly" || ::mount("tmpfs", qPrintable(disk), "tmpfs",
                                                   MS_REMOUNT | MS_RDONLY, nullptr) == 0);
        }
        Harness h;
        h.form->Text1->setText(QString::fromLatin1(text));
        // As the user nobody the folder may not be written, the file may: written in place.
        if (kind.startsWith(u"locked"))
            QVERIFY(::chmod(qPrintable(dir.path()), 0755) == 0 &&
                    ::chmod(qPrintable(disk), 0555) == 0 &&
                    ::chmod(qPrintable(target), 0666) == 0 && ::setegid(65534) == 0 &&
                    ::seteuid(65534) == 0);
        h.form->SaveMsg(target);
        QVERIFY(::seteuid(0) == 0 && ::setegid(0) == 0);
        QCOMPARE(message(h.messages.events),
                 saved ? u"inform:保存したよ"_s
                       : u"warn:ファイルを保存できませんでした。\n\n"_s + target);
        QVERIFY(!h.messages.events[0].contains(u"Unknown error"));
        if (kind == u"missing") return;
        QCOMPARE(readBytes(target), saved ? text + "\r\n" : old);
        QCOMPARE(QDir(disk).entryList(QDir::Files | QDir::Hidden), QStringList{"vek.dat"});
    }

    void saveKeepsPermissionsLinksAndDevices() {
        Harness h;
        h.form->Text1->setText(u"saved\r\n"_s);
        struct stat st {};
        const QString perm = path("perm.dat"), target = path("target.dat"), link = path("link.dat");
        writeBytes(perm, "x");
        QVERIFY(::chmod(qPrintable(perm), 0640) == 0 && h.form->SaveMsg(perm));
        QVERIFY(::stat(qPrintable(perm), &st) == 0 && (st.st_mode & 07777) == 0640);
        // A name in Shift-JIS bytes is written under those very bytes.
        const QByteArray sjis = QFile::encodeName(dir.path()) + "/\x8a\x69\x8c\xbe.dat";
        QVERIFY(h.form->SaveMsg(localpath::fromBytes(sjis)) && ::unlink(sjis.constData()) == 0);
        writeBytes(target, "old");
        QVERIFY(QFile::link(target, link) && h.form->SaveMsg(link) && QFileInfo(link).isSymLink());
        QCOMPARE(readBytes(target), QByteArray("saved\r\n"));
        // A FIFO nobody reads fails at once instead of hanging, and stays a FIFO.
        QVERIFY(::mkfifo(qPrintable(path("pipe")), 0600) == 0 && !h.form->SaveMsg(path("pipe")));
        QVERIFY(::stat(qPrintable(path("pipe")), &st) == 0 && S_ISFIFO(st.st_mode));
        // Our own null device in the temporary folder: a faulty save would replace only this one.
        const QString node = path("null");
        if (::mknod(qPrintable(node), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("making a device node needs root");
        QVERIFY(h.form->SaveMsg(node) && ::stat(qPrintable(node), &st) == 0 && S_ISCHR(st.st_mode));
        h.open(node);  // refused without reading from it: the warning is the last message
        QVERIFY(h.messages.events.last().contains(u"通常のファイルではありません"));
    }
};

QTEST_MAIN(PhraseFileTest)
#include "tst_phrasefile.moc"
