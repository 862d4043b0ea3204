#include <QAction>
#include <QCryptographicHash>
#include <algorithm>

#include "app/Form1.h"
#include "phrases/cp932.h"
#include "phrases/phrasefile.h"
#include "platform/escapes.h"
#include "platform/files.h"

namespace {

const QString kOpenTitle = QStringLiteral("格言・名言データファイルを開く");
const QString kOpenFilter = QStringLiteral(
    "vekシリーズデータ(vek.dat)|vek.dat|vekシリーズデータ(*.xpd,*.xpt)|*.xp*|"
    "テキストファイル(*.txt)|*.txt|すべてのファイル(*.*)|*.*");
const QString kSaveTitle = QStringLiteral("格言・名言データファイルを保存します");
const QString kSaveFilter = QStringLiteral(
    "vekシリーズデータ ファイル (vek.dat)|vek.dat|テキストファイル (*.txt)|*.txt|"
    "すべてのファイル (*.*)|*.*");
const QString kCrLf = QStringLiteral("\r\n");
const QString kTruncatedNote =
    QStringLiteral(
        "このファイルは先頭の %1 行だけを読み込んでいます。上書きすると残りの行は失われます。")
        .arg(phrasefile::kMaxPhrases);

// What a failed save did to the file, and why.
QString saveFailure(const QString& path, bool existed, const files::Written& w,
                    const QString& why) {
    QString what;
    switch (w.outcome) {
        case files::Written::ReadOnly:
            return QStringLiteral("このファイルは書き込みが禁止されています。\n\n%1").arg(path);
        case files::Written::Unconfirmed:
            return QStringLiteral(
                       "保存しましたが、ディスクに書き込まれたことを確かめられません"
                       "でした。\n\n%1\n\n理由: %2")
                .arg(path, files::reason(w.error));
        case files::Written::Restored:
            what = QStringLiteral("書きかけた部分は元の内容に戻しました。");
            break;
        case files::Written::Damaged:
            what = QStringLiteral(
                "元の内容にも戻せませんでした。ファイルが壊れているおそれがあります。");
            break;
        case files::Written::Partial:
            what = QStringLiteral("途中までしか書き込めませんでした。");
            break;
        default:
            if (existed) what = QStringLiteral("元のファイルはそのままです。");
    }
    return QStringLiteral("ファイルを保存できませんでした。%1\n\n%2\n\n理由: %3")
        .arg(what, path, why);
}

QString progressCaption(qsizetype shown) {
    return QStringLiteral("vekEdit　%1　フレーズ読込み完了").arg(shown);
}

QString unmappableList(const QList<char32_t>& chars) {
    QStringList names;
    for (qsizetype i = 0; i < std::min<qsizetype>(chars.size(), 10); ++i) {
        const char32_t c = chars[i];
        names
            << QStringLiteral("「%1」(U+%2)")
                   .arg(
                       QString::fromUcs4(&c, 1),
                       QString::number(static_cast<uint>(c), 16).toUpper().rightJustified(4, u'0'));
    }
    QString list = names.join(QLatin1Char(' '));
    if (chars.size() > 10) list += QStringLiteral(" ほか %1 種類").arg(chars.size() - 10);
    return list;
}

}  // namespace

Form1::PhraseLoad Form1::ReadMsg(const QString& sfile) {
    PhraseLoad result;
    // The file is read before anything is cleared, so a file that cannot be read loses nothing.
    auto read = phrasefile::read(sfile);
    if (const auto* exact = std::get_if<phrasefile::Phrases>(&read);
        exact && (exact->findings.utf8 || exact->findings.lfOnly)) {
        const int how = askHowToOpen(exact->findings);
        if (how == 2) {
            result.cancelled = true;
            return result;
        }
        if (how == 0) read = phrasefile::read(sfile, phrasefile::Reading::Converted);
        if (how == 1 && exact->findings.firstLongLine)
            read = phrasefile::longLine(exact->findings.firstLongLine);
    }
    if (auto* reason = std::get_if<QString>(&read)) {
        result.error = *reason;
        return result;
    }
    phrasefile::Phrases& phrases = std::get<phrasefile::Phrases>(read);

    std::fill(sMsg.begin(), sMsg.end(), QString());
    // The text box is filled once: a line at a time would cost quadratic time.
    Text1->setLines(phrases.lines);
    const qsizetype count = phrases.lines.size();
    std::move(phrases.lines.begin(), phrases.lines.end(), sMsg.begin());
    // One progress caption: the whole load takes a fraction of a second.
    if (count > 0) setWindowTitle(progressCaption(count + 1));

    iMsgCount = static_cast<qint16>(count);
    setWindowTitle(QStringLiteral("vekEdit %1 フレーズ").arg(iMsgCount + 1));
    services_.messageBox.beep();

    Text1->document()->setModified(false);
    keptText_ = textHash(Text1->text());
    spelling_ = std::move(phrases.spelling);
    file_ = phrases.file;
    truncatedFile_ = phrases.findings.truncated ? file_.path : QByteArray();
    result.findings = phrases.findings;
    return result;
}

// A file written on Linux: 0 converts it, 1 opens it as it is, 2 cancels.
int Form1::askHowToOpen(const phrasefile::Findings& found) {
    const QString what =
        found.utf8 && found.lfOnly
            ? QStringLiteral("このファイルは UTF-8 で書かれ、行の終わりが LF だけです。")
        : found.utf8 ? QStringLiteral("このファイルは UTF-8 で書かれているようです。")
                     : QStringLiteral("このファイルは行の終わりが LF だけです。");
    return services_.messageBox.ask(
        this,
        what + QStringLiteral("\n\n変換して開くと、文字と行の区切りを読み取って開き、保存する"
                              "ときは Shift-JIS (CP932) と CR LF で書きます。そのまま開くと、"
                              "元のバイトのまま Shift-JIS として読みます。"),
        {QStringLiteral("変換して開く(&C)"), QStringLiteral("そのまま開く(&O)"),
         QStringLiteral("キャンセル")});
}

void Form1::reportLoad(const QString& path, const PhraseLoad& load) {
    if (load.cancelled) return;
    const QString shown = escapes::shown(path);
    if (load.error) {
        services_.messageBox.warn(this,
                                  QStringLiteral("ファイルを開けませんでした。\n\n%1\n\n理由: %2")
                                      .arg(shown, *load.error));
        return;
    }
    if (load.findings.truncated) {
        services_.messageBox.warn(this, QStringLiteral("%1\n\n").arg(shown) + kTruncatedNote);
    }
    if (load.findings.invalidCount > 0) {
        services_.messageBox.warn(
            this,
            QStringLiteral(
                "%1\n\nShift-JIS (CP932) として読めないバイトが %2 か所ありました"
                "（最初は %3 行目）。その部分は「\uFFFD」で表示し、保存するときは元のバイトのまま"
                "書き戻します。")
                .arg(shown)
                .arg(load.findings.invalidCount)
                .arg(load.findings.firstInvalidLine));
    }
}

bool Form1::SaveMsg(const QString& sfile) {
    QString text = Text1->text();
    // A text that already ends its last line is written as it is, so a load and a save
    // give back the same file.
    if (!text.endsWith(kCrLf)) text += kCrLf;
    const cp932::Encoded encoded = phrasefile::encode(text, spelling_);
    if (encoded.error) {
        services_.messageBox.warn(this,
                                  saveFailure(escapes::shown(sfile), files::stamp(sfile).exists,
                                              {files::Written::Untouched, encoded.error},
                                              phrasefile::noCodePage(encoded.error)));
        return false;
    }
    const files::Written w = files::writeFile(sfile, encoded.bytes);
    // A file our failed save changed holds what we wrote, not another program's.
    if (w.outcome == files::Written::Damaged && w.stamp.path == file_.path) file_ = w.stamp;
    const bool saved =
        w.outcome == files::Written::Saved || w.outcome == files::Written::Unconfirmed;
    if (!saved) {
        services_.messageBox.warn(
            this, saveFailure(escapes::shown(sfile), w.existed, w, files::reason(w.error)));
        return false;
    }
    Text1->document()->setModified(false);
    keptText_ = textHash(Text1->text());
    if (w.stamp.path == truncatedFile_) truncatedFile_.clear();
    file_ = w.stamp;
    if (!encoded.unmappable.isEmpty()) {
        services_.messageBox.warn(
            this, QStringLiteral("%1\n\n次の文字は Shift-JIS (CP932) で書けないため、"
                                 "「?」に置き換えて保存しました。\n\n%2")
                      .arg(escapes::shown(sfile), unmappableList(encoded.unmappable)));
    }
    if (w.outcome == files::Written::Unconfirmed)
        services_.messageBox.warn(
            this, saveFailure(escapes::shown(sfile), w.existed, w, files::reason(w.error)));
    else
        services_.messageBox.inform(this, QStringLiteral("保存したよ"));
    return true;
}

void Form1::mOpen_Click() {
    if (!saveChangesFirst()) return;
    const auto path = services_.fileDialogs.showOpen(
        this, {kOpenTitle, kOpenFilter, 1, CommonDialog1.initDir, CommonDialog1.fileName});
    if (!path) return;
    const PhraseLoad load = ReadMsg(*path);
    const bool loaded = !load.error && !load.cancelled;
    // The next dialog starts with it, so Save and Enter never replace a file that was refused.
    if (loaded || !files::stamp(*path).exists) CommonDialog1.fileName = *path;
    if (loaded) mSpeakTest->setEnabled(true);
    reportLoad(*path, load);
}

void Form1::mSave_Click() {
    saveWithDialog();
}

// Save with its dialog; false when it was cancelled or failed.
bool Form1::saveWithDialog() {
    const auto path = services_.fileDialogs.showSave(
        this, {kSaveTitle, kSaveFilter, 1, CommonDialog1.initDir, CommonDialog1.fileName});
    if (!path) return false;
    CommonDialog1.fileName = *path;
    const QByteArray target = files::stamp(*path).path;
    if (!target.isEmpty() && target == truncatedFile_ && !confirm(kTruncatedNote)) return false;
    if (files::changedSince(file_, *path) &&
        !confirm(
            QStringLiteral("このファイルは開いた後で他のプログラムによって変更されています。")))
        return false;
    return SaveMsg(*path);
}

// 「上書きしますか？」; いいえ is the default.
bool Form1::confirm(const QString& why) {
    return services_.messageBox.ask(this, why + QStringLiteral("上書きしますか？"),
                                    {QStringLiteral("はい(&Y)"), QStringLiteral("いいえ(&N)")},
                                    1) == 0;
}

// Asked before a text is dropped that is not empty and differs from the one last loaded or
// saved (undoing back to it counts as no change); false when the user keeps it.
bool Form1::saveChangesFirst() {
    if (!Text1->document()->isModified()) return true;
    if (const QString text = Text1->text(); text.isEmpty() || textHash(text) == keptText_)
        return true;
    const int answer =
        services_.messageBox.ask(this, QStringLiteral("変更を保存しますか？"),
                                 {QStringLiteral("保存(&S)"), QStringLiteral("保存しない(&N)"),
                                  QStringLiteral("キャンセル")});
    return answer == 1 || (answer == 0 && saveWithDialog());
}

QByteArray Form1::textHash(const QString& text) {
    return QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char*>(text.utf16()), text.size() * 2),
        QCryptographicHash::Sha1);
}
