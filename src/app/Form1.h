#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "phrases/phrasefile.h"
#include "platform/Services.h"
#include "platform/TextBox.h"
#include "platform/files.h"
#include "settings/SharedSettings.h"

class QAction;
class QCloseEvent;
class QKeySequence;
class QMenu;

namespace speech {
class ReadAlong;
}

inline const QString kDesignFontName = QStringLiteral("ＭＳ Ｐゴシック");

// The main window: one large text box, four menus, the caption as the status line.
class Form1 : public QMainWindow {
    Q_OBJECT
  public:
    Form1(SharedSettings& settings, platform::Services services, QWidget* parent = nullptr);

    // How a load went; when error is set the file could not be read and nothing changed.
    struct PhraseLoad {
        std::optional<QString> error;
        bool cancelled = false;  // asked how to open it, the user cancelled: nothing changed
        phrasefile::Findings findings;
    };

    // Application shell
    void Form_Load();
    void Text1_Change();
    void Form_QueryUnload(bool& cancel, int unloadMode);
    void mEnd_Click();
    void mAbout_Click();

    // Phrase files
    PhraseLoad ReadMsg(const QString& sfile);
    bool SaveMsg(const QString& sfile);
    void mOpen_Click();
    void mSave_Click();

    // Editing
    void mCopy_Click();
    void mCut_Click();
    void mPaste_Click();
    void mClear_Click();
    void mNew_Click();

    // Speech
    void mSpeakTest_Click();
    void mPause_Click();
    void mStop_Click();

    // Settings
    void mSetting_Click();

    TextBox* Text1;
    QAction* mFile;
    QAction* mNew;
    QAction* mBlankF;
    QAction* mOpen;
    QAction* mSave;
    QAction* mBlankF2;
    QAction* mEnd;
    QAction* mEdit;
    QAction* mCopy;
    QAction* mCut;
    QAction* mPaste;
    QAction* mBlankE;
    QAction* mClear;
    QAction* mSpeak;
    QAction* mSpeakTest;
    QAction* mPause;
    QAction* mStop;
    QAction* mBlank2;
    QAction* mSetting;
    QAction* mHelp;
    QAction* mAbout;

    std::vector<QString> sMsg;  // the phrase table, a fixed 32001 entries
    qint16 iMsgCount = 0;
    bool bPause = false;  // the last Pause paused the reading
    std::unique_ptr<platform::SpeechControl> PtSvr1;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createMenus();
    QAction* addMenu(const char* name, const QString& caption);
    QAction* addCommand(QMenu* menu, const char* name, const QString& caption, bool enabled,
                        void (Form1::*handler)(), const QKeySequence& shortcut);
    QAction* addSeparator(QMenu* menu, const char* name);
    void reportLoad(const QString& path, const PhraseLoad& load);
    void centreOnScreen();
    void watchSpeech(platform::SpeechControl* control);
    void setReading(bool reading);
    void showPause();
    bool saveWithDialog();
    bool confirm(const QString& why);
    bool saveChangesFirst();
    int askHowToOpen(const phrasefile::Findings& found);
    static QByteArray textHash(const QString& text);

    // What the common dialog keeps from one use to the next.
    struct {
        QString initDir;
        QString fileName;
    } CommonDialog1;

    SharedSettings& settings_;
    platform::Services services_;
    // The trouble last told of; told again only once some sound has been heard since.
    platform::SpeechControl::ErrorReason speechTrouble_ =
        platform::SpeechControl::ErrorReason::NoError;
    bool reading_ = false;  // from Start until Stop, the end of the reading or an error
    speech::ReadAlong* readAlong_;
    QSize centredOuter_;             // the outer size the window was centred with
    phrasefile::Spelling spelling_;  // of the last file loaded
    files::Stamp file_;              // the file last loaded or saved, as it was then
    QByteArray truncatedFile_;       // a file loaded only in part, as files::Stamp names it
    QByteArray keptText_ = textHash(QString());  // the text last loaded or saved, hashed
};
