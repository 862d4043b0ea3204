// The settings dialog against fake font dialog and speech, the Setting command that applies
// its font, and the Qt font chooser behind the font dialog.
#include "harness.h"
#include "platform/fontchooser.h"
#include "settings/Form2.h"

using platform::FontChoice;

namespace {

// Runs Setting; `inside` acts on the open dialog, which is then closed by its close box.
// Every opening is centred over the main window, starts in the design state and shows the
// stored font name; a new font is not a new text, so the window caption and commands stay.
void setting(Harness& h, const std::function<void(Form2&)>& inside = {}) {
    h.form->setWindowTitle(u"probe"_s);
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<Form2*>(QApplication::activeModalWidget());
        QVERIFY(d);
        const auto close = qScopeGuard([d] { d->close(); });  // also after a failed check
        const QPoint off = d->frameGeometry().center() - h.form->frameGeometry().center();
        QVERIFY2(off.manhattanLength() <= 2, "centred over the main window");
        QStyleOption drawn;  // as the style draws it: with its focus frame from the start
        drawn.initFrom(d->Option1[0]);
        QVERIFY(d->Option1[0]->isChecked() && d->focusWidget() == d->Option1[0] &&
                drawn.state.testFlag(QStyle::State_KeyboardFocusChange) &&
                d->Text1->font() == d->font() && d->Text1->isReadOnly());
        QCOMPARE(d->Frame2->title(), u"Font Select"_s);
        // The name shown from its beginning, where it does not fit.
        QCOMPARE(std::pair(d->Text1->text(), d->Text1->cursorPosition()),
                 std::pair(h.settings.sFontName, 0));
        if (inside) inside(*d);
    });
    h.form->mSetting_Click();
    QCOMPARE(h.form->windowTitle(), u"probe"_s);
    QCOMPARE(h.flags(), u"00000"_s);
}

// Effects as letters: B, I, U, S.
FontChoice font(float size, const QString& fx = {}, qint32 color = 0) {
    return {u"IPAPGothic"_s,   size, fx.contains(u'B'), fx.contains(u'I'), fx.contains(u'U'),
            fx.contains(u'S'), color};
}

// A font and colour in one line, so that one comparison shows every difference.
QString look(const FontChoice& c) {
    return c.name + ' ' + QString::number(c.size) + ' ' + (c.bold ? 'B' : '-') +
           (c.italic ? 'I' : '-') + (c.underline ? 'U' : '-') + (c.strikethrough ? 'S' : '-') +
           ' ' + platform::fromColorRef(c.color).name();
}
QString look(const QWidget* w) {
    const QFont f = w->font();
    return look({f.family(), float(f.pointSizeF()), f.bold(), f.italic(), f.underline(),
                 f.strikeOut(), platform::toColorRef(w->palette().color(QPalette::Text))});
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    // Voices, and before any font choice: the editor starts in its design font at 12 points, and
    // Setting turns it black and takes away bold, italic and underline; its name stays, size 0
    // is refused and its strikeout is never touched.
    void voicesAndNoFont() {
        Harness h;
        h.form->Form_Load();
        QCOMPARE(look(h.form->Text1), look({kDesignFontName, 12, false, false, false, false, 0}));
        h.form->move(-300, -200);  // centred over it all the same, partly off the screen
        QFont f(kDesignFontName, 20, QFont::Bold, true);
        f.setUnderline(true);
        f.setStrikeOut(true);
        h.form->Text1->setFont(f);
        QStringList heard;  // the dialog's speech calls and iVoice after each click
        setting(h, [&](Form2& d) {
            for (qint16 i : {0, 7, 1}) {
                i == 7 ? d.Option1_Click(i) : d.Option1[i]->click();
                heard += h.speeches[1]->take() << QString::number(h.settings.iVoice);
            }
            h.fonts.answers = {font(30)};  // Enter on a voice is no Select
            QTest::keyClick(d.Option1[1], Qt::Key_Return);
            QCOMPARE(h.fonts.answers.size(), 1);
            // An engine that cannot speak is told of once, whichever window's it is (the second
            // time, the dialog's alone), and again once sound was heard in between; another
            // trouble after it, at once.
            for (int outage = 0; outage < 2; ++outage, Q_EMIT h.speeches[1]->playing(0, 5)) {
                for (FakeSpeech* s : h.speeches)
                    if (!outage || s == h.speeches[1])
                        Q_EMIT s->errorOccurred(FakeSpeech::ErrorReason::Playback, u"no sound"_s);
                Q_EMIT h.speeches[0]->errorOccurred(FakeSpeech::ErrorReason::Engine,
                                                    u"no engine"_s);
            }
        });
        QCOMPARE(heard, (QStringList{"SpeechVoice:" + platform::kVoice0,
                                     "SpeechSay:こんにちは、読み秀君です", "0", "7",
                                     "SpeechVoice:" + platform::kVoice1,
                                     "SpeechSay:こんにちは、読み子ちゃんです", "1"}));
        const QStringList outage{u"warn:読み上げができません。\nno sound"_s,
                                 u"warn:読み上げができません。\nno engine"_s};
        QCOMPARE(h.messages.events, outage + outage);
        QCOMPARE(look(h.form->Text1), look({kDesignFontName, 20, false, false, false, true, 0}));
        // Reopened, it shows the first voice, though the second is still the one chosen.
        setting(h, [&](Form2& d) { QVERIFY(d.Option1[0]->isChecked() && h.settings.iVoice == 1); });
    }

    // A choice after one struck out, then a third one cancelled. The caption writes the size as
    // chosen; the editor takes whole points, a half to the even neighbour, and keeps its own
    // strikeout. Reopened without a choice, the stored font is applied again.
    void fonts_data() {
        QTest::addColumn<FontChoice>("choice");
        QTest::addColumn<QString>("size");
        QTest::addColumn<int>("stored");
        QTest::newRow("underline, strikeout, blue") << font(9, "US", 16711680) << "9" << 9;
        QTest::newRow("10.5 to 10") << font(10.5) << "10.5" << 10;
        QTest::newRow("11.5 to 12") << font(11.5) << "11.5" << 12;
        QTest::newRow("10.1, not 10.10000038") << font(10.1f) << "10.1" << 10;
        QTest::newRow("bold, red") << font(12, "B", 255) << "12" << 12;
        QTest::newRow("italic, struck out only") << font(14, "IS") << "14" << 14;
    }

    void fonts() {
        QFETCH(FontChoice, choice);
        QFETCH(QString, size);
        QFETCH(int, stored);
        Harness h;
        h.form->Form_Load();
        h.fonts.answers = {font(20, "S"), choice, std::nullopt};
        h.fonts.answers[0]->name = u"DejaVu Sans"_s;  // the sample then names the new family
        setting(h, [&](Form2& d) {
            for (int i = 0; i < 3; ++i) d.Command1->click();
            QCOMPARE(look(d.Text1), look(choice));
            QCOMPARE(std::pair(d.Text1->text(), d.Text1->cursorPosition()),
                     std::pair(choice.name, 0));
            QCOMPARE(d.Frame2->title(), u"Font Select : Size - %1 Points"_s.arg(size));
        });
        choice.size = float(stored);
        choice.strikethrough = false;
        QCOMPARE(look(h.form->Text1), look(choice));
        h.form->Text1->setFont(QFont(u"DejaVu Serif"_s, 30));
        setting(h);
        QCOMPARE(look(h.form->Text1), look(choice));
        QVERIFY(h.speeches[0]->calls.isEmpty());  // the main window's voice is not the dialog's
    }

    void chooserSizesAndColours() {
        platform::FontChooser chooser(nullptr, 259);
        QStringList named;  // each colour's name and what it gives, the sample in it
        const auto* sample = chooser.fonts()->findChild<QLineEdit*>(u"qt_fontDialog_sampleEdit"_s);
        for (int i = 0; i < chooser.colors()->count(); ++i) {
            chooser.colors()->setCurrentIndex(i);
            QCOMPARE(sample->palette().color(QPalette::Text),
                     platform::fromColorRef(chooser.choice().color));
            named << chooser.colors()->itemText(i) +
                         platform::fromColorRef(chooser.choice().color).name().mid(1);
        }
        QCOMPARE(named.join(u' '),
                 u"黒000000 栗色800000 緑008000 オリーブ808000 紺000080 "
                 u"紫800080 青緑008080 灰色808080 銀色c0c0c0 赤ff0000 "
                 u"ライム00ff00 黄ffff00 青0000ff 赤紫ff00ff 水色00ffff 白ffffff"_s);

        chooser.sizeEdit()->clear();
        QTest::keyClicks(chooser.sizeEdit(), u"10.5"_s);
        QCOMPARE(chooser.choice().size, 10.5f);
        // Another family keeps the typed half point. One the set-up installs: a machine's own
        // fonts may be listed with their foundry.
        auto* families = chooser.fonts()->findChild<QListView*>();
        const QModelIndexList ipa = families->model()->match(
            families->model()->index(0, 0), Qt::DisplayRole, u"IPAGothic"_s, 1, Qt::MatchExactly);
        families->setCurrentIndex(ipa.value(0));  // none: the name below is not IPAGothic
        QCOMPARE(chooser.choice().size, 10.5f);
        QCOMPARE(chooser.choice().name, u"IPAGothic"_s);

        // Each effect on its own, then both.
        const auto effects = chooser.fonts()->findChildren<QCheckBox*>();
        QStringList each;
        for (QCheckBox* effect : effects) {
            effect->click();
            each << QString::number(chooser.choice().underline) +
                        QString::number(chooser.choice().strikethrough);
            effect->click();
        }
        each.sort();
        QCOMPARE(each, (QStringList{"01", "10"}));
        for (QCheckBox* effect : effects) effect->click();
        QVERIFY(chooser.choice().underline && chooser.choice().strikethrough);
        // Bold and italic each from its own style: DejaVu Sans has all four; Medium is not bold,
        // and Z003's only style is Medium Italic (the set-up brings both; Z003 with its foundry).
        const auto styles = [&](const QString& family) {
            families->setCurrentIndex(families->model()
                                          ->match(families->model()->index(0, 0), Qt::DisplayRole,
                                                  u"^%1( \\[.*\\])?$"_s.arg(family), 1,
                                                  Qt::MatchRegularExpression)
                                          .value(0));
            QSet<QString> found;
            auto* styleList = chooser.fonts()->findChildren<QListView*>().value(1);
            for (int i = 0; i < styleList->model()->rowCount(); ++i) {
                styleList->setCurrentIndex(styleList->model()->index(i, 0));
                found << QString::number(chooser.choice().bold) +
                             QString::number(chooser.choice().italic);
            }
            return found;
        };
        QCOMPARE(styles(u"DejaVu Sans"_s), (QSet<QString>{"00", "01", "10", "11"}));
        QCOMPARE(styles(u"Z003"_s), (QSet<QString>{"01"}));
        // Alt+C moves to the colours; Esc in the fields where the focus starts cancels, as in
        // any dialog; Enter in the family list takes the font; キャンセル cancels.
        chooser.show();
        QVERIFY(QTest::qWaitForWindowActive(&chooser));
        QTest::keyClick(&chooser, Qt::Key_C, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), chooser.colors());
        QTest::keyClick(chooser.sizeEdit(), Qt::Key_Escape);
        QVERIFY(!chooser.isVisible() && chooser.result() == QDialog::Rejected);
        chooser.show();
        QTest::keyClick(families, Qt::Key_Return);
        QVERIFY(!chooser.isVisible() && chooser.result() == QDialog::Accepted);
        chooser.show();
        chooser.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
        QVERIFY(!chooser.isVisible() && chooser.result() == QDialog::Rejected);

        platform::FontChooser plain(nullptr, 3);  // no effects: no colour
        QVERIFY(!plain.colors() && plain.choice().color == 0);
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
