// The phrase file parser on any bytes: at most the limit of lines, none holding a CR, and, when
// nothing was cut off, saving the lines unedited gives the file back byte for byte, but that a
// lone CR and the last line end become CR LF. The same bytes as UTF-16, lone surrogates and
// all, encode to at most two bytes a unit.
#include <cstdlib>

#include "phrases/phrasefile.h"

extern "C" int LLVMFuzzerTestOneInput(const char* data, size_t size) {
    const QByteArrayView bytes(data, qsizetype(size));
    constexpr int kLimit = 4;  // small, so that the limit is met often
    const phrasefile::Phrases p = phrasefile::parse(bytes, kLimit);
    if (p.lines.size() > kLimit) std::abort();
    for (const QString& line : p.lines)
        if (line.contains(u'\r')) std::abort();
    const QStringView utf16(reinterpret_cast<const char16_t*>(data), qsizetype(size / 2));
    if (cp932::encode(utf16).bytes.size() > utf16.size() * 2) std::abort();
    if (p.findings.truncated) return 0;
    QByteArray expected = bytes.toByteArray().replace("\r\n", "\r").replace('\r', "\r\n");
    if (!expected.isEmpty() && !expected.endsWith("\r\n")) expected += "\r\n";
    const QString text = p.lines.join(u"\r\n") + (p.lines.isEmpty() ? "" : "\r\n");
    if (phrasefile::encode(text, p.spelling).bytes != expected) std::abort();
    return 0;
}
