#pragma once

#include <unistd.h>

// Fakes of the outside services that record what the window asked, and a main window
// wired to them.
#include <QtTest>
#include <QtWidgets>

#include "app/Form1.h"
#include "phrases/cp932.h"
#include "platform/escapes.h"
#include "platform/files.h"
#include "platform/localpath.h"

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
    std::function<void()> whileAsked;  // what happens elsewhere while a question is up
    QSet<QString> offered;             // each question's buttons, joined by '|'
    int ask(QWidget*, const QString& text, const QStringList& buttons, int def) override {
        if (whileAsked) whileAsked();
        offered << buttons.join(u'|');
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
    QStringList shown;  // the texts, joined by '|'
    void show(QWidget*, const QString& appText, const QString& other, const QIcon& icon) override {
        shown << appText + u'|' + other + (icon.isNull() ? u"|no icon"_s : QString());
    }
};

// Answers the font dialogs in turn; an empty answer is a Cancel. As the real one, it offers no
// colour without the effects section.
struct FakeFontDialog : platform::FontDialog {
    QList<std::optional<platform::FontChoice>> answers;
    std::optional<platform::FontChoice> showFont(QWidget*, qint32 flags) override {
        auto answer = answers.isEmpty() ? std::nullopt : answers.takeFirst();
        if (answer && !(flags & platform::kFontFlagEffects)) answer->color = 0;
        return answer;
    }
};

// A speech control that reports its state as the real one does: Speaking once it is given
// something to say, Paused, Speaking again, Ready after Stop or when finish() ends the reading.
// Calls in order: "SpeechVoice:<id>", "SpeechStop", "SpeechSetText:<text>", "SpeechPlay", ...
// A broken one fails at each Start, telling why, and once failed stays so, telling no change.
struct FakeSpeech : platform::SpeechControl {
    QStringList calls;
    State now = State::Ready;
    bool broken = false;
    void SpeechVoice(const QString& id) override { call(u"Voice:"_s + id); }
    void SpeechStop() override { call(u"Stop"_s), now == State::Error ? void() : finish(); }
    void SpeechSetText(const QString& t) override { call(u"SetText:"_s + t); }
    void SpeechPlay() override {
        call(u"Play"_s, broken ? State::Error : State::Speaking);
        if (broken) Q_EMIT errorOccurred(ErrorReason::Playback, u"no sound"_s);
    }
    void SpeechPause() override { call(u"Pause"_s, State::Paused, State::Speaking); }
    void SpeechResume() override { call(u"Resume"_s, State::Speaking, State::Paused); }
    void SpeechSay(const QString& t) override { call(u"Say:"_s + t, State::Speaking); }
    State state() const override { return now; }
    void finish() { Q_EMIT playing(0, 0), call({}, State::Ready); }
    void call(const QString& what, std::optional<State> to = {}, std::optional<State> from = {}) {
        if (!what.isEmpty()) calls << u"Speech"_s + what;
        if (to && now != *to && (!from || now == *from)) Q_EMIT stateChanged(now = *to);
    }
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

    // The speech controls are fakes unless another kind is given.
    explicit Harness(const QString& command = QString(), platform::SpeechFactory real = {}) {
        settings.sCommand = command;
        const auto fake = [this] {
            return speeches.emplace_back(new FakeSpeech),
                   std::unique_ptr<FakeSpeech>(speeches.back());
        };
        const platform::SpeechFactory speech = real ? real : platform::SpeechFactory(fake);
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
