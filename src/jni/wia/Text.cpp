#include "Text.h"

#include <cstring>

namespace talvek {
namespace {

// Appends whole characters to a bounded buffer; once a character does not fit,
// nothing more is written.
class BoundedWriter {
public:
    BoundedWriter(char* out, size_t cap) : out_(out), cap_(cap) {}

    void Put(const char* bytes, size_t n) {
        if (full_ || cap_ == 0) return;
        if (pos_ + n > cap_ - 1) {
            full_ = true;
            return;
        }
        std::memcpy(out_ + pos_, bytes, n);
        pos_ += n;
    }
    void Put(char c) { Put(&c, 1); }
    void PutRepeat(char c, int n) {
        for (int i = 0; i < n; ++i) Put(c);
    }
    size_t Finish() {
        if (cap_ > 0) out_[pos_] = '\0';
        return pos_;
    }

private:
    char* out_;
    size_t cap_;
    size_t pos_ = 0;
    bool full_ = false;
};

// Encodes one 16-bit unit as modified UTF-8 (surrogates each take 3 bytes).
size_t EncodeUnit(uint16_t u, char* seq) {
    if (u != 0 && u < 0x80) {
        seq[0] = static_cast<char>(u);
        return 1;
    }
    if (u < 0x800) {  // NUL included: modified UTF-8 writes it as C0 80
        seq[0] = static_cast<char>(0xC0 | (u >> 6));
        seq[1] = static_cast<char>(0x80 | (u & 0x3F));
        return 2;
    }
    seq[0] = static_cast<char>(0xE0 | (u >> 12));
    seq[1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    seq[2] = static_cast<char>(0x80 | (u & 0x3F));
    return 3;
}

// Reads one UTF-8 character from `s`; returns the bytes consumed (0 at the
// end) and stores the code point, or -1 for an invalid sequence (1 byte used).
size_t DecodeUtf8(const unsigned char* s, int32_t* cp) {
    unsigned char c = s[0];
    if (c == 0) return 0;
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    int extra;
    int32_t value;
    int32_t min;
    if ((c & 0xE0) == 0xC0) {
        extra = 1, value = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2, value = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3, value = c & 0x07, min = 0x10000;
    } else {
        *cp = -1;
        return 1;
    }
    for (int i = 1; i <= extra; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            *cp = -1;
            return 1;
        }
        value = (value << 6) | (s[i] & 0x3F);
    }
    // C0 80 is modified UTF-8's NUL: accepted. Other overlong forms are not.
    bool modifiedNul = (extra == 1 && value == 0);
    if ((value < min && !modifiedNul) || value > 0x10FFFF) {
        *cp = -1;
        return 1;
    }
    *cp = value;
    return static_cast<size_t>(extra) + 1;
}

// Calls `sink(bytes, n)` once per character of narrow text, in modified UTF-8,
// for at most `maxChars` characters (negative: no limit).
template <typename Sink>
void EachNarrowChar(const char* text, long maxChars, Sink sink) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    for (long n = 0; maxChars < 0 || n < maxChars; ++n) {
        int32_t cp;
        size_t used = DecodeUtf8(s, &cp);
        if (used == 0) return;
        char seq[6];
        if (cp < 0) {
            sink("?", 1);
        } else if (cp >= 0x10000) {
            uint32_t v = static_cast<uint32_t>(cp) - 0x10000;
            size_t a = EncodeUnit(static_cast<uint16_t>(0xD800 | (v >> 10)), seq);
            size_t b = EncodeUnit(static_cast<uint16_t>(0xDC00 | (v & 0x3FF)), seq + a);
            sink(seq, a + b);
        } else {
            sink(reinterpret_cast<const char*>(s), used);
        }
        s += used;
    }
}

template <typename Sink>
void EachWideChar(const char16_t* text, size_t len, Sink sink) {
    for (size_t i = 0; i < len; ++i) {
        char seq[3];
        uint16_t u = static_cast<uint16_t>(text[i]);
        // A surrogate pair is written as one piece so that a cut never splits it.
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < len) {
            uint16_t low = static_cast<uint16_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                char pair[6];
                size_t a = EncodeUnit(u, pair);
                size_t b = EncodeUnit(low, pair + a);
                sink(pair, a + b);
                ++i;
                continue;
            }
        }
        sink(seq, EncodeUnit(u, seq));
    }
}

size_t WideLength(const char16_t* s, long maxChars) {
    size_t n = 0;
    while (s[n] != 0 && (maxChars < 0 || static_cast<long>(n) < maxChars)) ++n;
    return n;
}

long NarrowCharCount(const char* text, long maxChars) {
    long n = 0;
    EachNarrowChar(text, maxChars, [&](const char*, size_t) { ++n; });
    return n;
}

struct Spec {
    bool left = false, zero = false, plus = false, space = false, alt = false;
    int width = 0;
    int precision = -1;
    int length = 0;  // 0 int, 1 short, 2 char, 3 64-bit, 4 size_t
    bool wide = false;
};

void PutNumber(BoundedWriter& w, const Spec& sp, uint64_t magnitude, bool negative, unsigned base, bool upper,
               const char* prefix) {
    char digits[32];
    int n = 0;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits[n++] = set[magnitude % base];
        magnitude /= base;
    } while (magnitude != 0);
    if (sp.precision == 0 && n == 1 && digits[0] == '0') n = 0;
    int zeros = sp.precision > n ? sp.precision - n : 0;
    char sign = negative ? '-' : (sp.plus ? '+' : (sp.space ? ' ' : 0));
    int prefixLen = static_cast<int>(std::strlen(prefix));
    int body = n + zeros + (sign ? 1 : 0) + prefixLen;
    int pad = sp.width > body ? sp.width - body : 0;
    if (!sp.left && !(sp.zero && sp.precision < 0)) w.PutRepeat(' ', pad);
    if (sign) w.Put(sign);
    w.Put(prefix, static_cast<size_t>(prefixLen));
    if (!sp.left && sp.zero && sp.precision < 0) w.PutRepeat('0', pad);
    w.PutRepeat('0', zeros);
    while (n > 0) w.Put(digits[--n]);
    if (sp.left) w.PutRepeat(' ', pad);
}

int64_t SignedArg(const Spec& sp, va_list& ap) {
    switch (sp.length) {
        case 1: return static_cast<int16_t>(va_arg(ap, int));
        case 2: return static_cast<int8_t>(va_arg(ap, int));
        case 3: return va_arg(ap, long long);
        case 4: return static_cast<int64_t>(va_arg(ap, ptrdiff_t));
        default: return va_arg(ap, int);
    }
}

uint64_t UnsignedArg(const Spec& sp, va_list& ap) {
    switch (sp.length) {
        case 1: return static_cast<uint16_t>(va_arg(ap, unsigned));
        case 2: return static_cast<uint8_t>(va_arg(ap, unsigned));
        case 3: return va_arg(ap, unsigned long long);
        case 4: return va_arg(ap, size_t);
        default: return va_arg(ap, unsigned);
    }
}

void PutPadded(BoundedWriter& w, const Spec& sp, long chars, bool before) {
    int pad = sp.width > chars ? sp.width - static_cast<int>(chars) : 0;
    if (before != sp.left) w.PutRepeat(' ', pad);
}

}  // namespace

size_t FormatV(char* out, size_t cap, const char* fmt, va_list apIn) {
    BoundedWriter w(out, cap);
    va_list ap;
    va_copy(ap, apIn);
    const char* p = fmt ? fmt : "";
    while (*p) {
        if (*p != '%') {
            // Literal text of the format goes through the same validation.
            const char* start = p;
            while (*p && *p != '%') ++p;
            std::string literal(start, static_cast<size_t>(p - start));
            EachNarrowChar(literal.c_str(), -1, [&](const char* b, size_t n) { w.Put(b, n); });
            continue;
        }
        ++p;
        if (*p == '%') {
            w.Put('%');
            ++p;
            continue;
        }
        Spec sp;
        for (;; ++p) {
            if (*p == '-') sp.left = true;
            else if (*p == '0') sp.zero = true;
            else if (*p == '+') sp.plus = true;
            else if (*p == ' ') sp.space = true;
            else if (*p == '#') sp.alt = true;
            else break;
        }
        if (*p == '*') {
            sp.width = va_arg(ap, int);
            if (sp.width < 0) {
                sp.left = true;
                sp.width = -sp.width;
            }
            ++p;
        } else {
            while (*p >= '0' && *p <= '9') sp.width = sp.width * 10 + (*p++ - '0');
        }
        if (*p == '.') {
            ++p;
            sp.precision = 0;
            if (*p == '*') {
                sp.precision = va_arg(ap, int);
                if (sp.precision < 0) sp.precision = -1;
                ++p;
            } else {
                while (*p >= '0' && *p <= '9') sp.precision = sp.precision * 10 + (*p++ - '0');
            }
        }
        if (p[0] == 'h' && p[1] == 'h') sp.length = 2, p += 2;
        else if (*p == 'h') sp.length = 1, ++p;
        else if (p[0] == 'l' && p[1] == 'l') sp.length = 3, p += 2;
        else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') sp.length = 3, p += 3;
        else if (*p == 'l') sp.wide = true, ++p;  // 32-bit for integers, wide for strings
        else if (*p == 'w') sp.wide = true, ++p;
        else if (*p == 'z') sp.length = 4, ++p;
        char conv = *p;
        if (conv == 0) break;
        ++p;
        switch (conv) {
            case 'd':
            case 'i': {
                int64_t v = SignedArg(sp, ap);
                uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
                PutNumber(w, sp, mag, v < 0, 10, false, "");
                break;
            }
            case 'u': PutNumber(w, sp, UnsignedArg(sp, ap), false, 10, false, ""); break;
            case 'o': PutNumber(w, sp, UnsignedArg(sp, ap), false, 8, false, sp.alt ? "0" : ""); break;
            case 'x':
            case 'X': {
                uint64_t v = UnsignedArg(sp, ap);
                const char* prefix = (sp.alt && v != 0) ? (conv == 'x' ? "0x" : "0X") : "";
                PutNumber(w, sp, v, false, 16, conv == 'X', prefix);
                break;
            }
            case 'p': {
                void* v = va_arg(ap, void*);
                Spec ps = sp;
                ps.precision = static_cast<int>(sizeof(void*) * 2);
                PutNumber(w, ps, reinterpret_cast<uintptr_t>(v), false, 16, true, "");
                break;
            }
            case 'c': {
                int c = va_arg(ap, int);
                char ch[2] = {static_cast<char>(c), 0};
                PutPadded(w, sp, 1, true);
                if (sp.wide) {
                    char16_t u = static_cast<char16_t>(c);
                    EachWideChar(&u, 1, [&](const char* b, size_t n) { w.Put(b, n); });
                } else {
                    EachNarrowChar(ch, 1, [&](const char* b, size_t n) { w.Put(b, n); });
                }
                PutPadded(w, sp, 1, false);
                break;
            }
            case 'S':
                sp.wide = true;
                [[fallthrough]];
            case 's': {
                const void* arg = va_arg(ap, const void*);
                if (arg == nullptr) {
                    long n = NarrowCharCount("(null)", sp.precision);
                    PutPadded(w, sp, n, true);
                    EachNarrowChar("(null)", sp.precision, [&](const char* b, size_t k) { w.Put(b, k); });
                    PutPadded(w, sp, n, false);
                } else if (sp.wide) {
                    const char16_t* ws = static_cast<const char16_t*>(arg);
                    size_t len = WideLength(ws, sp.precision);
                    PutPadded(w, sp, static_cast<long>(len), true);
                    EachWideChar(ws, len, [&](const char* b, size_t k) { w.Put(b, k); });
                    PutPadded(w, sp, static_cast<long>(len), false);
                } else {
                    const char* s = static_cast<const char*>(arg);
                    long n = NarrowCharCount(s, sp.precision);
                    PutPadded(w, sp, n, true);
                    EachNarrowChar(s, sp.precision, [&](const char* b, size_t k) { w.Put(b, k); });
                    PutPadded(w, sp, n, false);
                }
                break;
            }
            default:
                // An unknown conversion is written as it stands; it consumes no argument.
                w.Put('%');
                w.Put(conv);
                break;
        }
    }
    va_end(ap);
    return w.Finish();
}

size_t Format(char* out, size_t cap, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    size_t n = FormatV(out, cap, fmt, ap);
    va_end(ap);
    return n;
}

std::string ToModifiedUtf8(const char* text) {
    std::string out;
    if (text == nullptr) return out;
    EachNarrowChar(text, -1, [&](const char* b, size_t n) { out.append(b, n); });
    return out;
}

std::string Utf16ToModifiedUtf8(const char16_t* text, size_t len) {
    std::string out;
    if (text == nullptr) return out;
    EachWideChar(text, len, [&](const char* b, size_t n) { out.append(b, n); });
    return out;
}

std::string Utf16ToUtf8(const char16_t* text, size_t len) {
    std::string out;
    if (text == nullptr) return out;
    for (size_t i = 0; i < len; ++i) {
        uint32_t cp = static_cast<uint16_t>(text[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < len && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint16_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            out += '?';
            continue;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

bool IsModifiedUtf8(const char* text) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    while (*s) {
        int32_t cp;
        size_t used = DecodeUtf8(s, &cp);
        if (cp < 0 || used == 4) return false;
        s += used;
    }
    return true;
}

}  // namespace talvek
