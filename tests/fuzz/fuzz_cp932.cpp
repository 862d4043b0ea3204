// The code page both ways: decoding any bytes leaves no lone surrogate but the escapes of
// bytes; encoding what was decoded, with its spellings, gives as many bytes that decode to
// the same text, and the very same bytes but where a character was spelled two ways (the
// first spelling is kept); encoding any UTF-16 takes at most two bytes a unit.
#include <cstdlib>

#include "phrases/cp932.h"
#include "platform/escapes.h"

extern "C" int LLVMFuzzerTestOneInput(const char* data, size_t size) {
    const QByteArrayView bytes(data, qsizetype(size));
    const cp932::Decoded d = cp932::decode(bytes);
    for (qsizetype i = 0; i < d.text.size(); ++i) {
        const QChar c = d.text[i];
        const bool paired = c.isHighSurrogate()
                                ? i + 1 < d.text.size() && d.text[i + 1].isLowSurrogate()
                                : c.isLowSurrogate() && i > 0 && d.text[i - 1].isHighSurrogate();
        if (c.isSurrogate() && !paired && !escapes::at(d.text, i)) std::abort();
    }
    const QByteArray again = cp932::encode(d.text, d.spellings).bytes;
    if (again.size() != bytes.size() || cp932::decode(again).text != d.text) std::abort();
    // Other bytes only where a character that has a kept spelling was also spelled otherwise.
    if (again != bytes && d.spellings.isEmpty()) std::abort();
    const QStringView utf16(reinterpret_cast<const char16_t*>(data), qsizetype(size / 2));
    if (cp932::encode(utf16).bytes.size() > utf16.size() * 2) std::abort();
    return 0;
}
