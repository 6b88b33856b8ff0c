#include "text.h"

#include <cctype>
#include <cstdio>

namespace wiasim {

namespace {

struct NamedGuid {
    const char* name;
    GUID guid;
};

constexpr IID IID_IPropertyStorage = {0x00000138, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IMarshal = {0x00000003, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

const NamedGuid kGuidNames[] = {
    {"GUID_NULL", GUID_NULL},
    {"IID_IUnknown", IID_IUnknown},
    {"IID_IMarshal", IID_IMarshal},
    {"IID_IStream", IID_IStream},
    {"IID_ISequentialStream", IID_ISequentialStream},
    {"IID_IPropertyStorage", IID_IPropertyStorage},
    {"IID_IEnumSTATPROPSTG", IID_IEnumSTATPROPSTG},
    {"IID_IGlobalInterfaceTable", IID_IGlobalInterfaceTable},
    {"CLSID_StdGlobalInterfaceTable", CLSID_StdGlobalInterfaceTable},
    {"CLSID_WiaDevMgr", wia::CLSID_WiaDevMgr},
    {"CLSID_WiaDevMgr2", wia::CLSID_WiaDevMgr2},
    {"IID_IWiaDevMgr", wia::IID_IWiaDevMgr},
    {"IID_IWiaDevMgr2", wia::IID_IWiaDevMgr2},
    {"IID_IWiaItem", wia::IID_IWiaItem},
    {"IID_IWiaItem2", wia::IID_IWiaItem2},
    {"IID_IEnumWiaItem", wia::IID_IEnumWiaItem},
    {"IID_IEnumWiaItem2", wia::IID_IEnumWiaItem2},
    {"IID_IEnumWIA_DEV_INFO", wia::IID_IEnumWIA_DEV_INFO},
    {"IID_IWiaPropertyStorage", wia::IID_IWiaPropertyStorage},
    {"IID_IWiaEventCallback", wia::IID_IWiaEventCallback},
    {"IID_IWiaTransfer", wia::IID_IWiaTransfer},
    {"IID_IWiaTransferCallback", wia::IID_IWiaTransferCallback},
    {"IID_IWiaDataTransfer", wia::IID_IWiaDataTransfer},
    {"IID_IWiaDataCallback", wia::IID_IWiaDataCallback},
    {"WIA_EVENT_DEVICE_CONNECTED", wia::WIA_EVENT_DEVICE_CONNECTED},
    {"WIA_EVENT_DEVICE_DISCONNECTED", wia::WIA_EVENT_DEVICE_DISCONNECTED},
    {"WIA_CATEGORY_FINISHED_FILE", wia::WIA_CATEGORY_FINISHED_FILE},
    {"WIA_CATEGORY_FLATBED", wia::WIA_CATEGORY_FLATBED},
    {"WIA_CATEGORY_FEEDER", wia::WIA_CATEGORY_FEEDER},
    {"WIA_CATEGORY_FILM", wia::WIA_CATEGORY_FILM},
    {"WIA_CATEGORY_ROOT", wia::WIA_CATEGORY_ROOT},
    {"WIA_CATEGORY_FOLDER", wia::WIA_CATEGORY_FOLDER},
    {"WIA_CATEGORY_FEEDER_FRONT", wia::WIA_CATEGORY_FEEDER_FRONT},
    {"WIA_CATEGORY_FEEDER_BACK", wia::WIA_CATEGORY_FEEDER_BACK},
    {"WIA_CATEGORY_AUTO", wia::WIA_CATEGORY_AUTO},
    {"WiaImgFmt_BMP", wia::WiaImgFmt_BMP},
    {"WiaImgFmt_JPEG", wia::WiaImgFmt_JPEG},
    {"WiaImgFmt_PNG", wia::WiaImgFmt_PNG},
};

struct NamedVt {
    const char* name;
    VARTYPE vt;
};

const NamedVt kVtNames[] = {
    {"VT_EMPTY", VT_EMPTY}, {"VT_NULL", VT_NULL},       {"VT_I2", VT_I2},         {"VT_I4", VT_I4},
    {"VT_R4", VT_R4},       {"VT_R8", VT_R8},           {"VT_CY", VT_CY},         {"VT_DATE", VT_DATE},
    {"VT_BSTR", VT_BSTR},   {"VT_ERROR", VT_ERROR},     {"VT_BOOL", VT_BOOL},     {"VT_I1", VT_I1},
    {"VT_UI1", VT_UI1},     {"VT_UI2", VT_UI2},         {"VT_UI4", VT_UI4},       {"VT_I8", VT_I8},
    {"VT_UI8", VT_UI8},     {"VT_INT", VT_INT},         {"VT_UINT", VT_UINT},     {"VT_LPSTR", VT_LPSTR},
    {"VT_LPWSTR", VT_LPWSTR}, {"VT_FILETIME", VT_FILETIME}, {"VT_BLOB", VT_BLOB}, {"VT_CLSID", VT_CLSID},
    {"VT_UNKNOWN", VT_UNKNOWN}, {"VT_DISPATCH", VT_DISPATCH}, {"VT_VARIANT", VT_VARIANT},
    {"VT_DECIMAL", VT_DECIMAL}, {"VT_STREAM", VT_STREAM}, {"VT_STORAGE", VT_STORAGE}, {"VT_CF", VT_CF},
};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::u16string utf8ToUtf16(const std::string& s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        const auto b = static_cast<unsigned char>(s[i]);
        char32_t c = 0xFFFD;
        size_t len = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            bool ok = i + len <= n;
            char32_t v = b & (0xFF >> (len + 1));
            for (size_t k = 1; ok && k < len; ++k) {
                const auto cb = static_cast<unsigned char>(s[i + k]);
                if ((cb & 0xC0) != 0x80) ok = false;
                v = (v << 6) | (cb & 0x3F);
            }
            static const char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
            if (ok && v >= kMin[len] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                c = v;
            } else {
                len = 1;
                c = 0xFFFD;
            }
        }
        i += len;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string utf16ToUtf8(const char16_t* s, size_t n) {
    std::string out;
    if (!s) return out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::string guidString(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

const char* knownGuidName(const GUID& g) {
    for (const auto& n : kGuidNames)
        if (n.guid == g) return n.name;
    return nullptr;
}

std::string guidName(const GUID& g) {
    const char* n = knownGuidName(g);
    return n ? std::string(n) : guidString(g);
}

std::optional<GUID> parseGuid(const std::string& text) {
    for (const auto& n : kGuidNames)
        if (text == n.name) return n.guid;
    std::string t = text;
    if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
    if (t.size() != 36 || t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-') return std::nullopt;
    std::string digits;
    for (char c : t)
        if (c != '-') digits += c;
    if (digits.size() != 32) return std::nullopt;
    uint8_t bytes[16];
    for (int i = 0; i < 16; ++i) {
        const int hi = hexDigit(digits[2 * i]);
        const int lo = hexDigit(digits[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    GUID g;
    g.Data1 = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
    g.Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    g.Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
    return g;
}

std::string hex8(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

std::string hexShort(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

std::string quoted(const std::string& utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        } else if (c == '"') {
            out += "\\\"";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string bstrArg(BSTR s) {
    if (!s) return "null";
    return quoted(utf16ToUtf8(s, SysStringLen(s)));
}

std::string wideArg(const OLECHAR* s) {
    if (!s) return "null";
    size_t n = 0;
    while (s[n]) ++n;
    return quoted(utf16ToUtf8(s, n));
}

std::string contextName(DWORD ctx) {
    switch (ctx) {
        case CLSCTX_INPROC_SERVER: return "CLSCTX_INPROC_SERVER";
        case CLSCTX_LOCAL_SERVER: return "CLSCTX_LOCAL_SERVER";
        case CLSCTX_ALL: return "CLSCTX_ALL";
        default: return hexShort(ctx);
    }
}

std::string coinitName(DWORD flags) {
    std::string out = (flags & COINIT_APARTMENTTHREADED) ? "COINIT_APARTMENTTHREADED" : "COINIT_MULTITHREADED";
    if (flags & COINIT_DISABLE_OLE1DDE) out += "|COINIT_DISABLE_OLE1DDE";
    const DWORD rest = flags & ~DWORD(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (rest) out += "|" + hexShort(rest);
    return out;
}

std::string vtName(VARTYPE vt) {
    std::string prefix;
    if (vt & VT_VECTOR) prefix = "VT_VECTOR|";
    if (vt & VT_ARRAY) prefix += "VT_ARRAY|";
    if (vt & VT_BYREF) prefix += "VT_BYREF|";
    const VARTYPE base = vt & 0x0FFF;
    for (const auto& n : kVtNames)
        if (n.vt == base) return prefix + n.name;
    return prefix + std::to_string(base);
}

std::optional<VARTYPE> parseVt(const std::string& name) {
    VARTYPE flags = 0;
    std::string rest = name;
    static const std::pair<const char*, VARTYPE> kPrefixes[] = {
        {"VT_VECTOR|", VT_VECTOR}, {"VT_ARRAY|", VT_ARRAY}, {"VT_BYREF|", VT_BYREF}};
    for (bool again = true; again;) {
        again = false;
        for (const auto& p : kPrefixes) {
            const std::string pre = p.first;
            if (rest.compare(0, pre.size(), pre) == 0) {
                flags |= p.second;
                rest = rest.substr(pre.size());
                again = true;
            }
        }
    }
    for (const auto& n : kVtNames)
        if (rest == n.name) return static_cast<VARTYPE>(flags | n.vt);
    return std::nullopt;
}

}  // namespace wiasim
