#include "variant.h"

#include <cstdio>
#include <cstdlib>

#include "accounting.h"
#include "text.h"

namespace wiasim {

namespace {

constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008);

void* serviceMem(size_t cb) { return std::malloc(cb ? cb : 1); }
void serviceFree(void* p) { std::free(p); }
BSTR callerBstr(const OLECHAR* src, uint32_t units) { return SysAllocStringLen(src, units); }
void callerBstrFree(BSTR s) { SysFreeString(s); }
void* callerMem(size_t cb) { return CoTaskMemAlloc(cb); }
void callerFree(void* p) { CoTaskMemFree(p); }

bool isPlainScalar(VARTYPE vt) {
    switch (vt) {
        case VT_EMPTY: case VT_NULL: case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
        case VT_INT: case VT_UINT: case VT_I8: case VT_UI8: case VT_R4: case VT_R8: case VT_BOOL: case VT_ERROR:
        case VT_CY: case VT_DATE: case VT_FILETIME:
            return true;
        default:
            return false;
    }
}

size_t wideLen(const OLECHAR* s) {
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

// Copies one owned element (string kinds); false when memory ran out.
bool copyOwnedString(VARTYPE base, const void* srcSlot, void* dstSlot, const Allocator& a) {
    switch (base) {
        case VT_BSTR: {
            const BSTR s = *static_cast<const BSTR*>(srcSlot);
            BSTR d = nullptr;
            if (s && !(d = a.allocBstr(s, SysStringLen(s)))) return false;
            *static_cast<BSTR*>(dstSlot) = d;
            return true;
        }
        case VT_LPWSTR: {
            const LPWSTR s = *static_cast<const LPWSTR*>(srcSlot);
            LPWSTR d = nullptr;
            if (s) {
                const size_t n = wideLen(s) + 1;
                d = static_cast<LPWSTR>(a.allocMem(n * sizeof(OLECHAR)));
                if (!d) return false;
                std::memcpy(d, s, n * sizeof(OLECHAR));
            }
            *static_cast<LPWSTR*>(dstSlot) = d;
            return true;
        }
        case VT_LPSTR: {
            const LPSTR s = *static_cast<const LPSTR*>(srcSlot);
            LPSTR d = nullptr;
            if (s) {
                const size_t n = std::strlen(s) + 1;
                d = static_cast<LPSTR>(a.allocMem(n));
                if (!d) return false;
                std::memcpy(d, s, n);
            }
            *static_cast<LPSTR*>(dstSlot) = d;
            return true;
        }
        default:
            return false;
    }
}

void freeOwnedString(VARTYPE base, void* slot, const Allocator& a) {
    if (base == VT_BSTR)
        a.freeBstr(*static_cast<BSTR*>(slot));
    else
        a.freeMem(*static_cast<void**>(slot));
}

bool isStringKind(VARTYPE base) { return base == VT_BSTR || base == VT_LPWSTR || base == VT_LPSTR; }

}  // namespace

const Allocator kCallerAlloc = {callerBstr, callerBstrFree, callerMem, callerFree};
const Allocator kServiceAlloc = {rawBstrAlloc, rawBstrFree, serviceMem, serviceFree};

size_t vectorElementSize(VARTYPE base) {
    switch (base) {
        case VT_I1: case VT_UI1: return 1;
        case VT_I2: case VT_UI2: case VT_BOOL: return 2;
        case VT_I4: case VT_UI4: case VT_R4: case VT_ERROR: return 4;
        case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: case VT_FILETIME: return 8;
        case VT_CLSID: return sizeof(GUID);
        case VT_BSTR: case VT_LPSTR: case VT_LPWSTR: return sizeof(void*);
        default: return 0;
    }
}

bool isSupportedVt(VARTYPE vt) {
    if (vt & VT_VECTOR) return (vt & ~VT_VECTOR) != 0 && vectorElementSize(vt & ~VT_VECTOR) != 0;
    return isPlainScalar(vt) || isStringKind(vt) || vt == VT_CLSID || vt == VT_BLOB;
}

HRESULT copyVariant(PROPVARIANT* dst, const PROPVARIANT& src, const Allocator& a) {
    if (!dst) return E_INVALIDARG;
    if (!isSupportedVt(src.vt)) return DISP_E_BADVARTYPE;
    PROPVARIANT tmp;
    PropVariantInit(&tmp);
    tmp.vt = src.vt;
    if (isPlainScalar(src.vt)) {
        tmp = src;
    } else if (isStringKind(src.vt)) {
        if (!copyOwnedString(src.vt, &src.bstrVal, &tmp.bstrVal, a)) return E_OUTOFMEMORY;
    } else if (src.vt == VT_CLSID) {
        if (src.puuid) {
            tmp.puuid = static_cast<CLSID*>(a.allocMem(sizeof(CLSID)));
            if (!tmp.puuid) return E_OUTOFMEMORY;
            *tmp.puuid = *src.puuid;
        }
    } else if (src.vt == VT_BLOB) {
        tmp.blob.cbSize = src.blob.cbSize;
        if (src.blob.cbSize && src.blob.pBlobData) {
            tmp.blob.pBlobData = static_cast<BYTE*>(a.allocMem(src.blob.cbSize));
            if (!tmp.blob.pBlobData) return E_OUTOFMEMORY;
            std::memcpy(tmp.blob.pBlobData, src.blob.pBlobData, src.blob.cbSize);
        }
    } else {
        const VARTYPE base = src.vt & ~VT_VECTOR;
        const size_t size = vectorElementSize(base);
        const ULONG n = src.cal.cElems;
        tmp.cal.cElems = n;
        if (n && src.cal.pElems) {
            auto* elems = static_cast<uint8_t*>(a.allocMem(size * n));
            if (!elems) return E_OUTOFMEMORY;
            const auto* from = reinterpret_cast<const uint8_t*>(src.cal.pElems);
            if (isStringKind(base)) {
                for (ULONG i = 0; i < n; ++i) {
                    if (!copyOwnedString(base, from + i * size, elems + i * size, a)) {
                        for (ULONG k = 0; k < i; ++k) freeOwnedString(base, elems + k * size, a);
                        a.freeMem(elems);
                        return E_OUTOFMEMORY;
                    }
                }
            } else {
                std::memcpy(elems, from, size * n);
            }
            tmp.cal.pElems = reinterpret_cast<LONG*>(elems);
        } else {
            tmp.cal.cElems = 0;
        }
    }
    *dst = tmp;
    return S_OK;
}

HRESULT clearVariant(PROPVARIANT* pv, const Allocator& a) {
    if (!pv) return E_INVALIDARG;
    const VARTYPE vt = pv->vt;
    if (!isSupportedVt(vt)) return DISP_E_BADVARTYPE;
    if (isStringKind(vt)) {
        freeOwnedString(vt, &pv->bstrVal, a);
    } else if (vt == VT_CLSID) {
        a.freeMem(pv->puuid);
    } else if (vt == VT_BLOB) {
        a.freeMem(pv->blob.pBlobData);
    } else if (vt & VT_VECTOR) {
        const VARTYPE base = vt & ~VT_VECTOR;
        auto* elems = reinterpret_cast<uint8_t*>(pv->cal.pElems);
        if (elems && isStringKind(base)) {
            const size_t size = vectorElementSize(base);
            for (ULONG i = 0; i < pv->cal.cElems; ++i) freeOwnedString(base, elems + i * size, a);
        }
        a.freeMem(elems);
    }
    PropVariantInit(pv);
    return S_OK;
}

bool isIntegerVt(VARTYPE base) {
    switch (base) {
        case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
        case VT_I8: case VT_UI8: case VT_BOOL: case VT_ERROR:
            return true;
        default:
            return false;
    }
}

namespace {

int64_t integerAt(VARTYPE base, const void* p) {
    switch (base) {
        case VT_I1: return *static_cast<const int8_t*>(p);
        case VT_UI1: return *static_cast<const uint8_t*>(p);
        case VT_I2: case VT_BOOL: return *static_cast<const int16_t*>(p);
        case VT_UI2: return *static_cast<const uint16_t*>(p);
        case VT_I4: case VT_INT: case VT_ERROR: return *static_cast<const int32_t*>(p);
        case VT_UI4: case VT_UINT: return *static_cast<const uint32_t*>(p);
        case VT_I8: return *static_cast<const int64_t*>(p);
        case VT_UI8: return static_cast<int64_t>(*static_cast<const uint64_t*>(p));
        default: return 0;
    }
}

void storeInteger(VARTYPE base, void* p, int64_t v) {
    switch (base) {
        case VT_I1: case VT_UI1: *static_cast<uint8_t*>(p) = static_cast<uint8_t>(v); break;
        case VT_I2: case VT_UI2: case VT_BOOL: *static_cast<uint16_t*>(p) = static_cast<uint16_t>(v); break;
        case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR:
            *static_cast<uint32_t*>(p) = static_cast<uint32_t>(v);
            break;
        default: *static_cast<uint64_t*>(p) = static_cast<uint64_t>(v); break;
    }
}

}  // namespace

std::optional<int64_t> scalarInteger(const PROPVARIANT& pv) {
    if (!isIntegerVt(pv.vt)) return std::nullopt;
    return integerAt(pv.vt, &pv.bVal);
}

int64_t vectorInteger(const PROPVARIANT& pv, ULONG i) {
    const VARTYPE base = pv.vt & ~VT_VECTOR;
    const auto* elems = reinterpret_cast<const uint8_t*>(pv.cal.pElems);
    return integerAt(base, elems + i * vectorElementSize(base));
}

std::string describeValue(const PROPVARIANT& pv) {
    if (auto v = scalarInteger(pv)) return std::to_string(*v);
    switch (pv.vt) {
        case VT_EMPTY: return "VT_EMPTY";
        case VT_R4: {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%g", static_cast<double>(pv.fltVal));
            return buf;
        }
        case VT_R8: {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%g", pv.dblVal);
            return buf;
        }
        case VT_BSTR: return bstrArg(pv.bstrVal);
        case VT_LPWSTR: return wideArg(pv.pwszVal);
        case VT_LPSTR: return pv.pszVal ? quoted(pv.pszVal) : "null";
        case VT_CLSID: return pv.puuid ? guidName(*pv.puuid) : "null";
        default: return "<" + vtName(pv.vt) + ">";
    }
}

bool sameValue(const PROPVARIANT& a, const PROPVARIANT& b) {
    if (a.vt != b.vt) return false;
    if (auto x = scalarInteger(a)) return *x == *scalarInteger(b);
    switch (a.vt) {
        case VT_CLSID: return a.puuid && b.puuid && *a.puuid == *b.puuid;
        case VT_BSTR:
            return SysStringByteLen(a.bstrVal) == SysStringByteLen(b.bstrVal) &&
                   (SysStringByteLen(a.bstrVal) == 0 ||
                    std::memcmp(a.bstrVal, b.bstrVal, SysStringByteLen(a.bstrVal)) == 0);
        case VT_R4: return a.fltVal == b.fltVal;
        case VT_R8: return a.dblVal == b.dblVal;
        default: return false;
    }
}

Variant& Variant::operator=(const Variant& o) {
    if (this != &o) {
        Variant copy(o);
        *this = std::move(copy);
    }
    return *this;
}

Variant& Variant::operator=(Variant&& o) noexcept {
    if (this != &o) {
        clearVariant(&pv_, kServiceAlloc);
        pv_ = o.pv_;
        PropVariantInit(&o.pv_);
    }
    return *this;
}

HRESULT Variant::fromCaller(const PROPVARIANT& src, Variant& out) {
    Variant v;
    const HRESULT hr = copyVariant(&v.pv_, src, kServiceAlloc);
    if (FAILED(hr)) return hr == E_OUTOFMEMORY ? hr : E_INVALIDARG;
    out = std::move(v);
    return S_OK;
}

Variant Variant::integer(VARTYPE vt, int64_t value) {
    Variant v;
    v.pv_.vt = vt;
    storeInteger(vt, &v.pv_.bVal, value);
    return v;
}

Variant Variant::real(VARTYPE vt, double value) {
    Variant v;
    v.pv_.vt = vt;
    if (vt == VT_R4)
        v.pv_.fltVal = static_cast<float>(value);
    else
        v.pv_.dblVal = value;
    return v;
}

Variant Variant::string(VARTYPE vt, const std::u16string& s) {
    Variant v;
    v.pv_.vt = vt;
    if (vt == VT_BSTR) {
        v.pv_.bstrVal = rawBstrAlloc(s.data(), static_cast<uint32_t>(s.size()));
    } else {
        auto* w = static_cast<LPWSTR>(serviceMem((s.size() + 1) * sizeof(OLECHAR)));
        std::memcpy(w, s.data(), s.size() * sizeof(OLECHAR));
        w[s.size()] = 0;
        v.pv_.pwszVal = w;
    }
    return v;
}

Variant Variant::nullBstr() {
    Variant v;
    v.pv_.vt = VT_BSTR;
    return v;
}

Variant Variant::null() {
    Variant v;
    v.pv_.vt = VT_NULL;
    return v;
}

Variant Variant::narrow(const std::string& s) {
    Variant v;
    v.pv_.vt = VT_LPSTR;
    auto* p = static_cast<char*>(serviceMem(s.size() + 1));
    std::memcpy(p, s.c_str(), s.size() + 1);
    v.pv_.pszVal = p;
    return v;
}

Variant Variant::clsid(const GUID& g) {
    Variant v;
    v.pv_.vt = VT_CLSID;
    v.pv_.puuid = static_cast<CLSID*>(serviceMem(sizeof(CLSID)));
    *v.pv_.puuid = g;
    return v;
}

Variant Variant::integers(VARTYPE base, const std::vector<int64_t>& values) {
    Variant v;
    v.pv_.vt = static_cast<VARTYPE>(VT_VECTOR | base);
    const size_t size = vectorElementSize(base);
    auto* elems = static_cast<uint8_t*>(serviceMem(size * values.size()));
    for (size_t i = 0; i < values.size(); ++i) storeInteger(base, elems + i * size, values[i]);
    v.pv_.cal.cElems = static_cast<ULONG>(values.size());
    v.pv_.cal.pElems = reinterpret_cast<LONG*>(elems);
    return v;
}

Variant Variant::reals(VARTYPE base, const std::vector<double>& values) {
    Variant v;
    v.pv_.vt = static_cast<VARTYPE>(VT_VECTOR | base);
    const size_t size = vectorElementSize(base);
    auto* elems = static_cast<uint8_t*>(serviceMem(size * values.size()));
    for (size_t i = 0; i < values.size(); ++i) {
        if (base == VT_R4) {
            const float f = static_cast<float>(values[i]);
            std::memcpy(elems + i * size, &f, sizeof f);
        } else {
            std::memcpy(elems + i * size, &values[i], sizeof(double));
        }
    }
    v.pv_.cal.cElems = static_cast<ULONG>(values.size());
    v.pv_.cal.pElems = reinterpret_cast<LONG*>(elems);
    return v;
}

Variant Variant::guids(const std::vector<GUID>& values) {
    Variant v;
    v.pv_.vt = VT_VECTOR | VT_CLSID;
    auto* elems = static_cast<CLSID*>(serviceMem(sizeof(CLSID) * values.size()));
    for (size_t i = 0; i < values.size(); ++i) elems[i] = values[i];
    v.pv_.cauuid.cElems = static_cast<ULONG>(values.size());
    v.pv_.cauuid.pElems = elems;
    return v;
}

Variant Variant::strings(VARTYPE base, const std::vector<std::u16string>& values) {
    Variant v;
    v.pv_.vt = static_cast<VARTYPE>(VT_VECTOR | base);
    auto** elems = static_cast<OLECHAR**>(serviceMem(sizeof(OLECHAR*) * values.size()));
    for (size_t i = 0; i < values.size(); ++i) {
        Variant one = string(base, values[i]);
        elems[i] = one.pv_.bstrVal;
        PropVariantInit(&one.pv_);
    }
    v.pv_.cabstr.cElems = static_cast<ULONG>(values.size());
    v.pv_.cabstr.pElems = elems;
    return v;
}

Variant Variant::blob(const std::vector<uint8_t>& bytes) {
    Variant v;
    v.pv_.vt = VT_BLOB;
    v.pv_.blob.cbSize = static_cast<ULONG>(bytes.size());
    if (!bytes.empty()) {
        v.pv_.blob.pBlobData = static_cast<BYTE*>(serviceMem(bytes.size()));
        std::memcpy(v.pv_.blob.pBlobData, bytes.data(), bytes.size());
    }
    return v;
}

}  // namespace wiasim

extern "C" {

HRESULT PropVariantClear(PROPVARIANT* pvar) {
    if (!pvar) return E_INVALIDARG;
    return wiasim::clearVariant(pvar, wiasim::kCallerAlloc);
}

HRESULT PropVariantCopy(PROPVARIANT* pvarDest, const PROPVARIANT* pvarSrc) {
    if (!pvarDest || !pvarSrc) return E_INVALIDARG;
    return wiasim::copyVariant(pvarDest, *pvarSrc, wiasim::kCallerAlloc);
}

HRESULT FreePropVariantArray(ULONG cVariants, PROPVARIANT* rgvars) {
    if (!rgvars) return E_INVALIDARG;
    HRESULT result = S_OK;
    for (ULONG i = 0; i < cVariants; ++i) {
        const HRESULT hr = wiasim::clearVariant(&rgvars[i], wiasim::kCallerAlloc);
        if (FAILED(hr)) result = hr;
    }
    return result;
}

}  // extern "C"
