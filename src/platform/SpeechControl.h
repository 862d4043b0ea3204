#pragma once

#include <QString>

namespace platform {

inline const QString kVoice0 = QStringLiteral("{904AAB60-5D94-11D0-830A-444553540000}");
inline const QString kVoice1 = QStringLiteral("{904AAB61-5D94-11D0-830A-444553540000}");

// A text-to-speech engine that reads in the background. Every operation is valid at any
// moment, returns at once and never fails.
class SpeechControl {
  public:
    virtual ~SpeechControl() = default;
    virtual void SpeechVoice(const QString& voiceId) = 0;
    virtual void SpeechStop() = 0;
    virtual void SpeechSetText(const QString& text) = 0;
    virtual void SpeechPlay() = 0;
    virtual void SpeechPause() = 0;
    virtual void SpeechResume() = 0;
    virtual void SpeechSay(const QString& text) = 0;
};

}  // namespace platform
