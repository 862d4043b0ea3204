#include "platform/qtservices.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSysInfo>

#include "platform/fontchooser.h"

namespace platform {
namespace {

const QString kTitle = QStringLiteral("vekEdit");

std::optional<QString> showFileDialog(QWidget* owner, const FileDialogRequest& request,
                                      QFileDialog::AcceptMode mode) {
    QFileDialog dialog(owner, request.title);
    // Qt's own dialog everywhere: a desktop's native one may ask before overwriting
    // or show the filter patterns next to their descriptions.
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite |
                      QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = QtFileDialogs::nameFilters(request.filter);
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(filters[request.filterIndex - 1]);
    if (request.fileName.isEmpty())
        dialog.setDirectory(request.initDir);
    else
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

// Line breaks are LF on this desktop's clipboard and CR LF inside the editor.
QString toClipboard(const QString& text) {
    QString out = text;
    return out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString fromClipboard(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return out.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
}

}  // namespace

QStringList QtFileDialogs::nameFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // Qt reads the patterns from the last parentheses and hides them from view.
        QString pattern = parts[i + 1];
        pattern.replace(u';', u' ');
        if (pattern == u"*.*") pattern = QStringLiteral("*");  // every file, as on Windows
        filters << parts[i] + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return filters;
}

std::optional<QString> QtFileDialogs::showOpen(QWidget* owner, const FileDialogRequest& request) {
    return showFileDialog(owner, request, QFileDialog::AcceptOpen);
}

std::optional<QString> QtFileDialogs::showSave(QWidget* owner, const FileDialogRequest& request) {
    return showFileDialog(owner, request, QFileDialog::AcceptSave);
}

int QtMessageBox::ask(QWidget* owner, const QString& text, const QStringList& buttons,
                      int defaultButton) {
    QMessageBox box(QMessageBox::Question, kTitle, text, QMessageBox::NoButton, owner);
    QList<QPushButton*> added;
    for (const QString& b : buttons)
        added << box.addButton(
            b, b == buttons.last() ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    box.setDefaultButton(added.value(defaultButton));
    box.setEscapeButton(added.last());
    box.exec();
    const qsizetype chosen = added.indexOf(qobject_cast<QPushButton*>(box.clickedButton()));
    return chosen < 0 ? int(added.size()) - 1 : int(chosen);
}

void QtMessageBox::inform(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kTitle, text, QMessageBox::Ok, owner);
    box.exec();
}

void QtMessageBox::warn(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Warning, kTitle, text, QMessageBox::Ok, owner);
    box.exec();
}

void QtMessageBox::beep() {
    QApplication::beep();
}

void QtClipboard::clear() {
    QApplication::clipboard()->clear();
}

void QtClipboard::setText(const QString& text) {
    QApplication::clipboard()->setText(toClipboard(text));
}

QString QtClipboard::text() {
    return fromClipboard(QApplication::clipboard()->text());
}

std::optional<FontChoice> QtFontDialog::showFont(QWidget* owner, qint32 flags) {
    FontChooser dialog(owner, flags);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.choice();
}

void QtAboutBox::show(QWidget* owner, const QString& appText, const QString& otherText,
                      const QIcon& icon) {
    const qsizetype hash = appText.indexOf(u'#');
    const QString title = hash < 0 ? appText : appText.left(hash);
    const QString program = hash < 0 ? QString() : appText.mid(hash + 1);
    const QString system = QStringLiteral("Qt %1 / %2")
                               .arg(QString::fromLatin1(qVersion()), QSysInfo::prettyProductName());
    QString credits = otherText;
    credits.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    QMessageBox box(QMessageBox::NoIcon, title,
                    program + QLatin1Char('\n') + system + QStringLiteral("\n\n") + credits,
                    QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.setIconPixmap(icon.pixmap(32, 32));
    box.setWindowIcon(icon);
    box.exec();
}

}  // namespace platform
