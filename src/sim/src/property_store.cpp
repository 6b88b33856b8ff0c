#include "property_store.h"

#include "text.h"

namespace wiasim {

namespace {

std::u16string wide(LPCOLESTR s) {
    std::u16string out;
    if (s)
        while (*s) out += *s++;
    return out;
}

LPOLESTR taskMemString(const std::u16string& s) {
    auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(OLECHAR)));
    if (!p) return nullptr;
    std::memcpy(p, s.data(), s.size() * sizeof(OLECHAR));
    p[s.size()] = 0;
    return p;
}

bool listContains(const PROPVARIANT& valid, const PROPVARIANT& v) {
    const VARTYPE base = valid.vt & ~VT_VECTOR;
    const ULONG n = valid.cal.cElems;
    if (base == VT_CLSID) {
        if (v.vt != VT_CLSID || !v.puuid) return false;
        for (ULONG i = wia::WIA_LIST_VALUES; i < n; ++i)
            if (valid.cauuid.pElems[i] == *v.puuid) return true;
        return false;
    }
    const auto x = scalarInteger(v);
    if (!x || !isIntegerVt(base)) return false;
    for (ULONG i = wia::WIA_LIST_VALUES; i < n; ++i)
        if (vectorInteger(valid, i) == *x) return true;
    return false;
}

}  // namespace

const profile::Property* PropertyStore::find(const PROPSPEC& spec) const {
    if (spec.ulKind == PRSPEC_PROPID) {
        return propertyIn(props_, spec.propid);
    } else if (spec.ulKind == PRSPEC_LPWSTR && spec.lpwstr) {
        const std::u16string name = wide(spec.lpwstr);
        for (const auto& p : props_)
            if (p.name && *p.name == name) return &p;
    }
    return nullptr;
}

HRESULT PropertyStore::readMultiple(ULONG n, const PROPSPEC* specs, PROPVARIANT* out) const {
    std::lock_guard<std::mutex> lock(mu_);
    for (ULONG i = 0; i < n; ++i) PropVariantInit(&out[i]);
    ULONG found = 0;
    for (ULONG i = 0; i < n; ++i) {
        if (specs[i].ulKind != PRSPEC_PROPID && specs[i].ulKind != PRSPEC_LPWSTR) {
            FreePropVariantArray(i, out);
            return STG_E_INVALIDPARAMETER;
        }
        const profile::Property* p = find(specs[i]);
        if (!p) continue;
        const HRESULT hr = p->value.copyOut(&out[i]);
        if (FAILED(hr)) {
            FreePropVariantArray(i, out);
            return hr;
        }
        ++found;
    }
    return found ? S_OK : S_FALSE;
}

HRESULT PropertyStore::validate(const profile::Property& p, const PROPVARIANT& v) {
    if (!(p.access & wia::WIA_PROP_WRITE)) return E_ACCESSDENIED;
    if (v.vt != p.value.vt()) return E_INVALIDARG;
    const PROPVARIANT& valid = p.valid.get();
    if (!(valid.vt & VT_VECTOR)) return S_OK;
    const VARTYPE base = valid.vt & ~VT_VECTOR;
    const ULONG n = valid.cal.cElems;
    if (p.access & wia::WIA_PROP_RANGE) {
        const auto x = scalarInteger(v);
        if (!x || !isIntegerVt(base) || n <= wia::WIA_RANGE_STEP) return S_OK;
        const int64_t mn = vectorInteger(valid, wia::WIA_RANGE_MIN);
        const int64_t mx = vectorInteger(valid, wia::WIA_RANGE_MAX);
        const int64_t step = vectorInteger(valid, wia::WIA_RANGE_STEP);
        if (*x < mn || *x > mx) return E_INVALIDARG;
        if (step > 0 && (*x - mn) % step != 0) return E_INVALIDARG;
    } else if (p.access & wia::WIA_PROP_LIST) {
        if (!listContains(valid, v)) return E_INVALIDARG;
    } else if (p.access & wia::WIA_PROP_FLAG) {
        const auto x = scalarInteger(v);
        if (!x || !isIntegerVt(base) || n <= wia::WIA_FLAG_VALUES) return S_OK;
        const uint64_t mask = static_cast<uint64_t>(vectorInteger(valid, wia::WIA_FLAG_VALUES));
        if (static_cast<uint64_t>(*x) & ~mask & 0xFFFFFFFFull) return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT PropertyStore::writeOne(std::vector<profile::Property>& props, PROPID id, const PROPVARIANT& v) const {
    profile::Property* p = propertyIn(props, id);
    if (!p) return E_INVALIDARG;
    const HRESULT hr = validate(*p, v);
    if (FAILED(hr)) return hr;
    Variant copy;
    const HRESULT chr = Variant::fromCaller(v, copy);
    if (FAILED(chr)) return chr;
    Variant before = std::move(p->value);
    p->value = std::move(copy);
    applyTies(props, geometry_, id, before);
    return S_OK;
}

HRESULT PropertyStore::writeMultiple(ULONG n, const PROPSPEC* specs, const PROPVARIANT* values) {
    std::lock_guard<std::mutex> lock(mu_);
    for (ULONG i = 0; i < n; ++i)
        if (specs[i].ulKind != PRSPEC_PROPID) return E_INVALIDARG;
    // One value: a refused write changes nothing. Several: each is validated
    // against what the ones before it made of the others, and all or none are kept.
    if (n == 1) return writeOne(props_, specs[0].propid, values[0]);
    std::vector<profile::Property> work = props_;
    for (ULONG i = 0; i < n; ++i) {
        const HRESULT hr = writeOne(work, specs[i].propid, values[i]);
        if (FAILED(hr)) return hr;
    }
    props_.swap(work);
    return S_OK;
}

HRESULT PropertyStore::attributes(ULONG n, const PROPSPEC* specs, ULONG* flags, PROPVARIANT* valid) const {
    std::lock_guard<std::mutex> lock(mu_);
    for (ULONG i = 0; i < n; ++i) {
        flags[i] = 0;
        PropVariantInit(&valid[i]);
    }
    ULONG found = 0;
    for (ULONG i = 0; i < n; ++i) {
        const profile::Property* p = find(specs[i]);
        if (!p) continue;
        flags[i] = p->access;
        const HRESULT hr = p->valid.copyOut(&valid[i]);
        if (FAILED(hr)) {
            FreePropVariantArray(i, valid);
            return hr;
        }
        ++found;
    }
    return found ? S_OK : S_FALSE;
}

HRESULT PropertyStore::readNames(ULONG n, const PROPID* ids, LPOLESTR* names) const {
    std::lock_guard<std::mutex> lock(mu_);
    ULONG found = 0;
    for (ULONG i = 0; i < n; ++i) {
        names[i] = nullptr;
        if (const profile::Property* hit = propertyIn(props_, ids[i])) {
            const profile::Property& p = *hit;
            if (!p.name) continue;
            names[i] = taskMemString(*p.name);
            if (!names[i]) {
                for (ULONG k = 0; k < i; ++k) {
                    CoTaskMemFree(names[k]);
                    names[k] = nullptr;
                }
                return E_OUTOFMEMORY;
            }
            ++found;
        }
    }
    return found ? S_OK : S_FALSE;
}

ULONG PropertyStore::reportedCount() const {
    std::lock_guard<std::mutex> lock(mu_);
    return reportedCount_ ? *reportedCount_ : static_cast<ULONG>(props_.size());
}

std::vector<StatEntry> PropertyStore::entries() const {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<StatEntry> out;
    for (const auto& p : props_) out.push_back({p.name, p.id, p.value.vt()});
    return out;
}

std::optional<Variant> PropertyStore::value(PROPID id) const {
    std::lock_guard<std::mutex> lock(mu_);
    if (const profile::Property* p = propertyIn(props_, id)) return p->value;
    return std::nullopt;
}

std::optional<Variant> PropertyStore::validValues(PROPID id) const {
    std::lock_guard<std::mutex> lock(mu_);
    if (const profile::Property* p = propertyIn(props_, id)) return p->valid;
    return std::nullopt;
}

void PropertyStore::setValue(PROPID id, Variant v) {
    std::lock_guard<std::mutex> lock(mu_);
    if (profile::Property* p = propertyIn(props_, id)) p->value = std::move(v);
}

std::string specsArg(ULONG n, const PROPSPEC* specs) {
    std::string out = std::to_string(n);
    if (!specs) return out;
    for (ULONG i = 0; i < n; ++i) {
        out += ", ";
        out += specs[i].ulKind == PRSPEC_PROPID ? std::to_string(specs[i].propid) : wideArg(specs[i].lpwstr);
    }
    return out;
}

std::string specsWithValuesArg(ULONG n, const PROPSPEC* specs, const PROPVARIANT* values) {
    std::string out = std::to_string(n);
    if (!specs) return out;
    for (ULONG i = 0; i < n; ++i) {
        out += ", ";
        out += specs[i].ulKind == PRSPEC_PROPID ? std::to_string(specs[i].propid) : wideArg(specs[i].lpwstr);
        if (values) out += "=" + describeValue(values[i]);
    }
    return out;
}

}  // namespace wiasim
