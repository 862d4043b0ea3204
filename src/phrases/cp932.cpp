#include "phrases/cp932.h"

#include <iconv.h>

#include <array>
#include <bitset>
#include <cerrno>
#include <memory>
#include <stdexcept>
#include <utility>

#include "platform/escapes.h"

namespace cp932 {
namespace {

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr char kUtf16[] = "UTF-16LE";
#else
constexpr char kUtf16[] = "UTF-16BE";
#endif

// glibc's converter, which it loads from a module of its own when first opened: that may fail
// like any open, and is told, not thrown.
class Iconv {
  public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (!ok()) error_ = errno;
    }
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    int error() const { return error_; }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    void reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }
    size_t operator()(char** in, size_t* inLeft, char** out, size_t* outLeft) {
        return iconv(cd_, in, inLeft, out, outLeft);
    }
    // The whole of in, or nothing when any of it does not convert.
    QByteArray all(QByteArrayView in) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        QByteArray out(8, 0);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size(), outLeft = out.size();
        char* dst = out.data();
        if (iconv(cd_, &src, &srcLeft, &dst, &outLeft) == size_t(-1)) return QByteArray();
        out.resize(dst - out.data());
        return out;
    }

  private:
    iconv_t cd_;
    int error_ = 0;
};

bool isLeadByte(uchar b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool isTrailByte(uchar b) {
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

// Every code of the page, single bytes below 0x100 and pairs as lead << 8 | trail, made once
// from glibc's table.
struct Table {
    std::array<char16_t, 65536> character{};
    std::bitset<65536> defined;
    std::bitset<65536> otherSpelling;  // Windows writes its character with other bytes
    std::bitset<65536> twins;          // characters that have more than one code

    int error = 0;  // why glibc's table could not be read

    Table() {
        Iconv toUtf16(kUtf16, "CP932"), fromUtf16("CP932", kUtf16);
        error = toUtf16.ok() ? fromUtf16.error() : toUtf16.error();
        if (error) return;
        const auto add = [&](int code, QByteArrayView bytes) {
            const QByteArray unit = toUtf16.all(bytes);
            if (unit.size() != 2) return;
            character[code] = *reinterpret_cast<const char16_t*>(unit.constData());
            defined[code] = true;
            otherSpelling[code] = fromUtf16.all(unit) != bytes;
            if (otherSpelling[code]) twins[character[code]] = true;
        };
        for (int b = 0; b < 0x100; ++b) {
            const char byte = char(b);
            if (!isLeadByte(b)) add(b, QByteArrayView(&byte, 1));
        }
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            for (int trail = 0x40; trail <= 0xFC && isLeadByte(lead); ++trail) {
                const char pair[2] = {char(lead), char(trail)};
                if (isTrailByte(trail)) add(lead << 8 | trail, QByteArrayView(pair, 2));
            }
        }
    }
};

// Made once it can be: a failure is tried again at the next use.
const Table* table(int& error) {
    static std::unique_ptr<const Table> t;
    if (!t) {
        auto made = std::make_unique<const Table>();
        error = made->error;
        if (!error) t = std::move(made);
    }
    return t.get();
}

// Appends text that holds no escapes or kept spellings, in the Windows spelling.
void encodeRun(Iconv& cv, QStringView text, Encoded& e) {
    const qsizetype at = e.bytes.size();
    e.bytes.resize(at + text.size() * 2);  // at most two bytes for each UTF-16 unit
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.utf16()));
    size_t inLeft = text.size() * sizeof(QChar);
    char* out = e.bytes.data() + at;
    size_t outLeft = text.size() * 2;
    while (inLeft > 0) {
        if (cv(&in, &inLeft, &out, &outLeft) != size_t(-1)) break;
        if (errno == E2BIG) throw std::logic_error("CP932 encode buffer too small");
        // Unmappable character, lone surrogate or a pair cut at the end: one '?' for it.
        const qsizetype i = reinterpret_cast<const char16_t*>(in) - text.utf16();
        char32_t c = text[i].unicode();
        qsizetype units = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            units = 2;
        }
        if (!e.unmappable.contains(c)) e.unmappable.append(c);
        *out++ = '?';
        --outLeft;
        in += units * sizeof(QChar);
        inLeft -= units * sizeof(QChar);
    }
    e.bytes.resize(out - e.bytes.data());
}

}  // namespace

Decoded decode(QByteArrayView bytes) {
    Decoded d;
    const Table* found = table(d.error);
    if (!found) return d;
    const Table& t = *found;
    d.text.reserve(bytes.size());
    const auto bad = [&d](std::initializer_list<uchar> seq) {
        if (d.invalidCount++ == 0) d.firstInvalidAt = d.text.size();
        for (uchar b : seq) d.text += escapes::of(b);
    };
    for (qsizetype i = 0; i < bytes.size();) {
        const auto b = static_cast<uchar>(bytes[i]);
        if (!isLeadByte(b)) {
            t.defined[b] ? void(d.text += QChar(t.character[b])) : bad({b});
            ++i;
            continue;
        }
        // A lead byte takes its trail only when it is one, so a bad lead byte never swallows
        // the CR of a line end; a pair that is no character is carried as two bytes.
        const uchar trail = i + 1 < bytes.size() ? static_cast<uchar>(bytes[i + 1]) : 0;
        if (!isTrailByte(trail)) {
            bad({b});
            ++i;
            continue;
        }
        const int code = b << 8 | trail;
        if (!t.defined[code]) {
            bad({b, trail});
        } else {
            const char16_t c = t.character[code];
            if (t.otherSpelling[code] && !d.spellings.contains(c))
                d.spellings.insert(c, QByteArray(bytes.data() + i, 2));
            d.twins = d.twins || t.twins[c];
            d.text += QChar(c);
        }
        i += 2;
    }
    return d;
}

Encoded encode(QStringView text, const Spellings& spellings) {
    Encoded e;
    e.bytes.reserve(text.size() * 2);
    static std::unique_ptr<Iconv> opened;  // once: a save may encode line by line
    if (!opened || !opened->ok()) opened = std::make_unique<Iconv>("CP932", kUtf16);
    if (!opened->ok()) {
        e.error = opened->error();
        return e;
    }
    Iconv& cv = *opened;
    cv.reset();
    qsizetype run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool escape = escapes::at(text, i);
        const auto kept = escape ? spellings.cend() : spellings.constFind(text[i].unicode());
        if (!escape && kept == spellings.cend()) continue;
        encodeRun(cv, text.sliced(run, i - run), e);
        if (escape)
            e.bytes += char(text[i].unicode() - 0xDC00);
        else
            e.bytes += *kept;
        run = i + 1;
    }
    encodeRun(cv, text.sliced(run), e);
    return e;
}

}  // namespace cp932
