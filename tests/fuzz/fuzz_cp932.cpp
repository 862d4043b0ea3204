// The code page both ways: decoding any bytes leaves no lone surrogate but the escapes of
// bytes, and encoding what was decoded, with its spellings, gives the very same bytes;
// encoding any UTF-16 takes at most two bytes a unit.
#include <cstdlib>

#include "phrases/cp932.h"
#include "platform/escapes.h"

extern "C" int LLVMFuzzerTestOneInput(const char* data, size_t size) {
    const QByteArrayView bytes(data, qsizetype(size));
    const cp932::Decoded d = cp932::decode(bytes);
    for (qsizetype i = 0; i < d.text.size(); ++i) {
        const QChar c = d.text[i];
        const bool paired = c.isHighSurrogate() ? i + 1 < d.text.size() && d.text[i + 1].isLowSurrogate()
                                                : c.isLowSurrogate() && i > 0 && d.text[i - 1].isHighSurrogate();
        if (c.isSurrogate() && !paired && !escapes::at(d.text, i)) std::abort();
    }
    if (cp932::encode(d.text, d.spellings).bytes != bytes) std::abort();
    const QStringView utf16(reinterpret_cast<const char16_t*>(data), qsizetype(size / 2));
    if (cp932::encode(utf16).bytes.size() > utf16.size() * 2) std::abort();
    return 0;
}
