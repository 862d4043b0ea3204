#pragma once

#include <QRegularExpression>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <optional>

#include "app/Form1.h"
#include "platform/Services.h"
#include "settings/SharedSettings.h"

// Services that record what the window asked of them and answer as the test says.

struct FakeFileDialogs : platform::FileDialogs {
    std::optional<QString> answer;  // nothing: the user cancels
    QStringList kinds;              // "open" or "save", one per dialog shown
    QList<platform::FileDialogRequest> requests;

    std::optional<QString> showOpen(QWidget*, const platform::FileDialogRequest& r) override {
        kinds << QStringLiteral("open");
        requests << r;
        return answer;
    }
    std::optional<QString> showSave(QWidget*, const platform::FileDialogRequest& r) override {
        kinds << QStringLiteral("save");
        requests << r;
        return answer;
    }
};

struct FakeMessageBox : platform::MessageBox {
    // In order: "beep", "inform:<text>", "warn:<text>"; each with whether the owner was visible.
    QStringList events;
    QList<bool> ownerVisible;

    void inform(QWidget* owner, const QString& text) override { add(owner, "inform:" + text); }
    void warn(QWidget* owner, const QString& text) override { add(owner, "warn:" + text); }
    void beep() override { add(nullptr, QStringLiteral("beep")); }
    QStringList warnings() const { return events.filter(QRegularExpression("^warn:")); }

    QWidget* window = nullptr;

  private:
    void add(QWidget*, const QString& e) {
        events << e;
        ownerVisible << (window && window->isVisible());
    }
};

struct FakeClipboard : platform::Clipboard {
    std::optional<QString> content;  // nothing: the clipboard holds no text
    int clears = 0;
    void clear() override {
        ++clears;
        content.reset();
    }
    void setText(const QString& text) override { content = text; }
    QString text() override { return content.value_or(QString()); }
};

struct FakeAboutBox : platform::AboutBox {
    int shown = 0;
    QWidget* owner = nullptr;
    QString appText, otherText;
    QIcon icon;
    void show(QWidget* o, const QString& a, const QString& t, const QIcon& i) override {
        ++shown;
        owner = o;
        appText = a;
        otherText = t;
        icon = i;
    }
};

// A main window wired to fakes, as the start procedure would make it.
struct Harness {
    FakeFileDialogs dialogs;
    FakeMessageBox messages;
    FakeClipboard clipboard;
    FakeAboutBox about;
    SharedSettings settings;
    std::unique_ptr<Form1> form;

    explicit Harness(const QString& command = QString()) {
        settings.sCommand = command;
        form = std::make_unique<Form1>(settings,
                                       platform::Services{dialogs, messages, clipboard, about});
        messages.window = form.get();
    }

    // New, Clear, Start, Pause, Stop as a string of 0s and 1s.
    QString flags() const {
        QString s;
        for (QAction* a : {form->mNew, form->mClear, form->mSpeakTest, form->mPause, form->mStop})
            s += a->isEnabled() ? u'1' : u'0';
        return s;
    }
};
