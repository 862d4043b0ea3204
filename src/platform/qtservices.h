#pragma once

#include "platform/AboutBox.h"
#include "platform/Clipboard.h"
#include "platform/FileDialogs.h"
#include "platform/FontDialog.h"
#include "platform/MessageBox.h"

// The services as the Qt desktop provides them.
namespace platform {

class QtFileDialogs final : public FileDialogs {
  public:
    std::optional<QString> showOpen(QWidget* owner, const FileDialogRequest& request) override;
    std::optional<QString> showSave(QWidget* owner, const FileDialogRequest& request) override;
    // "desc|pattern|..." as Qt name filters that show exactly the descriptions.
    static QStringList nameFilters(const QString& filter);
};

class QtMessageBox final : public MessageBox {
  public:
    int ask(QWidget* owner, const QString& text, const QStringList& buttons,
            int defaultButton = 0) override;
    void inform(QWidget* owner, const QString& text) override;
    void warn(QWidget* owner, const QString& text) override;
    void beep() override;
};

class QtClipboard final : public Clipboard {
  public:
    void clear() override;
    void setText(const QString& text) override;
    QString text() override;
};

class QtFontDialog final : public FontDialog {
  public:
    std::optional<FontChoice> showFont(QWidget* owner, qint32 flags) override;
};

class QtAboutBox final : public AboutBox {
  public:
    void show(QWidget* owner, const QString& appText, const QString& otherText,
              const QIcon& icon) override;
};

}  // namespace platform
