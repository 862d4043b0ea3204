// The phrase file parser on any bytes: at most the limit of lines, none holding a CR, and,
// when nothing was cut off, the lines with their line ends are the decoded file.
#include <cstdlib>

#include "phrases/phrasefile.h"

extern "C" int LLVMFuzzerTestOneInput(const char* data, size_t size) {
    const QByteArrayView bytes(data, qsizetype(size));
    constexpr int kLimit = 4;  // small, so that the limit is met often
    const phrasefile::Phrases p = phrasefile::parse(bytes, kLimit);
    if (p.lines.size() > kLimit) std::abort();
    for (const QString& line : p.lines)
        if (line.contains(u'\r')) std::abort();
    if (!p.findings.truncated) {
        QString text =
            cp932::decode(bytes).text.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
        if (text.endsWith(u'\r')) text.chop(1);
        if (p.lines.join(u'\r') != text) std::abort();
    }
    return 0;
}
