#pragma once

#include <QString>

namespace platform {

// The system clipboard in plain text. Line breaks cross this boundary as CR LF.
class Clipboard {
  public:
    virtual ~Clipboard() = default;
    virtual void clear() = 0;
    virtual void setText(const QString& text) = 0;
    virtual QString text() = 0;  // empty when the clipboard holds no text
};

}  // namespace platform
