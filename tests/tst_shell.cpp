// The main window as a user meets it: start-up, menus and their states, dialogs,
// clipboard commands.
#include <unistd.h>

#include <QClipboard>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

#include "app/Module1.h"
#include "harness.h"
#include "platform/localpath.h"
#include "platform/qtservices.h"

class ShellTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    static void select(TextBox* box, int from, int to) {
        QTextCursor c = box->textCursor();
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        box->setTextCursor(c);
    }

  private Q_SLOTS:
    void initTestCase() {
        installFontSubstitutes();  // as the start procedure does, before any window
        writeBytes(path("two.dat"), "one\r\ntwo\r\n");
    }
    void designFont();
    void commandStates();
    void readAlongAndInputMethods();
    void startUp();
    void commandLineTakenWhole();
    void dialogRequests();
    void clipboardCommands();
};

void ShellTest::designFont() {
    // Drawn with an installed Japanese gothic, not whatever Qt picks for an unknown name.
    Harness h;
    const QString drawnWith = QFontInfo(h.form->Text1->font()).family();
    QVERIFY2(drawnWith == u"IPAPGothic" || drawnWith == u"Noto Sans CJK JP", qPrintable(drawnWith));
}

void ShellTest::commandStates() {
    // Steps on a fresh window ("keep", "yes": the answer to the next question, キャンセル or
    // 保存); then New, Clear, Start, Pause, Stop as 0/1, the caption, whether paused, the
    // speech calls of the last step (voices as their index), a ? for each question, the text,
    // and whether the window closed and a file was saved.
    const char* rows[][2] = {
        {"", "00000 vekEdit | | []"},
        {"type", "11100 vekEdit | | [a]"},
        {"type erase", "11100 vekEdit | | []"},
        {"type clear", "11000 vekEdit | | []"},
        {"type new", "11000 vekEdit | | ?[]"},
        {"paste", "00100 vekEdit | | []"},  // from an empty clipboard into an empty box
        {"open", "11100 vekEdit 3 フレーズ | | [one\r\ntwo\r\n]"},
        {"open type", "11100 vekEdit | | [aone\r\ntwo\r\n]"},
        {"open clear", "11000 vekEdit | | []"},
        {"cancel", "00000 vekEdit | | []"},
        {"missing", "00000 vekEdit | | []"},
        {"copy cut save about", "00000 vekEdit | | [] saved"},
        {"type start", "11111 vekEdit | Voice:0 Stop SetText:a Play | [a]"},
        {"type voice1 start", "11111 vekEdit | Voice:1 Stop SetText:a Play | [a]"},
        {"type voice7 start",
         "11111 vekEdit | Stop SetText:a Play | [a]"},  // the engine keeps its own
        {"type select start", "11111 vekEdit | Voice:0 Stop SetText:b\r\n  Play | [ab\r\n c]"},
        {"type start erase start", "11111 vekEdit | | []"},  // nothing to read: nothing at all
        {"type start pause", "11111 vekEdit paused checked | Pause | [a]"},
        {"type start pause pause", "11111 vekEdit | Resume | [a]"},
        {"type start stop", "11101 vekEdit | Stop | [a]"},
        {"type start pause stop", "11101 vekEdit paused | Stop | [a]"},
        {"type start pause stop start", "11111 vekEdit | Voice:0 Stop SetText:a Play | [a]"},
        {"type start end", "11101 vekEdit | Stop | ?[a] closed"},  // File › End asks, then stops
        {"type start close", "11101 vekEdit | Stop | ?[a] closed"},  // and so does the close box
        {"type keep new", "11100 vekEdit | | ?[a]"},      // キャンセル keeps the edits
        {"type yes new", "11000 vekEdit | | ?[] saved"},  // 保存 saves first
        {"type save new", "11000 vekEdit | | [] saved"},
        {"type keep open", "11100 vekEdit | | ?[a]"},
        {"type open", "11100 vekEdit 3 フレーズ | | ?[one\r\ntwo\r\n]"},
        {"open new", "11000 vekEdit | | []"},  // nothing to lose: no question
        {"type keep end", "11100 vekEdit | | ?[a]"},
        {"type keep close", "11100 vekEdit | | ?[a]"},
        {"type clear undo", "11100 vekEdit | | [a]"},  // Clear asks nothing; Ctrl+Z
        {"type new undo", "11100 vekEdit | | ?[a]"},
        // Keys: each runs its command when enabled, and nothing when not.
        {"type k:F5", "11111 vekEdit | Voice:0 Stop SetText:a Play | [a]"},
        {"type k:F5 k:F6", "11111 vekEdit paused checked | Pause | [a]"},
        {"type k:F5 k:Esc", "11101 vekEdit | Stop | [a]"},
        {"type k:F5 k:Esc k:Esc", "11101 vekEdit | | [a]"},  // Esc only while reading
        {"k:F5 k:F6", "00000 vekEdit | | []"},
        {"type k:Ctrl+N", "11000 vekEdit | | ?[]"},
        {"type k:Ctrl+O", "11100 vekEdit | | ?[a]"},  // the dialog answered: saved.dat
        {"k:Ctrl+S", "00000 vekEdit | | [] saved"},
        {"type k:Ctrl+Q", "11100 vekEdit | Stop | ?[a] closed"},
        {"type k:Alt+F", "11100 vekEdit | | [a] menu"},  // types nothing
    };
    for (const auto& [steps, expected] : rows) {
        Harness h;
        h.form->show();
        QFile::remove(path("saved.dat"));
        FakeSpeech& speech = *h.speeches.at(0);
        for (const QString& step : QString::fromUtf8(steps).split(u' ', Qt::SkipEmptyParts)) {
            h.dialogs.answer = path("saved.dat");
            speech.take();
            if (step == u"keep" || step == u"yes") h.messages.answers = {step == u"keep" ? 2 : 0};
            if (step == u"undo") QTest::keyClick(h.form->Text1, Qt::Key_Z, Qt::ControlModifier);
            if (step == u"type") QTest::keyClicks(h.form->Text1, u"a"_qs);
            if (step == u"erase") QTest::keyClick(h.form->Text1, Qt::Key_Backspace);
            if (step == u"select")
                h.form->Text1->setText(u"ab\r\n c"_qs), select(h.form->Text1, 1, 4);
            if (step == u"clear") h.form->mClear_Click();
            if (step == u"new") h.form->mNew_Click();
            if (step == u"paste") h.form->mPaste_Click();
            if (step == u"copy") h.form->mCopy_Click();
            if (step == u"cut") h.form->mCut_Click();
            if (step == u"about") h.form->mAbout_Click();
            if (step == u"cancel") h.dialogs.answer.reset(), h.form->mOpen_Click();
            if (step == u"open") h.open(path("two.dat"));
            if (step == u"missing") h.open(path("missing.dat"));
            if (step == u"save") h.form->mSave_Click();
            if (step.startsWith(u"voice")) h.settings.iVoice = qint16(step.mid(5).toInt());
            if (step == u"start") h.form->mSpeakTest_Click();
            if (step == u"pause") h.form->mPause_Click();
            if (step == u"stop") h.form->mStop_Click();
            if (step == u"end") h.form->mEnd_Click();
            if (step == u"close") h.form->windowHandle()->close();
            if (step.startsWith(u"k:")) {  // a key on the window, as the user presses it
                h.form->activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
                QTest::keySequence(h.form->windowHandle(), QKeySequence(step.mid(2)));
            }
        }
        QString got = h.flags() + u' ' + h.form->windowTitle() +
                      (h.form->bPause ? u" paused"_qs : u""_qs) +
                      (h.form->mPause->isChecked() ? u" checked |"_qs : u" |"_qs);
        for (const QString& call : speech.calls)
            got += u' ' + QString(call)
                              .remove(u"Speech"_qs)
                              .replace(platform::kVoice0, u"0"_qs)
                              .replace(platform::kVoice1, u"1"_qs);
        got += u" | "_qs + QString(h.messages.events.filter(u"ask:"_qs).size(), u'?') + u'[' +
               h.form->Text1->text() + u']' + (h.form->isVisible() ? u""_qs : u" closed"_qs) +
               (QFile::exists(path("saved.dat")) ? u" saved"_qs : u""_qs) +
               (QApplication::activePopupWidget() ? u" menu"_qs : u""_qs);
        if (QWidget* menu = QApplication::activePopupWidget()) menu->close();
        QCOMPARE(steps + u" -> "_qs + got, steps + u" -> "_qs + QString::fromUtf8(expected));
    }
}

void ShellTest::readAlongAndInputMethods() {
    Harness h;
    TextBox* box = h.form->Text1;
    box->setText(u"石の上にも三年\r\n急がば回れ\r\n"_qs);
    h.form->mSpeakTest_Click();
    select(box, 2, 4);  // the user's own selection stays as it is
    const auto mark = [&] {
        const auto marks = box->extraSelections();
        return marks.isEmpty() ? u"-"_qs : marks[0].cursor.selectedText();
    };
    FakeSpeech& speech = *h.speeches.at(0);
    Q_EMIT speech.playing(9, 5);  // after a CR LF, one position in the document
    QCOMPARE(mark(), u"急がば回れ"_qs);
    QTextCursor(box->document()).insertText(u"X"_qs);  // an edit before it
    QCOMPARE(mark(), u"急がば回れ"_qs);
    Q_EMIT speech.playing(0, 7);
    QCOMPARE(mark(), u"石の上にも三年"_qs);
    QCOMPARE(box->textCursor().selectedText(), u"上に"_qs);
    QTextCursor words(box->document());
    words.setPosition(1);
    words.setPosition(8, QTextCursor::KeepAnchor);
    words.removeSelectedText();  // its words go, and so does the mark
    QCOMPARE(mark(), u"-"_qs);
    Q_EMIT speech.playing(8, 5);
    h.form->mStop_Click();
    QCOMPARE(mark(), u"-"_qs);
    QCOMPARE(h.form->windowTitle(), u"vekEdit"_qs);

    // A composition in progress or cancelled is no change of the text; a committed one is.
    h.form->setWindowTitle(u"probe"_qs);
    QInputMethodEvent preedit(u"き"_qs, {}), cancel, commit;
    commit.setCommitString(u"木"_qs);
    for (QInputMethodEvent* e : {&preedit, &cancel}) QApplication::sendEvent(box, e);
    QCOMPARE(h.form->windowTitle(), u"probe"_qs);
    QApplication::sendEvent(box, &commit);
    QCOMPARE(h.form->windowTitle(), u"vekEdit"_qs);
}

void ShellTest::startUp() {
    // Command line; then text, flags, caption, and the messages ('+' once the window shows).
    const QString rows[][2] = {
        {"", " 00000 vekEdit "},
        {path("two.dat"), "one\r\ntwo\r\n 11100 vekEdit 3 フレーズ beep"},
        {'"' + path("two.dat") + '"', " 00000 vekEdit +warn"},  // the quotes are part of it
    };
    for (const auto& [command, expected] : rows) {
        Harness h(command);
        h.form->Form_Load();
        QVERIFY(h.form->isVisible());
        QCOMPARE(h.settings.sFontName, u"ＭＳ Ｐゴシック"_qs);
        QString got =
            h.form->Text1->text() + u' ' + h.flags() + u' ' + h.form->windowTitle() + u' ';
        for (int i = 0; i < h.messages.events.size(); ++i)
            got += (h.messages.windowShown[i] ? u"+"_qs : u""_qs) +
                   h.messages.events[i].section(u':', 0, 0);
        QCOMPARE(got, expected);
    }
}

void ShellTest::commandLineTakenWhole() {
    const char* args[] = {"vekedit", "\"a b\"", " x ", "y"};
    QCOMPARE(commandLine(4, const_cast<char**>(args)), u"\"a b\"  x  y"_qs);
    QCOMPARE(commandLine(1, const_cast<char**>(args)), QString());

    // A name in Shift-JIS bytes, as copied from a Windows disk.
    const QByteArray name = QFile::encodeName(dir.path()) + "/\x8a\x69\x8c\xbe.dat";
    FILE* out = std::fopen(name.constData(), "wb");
    QVERIFY(out && std::fputs("ok\r\n", out) >= 0 && std::fclose(out) == 0);
    const char* sjisArgs[] = {"vekedit", name.constData()};
    Harness h(commandLine(2, const_cast<char**>(sjisArgs)));
    h.form->Form_Load();
    ::unlink(name.constData());  // QTemporaryDir could not name it
    QCOMPARE(h.form->Text1->text(), u"ok\r\n"_qs);
    QCOMPARE(localpath::toBytes(h.settings.sCommand), name);
}

void ShellTest::dialogRequests() {
    Harness h;
    h.form->mOpen_Click();  // cancelled
    h.open(path("two.dat"));
    h.form->mSave_Click();
    h.form->mAbout_Click();
    QCOMPARE(h.about.shown, 1);
    QStringList started;  // the kind, the filter, and the folder or file it starts with
    for (const auto& [kind, r] : h.dialogs.requests)
        started << u"%1 %2 %3"_qs.arg(kind)
                       .arg(r.filterIndex)
                       .arg(r.fileName.isEmpty() ? r.initDir : r.fileName);
    QCOMPARE(started, (QStringList{"open 1 " + QDir::homePath(), "open 1 " + QDir::homePath(),
                                   "save 1 " + path("two.dat")}));
}

void ShellTest::clipboardCommands() {
    // On "石の上にも CR LF 三年" with a selection and a clipboard ("-": no text): the command,
    // then the text, the clipboard and whether Start is enabled.
    const struct {
        int from, to;
        const char *clipboard, *command, *text, *after;
    } rows[] = {
        {2, 7, "x", "copy", "石の上にも\r\n三年", "上にも\r\n三 0"},
        {1, 1, "x", "copy", "石の上にも\r\n三年", " 0"},  // emptied
        {1, 1, "x", "cut", "石の上にも\r\n三年", "x 0"},
        {1, 5, "x", "cut", "石\r\n三年", "の上にも 1"},
        {1, 1, "A\r\nB\nC", "paste", "石A\r\nB\nCの上にも\r\n三年",
         "A\r\nB\nC 1"},  // lone LF stays
        {0, 2, "-", "paste", "上にも\r\n三年",
         "- 1"},  // no text: the selection goes, Start all the same
    };
    for (const auto& row : rows) {
        Harness h;
        h.form->Text1->setText(u"石の上にも\r\n三年"_qs);
        h.form->mSpeakTest->setEnabled(false);
        select(h.form->Text1, row.from, row.to);
        if (QByteArray(row.clipboard) != "-")
            h.clipboard.content = QString::fromUtf8(row.clipboard);
        if (QByteArray(row.command) == "copy") h.form->mCopy_Click();
        if (QByteArray(row.command) == "cut") h.form->mCut_Click();
        if (QByteArray(row.command) == "paste") h.form->mPaste_Click();
        QCOMPARE(h.form->Text1->text(), QString::fromUtf8(row.text));
        QCOMPARE(h.clipboard.content.value_or(u"-"_qs) +
                     (h.form->mSpeakTest->isEnabled() ? u" 1"_qs : u" 0"_qs),
                 QString::fromUtf8(row.after));
    }

    // The desktop clipboard has LF line breaks; the editor has CR LF.
    platform::QtClipboard desktop;
    desktop.setText(u"a\r\nb"_qs);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"a\nb"_qs);
    QGuiApplication::clipboard()->setText(u"x\ny\r\nz\rw"_qs);
    QCOMPARE(desktop.text(), u"x\r\ny\r\nz\r\nw"_qs);
}

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
