// The settings dialog against fake font dialog and speech, the Setting command that applies
// its font, and the Qt font chooser behind the font dialog.
#include <QCheckBox>
#include <QComboBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <functional>

#include "harness.h"
#include "platform/fontchooser.h"
#include "settings/Form2.h"
#include "settings/applyfont.h"

using platform::FontChoice;

namespace {

// Runs Setting; `inside` acts on the open dialog, which is then closed by its close box.
void setting(Harness& h, const std::function<void(Form2&)>& inside = {}) {
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<Form2*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        if (inside) inside(*dialog);
        dialog->close();
    });
    h.form->mSetting_Click();
}

FontChoice font(float size, bool bold, bool underline, bool strike, qint32 color) {
    return {u"IPAPGothic"_qs, size, bold, false, underline, strike, color};
}

// A font and colour in one line, so that one comparison shows every difference.
QString look(const FontChoice& c) {
    return u"%1 %2pt %3%4%5%6 %7"_qs.arg(c.name)
        .arg(c.size)
        .arg(QChar(c.bold ? u'B' : u'-'))
        .arg(QChar(c.italic ? u'I' : u'-'))
        .arg(QChar(c.underline ? u'U' : u'-'))
        .arg(QChar(c.strikethrough ? u'S' : u'-'))
        .arg(platform::fromColorRef(c.color).name());
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
    void voiceGreetsInTheDialogsOwnVoice();
    void fontChoice_data();
    void fontChoice();
    void cancelKeepsTheFirstChoice();
    void chooserSizesAndColours();
};

void SettingsTest::voiceGreetsInTheDialogsOwnVoice() {
    Harness h;
    h.form->Form_Load();
    h.fonts.answers = {font(12, true, false, false, 255)};
    QStringList heard;  // the dialog's speech calls and iVoice after each click
    setting(h, [&](Form2& d) {
        QVERIFY(d.Option1[0]->isChecked());
        QCOMPARE(d.Text1->text(), kDesignFontName);
        for (qint16 i : {1, 7, 0}) {
            i == 7 ? d.Option1_Click(i) : d.Option1[i]->click();
            heard << h.speeches[1]->take().join(u' ') + u' ' + QString::number(h.settings.iVoice);
        }
        d.Command1->click();
        // An engine that cannot speak is told of, once a run, whichever window's it is.
        for (FakeSpeech* speech : h.speeches)
            Q_EMIT speech->errorOccurred(platform::SpeechControl::ErrorReason::Playback,
                                         u"no sound"_qs);
    });
    QCOMPARE(heard,
             (QStringList{
                 "SpeechVoice:" + platform::kVoice1 + " SpeechSay:こんにちは、読み子ちゃんです 1",
                 " 7",  // any other index: stored, no greeting
                 "SpeechVoice:" + platform::kVoice0 + " SpeechSay:こんにちは、読み秀君です 0"}));
    QCOMPARE(h.messages.events, QStringList{u"warn:読み上げができません。\nno sound"_qs});
    QVERIFY(h.speeches[0]->calls.isEmpty());  // the main window's voice is not the dialog's
    // A new dialog in its design state, whatever was chosen before.
    setting(h, [&](Form2& d) {
        QVERIFY(d.Option1[0]->isChecked() && d.Text1->font() == d.font());
        QCOMPARE(d.Frame2->title(), u"Font Select"_qs);
    });
}

void SettingsTest::fontChoice_data() {
    QTest::addColumn<FontChoice>("choice");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("stored");
    QTest::newRow("bold 12 red") << font(12, true, false, false, 255)
                                 << u"Font Select : Size - 12 Points"_qs << 12;
    QTest::newRow("10.5 to even") << font(10.5, false, false, false, 0)
                                  << u"Font Select : Size - 10.5 Points"_qs << 10;
    QTest::newRow("11.5 to even") << font(11.5, false, false, false, 0)
                                  << u"Font Select : Size - 11.5 Points"_qs << 12;
    QTest::newRow("10.1, not 10.10000038")
        << font(10.1f, false, false, false, 0) << u"Font Select : Size - 10.1 Points"_qs << 10;
    QTest::newRow("underline strike blue")
        << font(9, false, true, true, 16711680) << u"Font Select : Size - 9 Points"_qs << 9;
}

void SettingsTest::fontChoice() {
    QFETCH(FontChoice, choice);
    QFETCH(QString, caption);
    QFETCH(int, stored);
    Harness h;
    h.form->Form_Load();
    h.form->setWindowTitle(u"probe"_qs);
    h.fonts.answers = {choice};
    setting(h, [&](Form2& d) {
        d.Command1->click();
        QCOMPARE(look(d.Text1), look(choice));
        QCOMPARE(d.Text1->text(), choice.name);
        QCOMPARE(d.Frame2->title(), caption);
    });
    QCOMPARE(h.fonts.flags, QList<qint32>{259});
    FontChoice applied = choice;
    applied.size = stored;
    applied.strikethrough = false;
    QCOMPARE(look(storedFont(h.settings)), look(applied));
    QCOMPARE(look(h.form->Text1), look(applied));
    // A new font is not a new text.
    QCOMPARE(h.form->windowTitle(), u"probe"_qs);
    QCOMPARE(h.flags(), u"00000"_qs);
}

void SettingsTest::cancelKeepsTheFirstChoice() {
    Harness h;
    h.form->Form_Load();
    // Before any font is chosen: black, no bold, italic or underline, the name kept, size 0
    // refused; strikeout is never touched.
    QFont f(kDesignFontName, 20, QFont::Bold, true);
    f.setUnderline(true);
    f.setStrikeOut(true);
    h.form->Text1->setFont(f);
    setting(h);
    QCOMPARE(look(h.form->Text1), look({kDesignFontName, 20, false, false, false, true, 0}));

    const FontChoice first = font(14, true, true, false, 255);
    h.fonts.answers = {first, std::nullopt};
    setting(h, [&](Form2& d) {
        d.Command1->click();
        d.Command1->click();
        QCOMPARE(look(d.Text1), look(first));
        QCOMPARE(d.Frame2->title(), u"Font Select : Size - 14 Points"_qs);
    });
    QCOMPARE(h.fonts.flags.size(), 2);
    FontChoice applied = first;
    applied.strikethrough = true;  // the editor's own, untouched
    QCOMPARE(look(h.form->Text1), look(applied));

    // Reopened without a choice: the stored font is applied again.
    h.form->Text1->setFont(QFont(u"DejaVu Serif"_qs, 30));
    setting(h);
    QCOMPARE(look(h.form->Text1), look(first));
}

void SettingsTest::chooserSizesAndColours() {
    platform::FontChooser chooser(nullptr, 259);
    QCOMPARE(chooser.colors()->count(), 16);
    chooser.colors()->setCurrentIndex(9);
    QCOMPARE(chooser.choice().color, 255);
    chooser.colors()->setCurrentIndex(12);
    QCOMPARE(chooser.choice().color, 16711680);

    QVERIFY(chooser.sizeEdit());
    chooser.sizeEdit()->setText(u"10.5"_qs);
    QCOMPARE(chooser.choice().size, 10.5f);
    // Another family keeps the typed half point.
    auto* families = chooser.fonts()->findChild<QListView*>();
    families->setCurrentIndex(families->model()->index(1, 0));
    QCOMPARE(chooser.sizeEdit()->text(), u"10.5"_qs);
    QCOMPARE(chooser.choice().size, 10.5f);
    QCOMPARE(chooser.choice().name, families->model()->index(1, 0).data().toString());

    for (QCheckBox* effect : chooser.fonts()->findChildren<QCheckBox*>()) effect->click();
    QVERIFY(chooser.choice().underline && chooser.choice().strikethrough);

    platform::FontChooser plain(nullptr, 3);
    QVERIFY(!plain.colors());
    QCOMPARE(plain.choice().color, 0);
}

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
