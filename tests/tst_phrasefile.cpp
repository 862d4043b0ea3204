// Reading and writing phrase files, byte for byte, through the main window.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "fakes.h"
#include "phrases/phrasefile.h"
#include "platform/cp932.h"
#include "testutil.h"

class PhraseFileTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

  private Q_SLOTS:
    void reader_data();
    void reader();
    void progressAndEndCaptions();
    void secondLoadReplacesFirst();
    void cp932AsWindows();
    void invalidBytesAreReportedNotLost();
    void lineLimit_data();
    void lineLimit();
    void roundTrip_data();
    void roundTrip();
    void writerEndsTextOnce();
    void unmappableWrittenAsQuestionMarks();
};

void PhraseFileTest::reader_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty file") << QByteArray() << QStringList() << QString();
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\nc\r\n") << QStringList{"a", "b", "c"}
                           << "a\r\nb\r\nc\r\n";
    QTest::newRow("no final line end")
        << QByteArray("a\r\nb\r\nc") << QStringList{"a", "b", "c"} << "a\r\nb\r\nc\r\n";
    QTest::newRow("CR alone ends a line")
        << QByteArray("a\rb\r") << QStringList{"a", "b"} << "a\r\nb\r\n";
    QTest::newRow("lone LF stays in its phrase")
        << QByteArray("a\nb\nc") << QStringList{"a\nb\nc"} << "a\nb\nc\r\n";
    QTest::newRow("LF CR is a LF inside, then a line end")
        << QByteArray("a\n\rb") << QStringList{"a\n", "b"} << "a\n\r\nb\r\n";
    QTest::newRow("blank lines count") << QByteArray("a\r\n\r\n\r\nb\r\n")
                                       << QStringList{"a", "", "", "b"} << "a\r\n\r\n\r\nb\r\n";
    QTest::newRow("blanks and tabs kept")
        << QByteArray("  a\t \r\n\x81\x40x\x81\x40\r\n")
        << QStringList{"  a\t ", u"\u3000x\u3000"_qs} << u"  a\t \r\n\u3000x\u3000\r\n"_qs;
    QTest::newRow("NUL bytes") << QByteArray("a\0b\r\n\0\r\n", 8)
                               << QStringList{QString::fromLatin1("a\0b", 3), QString(QChar(0))}
                               << QString::fromLatin1("a\0b\r\n\0\r\n", 8);
}

void PhraseFileTest::reader() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(QString, text);
    writeBytes(path("in.dat"), bytes);
    Harness h;
    const Form1::PhraseLoad load = h.form->ReadMsg(path("in.dat"));

    QVERIFY(!load.error);
    QCOMPARE(h.form->Text1->text(), text);
    QCOMPARE(h.form->iMsgCount, lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i) QCOMPARE(h.form->sMsg[i], lines[i]);
    QVERIFY(h.form->sMsg[lines.size()].isNull());
    QCOMPARE(h.form->windowTitle(), QStringLiteral("vekEdit %1 フレーズ").arg(lines.size() + 1));
    QCOMPARE(h.messages.events, QStringList{"beep"});
}

void PhraseFileTest::progressAndEndCaptions() {
    writeBytes(path("three.dat"), "a\r\nb\r\nc\r\n");
    Harness h;
    QStringList captions;
    connect(h.form.get(), &QWidget::windowTitleChanged, this,
            [&](const QString& t) { captions << t; });
    h.form->ReadMsg(path("three.dat"));
    // Whatever progress is shown has the exact form and stays below the end count.
    QCOMPARE(captions.last(), QStringLiteral("vekEdit 4 フレーズ"));
    for (const QString& c : captions.mid(0, captions.size() - 1)) {
        if (c == u"vekEdit") continue;
        QVERIFY2(QRegularExpression(u"^vekEdit　[2-4]　フレーズ読込み完了$"_qs).match(c).hasMatch(),
                 qPrintable(c));
    }

    writeBytes(path("empty.dat"), "");
    captions.clear();
    h.form->ReadMsg(path("empty.dat"));
    QCOMPARE(captions.filter(u"読込み完了"_qs), QStringList());
    QCOMPARE(captions.last(), QStringLiteral("vekEdit 1 フレーズ"));
}

void PhraseFileTest::secondLoadReplacesFirst() {
    writeBytes(path("long.dat"), "1\r\n2\r\n3\r\n4\r\n");
    writeBytes(path("short.dat"), "x\r\n");
    Harness h;
    h.form->ReadMsg(path("long.dat"));
    QSignalSpy changes(h.form->Text1, &QPlainTextEdit::textChanged);
    h.form->ReadMsg(path("short.dat"));
    QCOMPARE(h.form->Text1->text(), u"x\r\n"_qs);
    QCOMPARE(h.form->sMsg[0], u"x"_qs);
    QVERIFY(h.form->sMsg[1].isEmpty() && h.form->sMsg[3].isEmpty());
    QCOMPARE(h.form->iMsgCount, 1);
    QVERIFY2(changes.size() <= 3, "the text box is filled once, not a line at a time");
}

void PhraseFileTest::cp932AsWindows() {
    // Bytes whose meaning differs between Shift-JIS tables, and what Windows makes of them.
    const QByteArray bytes = QByteArray::fromHex(
        "5c 7e 8160 817c 8161 81ca 8740 8754 878a 8790 "
        "ed40 fa40 fa55 f040 0d0a");
    const QString text =
        u"\\~\uFF5E\uFF0D\u2225\uFFE2\u2460\u2160\u3231\u2252"
        u"\u7E8A\u2170\uFFE4\uE000\r\n"_qs;
    writeBytes(path("special.dat"), bytes);
    Harness h;
    QVERIFY(!h.form->ReadMsg(path("special.dat")).error);
    QCOMPARE(h.form->Text1->text(), text);

    // Saved back as Windows writes them: NEC and NEC-selected IBM duplicates go to
    // their standard and IBM codes, everything else unchanged.
    QVERIFY(h.form->SaveMsg(path("special-out.dat")));
    QByteArray expected = bytes;
    expected.replace(QByteArray::fromHex("8790"), QByteArray::fromHex("81e0"));
    expected.replace(QByteArray::fromHex("ed40"), QByteArray::fromHex("fa5c"));
    QCOMPARE(readBytes(path("special-out.dat")), expected);
    h.form->Text1->setText(u"\u301C\u2016\u2212\u00A5\u00A2\u00A3\u00AC"_qs);
    QVERIFY(h.form->SaveMsg(path("typed.dat")));
    QCOMPARE(readBytes(path("typed.dat")),
             QByteArray::fromHex("8160 8161 817c 5c 8191 8192 81ca 0d0a"));
    QCOMPARE(h.messages.warnings(), QStringList());
}

void PhraseFileTest::invalidBytesAreReportedNotLost() {
    // A bad trail byte, an undefined single byte, and a lead byte cut off by the line end.
    writeBytes(path("bad.dat"),
               QByteArray::fromHex("61 0d0a 62 81 0d0a 63 8120 64 0d0a a0 0d0a 88"));
    Harness h;
    h.dialogs.answer = path("bad.dat");
    h.form->mOpen_Click();
    const QChar bad = QChar::ReplacementCharacter;
    QCOMPARE(h.form->sMsg[0], u"a"_qs);
    QCOMPARE(h.form->sMsg[1], u"b"_qs + bad);
    QCOMPARE(h.form->sMsg[2], u"c"_qs + bad + u" d"_qs);
    QCOMPARE(h.form->sMsg[3], QString(bad));
    QCOMPARE(h.form->sMsg[4], QString(bad));
    QCOMPARE(h.form->iMsgCount, 5);
    QCOMPARE(h.messages.events.first(), u"beep"_qs);
    const QStringList warnings = h.messages.warnings();
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings[0].contains(u"4 か所"_qs) && warnings[0].contains(u"2 行目"_qs),
             qPrintable(warnings[0]));
}

void PhraseFileTest::lineLimit_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<bool>("truncated");
    QTest::newRow("32001 lines") << 32001 << QByteArray() << false;
    QTest::newRow("32001 lines, last unended") << 32001 << QByteArray("!") << false;
    QTest::newRow("32002 lines") << 32002 << QByteArray() << true;
    QTest::newRow("32001 lines and an empty one") << 32001 << QByteArray("\r\n") << true;
}

void PhraseFileTest::lineLimit() {
    QFETCH(int, lines);
    QFETCH(QByteArray, tail);
    QFETCH(bool, truncated);
    QByteArray bytes;
    for (int i = 0; i < lines; ++i) bytes += QByteArray::number(i) + "\r\n";
    if (tail == "!")  // the last line without its line end
        bytes.chop(2);
    else
        bytes += tail;
    writeBytes(path("many.dat"), bytes);

    Harness h;
    const Form1::PhraseLoad load = h.form->ReadMsg(path("many.dat"));
    QVERIFY(!load.error);
    QCOMPARE(load.truncated, truncated);
    QCOMPARE(h.form->iMsgCount, 32001);
    QCOMPARE(h.form->sMsg[32000], u"32000"_qs);
    QCOMPARE(h.form->windowTitle(), u"vekEdit 32002 フレーズ"_qs);
    QCOMPARE(h.form->Text1->text().count(u"\r\n"_qs), 32001);
    QCOMPARE(h.messages.events.first(), u"beep"_qs);

    // The file is closed: it can be replaced and read again at once.
    QVERIFY(QFile::remove(path("many.dat")));
    for (const QFileInfo& fd : QDir(u"/proc/self/fd"_qs).entryInfoList(QDir::System))
        QVERIFY(!fd.symLinkTarget().contains(u"many.dat"_qs));
}

void PhraseFileTest::roundTrip_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("CR LF lines") << QByteArray("a\r\nb\r\n");
    QTest::newRow("lone LF inside") << QByteArray("a\nb\r\nc\n\r\n\n\r\n");
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

void PhraseFileTest::writerEndsTextOnce() {
    Harness h;
    QVERIFY(h.form->SaveMsg(path("empty.dat")));
    QCOMPARE(readBytes(path("empty.dat")), QByteArray("\r\n"));
    h.form->Text1->setPlainText(u"one\ntwo"_qs);  // typed: Enter between the lines
    QVERIFY(h.form->SaveMsg(path("typed.dat")));
    QCOMPARE(readBytes(path("typed.dat")), QByteArray("one\r\ntwo\r\n"));
    writeBytes(path("longer.dat"), QByteArray(1000, 'z'));
    QVERIFY(h.form->SaveMsg(path("longer.dat")));
    QCOMPARE(readBytes(path("longer.dat")), QByteArray("one\r\ntwo\r\n"));
    QCOMPARE(h.messages.events,
             (QStringList{"inform:保存したよ", "inform:保存したよ", "inform:保存したよ"}));
}

void PhraseFileTest::unmappableWrittenAsQuestionMarks() {
    Harness h;
    QString text = u"é😀a"_qs;
    for (char16_t c = u'Ā'; c < u'Ā' + 12; ++c) text += QChar(c);  // 14 unmappable in all
    h.form->Text1->setText(text + u"é"_qs);
    QVERIFY(h.form->SaveMsg(path("q.dat")));
    QCOMPARE(readBytes(path("q.dat")), QByteArray("??a" + QByteArray(12, '?') + "?\r\n"));
    QCOMPARE(h.messages.events.size(), 2);
    const QString warning = h.messages.events[0];
    QVERIFY2(warning.startsWith(u"warn:"_qs) && warning.contains(u"「😀」(U+1F600)"_qs) &&
                 warning.contains(u"「é」(U+00E9)"_qs) && warning.contains(u"ほか 4 種類"_qs) &&
                 !warning.contains(u"ĉ"_qs),
             qPrintable(warning));
    QCOMPARE(h.messages.events[1], u"inform:保存したよ"_qs);
}

QTEST_MAIN(PhraseFileTest)
#include "tst_phrasefile.moc"
