// Phrase files through the main window: bytes on disk, the lines loaded, the bytes saved;
// and files that cannot be opened, where nothing of the user's may be lost and nothing may hang.
#include <dlfcn.h>
#include <unistd.h>

#include <clocale>

#include "harness.h"

// A kernel may write less than asked (a network file system, a signal). Here every write at a
// place writes half of what is asked, so a save must go on where each stopped.
static int cutWrites = 0;
extern "C" ssize_t pwrite(int fd, const void* data, size_t n, off_t at) {
    static const auto real = reinterpret_cast<decltype(&pwrite)>(dlsym(RTLD_NEXT, "pwrite"));
    cutWrites += n > 1;
    return real(fd, data, n - n / 2, at);
}

// Every single byte but CR and LF, every pair of a lead and a trail byte, defined or not, 32 to
// a line in code order; then again the rows that spell characters a second way, the last
// spelling IBM's; and sequences that are not CP932.
static QByteArray everyCode() {
    const auto lead = [](int b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); };
    QByteArray all;
    for (int b = 0; b < 0x100; ++b)
        if (b != '\r' && b != '\n' && !lead(b)) all += char(b);
    for (auto [from, to] :
         {std::pair(0x8140, 0xFCFC), {0xED40, 0xEEFC}, {0x8740, 0x879C}, {0xFA40, 0xFCFC}})
        for (int n = 0, code = from; code <= to; ++code)
            if (const int t = code & 0xFF; lead(code >> 8) && t >= 0x40 && t <= 0xFC && t != 0x7F)
                all += (n++ % 32 ? "" : "\r\n") + QByteArray(1, char(code >> 8)) + char(code);
    return all + QByteArray::fromHex("0d0a 81 0d0a 8120 e0 0d0a 82");
}

struct Load {
    QByteArray bytes;
    QStringList lines;  // as shown; none for a file too long to list
    QByteArray saved;   // what Save then writes; none where it asks and by default keeps the file
    QString warning{};  // in the load's warnings ('|' between two), or the question how to open it
    int answer = -1;    // to that question: 変換して開く, そのまま開く; none asked
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
        // Bytes whose meaning differs between Shift-JIS tables, as Windows reads them; a line
        // that spells a character twice keeps both spellings.
        const QByteArray spelled = QByteArray::fromHex(
            "5c7e 8160 817c 8161 81ca 8740 8754 878a 8790 ed40 fa40 fa55 f040 81e0 fa5c 0d0a");
        QTest::newRow("Windows spellings")
            << Load{spelled,
                    {u"\\~\uFF5E\uFF0D\u2225\uFFE2\u2460\u2160\u3231\u2252"
                     u"\u7E8A\u2170\uFFE4\uE000\u2252\u7E8A"_s},
                    spelled};
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
        QTest::newRow("one byte that is not CP932") << Load{
            "a\r\nb\x80\r\n",
            {"a", "b" + bad},
            "a\r\nb\x80\r\n",
            u"Shift-JIS (CP932) として読めないバイトが 1 か所ありました（最初は 2 行目）。"
            u"その部分は「\uFFFD」で表示し、保存するときは元のバイトのまま書き戻します。"_s};
        QTest::newRow("every code, 1872 pairs and bytes undefined") << Load{
            everyCode(), {}, everyCode() + "\r\n", u"1872 か所ありました（最初は 1 行目）"_s};
        // 32001 lines, the most taken, then what follows the text of the last; past the first
        // 1 MiB read, the 32001st line end lies about the edge of that read.
        QByteArray many;
        // Lines about the 1 MiB read edge stay within the longest line taken.
        for (int i = 0; i < 32000; ++i)
            many += QByteArray::number(i).leftJustified(i < 24475 ? 31 : 30, '.') + "\r\n";
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
        // Lines left out, and a byte that is not CP932 among those taken: both told.
        QStringList shown = QString::fromLatin1(many + "32000").split(u"\r\n"_s);
        shown[0].prepend(u'\uFFFD');
        QTest::newRow("32002, a byte not CP932")
            << Load{"\x80" + many + "32000\r\n32001\r\n",
                    shown,
                    {},
                    u"先頭の 32001 行だけ|1 か所ありました（最初は 1 行目）"_s};
        for (int d : {-2, -1, 0, 1, 2})
            limit(qPrintable(QString::asprintf("1 MiB edge %+d", d)),
                  QByteArray((1 << 20) - 1 + d - many.size(), 'x'), "\r\nmore");
        // Written on Linux: asked how to open it; converted, or as it is, one phrase. The first
        // line is empty.
        const QByteArray utf8 = u"\n石の上にも三年\n急がば回れ\n"_s.toUtf8();
        const QByteArray sjis = cp932::encode(u"\r\n石の上にも三年\r\n急がば回れ\r\n"_s).bytes;
        const QStringList two{u""_s, u"石の上にも三年"_s, u"急がば回れ"_s};
        const QString both =
            u"このファイルは UTF-8 で書かれ、行の終わりが LF だけです。\n\n"
            u"変換して開くと、文字と行の区切りを読み取って開き、保存するときは "
            u"Shift-JIS (CP932) と CR LF で書きます。そのまま開くと、元のバイトの"
            u"まま Shift-JIS として読みます。"_s;
        QTest::newRow("UTF-8, LF: converted") << Load{utf8, two, sjis, both, 0};
        QTest::newRow("UTF-8, LF: as it is") << Load{utf8, {}, utf8 + "\r\n", both, 1};
        const QByteArray most(phrasefile::kMaxLineLength, 'x');  // the longest line allowed
        QTest::newRow("UTF-8, CR LF: converted")
            << Load{QByteArray(utf8).replace("\n", "\r\n") + most, two + QStringList{most},
                    sjis + most + "\r\n", "このファイルは UTF-8 で書かれているようです。", 0};
        // Read in part, the last read ending inside a character of the lines left out.
        QTest::newRow("UTF-8, CR LF: 32002 lines, a character cut where reading stopped") << Load{
            u"急がば回れ\r\n"_s.toUtf8() + many + "x" + u"石"_s.repeated(1000).toUtf8(),
            QStringList{u"急がば回れ"_s} + QString::fromLatin1(many.chopped(2)).split(u"\r\n"_s),
            {},
            "このファイルは UTF-8 で書かれているようです。",
            0};
        // Longer than a line may be, until it is converted.
        const QByteArray lf = QByteArray("12345\n").repeated(phrasefile::kMaxLineLength / 5);
        QTest::newRow("CP932, LF")
            << Load{QByteArray(sjis).replace("\r\n", "\n") + lf,
                    two + QStringList(phrasefile::kMaxLineLength / 5, "12345"),
                    sjis + QByteArray(lf).replace("\n", "\r\n"),
                    "このファイルは行の終わりが LF だけです。", 0};
    }

    void loadThenSave() {
        QFETCH(Load, load);
        const auto& [bytes, lines, saved, warning, answer] = load;
        writeBytes(path("in.dat"), "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n");
        Harness h;
        h.open(path("in.dat"));  // longer than most files below: none of it may be left
        writeBytes(path("in.dat"), bytes);
        h.messages.events.clear();
        h.messages.answers = {answer};
        h.open(path("in.dat"));
        // Lines too many to list end in CR LF, but for the last.
        const auto count = lines.isEmpty() ? bytes.count("\r\n") + !bytes.isEmpty() : lines.size();
        // What is shown, copied and read aloud has U+FFFD for the bytes kept.
        h.form->Text1->selectAll();
        h.form->mCopy_Click();
        h.form->mSpeakTest_Click();
        QTest::keyClick(h.form->Text1, Qt::Key_C, Qt::ControlModifier);  // the text box's own
        const QString shown = lines.join(u"\r\n") + u"\r\n"_s;
        if (!lines.isEmpty()) {
            QCOMPARE(h.clipboard.content.value_or(u"-"_s), shown);
            QCOMPARE(QGuiApplication::clipboard()->text(), lines.join(u"\n") + u"\n"_s);
            QCOMPARE(h.speeches.at(0)->calls.filter(u"SetText"_s), {u"SpeechSetText:"_s + shown});
        }
        QCOMPARE(h.form->windowTitle(), u"vekEdit %1 フレーズ"_s.arg(count + 1));  // one more
        // Cut gives the same; undone, the bytes kept come back with the words.
        if (!lines.isEmpty()) {
            h.clipboard.content.reset();
            h.form->mCut_Click();
            QCOMPARE(h.clipboard.content.value_or(u"-"_s), shown);
            h.form->Text1->undo();
        }

        // Where lines would be lost, Save asks first, and by default keeps the file. The messages:
        // the load's, then the question or 「保存したよ」.
        h.form->mSave_Click();
        QStringList e = h.messages.events;
        if (answer >= 0)
            QVERIFY(e.takeFirst().startsWith(u"ask:"_s + warning));  // asked first
        else {  // each warning, the file's name first
            const QStringList told = warning.isEmpty() ? QStringList() : warning.split(u'|');
            QCOMPARE(e.size(), 2 + told.size());
            for (qsizetype i = 0; i < told.size(); ++i)
                QVERIFY(e[1 + i].startsWith(u"warn:"_s + path("in.dat") + u"\n\n"_s) &&
                        e[1 + i].contains(told[i]));
        }
        QCOMPARE(e[0], u"beep"_s);
        QVERIFY(e.last().endsWith(
            saved.isEmpty()
                ? u"このファイルは先頭の 32001 "
                  u"行だけを読み込んでいます。上書きすると残りの行は失われます。上書きしますか？"
                : u"保存したよ"));
        QCOMPARE(readBytes(path("in.dat")), saved.isEmpty() ? bytes : saved);
        QVERIFY(cutWrites || saved.size() <= 1);
        // Saved elsewhere first, twice, the file read in part is still asked about.
        h.form->SaveMsg(path("copy.dat")), h.form->SaveMsg(path("copy.dat"));
        h.form->mSave_Click();
        QVERIFY(!saved.isEmpty() || h.messages.events.last().endsWith(u"上書きしますか？"));
        // Declined on the way to New, after 保存: the text stays.
        QTest::keyClick(h.form->Text1, Qt::Key_X);
        h.messages.answers.clear(), h.form->mNew_Click();
        QCOMPARE(h.form->Text1->text().isEmpty(), !saved.isEmpty());
        h.messages.answers = {1};  // then 保存しない
        // Not once another file is opened whole.
        writeBytes(path("whole.dat"), "w\r\n");
        h.open(path("whole.dat"));
        h.dialogs.answer = path("in.dat"), h.form->mSave_Click();
        QCOMPARE(h.messages.events.last(), u"inform:保存したよ"_s);
        // The next dialog starts with the name saved to, not the one opened before.
        h.dialogs.answer.reset(), h.form->mSave_Click();
        QCOMPARE(h.dialogs.requests.last().second.fileName, path("in.dat"));
        // The loss agreed to, a file read in part is no one else's change.
        if (saved.isEmpty()) {
            writeBytes(path("in.dat"), bytes), h.open(path("in.dat"));
            h.dialogs.answer = path("in.dat"), h.messages.answers = {0}, h.form->mSave_Click();
            QCOMPARE(h.messages.events.last(), u"inform:保存したよ"_s);
        }
        // Each question's buttons, an access key each.
        QVERIFY(QSet<QString>({u"変換して開く(&C)|そのまま開く(&O)|キャンセル"_s,
                               u"保存(&S)|保存しない(&N)|キャンセル"_s, u"はい(&Y)|いいえ(&N)"_s})
                    .contains(h.messages.offered));
    }

    // Lines the user did not change keep their own bytes wherever they go; a changed line takes
    // the file's first spelling of each character: here, a line of NEC's row 13, whose ∵ the
    // file spells last in IBM's code.
    void editedFileKeepsItsLines() {
        QList<QByteArray> bytes;
        const QByteArray every = everyCode();
        for (qsizetype at = 0, end; at <= every.size(); at = end + 2) {
            end = every.indexOf("\r\n", at);
            if (end < 0) end = every.size();
            bytes << every.sliced(at, end - at);
        }
        writeBytes(path("every.dat"), every);
        Harness h;
        h.open(path("every.dat"));
        QStringList text = h.form->Text1->text().split(u"\r\n"_s);
        text.removeLast();
        const qsizetype nec = std::find_if(bytes.begin(), bytes.end(),
                                           [](auto& b) { return b.contains("\x87\x9A"); }) -
                              bytes.begin();
        text[nec] += u'X', bytes[nec] += 'X';
        text.move(10, 3), bytes.move(10, 3);  // after lines kept as they were
        text.removeAt(5), bytes.removeAt(5);
        h.form->Text1->setText(text.join(u"\r\n"_s));
        h.form->mSave_Click();
        QCOMPARE(readBytes(path("every.dat")), bytes.join("\r\n") + "\r\n");
        // By their place, not their text: 髙 as FB FC, then as EE E0, ∪ as 87 9C (with ∵ as
        // 87 9A, then FA 5B), then as 81 BE, and x∵ typed at the end of the first line, which
        // take the file's own first spellings; a character CP932 lacks, typed on either side of
        // kept lines, is named once.
        writeBytes(path("twice.dat"),
                   QByteArray::fromHex("fbfc0d0a eee00d0a 879c879afa5b0d0a 81be0d0a"));
        h.open(path("twice.dat"));
        for (const int line : {0, 3}) {
            QTextCursor end(h.form->Text1->document()->findBlockByNumber(line));
            end.movePosition(QTextCursor::EndOfBlock), end.insertText(line ? u"😀"_s : u"x∵😀"_s);
        }
        h.form->mSave_Click();
        QCOMPARE(readBytes(path("twice.dat")),
                 QByteArray::fromHex("eee078879a3f0d0a eee00d0a 879c879afa5b0d0a 879c3f0d0a"));
        QCOMPARE(h.messages.events.join(u'|').count(u"U+1F600"), 1);
        // Lines alike keep their places whatever else changed: a line added above them and the
        // last two made one; more lines rewritten before them than the matching follows.
        const auto edited = [&](const QByteArray& file, const QStringList& after,
                                const QByteArray& saved) {
            writeBytes(path("alike.dat"), file), h.open(path("alike.dat"));
            h.form->Text1->setText(after.join(u"\r\n"_s)), h.form->mSave_Click();
            QCOMPARE(readBytes(path("alike.dat")), saved);
        };
        const QByteArray ee = "\xee\xe0\r\n", fb = "\xfb\xfc\r\n";
        edited("A\r\n" + ee + fb + "B\r\n", {"X", "A", "髙", "Y"}, "X\r\nA\r\n" + ee + "Y\r\n");
        edited("A\r\n" + ee + fb + "B\r\n", {"N", "髙", "髙", "B"}, "N\r\n" + ee + fb + "B\r\n");
        edited(QByteArray::fromHex("eee0420d0a fbfc420d0a eee0420d0a 430d0a"), {"D", "髙B", "E"},
               QByteArray::fromHex("440d0a fbfc420d0a 450d0a"));
        const QByteArray because = QByteArray::fromHex("879a0d0a"), n999 = "n\r\n"_ba.repeated(999);
        edited(because + "\x81\xe6\r\n", {"∵"}, because);  // the first of lines alike
        edited(because + "\x81\xe6\x82\xc5\x82\xb7\r\nQ\r\n",
               QStringList{"∵"} + QStringList(999, u"n"_s) + QStringList{"∵です", "R"},
               because + n999 + "\x81\xe6\x82\xc5\x82\xb7\r\nR\r\n");
        QByteArray before, after;
        for (int i = 0; i < 1200; ++i) before += "n" + QByteArray::number(i) + "\r\n";
        after = QByteArray(before).replace('n', 'r');
        QStringList rewritten = QString::fromLatin1(after).split(u"\r\n"_s);
        rewritten.removeLast(), rewritten += {"髙", "髙", "Y"};
        edited(before + ee + "M\r\n" + fb + "Z\r\n", rewritten, after + ee + fb + "Y\r\n");
    }

    // Taken to the byte: a file of 16 MB opens, one byte more is refused.
    void mostBytes() {
        const QByteArray line = QByteArray(1022, 'x') + "\r\n";
        writeBytes(path("edge.dat"), line.repeated(phrasefile::kMaxBytes / line.size()));
        QVERIFY(std::holds_alternative<phrasefile::Phrases>(phrasefile::read(path("edge.dat"))));
        QFile more(path("edge.dat"));
        QVERIFY(more.open(QIODevice::Append) && more.write("y") == 1);
        more.close();
        QCOMPARE(std::get<QString>(phrasefile::read(path("edge.dat"))),
                 u"16 MB を超えるファイルは開けません"_s);
    }

    // A file changed while the question how to open it is up is not overwritten unasked.
    void changedWhileAsked() {
        writeBytes(path("lf.dat"), "a\nb\n");
        Harness h;
        h.messages.answers = {1};  // as it is
        h.messages.whileAsked = [&] { writeBytes(path("lf.dat"), "c\nd\n"); };
        h.open(path("lf.dat"));
        h.messages.whileAsked = nullptr;
        h.form->Text1->setText(u"x"_s);
        h.form->mSave_Click();
        QVERIFY(h.messages.events.last().startsWith(u"ask:このファイルは開いた後で他のプログラム"));
        QCOMPARE(readBytes(path("lf.dat")), "c\nd\n");
        QTest::keyClick(h.form->Text1, Qt::Key_Y);  // then New: 保存, the same いいえ, kept
        h.form->mNew_Click();
        QCOMPARE(h.form->Text1->text().size(), 2);
        // Opened as it is, a line too long to edit is refused as in any other file.
        Harness g;
        g.messages.answers = {1};
        writeBytes(path("lf.dat"), QByteArray(phrasefile::kMaxLineLength, 'x') + "\n");
        g.open(path("lf.dat"));
        QVERIFY(g.messages.events.last().endsWith(phrasefile::longLine(1)));
    }

    void typedText() {
        Harness h;
        QTest::keyClicks(h.form->Text1, u"one\rtwo"_s);                     // with Enter
        QTest::keyClick(h.form->Text1, Qt::Key_Return, Qt::ShiftModifier);  // a break all the same
        // From another program: line breaks, what Linux input methods type for what Windows
        // writes, and characters CP932 cannot hold, saved as '?' and the first ten named.
        QGuiApplication::clipboard()->setText(
            u"3\u20284\u20295\u301C\u2016\u2212\u00A5\u00A2\u00A3\u00AC 𠀋aĀāĂăĄąĆćĈĉĊċČĀ"_s);
        QTest::keyClick(h.form->Text1, Qt::Key_V, Qt::ControlModifier);
        // A line too long to edit is not pasted: said, and the text stays as it was.
        QGuiApplication::clipboard()->setText(QString(phrasefile::kMaxLineLength, u'x'));
        QTest::keyClick(h.form->Text1, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(h.messages.events.value(0),
                 u"warn:1 行が 20000 文字を超えるため、貼り付けませんでした。"_s);
        writeBytes(path("longer.dat"), QByteArray(1000, 'z'));
        QVERIFY(h.form->SaveMsg(path("longer.dat")));
        QCOMPARE(readBytes(path("longer.dat")),
                 "one\r\ntwo\r\n3\r\n4\r\n5\x81\x60\x81\x61\x81\x7c\\\x81\x91\x81\x92\x81\xca ?a" +
                     QByteArray(14, '?') + "\r\n");
        // A warning naming each once, then 「保存したよ」; ten of them, all named.
        QVERIFY(h.messages.events[1].contains(u"「𠀋」(U+2000B)") &&
                h.messages.events.join(u'|').endsWith(u"ほか 4 種類|inform:保存したよ"));
        h.form->Text1->setText(u"ĀāĂăĄąĆćĈĉ"_s);
        QVERIFY(h.form->SaveMsg(path("longer.dat")));
        QCOMPARE(
            h.messages.events.mid(h.messages.events.size() - 2),
            (QStringList{u"warn:"_s + path("longer.dat") +
                             u"\n\n次の文字は Shift-JIS (CP932) で書けないため、「?」に置き換えて"
                             u"保存しました。\n\n「Ā」(U+0100) 「ā」(U+0101) 「Ă」(U+0102) "
                             u"「ă」(U+0103) 「Ą」(U+0104) 「ą」(U+0105) 「Ć」(U+0106) "
                             u"「ć」(U+0107) 「Ĉ」(U+0108) 「ĉ」(U+0109)"_s,
                         u"inform:保存したよ"_s}));
        // A name that is not UTF-8 after some that is, shown as such where the save fails, or
        // the open.
        const QString no = localpath::fromBytes(QFile::encodeName(path("no")) + "/データ\x8ai");
        QVERIFY(!h.form->SaveMsg(no));
        QVERIFY(h.messages.events.last().contains(u"/no/データ\uFFFDi\n"_s));
        h.open(no);
        QVERIFY(h.messages.events.last().contains(u"/no/データ\uFFFDi\n"_s));
        h.form->Text1->setText(u"Ā"_s);  // and where a save that went through warns
        QVERIFY(h.form->SaveMsg(localpath::fromBytes(QFile::encodeName(path("x")) + "\x8ai")));
        QVERIFY(h.messages.events.value(h.messages.events.size() - 2).contains(u"/x\uFFFDi\n"_s));
        // Pasted over the start of a line, selected forwards: just the most that may be edited.
        const QString most(phrasefile::kMaxLineLength, u'x');
        h.form->Text1->setText(most);
        QTextCursor start(h.form->Text1->document());
        start.setPosition(5, QTextCursor::KeepAnchor);
        h.form->Text1->setTextCursor(start);
        QGuiApplication::clipboard()->setText(u"yyyyy"_s);
        QTest::keyClick(h.form->Text1, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(h.form->Text1->text(), u"yyyyy"_s + most.mid(5));
        // Lines together longer than one may be, each within it, the last the longest: pasted.
        h.form->Text1->setText({});
        QGuiApplication::clipboard()->setText(most.left(15000) + u'\n' + most);
        QTest::keyClick(h.form->Text1, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(h.form->Text1->document()->blockCount(), 2);
        // Over a line end: measured with the line the selection ends in, and refused.
        h.form->Text1->setText(u"あ\r\n"_s + most.left(10000));
        QTextCursor across(h.form->Text1->document());
        across.setPosition(1), across.setPosition(2, QTextCursor::KeepAnchor);
        h.form->Text1->setTextCursor(across);
        QGuiApplication::clipboard()->setText(most.left(15000));
        QTest::keyClick(h.form->Text1, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(h.form->Text1->text(), u"あ\r\n"_s + most.left(10000));
        QVERIFY(h.messages.events.last().startsWith(u"warn:1 行が 20000"_s));
        // A phrase that ends in a line break of its own still ends in CR LF.
        h.form->Text1->setText(u"A\r\nB\n"_s);
        QVERIFY(h.form->SaveMsg(path("longer.dat")));
        QCOMPARE(readBytes(path("longer.dat")), "A\r\nB\n\r\n");
    }

    // A file that cannot be opened, or is refused, changes nothing; the reason is in Japanese,
    // whatever the locale.
    void failedOpenKeepsEditor_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        const auto add = [](const char* row, const char* name, const char* reason) {
            QTest::newRow(row) << name << reason;
        };
        add("missing", "missing.dat", "ファイルかフォルダーが見つかりません");
        add("folder", ".", "フォルダーです。ファイルを選んでください");
        add("FIFO, no writer: no hang", "fifo",
            "通常のファイルではありません（デバイスやパイプなど）");
        add("a device", "zero", "通常のファイルではありません（デバイスやパイプなど）");
        add("a line too long", "long.dat",
            "2 行目が 20000 文字を超えています。長すぎる行のあるファイルは開けません");
        add("a line too long, once converted", "long8.dat",  // asked about, then refused
            "2 行目が 20000 文字を超えています。長すぎる行のあるファイルは開けません");
        add("1 GB of NUL, refused unread", "huge.dat", "16 MB を超えるファイルは開けません");
        // Names that reach no file, each in its own words.
        add("a link to itself", "loop", "シンボリックリンクが多すぎるか、循環しています");
        add("through a file", "long.dat/x", "パスの途中にフォルダーでないものがあります");
        add("a name too long", QByteArray(256, 'n').constData(), "ファイル名が長すぎます");
        add("a file written on Linux, キャンセル at the question", "linux8.dat", "");
    }

    void failedOpenKeepsEditor() {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        if (!QFileInfo::exists(path("fifo"))) {
            QCOMPARE(::mkfifo(qPrintable(path("fifo")), 0600), 0);
            // Two lines too long: the first is named.
            const QByteArray tooLong(phrasefile::kMaxLineLength + 1, 'x');
            writeBytes(path("long.dat"), "short\r\n" + tooLong + "\r\nshort\r\n" + tooLong);
            writeBytes(path("long8.dat"), "一\n" + tooLong + "\n二\n" + tooLong);
            writeBytes(path("linux8.dat"), "一\n二\n");
            QFile huge(path("huge.dat"));
            QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(1 << 30));
            QVERIFY(QFile::link(u"loop"_s, path("loop")));
            QVERIFY(QFile::link(u"/dev/zero"_s, path("zero")));
        }
        writeBytes(path("old.dat"), "old\r\n");
        Harness h;
        h.open(path("old.dat"));
        h.form->Text1->setText(u"edited\r\n"_s);
        h.form->mSpeakTest->setEnabled(false);  // to see that a failed open leaves it
        h.form->setWindowTitle(u"vekEdit 2 フレーズ"_s);
        h.messages.events.clear();
        if (reason.isEmpty()) h.messages.answers = {2};
        h.open(path(name));
        QCOMPARE(h.form->Text1->text() + h.form->sMsg[0] + QString::number(h.form->iMsgCount) +
                     h.form->windowTitle() + h.flags() +
                     h.messages.events.filter(QRegularExpression(u"^(?!ask:)"_s)).join(u'|') +
                     QString(h.messages.events.filter(u"ask:"_s).size(), u'?'),
                 u"edited\r\nold1vekEdit 2 フレーズ11000"_s +
                     (reason.isEmpty() ? u""_s
                                       : u"warn:ファイルを開けませんでした。\n\n"_s + path(name) +
                                             u"\n\n理由: "_s + reason) +
                     (name.endsWith(u"8.dat") ? u"?"_s : u""_s));  // no beep; asked once, if UTF-8
        // The next dialog starts with the name only where no file has it: Save and Enter must
        // not replace a file refused.
        h.dialogs.answer.reset(), h.form->mOpen_Click();
        QCOMPARE(h.dialogs.requests.last().second.fileName,
                 path(QFileInfo::exists(path(name)) ? u"old.dat"_s : name));
        // A reason not worded here: its number and the system's words, whole, in the user's
        // language; the locale is made here, since a machine may have none.
        qputenv("LOCPATH", QFile::encodeName(path("locale")));
        if (QDir().mkdir(path("locale")))
            QProcess::execute(u"localedef"_s, {u"-i"_s, u"ja_JP"_s, u"-f"_s, u"UTF-8"_s,
                                               path("locale/ja_JP.UTF-8")});
        const QByteArray was = std::setlocale(LC_MESSAGES, nullptr);
        QVERIFY(std::setlocale(LC_MESSAGES, "ja_JP.UTF-8"));
        const QString words = QString::fromUtf8(std::strerror(EXDEV)), said = files::reason(EXDEV);
        std::setlocale(LC_MESSAGES, was.constData());
        // Not English, where the system has its Japanese words (Debian's libc-l10n).
        if (QFileInfo::exists(u"/usr/share/locale/ja/LC_MESSAGES/libc.mo"_s))
            QVERIFY2(words.toUtf8().size() > words.size(), qPrintable(words));
        QCOMPARE(said, u"エラー番号 18（"_s + words + u'）');
    }
};

QTEST_MAIN(PhraseFileTest)
#include "tst_phrasefile.moc"
