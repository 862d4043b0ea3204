#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

inline const QString kVoice0 = QStringLiteral("{904AAB60-5D94-11D0-830A-444553540000}");
inline const QString kVoice1 = QStringLiteral("{904AAB61-5D94-11D0-830A-444553540000}");

// The identifier of voice 0 or 1; nothing for any other index.
inline std::optional<QString> voiceId(qint16 index) {
    if (index == 0) return kVoice0;
    if (index == 1) return kVoice1;
    return std::nullopt;
}

// A text-to-speech engine that reads in the background. Every operation is valid at any
// moment, returns at once and never fails; trouble shows only in state() and errorOccurred.
class SpeechControl : public QObject {
    Q_OBJECT
  public:
    enum class State { Ready, Speaking, Paused, Error };
    Q_ENUM(State)
    enum class ErrorReason {
        NoError,
        Configuration,  // the engine program, its dictionary or its voice is missing or broken
        Playback,       // no audio output, or it failed
        Engine,         // the engine failed or crashed on a text
    };
    Q_ENUM(ErrorReason)

    using QObject::QObject;
    virtual void SpeechVoice(const QString& voiceId) = 0;
    virtual void SpeechStop() = 0;
    virtual void SpeechSetText(const QString& text) = 0;
    virtual void SpeechPlay() = 0;
    virtual void SpeechPause() = 0;
    virtual void SpeechResume() = 0;
    virtual void SpeechSay(const QString& text) = 0;

    virtual State state() const = 0;

  Q_SIGNALS:
    void stateChanged(platform::SpeechControl::State state);
    // The span, in the text last given to SpeechSetText or SpeechSay, whose sound is being
    // played now; sent when it changes, and as (0, 0) once nothing is played any more.
    void playing(qsizetype start, qsizetype length);
    // Sent after the call that met the trouble has returned; text is for the user.
    void errorOccurred(platform::SpeechControl::ErrorReason reason, const QString& text);
};

// Each window makes its own instance.
using SpeechFactory = std::function<std::unique_ptr<SpeechControl>()>;

}  // namespace platform
