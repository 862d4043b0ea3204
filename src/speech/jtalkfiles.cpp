#include "speech/jtalkfiles.h"

#include <QFileInfo>
#include <QStringList>

namespace speech {
namespace {

const QString kDebianDictionary = QStringLiteral("/var/lib/mecab/dic/open-jtalk/naist-jdic");
const QString kDebianVoice =
    QStringLiteral("/usr/share/hts-voice/nitech-jp-atr503-m001/nitech_jp_atr503_m001.htsvoice");

QString firstExisting(const QStringList& candidates, bool (*usable)(const QString&)) {
    for (const QString& c : candidates)
        if (usable(c)) return c;
    return candidates.first();
}

bool isProgram(const QString& p) {
    const QFileInfo f(p);
    return f.isFile() && f.isExecutable();
}
bool isDictionary(const QString& p) {
    return QFileInfo(p + QStringLiteral("/sys.dic")).isReadable();
}
bool isVoice(const QString& p) {
    const QFileInfo f(p);
    return f.isFile() && f.isReadable();
}

}  // namespace

JTalkFiles JTalkFiles::find() {
    return {
        firstExisting(
            {QStringLiteral("/usr/bin/open_jtalk"), QStringLiteral("/usr/local/bin/open_jtalk")},
            isProgram),
        firstExisting({kDebianDictionary, QStringLiteral("/usr/local/share/open_jtalk/dic"),
                       QStringLiteral("/usr/local/lib/open_jtalk/dic"),
                       QStringLiteral("/usr/local/share/open-jtalk/naist-jdic")},
                      isDictionary),
        firstExisting({kDebianVoice,
                       QStringLiteral("/usr/local/share/hts-voice/nitech-jp-atr503-m001/"
                                      "nitech_jp_atr503_m001.htsvoice"),
                       QStringLiteral("/usr/local/share/open_jtalk/voice/"
                                      "nitech_jp_atr503_m001.htsvoice")},
                      isVoice),
    };
}

QString JTalkFiles::missing() const {
    if (!isProgram(program))
        return QStringLiteral(
                   "音声合成プログラム open_jtalk が見つかりません（%1）。"
                   "パッケージ open-jtalk をインストールしてください。")
            .arg(program);
    if (!isDictionary(dictionary))
        return QStringLiteral(
                   "open_jtalk の辞書が見つかりません（%1）。"
                   "パッケージ open-jtalk-mecab-naist-jdic をインストールしてください。")
            .arg(dictionary);
    if (!isVoice(voice))
        return QStringLiteral(
                   "声のデータが見つかりません（%1）。"
                   "パッケージ hts-voice-nitech-jp-atr503-m001（Debian では contrib）を"
                   "インストールしてください。")
            .arg(voice);
    return QString();
}

}  // namespace speech
