#include "settings/Form2.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>
#include <limits>

#include "platform/twips.h"
#include "settings/applyfont.h"

Form2::Form2(SharedSettings& settings, platform::Services services, QWidget* mainWindow)
    // Owned by the main window so that the window manager keeps it above the editor.
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      settings_(settings),
      services_(services),
      mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("vekEdit Setting"));
    const double dpiX = logicalDpiX(), dpiY = logicalDpiY();
    const auto place = [dpiX, dpiY](QWidget* w, double left, double top, double width,
                                    double height) {
        w->setGeometry(platform::twipsToPixels(left, dpiX), platform::twipsToPixels(top, dpiY),
                       platform::twipsToPixels(width, dpiX), platform::twipsToPixels(height, dpiY));
    };
    setFixedSize(platform::twipsToPixels(4665, dpiX), platform::twipsToPixels(1980, dpiY));

    Frame1 = new QGroupBox(QStringLiteral("Voice Select"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    place(Frame1, 120, 0, 4455, 855);
    Option1[0] = new QRadioButton(QStringLiteral("読み秀君"), Frame1);
    place(Option1[0], 480, 360, 1215, 255);
    Option1[1] = new QRadioButton(QStringLiteral("読み子ちゃん"), Frame1);
    place(Option1[1], 2280, 360, 1455, 255);
    for (qint16 i = 0; i < 2; ++i) {
        Option1[i]->setObjectName(QStringLiteral("Option1_%1").arg(i));
        // Every click greets, also on the option already selected.
        connect(Option1[i], &QRadioButton::clicked, this, [this, i] { Option1_Click(i); });
    }
    Option1[0]->setChecked(true);

    Frame2 = new QGroupBox(QStringLiteral("Font Select"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    place(Frame2, 120, 960, 4455, 975);
    Command1 = new QPushButton(QStringLiteral("&Select"), Frame2);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAccessibleName(QStringLiteral("Select"));
    // No default button: Return on a voice must not open the font dialog.
    Command1->setAutoDefault(false);
    Command1->setDefault(false);
    place(Command1, 3000, 240, 1335, 615);
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    Text1 = new QLineEdit(Frame2);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);  // a sample; nothing reads it back
    place(Text1, 120, 240, 2655, 615);

    setTabOrder(Option1[0], Option1[1]);
    setTabOrder(Option1[1], Command1);
    setTabOrder(Command1, Text1);
    Option1[0]->setFocus();

    PtSvr1 = services_.newSpeech();  // starts with voice 0
}

void Form2::Form_Load() {
    // Our own frame is not known before it is shown; the main window's is the same kind.
    const QRect outer = mainWindow_->frameGeometry();
    const QRect inner = mainWindow_->geometry();
    const double width = this->width() + outer.width() - inner.width();
    const double height = this->height() + outer.height() - inner.height();
    const double left = (outer.width() - width) / 2 + outer.x();
    const double top = (outer.height() - height) / 2 + outer.y();
    // Left where it falls, also partly off the screen.
    move(static_cast<int>(std::lround(left)), static_cast<int>(std::lround(top)));

    Text1->setText(settings_.sFontName);
    Text1->setCursorPosition(0);
    exec();
}

void Form2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The focus is drawn from the start, not only after the first Tab; showing cleared it.
    setAttribute(Qt::WA_KeyboardFocusChange);
    activateWindow();  // the keys come here also where no window manager hands them out
}

void Form2::Option1_Click(qint16 index) {
    if (const auto voice = platform::voiceId(index)) {
        PtSvr1->SpeechVoice(*voice);
        PtSvr1->SpeechSay(index == 0 ? QStringLiteral("こんにちは、読み秀君です")
                                     : QStringLiteral("こんにちは、読み子ちゃんです"));
    }
    settings_.iVoice = index;
}

void Form2::Command1_Click() {
    const std::optional<platform::FontChoice> chosen =
        services_.fontDialog.showFont(this, platform::kFontFlagsScreenPrinterEffects);
    if (!chosen) return;  // cancelled: nothing changes

    applyFont(Text1, *chosen, true);
    Text1->setText(chosen->name);
    Text1->setCursorPosition(0);

    Frame2->setTitle(QStringLiteral("Font Select : Size - ") + sizeText(chosen->size) +
                     QStringLiteral(" Points"));

    settings_.sFontName = chosen->name;
    const double whole = std::nearbyint(chosen->size);  // a half goes to the even neighbour
    if (!(whole >= std::numeric_limits<qint16>::min() &&
          whole <= std::numeric_limits<qint16>::max()))
        return;  // does not fit: the rest is left as it was
    settings_.iFontSize = static_cast<qint16>(whole);
    settings_.bFontBold = chosen->bold;
    settings_.bFontItalic = chosen->italic;
    settings_.bFontUnderline = chosen->underline;
    settings_.vFontColor = chosen->color;
    // As designed: the sample is repainted before the command returns.
    QCoreApplication::processEvents();
}

QString Form2::sizeText(float points) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(static_cast<double>(points), 'g', 7);
}
