#include "storage_face.h"

namespace wiasim {

namespace {

LPOLESTR taskMemName(const std::u16string& s) {
    auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(OLECHAR)));
    if (!p) return nullptr;
    std::memcpy(p, s.data(), s.size() * sizeof(OLECHAR));
    p[s.size()] = 0;
    return p;
}

}  // namespace

StatEnum::StatEnum(std::shared_ptr<const std::vector<StatEntry>> entries, size_t pos)
    : ComObject("EnumSTATPROPSTG"), entries_(std::move(entries)), pos_(pos) {}

void* StatEnum::findInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IEnumSTATPROPSTG) return static_cast<IEnumSTATPROPSTG*>(this);
    return nullptr;
}

HRESULT StatEnum::Next(ULONG celt, STATPROPSTG* rgelt, ULONG* pceltFetched) {
    return invoke(
        kIface, "Next", [&] { return countArg(celt); },
        [&] {
            if (rgelt) std::memset(rgelt, 0, sizeof(STATPROPSTG) * celt);
            if (pceltFetched) *pceltFetched = 0;
        },
        [&]() -> HRESULT {
            if (!rgelt || (!pceltFetched && celt != 1)) return E_POINTER;
            std::lock_guard<std::mutex> lock(mu_);
            ULONG got = 0;
            while (got < celt && pos_ < entries_->size()) {
                const StatEntry& e = (*entries_)[pos_];
                STATPROPSTG& out = rgelt[got];
                out.lpwstrName = e.name ? taskMemName(*e.name) : nullptr;
                if (e.name && !out.lpwstrName) {
                    for (ULONG k = 0; k < got; ++k) CoTaskMemFree(rgelt[k].lpwstrName);
                    return E_OUTOFMEMORY;
                }
                out.propid = e.id;
                out.vt = e.vt;
                ++got;
                ++pos_;
            }
            if (pceltFetched) *pceltFetched = got;
            return got == celt ? S_OK : S_FALSE;
        });
}

HRESULT StatEnum::Skip(ULONG celt) {
    return invoke(kIface, "Skip", [&] { return countArg(celt); }, [] {}, [&]() -> HRESULT {
        std::lock_guard<std::mutex> lock(mu_);
        const size_t left = entries_->size() - pos_;
        pos_ += std::min<size_t>(left, celt);
        return celt <= left ? S_OK : S_FALSE;
    });
}

HRESULT StatEnum::Reset() {
    return invoke(kIface, "Reset", [] { return std::string(); }, [] {}, [&]() -> HRESULT {
        std::lock_guard<std::mutex> lock(mu_);
        pos_ = 0;
        return S_OK;
    });
}

HRESULT StatEnum::Clone(IEnumSTATPROPSTG** ppenum) {
    return invoke(kIface, "Clone", [] { return std::string(); }, [&] { if (ppenum) *ppenum = nullptr; },
                  [&]() -> HRESULT {
                      if (!ppenum) return E_POINTER;
                      std::lock_guard<std::mutex> lock(mu_);
                      *ppenum = new StatEnum(entries_, pos_);
                      return S_OK;
                  });
}

}  // namespace wiasim
