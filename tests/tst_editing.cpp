// Copy, Cut, Paste, Clear and New on the text box.
#include <QClipboard>
#include <QtTest>

#include "fakes.h"
#include "platform/qtservices.h"

class EditingTest : public QObject {
    Q_OBJECT

    // Selects [from, to) of the document.
    static void select(TextBox* box, int from, int to) {
        QTextCursor c = box->textCursor();
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        box->setTextCursor(c);
    }

  private Q_SLOTS:
    void copy();
    void cutPutsSelectionOnClipboard();
    void paste();
    void clearAndNew();
    void lineBreaksAcrossTheClipboard();
};

void EditingTest::copy() {
    Harness h;
    h.form->Text1->setText(u"石の上にも\r\n三年\r\n"_qs);
    select(h.form->Text1, 2, 7);
    h.form->mCopy_Click();
    QCOMPARE(h.clipboard.content, std::optional<QString>(u"上にも\r\n三"_qs));
    QCOMPARE(h.form->Text1->text(), u"石の上にも\r\n三年\r\n"_qs);
    QCOMPARE(h.form->Text1->selText(), u"上にも\r\n三"_qs);

    // With nothing selected the clipboard is emptied.
    select(h.form->Text1, 1, 1);
    h.form->mCopy_Click();
    QCOMPARE(h.clipboard.text(), QString());
    QCOMPARE(h.clipboard.clears, 2);
}

void EditingTest::cutPutsSelectionOnClipboard() {
    Harness h;
    h.form->Text1->setText(u"abcdef"_qs);
    h.clipboard.content = u"before"_qs;
    select(h.form->Text1, 0, 0);
    h.form->mCut_Click();
    QCOMPARE(h.form->Text1->text(), u"abcdef"_qs);
    QCOMPARE(h.clipboard.text(), u"before"_qs);  // nothing selected: nothing happens

    select(h.form->Text1, 1, 4);
    h.form->mCut_Click();
    QCOMPARE(h.form->Text1->text(), u"aef"_qs);
    QCOMPARE(h.clipboard.text(), u"bcd"_qs);
    h.form->mPaste_Click();
    QCOMPARE(h.form->Text1->text(), u"abcdef"_qs);
}

void EditingTest::paste() {
    Harness h;
    h.form->Text1->setText(u"one two"_qs);
    select(h.form->Text1, 4, 7);
    h.clipboard.content = u"三\r\n四\n五"_qs;  // a CR LF breaks the line, a lone LF stays inside
    h.form->mPaste_Click();
    QCOMPARE(h.form->Text1->text(), u"one 三\r\n四\n五"_qs);
    QCOMPARE(h.form->Text1->document()->blockCount(), 2);

    // No text on the clipboard: the selection goes, and Start is enabled all the same.
    h.form->mClear_Click();
    h.form->Text1->setText(u"xyz"_qs);
    h.form->mSpeakTest->setEnabled(false);
    select(h.form->Text1, 0, 2);
    h.clipboard.content.reset();
    h.form->mPaste_Click();
    QCOMPARE(h.form->Text1->text(), u"z"_qs);
    QVERIFY(h.form->mSpeakTest->isEnabled());
}

void EditingTest::clearAndNew() {
    Harness h;
    h.form->Text1->setText(u"a\r\nb\r\n"_qs);
    h.form->sMsg[0] = u"kept"_qs;
    for (auto command : {&Form1::mClear_Click, &Form1::mNew_Click}) {
        h.form->Text1->setText(u"a\r\nb\r\n"_qs);
        h.form->setWindowTitle(u"vekEdit 3 フレーズ"_qs);
        (h.form.get()->*command)();
        QCOMPARE(h.form->Text1->text(), QString());
        QCOMPARE(h.form->windowTitle(), u"vekEdit"_qs);
        QCOMPARE(h.flags(), u"11000"_qs);
        QCOMPARE(h.form->sMsg[0], u"kept"_qs);  // the phrase table is not touched
    }
}

void EditingTest::lineBreaksAcrossTheClipboard() {
    // The desktop clipboard has LF line breaks; the editor speaks CR LF.
    platform::QtClipboard clipboard;
    clipboard.setText(u"a\r\nb"_qs);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"a\nb"_qs);
    QGuiApplication::clipboard()->setText(u"x\ny\r\nz\rw"_qs);
    QCOMPARE(clipboard.text(), u"x\r\ny\r\nz\r\nw"_qs);
    clipboard.clear();
    QCOMPARE(clipboard.text(), QString());
}

QTEST_MAIN(EditingTest)
#include "tst_editing.moc"
