#include "app/Form1.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QWindow>

#include "phrases/phrasefile.h"
#include "platform/twips.h"
#include "speech/readalong.h"

namespace {
constexpr double kClientWidthTwips = 7260;
constexpr double kClientHeightTwips = 4755;
}  // namespace

Form1::Form1(SharedSettings& settings, platform::Services services, QWidget* parent)
    : QMainWindow(parent), sMsg(phrasefile::kMaxPhrases), settings_(settings), services_(services) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("vekEdit"));
    setWindowIcon(QIcon(QStringLiteral(":/vekedit.png")));
    CommonDialog1.initDir = QDir::homePath();

    Text1 = new TextBox(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font(kDesignFontName, 12);
    font.setWeight(QFont::Normal);
    Text1->setFont(font);
    // The window's layout keeps the text box covering the whole client area.
    setCentralWidget(Text1);
    Text1->setFocus();

    createMenus();
    connect(Text1, &TextBox::changed, this, &Form1::Text1_Change);
    Text1->maxLineLength = phrasefile::kMaxLineLength;  // as Open allows
    connect(Text1, &TextBox::tooLong, this, [this] {
        services_.messageBox.warn(
            this, QStringLiteral("1 行が %1 文字を超えるため、貼り付けませんでした。")
                      .arg(phrasefile::kMaxLineLength));
    });

    readAlong_ = new speech::ReadAlong(Text1);
    PtSvr1 = services_.newSpeech();  // starts with voice 0
    watchSpeech(PtSvr1.get());
    connect(PtSvr1.get(), &platform::SpeechControl::stateChanged, this,
            [this](platform::SpeechControl::State state) {
                setReading(state == platform::SpeechControl::State::Speaking ||
                           state == platform::SpeechControl::State::Paused);
            });
    connect(PtSvr1.get(), &platform::SpeechControl::playing, readAlong_, &speech::ReadAlong::show);

    const double dpiX = logicalDpiX(), dpiY = logicalDpiY();
    resize(platform::twipsToPixels(kClientWidthTwips, dpiX),
           platform::twipsToPixels(kClientHeightTwips, dpiY) + menuBar()->sizeHint().height());
}

// Copy, Cut and Paste have no shortcuts of their own: the text box's Ctrl+C, Ctrl+X and
// Ctrl+V do the same. Stop's Esc is given only while there is a reading to stop.
void Form1::createMenus() {
    QMenu* file = addMenu("mFile", QStringLiteral("&File"))->menu();
    mNew = addCommand(file, "mNew", QStringLiteral("&New"), false, &Form1::mNew_Click,
                      Qt::CTRL | Qt::Key_N);
    mBlankF = addSeparator(file, "mBlankF");
    mOpen = addCommand(file, "mOpen", QStringLiteral("&Open"), true, &Form1::mOpen_Click,
                       Qt::CTRL | Qt::Key_O);
    mSave = addCommand(file, "mSave", QStringLiteral("&Save"), true, &Form1::mSave_Click,
                       Qt::CTRL | Qt::Key_S);
    mBlankF2 = addSeparator(file, "mBlankF2");
    mEnd = addCommand(file, "mEnd", QStringLiteral("&End"), true, &Form1::mEnd_Click,
                      Qt::CTRL | Qt::Key_Q);
    mFile = file->menuAction();

    QMenu* edit = addMenu("mEdit", QStringLiteral("&Edit"))->menu();
    mCopy = addCommand(edit, "mCopy", QStringLiteral("&Copy"), true, &Form1::mCopy_Click, {});
    mCut = addCommand(edit, "mCut", QStringLiteral("Cu&t"), true, &Form1::mCut_Click, {});
    mPaste = addCommand(edit, "mPaste", QStringLiteral("&Paste"), true, &Form1::mPaste_Click, {});
    mBlankE = addSeparator(edit, "mBlankE");
    mClear = addCommand(edit, "mClear", QStringLiteral("Cle&ar"), false, &Form1::mClear_Click, {});
    mEdit = edit->menuAction();

    QMenu* speak = addMenu("mSpeak", QStringLiteral("&Speak"))->menu();
    mSpeakTest = addCommand(speak, "mSpeakTest", QStringLiteral("&Start"), false,
                            &Form1::mSpeakTest_Click, Qt::Key_F5);
    mPause = addCommand(speak, "mPause", QStringLiteral("&Pause"), false, &Form1::mPause_Click,
                        Qt::Key_F6);
    mPause->setCheckable(true);
    mStop = addCommand(speak, "mStop", QStringLiteral("S&top"), false, &Form1::mStop_Click, {});
    mBlank2 = addSeparator(speak, "mBlank2");
    mSetting =
        addCommand(speak, "mSetting", QStringLiteral("S&etting"), true, &Form1::mSetting_Click, {});
    mSpeak = speak->menuAction();

    QMenu* help = addMenu("mHelp", QStringLiteral("&Help"))->menu();
    mAbout = addCommand(help, "mAbout", QStringLiteral("&About"), true, &Form1::mAbout_Click,
                        Qt::Key_F1);
    mHelp = help->menuAction();

    // F10 opens the first menu, as in other desktop programs; Alt alone is Qt's own.
    connect(new QShortcut(Qt::Key_F10, this), &QShortcut::activated, this,
            [this] { menuBar()->setActiveAction(mFile); });
}

QAction* Form1::addMenu(const char* name, const QString& caption) {
    QMenu* menu = menuBar()->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name) + QStringLiteral("Menu"));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    return menu->menuAction();
}

QAction* Form1::addCommand(QMenu* menu, const char* name, const QString& caption, bool enabled,
                           void (Form1::*handler)(), const QKeySequence& shortcut) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    action->setEnabled(enabled);
    action->setShortcut(shortcut);
    if (handler) connect(action, &QAction::triggered, this, handler);
    return action;
}

QAction* Form1::addSeparator(QMenu* menu, const char* name) {
    QAction* separator = menu->addSeparator();
    separator->setObjectName(QString::fromLatin1(name));
    return separator;
}

void Form1::Form_Load() {
    create();  // the native window, so the outer size includes whatever frame is known
    centreOnScreen();
    // A window manager's frame is known only once the window is up.
    windowHandle()->installEventFilter(this);

    std::optional<PhraseLoad> load;
    if (!settings_.sCommand.isEmpty()) {
        load = ReadMsg(settings_.sCommand);
        if (!load->error && !load->cancelled) mSpeakTest->setEnabled(true);
    }
    settings_.sFontName = Text1->font().family();
    show();
    activateWindow();  // the keys come here also where no window manager hands them out
    // Told once the window is up, so the message has a window to belong to.
    if (load) reportLoad(settings_.sCommand, *load);
}

void Form1::centreOnScreen() {
    const QRect screenArea = screen()->geometry();
    const QRect outer = frameGeometry();
    move(screenArea.x() + (screenArea.width() - outer.width()) / 2,
         screenArea.y() + (screenArea.height() - outer.height()) / 2);
    centredOuter_ = outer.size();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose &&
        windowHandle()->isExposed()) {
        windowHandle()->removeEventFilter(this);
        if (frameGeometry().size() != centredOuter_) centreOnScreen();
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::Text1_Change() {
    setWindowTitle(QStringLiteral("vekEdit"));
    mNew->setEnabled(true);
    mClear->setEnabled(true);
    mSpeakTest->setEnabled(true);
}

void Form1::closeEvent(QCloseEvent* event) {
    if (!saveChangesFirst()) return event->ignore();
    bool cancel = false;
    Form_QueryUnload(cancel, event->spontaneous() ? 0 : 1);
    event->setAccepted(!cancel);
}

void Form1::Form_QueryUnload(bool&, int) {
    mStop_Click();
}

void Form1::mEnd_Click() {
    close();
}
