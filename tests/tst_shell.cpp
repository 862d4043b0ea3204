// The main window as a user meets it: start-up, menus and their states, dialogs,
// clipboard commands.
#include <QClipboard>
#include <fstream>

#include "app/Module1.h"
#include "harness.h"
#include "platform/qtservices.h"

#ifdef VEKEDIT_FONTS_CONF
// Before Qt first looks for a font.
static const bool secondGothic = qputenv("FONTCONFIG_FILE", VEKEDIT_FONTS_CONF);
#endif

class ShellTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    // A cursor of its own, so that using it moves no one else's.
    static QTextCursor span(TextBox* box, int from, int to) {
        QTextCursor c(box->document());
        c.setPosition(from), c.setPosition(to, QTextCursor::KeepAnchor);
        return c;
    }

  private Q_SLOTS:
    void initTestCase() {
        nameApplication(), installFontSubstitutes();  // as the start procedure does
        // The dock matches the window with the desktop entry the package installs.
        QVERIFY(QFile::exists(VEKEDIT_SOURCE_DIR "/data/" + QGuiApplication::desktopFileName() +
                              ".desktop"));
        writeBytes(path("two.dat"), "one\r\ntwo\r\n");
        writeBytes(path("linux.txt"), u"一\n二\n"_s.toUtf8());
    }
    // QTemporaryDir cannot remove a name that is not UTF-8.
    void cleanupTestCase() { QProcess::execute(u"rm"_s, {u"-rf"_s, dir.path()}); }
    // The Qt dialogs behind the services, as the user meets them: the save dialog with its
    // title, its filters, the first one chosen and the file last opened, never asking before
    // it replaces one; a question, where Enter gives the default button and Esc the last.
    void realDialogs() {
        Harness h;
        h.open(path("two.dat"));
        h.form->mSave_Click();
        h.form->mAbout_Click();
        QStringList seen;
        const auto next = [&](const std::function<void(QWidget*)>& act) {
            QTimer::singleShot(0, [act] { act(QApplication::activeModalWidget()); });
        };
        const auto look = [&](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            QStringList shown;  // the file types as the dialog lists them
            auto* types = d->findChild<QComboBox*>(u"fileTypeCombo"_s);
            for (int i = 0; types && i < types->count(); ++i) shown << types->itemText(i);
            seen << d->windowTitle() << shown << d->nameFilters()
                 << (types ? types->currentText() : u"?"_s) << QString::number(d->acceptMode())
                 << d->selectedFiles().value(0)
                 << QString::number(d->testOption(QFileDialog::DontConfirmOverwrite))
                 << QString::number(d->fileMode());  // any name, also a new one
            d->reject();
        };
        next(look);
        QVERIFY(!platform::QtFileDialogs().showOpen(nullptr, h.dialogs.requests.first().second));
        next(look);
        QVERIFY(!platform::QtFileDialogs().showSave(nullptr, h.dialogs.requests.last().second));
        // The About box: the title before the '#', the program line after it, the system's
        // line, the credits; and the window's icon.
        next([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            // The system's line names Qt's version and the system's full name.
            seen << box->windowTitle()
                 << box->text().remove(u"\nQt "_s + qVersion() + u" / "_s +
                                       QSysInfo::prettyProductName())
                 << QString::number(box->iconPixmap().width());
            box->close();
        });
        const QStringList about = h.about.shown.value(0).split(u'|');
        platform::QtAboutBox().show(nullptr, about.value(0), about.value(1), h.form->windowIcon());
        QCOMPARE(seen, (QStringList{"格言・名言データファイルを開く",
                                    "vekシリーズデータ(vek.dat)",
                                    "vekシリーズデータ(*.xpd,*.xpt)",
                                    "テキストファイル(*.txt)",
                                    "すべてのファイル(*.*)",
                                    "vekシリーズデータ(vek.dat) (vek.dat)",
                                    "vekシリーズデータ(*.xpd,*.xpt) (*.xp*)",
                                    "テキストファイル(*.txt) (*.txt)",
                                    "すべてのファイル(*.*) (*)",
                                    "vekシリーズデータ(vek.dat)",
                                    "0",
                                    QDir::homePath(),
                                    "1",
                                    "0",
                                    "格言・名言データファイルを保存します",
                                    "vekシリーズデータ ファイル (vek.dat)",
                                    "テキストファイル (*.txt)",
                                    "すべてのファイル (*.*)",
                                    "vekシリーズデータ ファイル (vek.dat) (vek.dat)",
                                    "テキストファイル (*.txt) (*.txt)",
                                    "すべてのファイル (*.*) (*)",
                                    "vekシリーズデータ ファイル (vek.dat)",
                                    "1",
                                    path("two.dat"),
                                    "1",
                                    "0",
                                    "vekEdit のバージョン情報",
                                    "vekEdit / 格言・名言Editor\n\nCopyright (C) 2026 the vekEdit "
                                    "developers\nSpecial thanks to IBM Voiceland Staff\n"
                                    "        https://open-jtalk.sourceforge.net/",
                                    "32"}));
        QCOMPARE(about.size(), 2);  // no "no icon"
        // The first dialog of the run starts in the home folder.
        const platform::FileDialogRequest& first = h.dialogs.requests.first().second;
        QCOMPARE(first.initDir + first.fileName, QDir::homePath());
        // Each box: its caption and icon.
        QStringList boxes;
        const auto boxSeen = [&](QWidget* w) {
            boxes << w->windowTitle() + QString::number(qobject_cast<QMessageBox*>(w)->icon());
            QTest::keyClick(w, Qt::Key_Return);
        };
        next(boxSeen);
        QCOMPARE(platform::QtMessageBox().ask(nullptr, u"?"_s, {"a", "b", "c"}, 1), 1);
        next(boxSeen), platform::QtMessageBox().inform(nullptr, u"i"_s);
        next(boxSeen), platform::QtMessageBox().warn(nullptr, u"w"_s);
        QCOMPARE(boxes, (QStringList{u"vekEdit"_s + QString::number(QMessageBox::Question),
                                     u"vekEdit"_s + QString::number(QMessageBox::NoIcon),
                                     u"vekEdit"_s + QString::number(QMessageBox::Warning)}));
        next([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
        QCOMPARE(platform::QtMessageBox().ask(nullptr, u"?"_s, {"a", "b", "c"}, 1), 2);
        // The desktop clipboard has LF line breaks; the editor has CR LF.
        platform::QtClipboard desktop;
        desktop.setText(u"a\r\nb"_s);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"a\nb"_s);
        QGuiApplication::clipboard()->setText(u"x\ny\r\nz\rw"_s);
        QCOMPARE(desktop.text(), u"x\r\ny\r\nz\r\nw"_s);
    }
    void commandStates_data();
    void commandStates();
    void startUp_data();
    void startUp();
    void qtOptionsAreNames();

    void dialogsReadAlongAndInputMethods() {
        Harness h;
        TextBox* box = h.form->Text1;
        box->setText(u"石の上にも三年\r\n急がば回れ"_s);
        const auto mark = [&] { return box->extraSelections().value(0).cursor.selectedText(); };
        // A selection read across a line end: spans count from its start; the last one, with
        // no line end after it, is marked too.
        box->setTextCursor(span(box, 13, 5));  // made backwards
        h.form->mSpeakTest_Click();
        Q_EMIT h.speeches.at(0)->playing(6, 2);
        QCOMPARE(mark(), u"ば回"_s);
        Q_EMIT h.speeches.at(0)->playing(4, 5);
        QCOMPARE(mark(), u"急がば回れ"_s);
        box->setTextCursor(span(box, 7, 13));  // begun with a line end
        h.form->mSpeakTest_Click();
        Q_EMIT h.speeches.at(0)->playing(2, 3);
        QCOMPARE(mark(), u"急がば"_s);
        box->setTextCursor(span(box, 0, 0));
        h.form->mSpeakTest_Click();
        box->setTextCursor(span(box, 2, 4));     // the user's own selection stays as it is
        span(box, 13, 13).insertText(u"Y"_s);    // typed after the line before it is heard
        Q_EMIT h.speeches.at(0)->playing(9, 5);  // after a CR LF, one position in the document
        QCOMPARE(mark(), u"急がば回れ"_s);
        QTextCursor(box->document()).insertText(u"XX"_s);  // an edit before it
        QCOMPARE(mark(), u"急がば回れ"_s);
        span(box, 0, 1).removeSelectedText();  // and one taken away
        QCOMPARE(mark(), u"急がば回れ"_s);
        const QTextCursor marked = box->extraSelections().value(0).cursor;
        span(box, marked.selectionEnd(), marked.selectionEnd()).insertText(u"Z"_s);  // and after
        QCOMPARE(mark(), u"急がば回れ"_s);
        // A tint of the highlight: the words stay readable.
        const QColor tint = box->extraSelections().value(0).format.background().color();
        QCOMPARE(tint.rgb(), box->palette().color(QPalette::Highlight).rgb());
        QCOMPARE_LT(tint.alpha(), 128);
        Q_EMIT h.speeches.at(0)->playing(0, 7);
        QCOMPARE(mark(), u"石の上にも三年"_s);
        QCOMPARE(box->textCursor().selectedText(), u"上に"_s);
        // Its words go, and so does the mark, also after a character typed right before them,
        // and not to come back on what is typed in their place.
        span(box, 1, 1).insertText(u"W"_s);
        span(box, 2, 9).removeSelectedText();
        span(box, 2, 2).insertText(u"V"_s);
        QCOMPARE(mark(), QString());
        // Words not yet heard, typed over: their turn marks nothing, not what took their place.
        box->document()->find(u"急がば回れ"_s).insertText(u"新しい"_s);
        Q_EMIT h.speeches.at(0)->playing(9, 5);
        QCOMPARE(mark(), QString());
        Q_EMIT h.speeches.at(0)->playing(8, 5);
        h.form->mStop_Click();
        QCOMPARE(mark(), QString());

        // The view follows the mark; scrolled elsewhere by the user, it stays until the mark is
        // back in view. Lines of 7 characters and CR LF: line n is at 9 n.
        h.form->show();
        box->setText(u"一行七文字の句\r\n"_s.repeated(500));
        h.form->mSpeakTest_Click();
        QScrollBar* bar = box->verticalScrollBar();
        const auto hear = [&](int line) {
            return Q_EMIT h.speeches.at(0)->playing(9 * line, 7), bar->value();
        };
        // Lines wholly in view, counted as the view counts them: in the font's line spacing.
        const int whole = box->viewport()->height() / box->fontMetrics().lineSpacing();
        const auto shown = [&](int line) {  // with lines above it, out of view before
            const int top = hear(line);
            return top < line && line < top + whole;
        };
        QVERIFY(shown(300));
        const int top = bar->value();
        QCOMPARE(hear(top), top);  // the top line is in view
        bar->setValue(0);          // the user
        QCOMPARE(hear(320), 0);
        QCOMPARE(hear(2), 0);  // back in view: followed again
        QVERIFY(shown(400));
        bar->setValue(0);
        h.form->mSpeakTest_Click();  // a new Start follows again
        QVERIFY(shown(300));
        // From the top, the first line not whole in view is followed.
        bar->setValue(0), hear(0);
        QCOMPARE(hear(whole - 1), 0);
        QCOMPARE_GT(hear(whole), 0);
        // The same for words after a line break within a phrase.
        box->setText(u"一行七文字の句\r\n"_s.repeated(whole - 1) + u"一行七文字の句\n一行"_s);
        h.form->mSpeakTest_Click();
        bar->setValue(0);
        QCOMPARE(hear(whole - 1), 0);
        Q_EMIT h.speeches.at(0)->playing(9 * whole - 1, 2);
        QCOMPARE_GT(bar->value(), 0);
        // Many lines pasted by Edit > Paste, or by the text box's own menu, bring the cursor
        // into view.
        h.form->mStop_Click(), bar->setValue(0), box->moveCursor(QTextCursor::Start);
        h.clipboard.content = u"句\r\n"_s.repeated(50);
        h.form->mPaste_Click();
        QVERIFY(box->viewport()->rect().contains(box->cursorRect().center()));
        bar->setValue(0);
        QGuiApplication::clipboard()->setText(*h.clipboard.content);
        const qsizetype before = box->toPlainText().size();
        box->paste();
        QCOMPARE(box->toPlainText().size(), before + 100);
        QVERIFY(box->viewport()->rect().contains(box->cursorRect().center()));

        // Sideways, along a second line longer than the view, the same.
        box->setText(QString(1000, u'句') + u"\r\n"_s + QString(3000, u'横'));
        h.form->mSpeakTest_Click();
        const auto seen = [&](int at) {  // at in the second line
            Q_EMIT h.speeches.at(0)->playing(1002 + at, 5);
            const QRect r = box->cursorRect(span(box, 1001 + at, 1001 + at));
            return box->viewport()->rect().contains(r.center());
        };
        QVERIFY(seen(2000));
        box->horizontalScrollBar()->setValue(0);  // the user
        QVERIFY(!seen(2500));
        QVERIFY(seen(1) && seen(2500));  // back in view: followed again
        // From the start, words that begin in the view's last eighth are brought further in.
        box->horizontalScrollBar()->setValue(0), seen(0);
        seen(box->viewport()->width() * 15 / 16 / box->fontMetrics().horizontalAdvance(u'横'));
        QCOMPARE_GT(box->horizontalScrollBar()->value(), 0);

        // A composition in progress or cancelled is no change of the text; a committed one is.
        h.form->setWindowTitle(u"probe"_s);
        QInputMethodEvent preedit(u"き"_s, {}), cancel, commit;
        commit.setCommitString(u"木"_s);
        for (QInputMethodEvent* e : {&preedit, &cancel}) QApplication::sendEvent(box, e);
        QCOMPARE(h.form->windowTitle(), u"probe"_s);
        QApplication::sendEvent(box, &commit);
        QCOMPARE(h.form->windowTitle(), u"vekEdit"_s);
    }
};

void ShellTest::commandStates_data() {
    // Steps on a fresh window ("yes", "no", "keep": the answer to the next question, 保存,
    // 保存しない or キャンセル; else the default); then New, Clear, Start, Pause, Stop as 0/1, the
    // caption, whether paused, the speech calls of the last step (voices as their index), a ? for
    // each question, the text, whether the window closed, a file was saved, the clipboard text if
    // any and an open menu. Commands are picked by their menu caption, so a disabled one does
    // nothing.
    QTest::addColumn<QString>("expected");
    const char* rows[][2] = {
        {"type erase", "11100 vekEdit | | []"},
        {"paste", "00100 vekEdit | | []"},  // from an empty clipboard into an empty box
        {"open type", "11100 vekEdit | | [aone\r\ntwo\r\n]"},
        {"cancel", "00000 vekEdit | | []"},
        {"copy cut save about", "00000 vekEdit | | [] saved clip:"},  // copying nothing empties it
        {"type voice1 start", "11111 vekEdit | Voice:1 Stop SetText:a Play | [a]"},
        // An unknown voice: the engine keeps its own.
        {"type voice7 start", "11111 vekEdit | Stop SetText:a Play | [a]"},
        {"type select start", "11111 vekEdit | Voice:0 Stop SetText:b\r\n  Play | [ab\r\n c]"},
        {"type select sel:1:2 start", "11111 vekEdit | Voice:0 Stop SetText:b Play | [ab\r\n c]"},
        {"type start erase start", "11111 vekEdit | | []"},  // nothing to read: nothing at all
        {"type start pause pause", "11111 vekEdit | Resume | [a]"},
        {"type start pause stop", "11101 vekEdit paused | Stop | [a]"},
        {"type start pause stop start", "11111 vekEdit | Voice:0 Stop SetText:a Play | [a]"},
        // Failed twice, the second time untold (a ! for each told): Esc is not Stop's. Told
        // again once sound was heard between.
        {"type broken start start k:Esc", "11111 vekEdit | | ![a]"},
        {"type broken start heard start", "11111 vekEdit | Voice:0 Stop SetText:a Play | !![a]"},
        {"type start close", "11101 vekEdit | Stop | ?[a] closed saved"},  // asks, saves, stops
        {"type keep new", "11100 vekEdit | | ?[a]"},  // キャンセル keeps the edits
        {"type new", "11000 vekEdit | | ?[] saved"},  // 保存, the default, saves first
        {"type save new", "11000 vekEdit | | [] saved"},
        {"type keep open", "11100 vekEdit | | ?[a]"},
        {"type no open", "11100 vekEdit 3 フレーズ | | ?[one\r\ntwo\r\n]"},
        {"open new", "11000 vekEdit | | []"},  // nothing to lose: no question
        // Blanks are something to lose.
        {"clip:\u3000\r\n\t paste keep new", "11100 vekEdit | | ?[\u3000\r\n\t] clip:\u3000\r\n\t"},
        {"open clear end", "11000 vekEdit | Stop | [] closed"},  // nor in an emptied text
        {"type no new open", "11100 vekEdit 3 フレーズ | | ?[one\r\ntwo\r\n]"},
        // Back to the text as it was loaded: no question.
        {"open type erase end", "11100 vekEdit | Stop | [one\r\ntwo\r\n] closed"},
        {"open type undo close", "11100 vekEdit | Stop | [one\r\ntwo\r\n] closed"},
        {"type keep close", "11100 vekEdit | | ?[a]"},
        {"open sel:6:7 type keep end", "11100 vekEdit | | ?[one\r\ntwa\r\n]"},  // the same length
        {"type clear undo", "11100 vekEdit | | [a]"},  // Clear asks nothing; Ctrl+Z
        // Typed back to the text opened, but not to the one saved since: asked.
        {"open type save erase new", "11000 vekEdit | | ?[] saved"},
        {"type no new undo", "11100 vekEdit | | ?[a]"},
        // Keys: each runs its command when enabled, and nothing when not.
        {"type k:F5", "11111 vekEdit | Voice:0 Stop SetText:a Play | [a]"},
        {"type k:F5 k:F6", "11111 vekEdit paused checked | Pause | [a]"},
        {"type k:F5 k:Esc", "11101 vekEdit | Stop | [a]"},
        {"type k:F5 k:Esc k:Esc", "11101 vekEdit | | [a]"},  // Esc only while reading
        {"k:F5 k:F6", "00000 vekEdit | | []"},
        {"type no k:Ctrl+N", "11000 vekEdit | | ?[]"},
        {"type no k:Ctrl+O", "11100 vekEdit | | ?[a]"},  // the dialog answered: saved.dat
        {"k:Ctrl+S", "00000 vekEdit | | [] saved"},
        {"type no k:Ctrl+Q", "11100 vekEdit | Stop | ?[a] closed"},
        // The reading ended by itself: Esc stops nothing, Pause is no longer shown checked.
        {"type start done k:Esc", "11111 vekEdit | | [a]"},
        {"type start pause done", "11111 vekEdit paused | | [a]"},
        {"type fail new", "11100 vekEdit | | ?[a]"},     // 保存, which failed: the text stays
        {"type cancel new", "11100 vekEdit | | ??[a]"},  // 保存, its dialog cancelled: the same
        {"type k:Alt+F", "11100 vekEdit | | [a] menu"},  // types nothing
        {"type no k:F10 k:N", "11000 vekEdit | | ?[]"},  // F10 opens the File menu
        {"poem sel:1:5 k:Alt+E k:T", "11100 vekEdit | | [石\r\n三年] clip:の上にも"},
        {"type k:F5 k:Alt+S k:T", "11101 vekEdit | Stop | [a]"},  // Stop by its own key
        {"type k:Alt+S k:S", "11111 vekEdit | Voice:0 Stop SetText:a Play | [a]"},  // Start, alone
        // Cutting nothing keeps the clipboard; a lone LF pasted stays, a Unicode line or
        // paragraph separator ends a line; pasting no text still deletes the selection.
        {"poem sel:2:7 clip:x copy", "11000 vekEdit | | [石の上にも\r\n三年] clip:上にも\r\n三"},
        {"poem sel:1:1 clip:x cut", "11000 vekEdit | | [石の上にも\r\n三年] clip:x"},
        {"poem clip:A\r\nB\nC\u2028D\u2029E sel:1:1 paste",
         "11100 vekEdit | | [石A\r\nB\nC\r\nD\r\nEの上にも\r\n三年] clip:A\r\nB\nC\u2028D\u2029E"},
        {"poem sel:0:2 paste", "11100 vekEdit | | [上にも\r\n三年]"},
        // One Ctrl+Z undoes all of a paste over a selection.
        {"poem clip:x sel:0:2 paste undo", "11100 vekEdit | | [石の上にも\r\n三年] clip:x"},
    };
    for (const auto& [steps, expected] : rows) QTest::newRow(steps) << QString::fromUtf8(expected);
}

void ShellTest::commandStates() {
    QFETCH(QString, expected);
    const QString steps = QString::fromUtf8(QTest::currentDataTag());
    const QMap<QString, QString> keys = {{"type", "A"}, {"erase", "Backspace"}, {"undo", "Ctrl+Z"}};
    Harness h;
    TextBox* box = h.form->Text1;
    h.form->show();
    QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
    bool failing = false, cancelling = false;
    for (QString step : steps.split(u' ', Qt::SkipEmptyParts)) {
        // Saves go to saved.dat, or after "fail" to a folder that does not exist; after
        // "cancel" every dialog is cancelled.
        h.dialogs.answer = path(failing ? "no/saved.dat" : "saved.dat"), h.speeches.at(0)->take();
        cancelling = cancelling || step == u"cancel";
        if (cancelling) h.dialogs.answer.reset();
        // The answer to the next question: 保存, 保存しない or キャンセル.
        if (const int a = QStringList{"yes", "no", "keep"}.indexOf(step); a >= 0)
            h.messages.answers = {a};
        if (step == u"open") h.dialogs.answer = path("two.dat");
        failing = failing || step == u"fail";
        if (step == u"done") h.speeches.at(0)->finish();
        if (step == u"heard") Q_EMIT h.speeches.at(0)->playing(0, 1);
        h.speeches.at(0)->broken |= step == u"broken";
        for (QAction* a : h.form->findChildren<QAction*>())
            if (a->text().remove(u'&').compare(step, Qt::CaseInsensitive) == 0) a->trigger();
        // Keys as the user presses them: on the text box, or ("k:") on the window or its open
        // menu.
        const QKeySequence key(keys.value(step, step.section(u"k:"_s, 1)));
        if (QWidget* menu = QApplication::activePopupWidget())
            QTest::keySequence(menu, key);
        else
            QTest::keySequence(h.form->windowHandle(), key);
        if (step == u"cancel") h.form->mOpen_Click();
        if (step.startsWith(u"voice")) h.settings.iVoice = qint16(step.mid(5).toInt());
        if (step == u"close") h.form->windowHandle()->close();
        // Clipboard commands start on a poem with Start disabled, to see which count as a
        // change.
        if (step == u"poem")
            box->setText(u"石の上にも\r\n三年"_s), h.form->mSpeakTest->setEnabled(false);
        if (step == u"select") box->setText(u"ab\r\n c"_s), step = u"sel:1:4"_s;
        if (step.startsWith(u"sel:"))
            box->setTextCursor(span(box, step[4].digitValue(), step[6].digitValue()));
        if (step.startsWith(u"clip:")) h.clipboard.content = step.mid(5);
    }
    QString got = steps + u" -> "_s + h.flags() + ' ' + h.form->windowTitle() +
                  (h.form->bPause ? " paused" : "") +
                  (h.form->mPause->isChecked() ? " checked |" : " |");
    // The speech calls without their "Speech".
    for (const QString& call : h.speeches.at(0)->calls) got += ' ' + call.mid(6);
    got += " | " + QString(h.messages.events.filter("ask:").size(), '?') +
           QString(h.messages.events.filter(u"warn:読み上げ"_s).size(), '!') + '[' + box->text() +
           ']' + (h.form->isVisible() ? "" : " closed") +
           (QFile::remove(path("saved.dat")) ? " saved" : "");
    if (h.clipboard.content) got += " clip:" + *h.clipboard.content;
    if (QWidget* menu = QApplication::activePopupWidget()) got += " menu", menu->close();
    got.replace(platform::kVoice0, "0").replace(platform::kVoice1, "1");
    QCOMPARE(got, steps + u" -> "_s + expected);
}

// The argument; then text, flags, caption, and the messages ('+' once the window shows).
void ShellTest::startUp_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("expected");
    // A name in Shift-JIS bytes, as copied from a Windows disk, with half-width kana and
    // characters whose bytes look like overlong UTF-8 or beyond its last character or lead; and
    // a UTF-16 half written as UTF-8, not UTF-8 either.
    const QByteArray sjis = QFile::encodeName(dir.path()) +
                            "/\x8a\x69\x8c\xbe\xed\xa0\x80\xc0\xb2\xc4\xd9\xe0\x8a\x82\xa0"
                            "\xf0\x8a\x82\xa0\xf4\x90\x82\xa0\xf5\x80\x80\x80.dat";
    std::ofstream(sjis.constData(), std::ios::binary) << "ok\r\n";
    QTest::newRow("Shift-JIS name") << sjis << "ok\r\n 11100 vekEdit 2 フレーズ beep";
    QTest::newRow("none") << QByteArray() << " 00000 vekEdit ";
    std::ofstream(QFile::encodeName(path("bad.dat")).constData(), std::ios::binary) << "a\x80\r\n";
    QTest::newRow("a file with a byte not CP932, warned of")
        << QFile::encodeName(path("bad.dat"))
        << u"a"_s + QChar(0xDC80) + u"\r\n 11100 vekEdit 2 フレーズ beep+warn"_s;
    QTest::newRow("file") << QFile::encodeName(path("two.dat"))
                          << "one\r\ntwo\r\n 11100 vekEdit 3 フレーズ beep";
    // Characters of three bytes of UTF-8 up to the last lead, and past U+FFFF from the first on.
    QTest::newRow("a name that ends in Japanese")
        << QFile::encodeName(path("無い山\uFA11Ａ\U00010000\U0001F600\U0002000Bデータ"))
        << " 00000 vekEdit +warn";
    QTest::newRow("quotes are part of the name")
        << '"' + QFile::encodeName(path("two.dat")) + '"' << " 00000 vekEdit +warn";
    QTest::newRow("asked how to open it, as Open asks; converted, the default")
        << QFile::encodeName(path("linux.txt")) << "一\r\n二\r\n 11100 vekEdit 3 フレーズ askbeep";
    QTest::newRow("asked, cancelled")
        << QFile::encodeName(path("linux.txt")) << " 00000 vekEdit ask";
}

void ShellTest::startUp() {
    QFETCH(QByteArray, command);
    QFETCH(QString, expected);
    // Arguments are joined by single spaces, neither trimmed nor unquoted.
    const char* args[] = {"vekedit", "\"a b\"", " x ", "y"};
    QCOMPARE(commandLine(4, const_cast<char**>(args)), u"\"a b\"  x  y"_s);
    const char* argv[] = {"vekedit", command.constData()};
    Harness h(commandLine(command.isEmpty() ? 1 : 2, const_cast<char**>(argv)));
    if (QTest::currentDataTag() == "asked, cancelled"_ba) h.messages.answers = {2};
    h.form->Form_Load();
    const auto centred = [&] {
        const QPoint off = h.form->frameGeometry().center() - h.form->screen()->geometry().center();
        return off.manhattanLength() <= 2;
    };
    QVERIFY(h.form->isVisible() && centred());
    // Centred again once up, if its outer size changed meanwhile: a frame put round it.
    h.form->resize(h.form->size() + QSize(40, 30));
    QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
    QVERIFY(centred());
    h.form->resize(h.form->size() - QSize(40, 30));
    // Once only: moved and resized, it stays where it was put.
    h.form->move(h.form->pos() + QPoint(30, 20));
    h.form->resize(h.form->size() + QSize(40, 40));
    const QPoint put = h.form->pos();
    QTest::qWait(0), QCoreApplication::processEvents();
    QCOMPARE(h.form->pos(), put);
    h.form->resize(h.form->size() - QSize(40, 40));
    // Both scroll bars always there, whatever the lines.
    QVERIFY(h.form->Text1->horizontalScrollBar()->isVisible() &&
            h.form->Text1->verticalScrollBar()->isVisible());
    // Its text 7260 by 4755 twips, below the menus.
    const auto pixels = [](double twips, double dpi) {
        return int(std::lround(twips * dpi / 1440));
    };
    QCOMPARE(h.form->Text1->size(),
             QSize(pixels(7260, h.form->logicalDpiX()), pixels(4755, h.form->logicalDpiY())));
    QCOMPARE(localpath::toBytes(h.settings.sCommand), command);
    QCOMPARE(h.settings.sFontName, u"ＭＳ Ｐゴシック"_s);
    // Drawn with IPAPGothic, not whatever Qt picks for an unknown name, nor the other Japanese
    // gothic installed.
    QCOMPARE(QFontInfo(h.form->Text1->font()).family(), u"IPAPGothic"_s);
    QString got = h.form->Text1->text() + ' ' + h.flags() + ' ' + h.form->windowTitle() + ' ';
    for (int i = 0; i < h.messages.events.size(); ++i)
        got += (h.messages.windowShown[i] ? "+" : "") + h.messages.events[i].section(':', 0, 0);
    QCOMPARE(got, expected);
    // The name as given, where it is told.
    if (got.contains(u"warn") && command.isValidUtf8())
        QVERIFY(h.messages.events.last().contains(QString::fromUtf8(command)));
}

// Qt's own options are a file's name here: Qt taking "-platform nowhere" would give up at once.
void ShellTest::qtOptionsAreNames() {
    QProcess editor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    editor.setProcessEnvironment(env);
    editor.setWorkingDirectory(dir.path());
    editor.start(u"" VEKEDIT_PROGRAM ""_s, {u"-platform"_s, u"nowhere"_s});
    QVERIFY(editor.waitForStarted());
    // Up, its window made: the engine it starts ahead is there.
    const QString children = u"/proc/%1/task/%1/children"_s.arg(editor.processId());
    QTRY_VERIFY_WITH_TIMEOUT(
        editor.state() != QProcess::Running || !readBytes(children).trimmed().isEmpty(), 20000);
    QVERIFY2(editor.state() == QProcess::Running, editor.readAllStandardError().constData());
    editor.kill();
    editor.waitForFinished();
}

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
