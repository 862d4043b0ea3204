// The main window as a whole: start-up, menus and their states, dialogs, About.
#include <unistd.h>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/Module1.h"
#include "fakes.h"
#include "platform/localpath.h"
#include "platform/qtservices.h"
#include "testutil.h"

class ShellTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

  private Q_SLOTS:
    void initTestCase() {
        installFontSubstitutes();  // as the start procedure does, before any window
        writeBytes(path("two.dat"), "one\r\ntwo\r\n");
    }
    void menuDesign();
    void commandStates_data();
    void commandStates();
    void startWithoutFile();
    void startWithFile();
    void startWithUnreadableFile();
    void commandLineTakenWhole();
    void windowGeometry();
    void dialogsCarryTheFileName();
    void qtFileDialogShowsExactFilters();
    void aboutBox();
};

void ShellTest::menuDesign() {
    Harness h;
    QStringList seen;
    for (QAction* top : h.form->menuBar()->actions()) {
        seen << top->objectName() + u'=' + top->text();
        for (QAction* item : top->menu()->actions()) {
            seen << u"  "_qs + item->objectName() + u'=' +
                        (item->isSeparator() ? u"-"_qs : item->text()) +
                        (item->isEnabled() ? u""_qs : u" (off)"_qs);
            QVERIFY(item->shortcut().isEmpty() && !item->isCheckable() && item->isVisible());
        }
    }
    const QStringList expected{
        "mFile=File",           "  mNew=New (off)",   "  mBlankF=-",
        "  mOpen=Open",         "  mSave=Save",       "  mBlankF2=-",
        "  mEnd=End",           "mEdit=Edit",         "  mCopy=Copy",
        "  mCut=Cut",           "  mPaste=Paste",     "  mBlankE=-",
        "  mClear=Clear (off)", "mSpeak=Speak",       "  mSpeakTest=Start (off)",
        "  mPause=Pause (off)", "  mStop=Stop (off)", "  mBlank2=-",
        "  mSetting=Setting",   "mHelp=Help",         "  mAbout=About"};
    QCOMPARE(seen, expected);
    QCOMPARE(h.form->windowTitle(), u"vekEdit"_qs);
    QCOMPARE(h.form->Text1->font().family(), u"ＭＳ Ｐゴシック"_qs);
    QCOMPARE(h.form->Text1->font().pointSize(), 12);
    QCOMPARE(h.form->Text1->lineWrapMode(), QPlainTextEdit::NoWrap);
    const QString drawnWith = QFontInfo(h.form->Text1->font()).family();
    QVERIFY2(drawnWith == u"IPAPGothic" || drawnWith == u"Noto Sans CJK JP", qPrintable(drawnWith));
}

// Each row runs its steps on a fresh window: New, Clear, Start, Pause, Stop and the caption after.
void ShellTest::commandStates_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QString>("caption");
    QTest::newRow("fresh window") << ""
                                  << "00000"
                                  << "vekEdit";
    QTest::newRow("typing") << "type"
                            << "11100"
                            << "vekEdit";
    QTest::newRow("typing then erasing all") << "type erase"
                                             << "11100"
                                             << "vekEdit";
    QTest::newRow("clear") << "type clear"
                           << "11000"
                           << "vekEdit";
    QTest::newRow("new") << "type new"
                         << "11000"
                         << "vekEdit";
    QTest::newRow("paste from an empty clipboard") << "paste"
                                                   << "00100"
                                                   << "vekEdit";
    QTest::newRow("open") << "open"
                          << "11100"
                          << "vekEdit 3 フレーズ";
    QTest::newRow("open then type") << "open type"
                                    << "11100"
                                    << "vekEdit";
    QTest::newRow("open then clear") << "open clear"
                                     << "11000"
                                     << "vekEdit";
    QTest::newRow("open cancelled") << "cancel"
                                    << "00000"
                                    << "vekEdit";
    QTest::newRow("open of a missing file") << "missing"
                                            << "00000"
                                            << "vekEdit";
    QTest::newRow("clear then missing") << "type clear missing"
                                        << "11000"
                                        << "vekEdit";
    QTest::newRow("copy, cut, save and About change nothing") << "copy cut save about"
                                                              << "00000"
                                                              << "vekEdit";
}

void ShellTest::commandStates() {
    QFETCH(QString, steps);
    QFETCH(QString, flags);
    QFETCH(QString, caption);
    Harness h;
    for (const QString& step : steps.split(u' ', Qt::SkipEmptyParts)) {
        h.dialogs.answer.reset();
        if (step == u"type") QTest::keyClicks(h.form->Text1, u"a"_qs);
        if (step == u"erase") QTest::keyClick(h.form->Text1, Qt::Key_Backspace);
        if (step == u"clear") h.form->mClear_Click();
        if (step == u"new") h.form->mNew_Click();
        if (step == u"paste") h.form->mPaste_Click();
        if (step == u"copy") h.form->mCopy_Click();
        if (step == u"cut") h.form->mCut_Click();
        if (step == u"about") h.form->mAbout_Click();
        if (step == u"cancel") h.form->mOpen_Click();
        if (step == u"open" || step == u"missing" || step == u"save") {
            h.dialogs.answer = path(step == u"missing" ? u"missing.dat"_qs
                                    : step == u"save"  ? u"saved.dat"_qs
                                                       : u"two.dat"_qs);
            step == u"save" ? h.form->mSave_Click() : h.form->mOpen_Click();
        }
    }
    QCOMPARE(h.flags(), flags);
    QCOMPARE(h.form->windowTitle(), caption);
}

void ShellTest::startWithoutFile() {
    Harness h;
    h.form->Form_Load();
    QVERIFY(h.form->isVisible());
    QCOMPARE(h.form->windowTitle(), u"vekEdit"_qs);
    QCOMPARE(h.flags(), u"00000"_qs);
    QCOMPARE(h.messages.events, QStringList());
    QCOMPARE(h.settings.sFontName, u"ＭＳ Ｐゴシック"_qs);
}

void ShellTest::startWithFile() {
    Harness h(path("two.dat"));
    h.form->Form_Load();
    QCOMPARE(h.form->Text1->text(), u"one\r\ntwo\r\n"_qs);
    QCOMPARE(h.form->windowTitle(), u"vekEdit 3 フレーズ"_qs);
    QCOMPARE(h.messages.events, QStringList{"beep"});
    QCOMPARE(h.messages.ownerVisible, QList<bool>{false});  // the beep comes before the window
    QVERIFY(h.form->isVisible());
    QVERIFY(h.form->mSpeakTest->isEnabled());
    QCOMPARE(h.settings.sFontName, u"ＭＳ Ｐゴシック"_qs);
}

void ShellTest::startWithUnreadableFile() {
    Harness h(u"\""_qs + path("two.dat") + u"\""_qs);  // quotes are part of the name
    h.form->Form_Load();
    QVERIFY(h.form->isVisible());
    QCOMPARE(h.form->Text1->text(), QString());
    QCOMPARE(h.flags(), u"00000"_qs);
    QCOMPARE(h.settings.sFontName, u"ＭＳ Ｐゴシック"_qs);
    QCOMPARE(h.messages.events.size(), 1);
    QVERIFY(h.messages.events[0].startsWith(u"warn:ファイルを開けませんでした。"_qs));
    QCOMPARE(h.messages.ownerVisible, QList<bool>{true});
}

void ShellTest::commandLineTakenWhole() {
    const char* args1[] = {"vekedit", "my", "phrases.dat"};
    QCOMPARE(commandLine(3, const_cast<char**>(args1)), u"my phrases.dat"_qs);
    const char* args2[] = {"vekedit", "\"a b\"", " x "};
    QCOMPARE(commandLine(3, const_cast<char**>(args2)), u"\"a b\"  x "_qs);
    const char* args3[] = {"vekedit"};
    QCOMPARE(commandLine(1, const_cast<char**>(args3)), QString());

    // A name in the old Shift-JIS bytes, as copied from a Windows disk.
    const QByteArray name = QFile::encodeName(dir.path()) + "/\x8a\x69\x8c\xbe.dat";
    {
        FILE* out = std::fopen(name.constData(), "wb");
        QVERIFY(out);
        std::fputs("ok\r\n", out);
        std::fclose(out);
    }
    const char* args4[] = {"vekedit", name.constData()};
    const QString command = commandLine(2, const_cast<char**>(args4));
    QCOMPARE(localpath::toBytes(command), name);
    Harness h(command);
    h.form->Form_Load();
    QCOMPARE(h.form->Text1->text(), u"ok\r\n"_qs);
    ::unlink(name.constData());  // QTemporaryDir cannot name it either
}

void ShellTest::windowGeometry() {
    Harness h;
    h.form->Form_Load();
    const double dpi = h.form->logicalDpiX();
    QCOMPARE(h.form->Text1->size(), QSize(qRound(7260 * dpi / 1440), qRound(4755 * dpi / 1440)));
    const QRect screen = h.form->screen()->geometry();
    QVERIFY(qAbs(h.form->frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(h.form->frameGeometry().center().y() - screen.center().y()) <= 1);

    h.form->resize(700, 500);
    QTRY_COMPARE(h.form->Text1->geometry().bottomRight(), h.form->rect().bottomRight());
    QCOMPARE(h.form->Text1->geometry().top(), h.form->menuBar()->geometry().bottom() + 1);
    QCOMPARE(h.form->Text1->x(), 0);
}

void ShellTest::dialogsCarryTheFileName() {
    Harness h;
    h.form->mOpen_Click();  // cancelled
    h.dialogs.answer = path("two.dat");
    h.form->mOpen_Click();
    h.dialogs.answer.reset();
    h.form->mSave_Click();
    QCOMPARE(h.dialogs.kinds, (QStringList{"open", "open", "save"}));
    const auto& r = h.dialogs.requests;
    QCOMPARE(r[0].title, u"格言・名言データファイルを開く"_qs);
    QCOMPARE(r[0].filter,
             u"vekシリーズデータ(vek.dat)|vek.dat|vekシリーズデータ(*.xpd,*.xpt)|*.xp*|"
             u"テキストファイル(*.txt)|*.txt|すべてのファイル(*.*)|*.*"_qs);
    QCOMPARE(r[0].filterIndex, 1);
    QCOMPARE(r[0].initDir, QDir::homePath());
    QCOMPARE(r[0].fileName, QString());
    QCOMPARE(r[1].fileName, QString());
    QCOMPARE(r[2].title, u"格言・名言データファイルを保存します"_qs);
    QCOMPARE(r[2].filter,
             u"vekシリーズデータ ファイル (vek.dat)|vek.dat|テキストファイル (*.txt)|"
             u"*.txt|すべてのファイル (*.*)|*.*"_qs);
    QCOMPARE(r[2].filterIndex, 1);
    QCOMPARE(r[2].fileName, path("two.dat"));
}

void ShellTest::qtFileDialogShowsExactFilters() {
    QTemporaryDir files;
    for (const char* name : {"vek.dat", "other.dat", "a.xpd", "b.xpt", "c.txt", "noext"})
        writeBytes(files.filePath(QString::fromLatin1(name)), "x");
    const QString filter =
        u"vekシリーズデータ(vek.dat)|vek.dat|vekシリーズデータ(*.xpd,*.xpt)|*.xp*|"
        u"テキストファイル(*.txt)|*.txt|すべてのファイル(*.*)|*.*"_qs;

    QStringList labels, listed[4];
    QString title;
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        title = dialog->windowTitle();
        auto* combo = dialog->findChild<QComboBox*>(u"fileTypeCombo"_qs);
        for (int i = 0; i < combo->count(); ++i) labels << combo->itemText(i);
        auto* view = dialog->findChild<QListView*>(u"listView"_qs);
        for (int f = 0; f < 4; ++f) {
            dialog->selectNameFilter(dialog->nameFilters()[f]);
            auto names = [&] {
                QStringList n;
                for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                    n << view->model()->index(row, 0, view->rootIndex()).data().toString();
                n.sort();
                return n;
            };
            // The view follows the filter a moment later.
            QTest::qWaitFor([&] { return names() != listed[qMax(f - 1, 0)] || f == 0; }, 3000);
            QTest::qWaitFor([&] { return !names().isEmpty(); }, 3000);
            listed[f] = names();
        }
        dialog->findChild<QLineEdit*>(u"fileNameEdit"_qs)->setText(u"typed"_qs);
        QMetaObject::invokeMethod(dialog, "accept");
        if (dialog->isVisible()) dialog->reject();
    });
    platform::QtFileDialogs dialogs;
    const auto chosen = dialogs.showSave(nullptr, {u"t"_qs, filter, 1, files.path(), QString()});

    QCOMPARE(title, u"t"_qs);
    QCOMPARE(labels, (QStringList{"vekシリーズデータ(vek.dat)", "vekシリーズデータ(*.xpd,*.xpt)",
                                  "テキストファイル(*.txt)", "すべてのファイル(*.*)"}));
    QCOMPARE(listed[0], QStringList{"vek.dat"});
    QCOMPARE(listed[1], (QStringList{"a.xpd", "b.xpt"}));
    QCOMPARE(listed[2], QStringList{"c.txt"});
    QCOMPARE(listed[3].size(), 6);
    QCOMPARE(chosen, std::optional<QString>(files.filePath(u"typed"_qs)));  // no extension added
}

void ShellTest::aboutBox() {
    Harness h;
    h.form->mAbout_Click();
    QCOMPARE(h.about.shown, 1);
    QCOMPARE(h.about.owner, h.form.get());
    QCOMPARE(h.about.appText, u"vekEdit のバージョン情報#vekEdit / 格言・名言Editor"_qs);
    const QStringList lines = h.about.otherText.split(u"\r\n"_qs);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].contains(u"vekEdit"_qs));
    QCOMPARE(lines[1], u"Special thanks to IBM Voiceland Staff"_qs);
    QVERIFY(lines[2].startsWith(u"        http"_qs));
    QCOMPARE(h.about.icon.pixmap(32, 32).toImage(), h.form->windowIcon().pixmap(32, 32).toImage());
    QVERIFY(!h.about.icon.isNull());
}

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
