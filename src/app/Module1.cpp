#include "app/Module1.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

#include "app/Form1.h"
#include "platform/localpath.h"
#include "platform/qtservices.h"
#include "settings/SharedSettings.h"
#include "speech/jtalkspeech.h"

QString commandLine(int argc, char** argv) {
    QByteArray joined;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) joined += ' ';
        joined += argv[i];
    }
    return localpath::fromBytes(joined);
}

void nameApplication() {
    QApplication::setApplicationName(QStringLiteral("vekEdit"));
    QApplication::setApplicationVersion(QStringLiteral(VEKEDIT_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.vekedit.vekEdit"));
}

void installFontSubstitutes() {
    QFont::insertSubstitutions(kDesignFontName,
                               {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"),
                                QStringLiteral("IPAGothic")});
}

int Main(int argc, char** argv) {
    SharedSettings settings;
    settings.sCommand = commandLine(argc, argv);
    // Qt gets the program's name only: it would take its own options (-reverse, -style X...)
    // out of the command line, which is one file path, whatever it holds.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    nameApplication();
    // Qt's own dialogs (file dialog buttons, OK) in the user's language.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);
    installFontSubstitutes();

    platform::QtFileDialogs fileDialogs;
    platform::QtMessageBox messageBox;
    platform::QtClipboard clipboard;
    platform::QtAboutBox aboutBox;
    platform::QtFontDialog fontDialog;
    const platform::SpeechFactory newSpeech = [] {
        return std::make_unique<speech::JTalkSpeech>(speech::JTalkFiles::find(),
                                                     std::make_unique<platform::PulseAudioSink>());
    };
    Form1 form(settings, {fileDialogs, messageBox, clipboard, aboutBox, fontDialog, newSpeech});
    form.Form_Load();
    return app.exec();
}
