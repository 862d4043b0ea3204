#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace platform {

// What the open and save dialogs are shown with. Both dialogs hide any read-only box,
// never ask before replacing a file, never insist that the file exists and add no extension.
struct FileDialogRequest {
    QString title;
    QString filter;  // "description|pattern|description|pattern..."
    int filterIndex = 1;
    QString initDir;   // used when fileName is empty
    QString fileName;  // the path the last completed dialog returned
};

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<QString> showOpen(QWidget* owner, const FileDialogRequest& request) = 0;
    virtual std::optional<QString> showSave(QWidget* owner, const FileDialogRequest& request) = 0;
};

}  // namespace platform
