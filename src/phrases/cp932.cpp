#include "phrases/cp932.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace cp932 {
namespace {

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr char kUtf16[] = "UTF-16LE";
#else
constexpr char kUtf16[] = "UTF-16BE";
#endif

class Iconv {
  public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv cannot convert between CP932 and UTF-16");
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    size_t operator()(char** in, size_t* inLeft, char** out, size_t* outLeft) {
        return iconv(cd_, in, inLeft, out, outLeft);
    }

  private:
    iconv_t cd_;
};

bool isLeadByte(uchar b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool isTrailByte(uchar b) {
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

}  // namespace

Decoded decode(QByteArrayView bytes) {
    Decoded d;
    // Every CP932 character, and every bad sequence, is one UTF-16 unit.
    d.text.resize(bytes.size());
    Iconv cv(kUtf16, "CP932");
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* const outStart = reinterpret_cast<char*>(d.text.data());
    char* out = outStart;
    size_t outLeft = bytes.size() * sizeof(QChar);
    while (inLeft > 0) {
        if (cv(&in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) throw std::logic_error("CP932 decode buffer too small");
        // A lead byte eats its trail only when the trail is one, so a bad lead byte
        // never swallows the CR of a line end.
        const auto b0 = static_cast<uchar>(in[0]);
        const size_t skip =
            (inLeft >= 2 && isLeadByte(b0) && isTrailByte(static_cast<uchar>(in[1]))) ? 2 : 1;
        if (d.invalidCount++ == 0) d.firstInvalidAt = (out - outStart) / sizeof(QChar);
        *reinterpret_cast<char16_t*>(out) = u'\uFFFD';
        out += sizeof(QChar);
        outLeft -= sizeof(QChar);
        in += skip;
        inLeft -= skip;
    }
    d.text.resize((out - outStart) / sizeof(QChar));
    return d;
}

Encoded encode(QStringView text) {
    Encoded e;
    // At most two bytes for each UTF-16 unit.
    e.bytes.resize(text.size() * 2);
    Iconv cv("CP932", kUtf16);
    const char16_t* const start = text.utf16();
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(start));
    size_t inLeft = text.size() * sizeof(QChar);
    char* const outStart = e.bytes.data();
    char* out = outStart;
    size_t outLeft = e.bytes.size();
    while (inLeft > 0) {
        if (cv(&in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) throw std::logic_error("CP932 encode buffer too small");
        // Unmappable character, lone surrogate or a pair cut at the end: one '?' for it.
        const qsizetype at = reinterpret_cast<const char16_t*>(in) - start;
        char32_t c = text[at].unicode();
        qsizetype units = 1;
        if (QChar::isHighSurrogate(c) && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[at], text[at + 1]);
            units = 2;
        }
        if (!e.unmappable.contains(c)) e.unmappable.append(c);
        *out++ = '?';
        --outLeft;
        in += units * sizeof(QChar);
        inLeft -= units * sizeof(QChar);
    }
    e.bytes.resize(out - outStart);
    return e;
}

}  // namespace cp932
