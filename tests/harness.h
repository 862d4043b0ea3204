#pragma once

// Fakes of the outside services that record what the window asked, and a main window
// wired to them.
#include <QFile>
#include <QStringList>
#include <memory>

#include "app/Form1.h"

using namespace Qt::StringLiterals;

// Records each request; the kind is "open" or "save".
struct FakeFileDialogs : platform::FileDialogs {
    std::optional<QString> answer;  // nothing: the user cancels
    QList<std::pair<QString, platform::FileDialogRequest>> requests;
    std::optional<QString> showOpen(QWidget*, const platform::FileDialogRequest& r) override {
        return requests.append({u"open"_s, r}), answer;
    }
    std::optional<QString> showSave(QWidget*, const platform::FileDialogRequest& r) override {
        return requests.append({u"save"_s, r}), answer;
    }
};

// Events in order: "beep", "inform:<text>", "warn:<text>".
struct FakeMessageBox : platform::MessageBox {
    QStringList events;
    QList<bool> windowShown;  // whether the main window was visible at each event
    QWidget* window = nullptr;
    QList<int> answers;  // to the questions in turn; then the default button, as Enter chooses
    int ask(QWidget*, const QString& text, const QStringList&, int def) override {
        return add(u"ask:"_s + text), answers.isEmpty() ? def : answers.takeFirst();
    }
    void inform(QWidget*, const QString& text) override { add(u"inform:"_s + text); }
    void warn(QWidget*, const QString& text) override { add(u"warn:"_s + text); }
    void beep() override { add(u"beep"_s); }
    void add(const QString& e) { events << e, windowShown << (window && window->isVisible()); }
};

struct FakeClipboard : platform::Clipboard {
    std::optional<QString> content;  // nothing: no text on the clipboard
    void clear() override { content.reset(); }
    void setText(const QString& text) override { content = text; }
    QString text() override { return content.value_or(QString()); }
};

struct FakeAboutBox : platform::AboutBox {
    int shown = 0;
    void show(QWidget*, const QString&, const QString&, const QIcon&) override { ++shown; }
};

// Answers the font dialogs in turn; an empty answer is a Cancel.
struct FakeFontDialog : platform::FontDialog {
    QList<std::optional<platform::FontChoice>> answers;
    QList<qint32> flags;
    std::optional<platform::FontChoice> showFont(QWidget*, qint32 f) override {
        flags << f;
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    }
};

// Calls in order: "SpeechVoice:<id>", "SpeechStop", "SpeechSetText:<text>", "SpeechPlay", ...
struct FakeSpeech : platform::SpeechControl {
    QStringList calls;
    void SpeechVoice(const QString& id) override { calls << u"SpeechVoice:"_s + id; }
    void SpeechStop() override { calls << u"SpeechStop"_s; }
    void SpeechSetText(const QString& text) override { calls << u"SpeechSetText:"_s + text; }
    void SpeechPlay() override { calls << u"SpeechPlay"_s; }
    void SpeechPause() override { calls << u"SpeechPause"_s; }
    void SpeechResume() override { calls << u"SpeechResume"_s; }
    void SpeechSay(const QString& text) override { calls << u"SpeechSay:"_s + text; }
    State state() const override { return State::Ready; }
    QStringList take() { return std::exchange(calls, {}); }
};

struct Harness {
    FakeFileDialogs dialogs;
    FakeMessageBox messages;
    FakeClipboard clipboard;
    FakeAboutBox about;
    FakeFontDialog fonts;
    std::vector<FakeSpeech*> speeches;  // every instance made, in order
    SharedSettings settings;
    std::unique_ptr<Form1> form;

    explicit Harness(const QString& command = QString()) {
        settings.sCommand = command;
        const auto speech = [this] {
            return speeches.emplace_back(new FakeSpeech),
                   std::unique_ptr<FakeSpeech>(speeches.back());
        };
        form = std::make_unique<Form1>(
            settings, platform::Services{dialogs, messages, clipboard, about, fonts, speech});
        messages.window = form.get();
    }
    // New, Clear, Start, Pause, Stop as 0s and 1s.
    QString flags() const {
        QString s;
        for (QAction* a : {form->mNew, form->mClear, form->mSpeakTest, form->mPause, form->mStop})
            s += a->isEnabled() ? u'1' : u'0';
        return s;
    }
    void open(const QString& path) { dialogs.answer = path, form->mOpen_Click(); }
};

inline QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    if (QFile f(path); !f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}
