// PROPVARIANT handling. Values kept inside the service live in Variant, whose
// memory is not accounted (it never reaches a caller); what a caller receives is
// a deep copy made with the accounted allocators, which the caller frees with
// PropVariantClear.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "wia_platform.h"

namespace wiasim {

struct Allocator {
    BSTR (*allocBstr)(const OLECHAR* src, uint32_t units);
    void (*freeBstr)(BSTR s);
    void* (*allocMem)(size_t cb);
    void (*freeMem)(void* p);
};
extern const Allocator kCallerAlloc;   // SysAllocStringLen / CoTaskMemAlloc, accounted
extern const Allocator kServiceAlloc;  // plain heap, not accounted

// Element size of a vector of `base`, 0 when vectors of it are not supported.
size_t vectorElementSize(VARTYPE base);
bool isSupportedVt(VARTYPE vt);
HRESULT copyVariant(PROPVARIANT* dst, const PROPVARIANT& src, const Allocator& a);
HRESULT clearVariant(PROPVARIANT* pv, const Allocator& a);

bool isIntegerVt(VARTYPE base);
// Integer value of a scalar of an integer type (VT_BOOL included).
std::optional<int64_t> scalarInteger(const PROPVARIANT& pv);
// Element i of a vector of an integer type.
int64_t vectorInteger(const PROPVARIANT& pv, ULONG i);
// Short text of a value for journal lines ("300", "\"bmp\"", "WiaImgFmt_BMP", "<VT_BLOB>").
std::string describeValue(const PROPVARIANT& pv);
bool sameValue(const PROPVARIANT& a, const PROPVARIANT& b);

// A value owned by the service.
class Variant {
public:
    Variant() { PropVariantInit(&pv_); }
    Variant(const Variant& o) { PropVariantInit(&pv_); copyVariant(&pv_, o.pv_, kServiceAlloc); }
    Variant(Variant&& o) noexcept : pv_(o.pv_) { PropVariantInit(&o.pv_); }
    Variant& operator=(const Variant& o);
    Variant& operator=(Variant&& o) noexcept;
    ~Variant() { clearVariant(&pv_, kServiceAlloc); }

    // Deep copy of a caller's value; E_INVALIDARG for a type the service does not keep.
    static HRESULT fromCaller(const PROPVARIANT& src, Variant& out);

    static Variant integer(VARTYPE vt, int64_t v);
    static Variant real(VARTYPE vt, double v);
    static Variant string(VARTYPE vt, const std::u16string& s);  // VT_BSTR, VT_LPWSTR
    static Variant nullBstr();
    static Variant null();  // VT_NULL
    static Variant narrow(const std::string& s);                  // VT_LPSTR
    static Variant clsid(const GUID& g);
    static Variant integers(VARTYPE base, const std::vector<int64_t>& values);  // VT_VECTOR|base
    static Variant reals(VARTYPE base, const std::vector<double>& values);
    static Variant guids(const std::vector<GUID>& values);
    static Variant strings(VARTYPE base, const std::vector<std::u16string>& values);
    static Variant blob(const std::vector<uint8_t>& bytes);

    const PROPVARIANT& get() const { return pv_; }
    VARTYPE vt() const { return pv_.vt; }
    bool empty() const { return pv_.vt == VT_EMPTY; }
    // Deep copy for a caller, who owns it.
    HRESULT copyOut(PROPVARIANT* dst) const { return copyVariant(dst, pv_, kCallerAlloc); }

private:
    PROPVARIANT pv_;
};

}  // namespace wiasim
