// Reading and writing phrase files, byte for byte, through the main window.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "harness.h"
#include "platform/cp932.h"

class PhraseFileTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

  private Q_SLOTS:
    void reader_data();
    void reader();
    void cp932AsWindows();
    void invalidBytesAreCountedAndShown();
    void lineLimit_data();
    void lineLimit();
    void roundTrip_data();
    void roundTrip();
    void writer();
};

void PhraseFileTest::reader_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    const QByteArray nul("a\0b\r\n\0\r\n", 8);
    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\nc\r\n") << QStringList{"a", "b", "c"};
    QTest::newRow("no final line end") << QByteArray("a\r\nb\r\nc") << QStringList{"a", "b", "c"};
    QTest::newRow("CR alone") << QByteArray("a\rb\r") << QStringList{"a", "b"};
    QTest::newRow("lone LF stays") << QByteArray("a\nb\n\rc") << QStringList{"a\nb\n", "c"};
    QTest::newRow("blanks") << QByteArray("a\r\n\r\n \t\x81\x40")
                            << QStringList{"a", "", u" \t\u3000"_qs};
    QTest::newRow("NUL bytes") << nul
                               << QStringList{QString::fromLatin1(nul.first(3)), QString(QChar(0))};
}

void PhraseFileTest::reader() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    writeBytes(path("before.dat"), "1\r\n2\r\n3\r\n4\r\n5\r\n");
    writeBytes(path("in.dat"), bytes);
    Harness h;
    h.form->ReadMsg(path("before.dat"));
    h.messages.events.clear();
    QSignalSpy changes(h.form->Text1, &QPlainTextEdit::textChanged);
    QStringList captions;
    connect(h.form.get(), &QWidget::windowTitleChanged, this, [&](auto t) { captions << t; });

    QVERIFY(!h.form->ReadMsg(path("in.dat")).error);
    QCOMPARE(h.form->Text1->text(), lines.isEmpty() ? QString() : lines.join(u"\r\n") + u"\r\n"_qs);
    QCOMPARE(h.form->iMsgCount, lines.size());
    for (qsizetype i = 0; i < 6; ++i) QCOMPARE(h.form->sMsg[i], lines.value(i));
    QCOMPARE(captions.last(), QStringLiteral("vekEdit %1 フレーズ").arg(lines.size() + 1));
    for (const QString& c : captions.mid(0, captions.size() - 1))
        QVERIFY2(c == u"vekEdit" || (c.startsWith(u"vekEdit　"_qs) &&
                                     c.endsWith(u"　フレーズ読込み完了") && !lines.isEmpty()),
                 qPrintable(c));
    QCOMPARE(h.messages.events, QStringList{"beep"});
    QVERIFY2(changes.size() <= 3, "the text box is filled at once, not a line at a time");
}

void PhraseFileTest::cp932AsWindows() {
    // Bytes whose meaning differs between Shift-JIS tables, and what Windows makes of them.
    const QByteArray bytes = QByteArray::fromHex(
        "5c 7e 8160 817c 8161 81ca 8740 8754 878a 8790 ed40 fa40 fa55 f040 0d0a");
    writeBytes(path("special.dat"), bytes);
    Harness h;
    h.form->ReadMsg(path("special.dat"));
    QCOMPARE(h.form->Text1->text(),
             u"\\~\uFF5E\uFF0D\u2225\uFFE2\u2460\u2160\u3231\u2252"
             u"\u7E8A\u2170\uFFE4\uE000\r\n"_qs);

    // Written back as Windows writes them: the NEC and NEC-selected IBM duplicates go to their
    // standard and IBM codes; and what Linux input methods type goes to the usual bytes.
    QVERIFY(h.form->SaveMsg(path("out.dat")));
    QCOMPARE(readBytes(path("out.dat")),
             QByteArray(bytes).replace("\x87\x90", "\x81\xe0").replace("\xed\x40", "\xfa\x5c"));
    h.form->Text1->setText(u"\u301C\u2016\u2212\u00A5\u00A2\u00A3\u00AC"_qs);
    QVERIFY(h.form->SaveMsg(path("typed.dat")));
    QCOMPARE(readBytes(path("typed.dat")),
             QByteArray::fromHex("8160 8161 817c 5c 8191 8192 81ca 0d0a"));
    QCOMPARE(h.messages.events.filter(u"warn"_qs), QStringList());
}

void PhraseFileTest::invalidBytesAreCountedAndShown() {
    // A lead byte before a line end, one before a blank, an undefined byte, a lead byte at the end.
    writeBytes(path("bad.dat"),
               QByteArray::fromHex("61 0d0a 62 81 0d0a 63 8120 64 0d0a a0 0d0a 88"));
    Harness h;
    h.open(path("bad.dat"));
    const QString bad(QChar::ReplacementCharacter);
    const QStringList lines{"a", "b" + bad, "c" + bad + " d", bad, bad};
    for (int i = 0; i < 5; ++i) QCOMPARE(h.form->sMsg[i], lines[i]);
    QCOMPARE(h.messages.events.size(), 2);
    QCOMPARE(h.messages.events[0], u"beep"_qs);
    QVERIFY2(h.messages.events[1].startsWith(u"warn:") &&
                 h.messages.events[1].contains(u"4 か所") &&
                 h.messages.events[1].contains(u"2 行目"),
             qPrintable(h.messages.events[1]));
}

void PhraseFileTest::lineLimit_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<QByteArray>("tail");  // after the last line end
    QTest::addColumn<bool>("truncated");
    QTest::newRow("32001") << 32001 << QByteArray() << false;
    QTest::newRow("32001, the last unended") << 32000 << QByteArray("32000") << false;
    QTest::newRow("32002") << 32002 << QByteArray() << true;
    QTest::newRow("32001 and an empty one") << 32001 << QByteArray("\r\n") << true;
}

void PhraseFileTest::lineLimit() {
    QFETCH(int, lines);
    QFETCH(QByteArray, tail);
    QFETCH(bool, truncated);
    QByteArray bytes;
    for (int i = 0; i < lines; ++i) bytes += QByteArray::number(i) + "\r\n";
    writeBytes(path("many.dat"), bytes + tail);
    Harness h;
    h.open(path("many.dat"));
    QCOMPARE(h.form->iMsgCount, 32001);
    QCOMPARE(h.form->sMsg[32000], u"32000"_qs);
    QCOMPARE(h.form->Text1->document()->blockCount(), 32002);
    QCOMPARE(h.form->windowTitle(), u"vekEdit 32002 フレーズ"_qs);
    QCOMPARE(h.flags(), u"11100"_qs);
    QCOMPARE(h.messages.events.size(), truncated ? 2 : 1);
    QCOMPARE(h.messages.events[0], u"beep"_qs);
    if (truncated) QVERIFY(h.messages.events[1].contains(u"最初の 32001 行だけ"_qs));
    for (const QFileInfo& fd : QDir(u"/proc/self/fd"_qs).entryInfoList(QDir::System))
        QVERIFY2(!fd.symLinkTarget().endsWith(u"many.dat"_qs), "the file is closed");
}

void PhraseFileTest::roundTrip_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("CR LF lines") << QByteArray("a\r\nb\r\n");
    QTest::newRow("lone LFs inside") << QByteArray("a\nb\r\nc\n\r\n\n\r\n");
    QTest::newRow("blank lines") << QByteArray("\r\n\r\nx\r\n\r\n");
    QTest::newRow("NUL") << QByteArray("\0a\0\r\n", 5);
    QTest::newRow("Japanese") << cp932::encode(u"石の上にも三年\r\n急がば回れ\r\n"_qs).bytes;
}

void PhraseFileTest::roundTrip() {
    QFETCH(QByteArray, bytes);
    writeBytes(path("rt.dat"), bytes);
    Harness h;
    for (int cycle = 0; cycle < 3; ++cycle) {
        QVERIFY(!h.form->ReadMsg(path("rt.dat")).error);
        QVERIFY(h.form->SaveMsg(path("rt.dat")));
        QCOMPARE(readBytes(path("rt.dat")), bytes);
    }
}

void PhraseFileTest::writer() {
    Harness h;
    QVERIFY(h.form->SaveMsg(path("empty.dat")));
    QCOMPARE(readBytes(path("empty.dat")), QByteArray("\r\n"));
    QTest::keyClicks(h.form->Text1, u"one"_qs);
    QTest::keyClick(h.form->Text1, Qt::Key_Return);
    QTest::keyClicks(h.form->Text1, u"two"_qs);
    writeBytes(path("longer.dat"), QByteArray(1000, 'z'));
    QVERIFY(h.form->SaveMsg(path("longer.dat")));
    QCOMPARE(readBytes(path("longer.dat")), QByteArray("one\r\ntwo\r\n"));
    QCOMPARE(h.messages.events, (QStringList{"inform:保存したよ", "inform:保存したよ"}));

    // Characters CP932 cannot hold become '?', and the first ten are named before the confirmation.
    QString text = u"é😀a"_qs;
    for (char16_t c = u'Ā'; c < u'Ā' + 12; ++c) text += QChar(c);
    h.form->Text1->setText(text + u"é"_qs);
    h.messages.events.clear();
    QVERIFY(h.form->SaveMsg(path("q.dat")));
    QCOMPARE(readBytes(path("q.dat")), QByteArray("??a" + QByteArray(12, '?') + "?\r\n"));
    QCOMPARE(h.messages.events.size(), 2);
    const QString& warning = h.messages.events[0];
    QVERIFY2(warning.startsWith(u"warn:") && warning.contains(u"「😀」(U+1F600)") &&
                 warning.contains(u"「é」(U+00E9)") && warning.contains(u"ほか 4 種類") &&
                 !warning.contains(u"ĉ"),
             qPrintable(warning));
    QCOMPARE(h.messages.events[1], u"inform:保存したよ"_qs);
}

QTEST_MAIN(PhraseFileTest)
#include "tst_phrasefile.moc"
