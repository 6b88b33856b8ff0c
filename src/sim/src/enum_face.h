// The methods of an enumerator of interface pointers (IEnumWiaItem,
// IEnumWiaItem2, IEnumWIA_DEV_INFO) over a snapshot of elements. D provides
// `size_t count() const`, `ElemI* make(size_t index)` (an object with its own
// reference) and `EnumI* cloneAt(size_t pos)`; the position and its lock live here.
#pragma once

#include <algorithm>
#include <mutex>

#include "object.h"

namespace wiasim {

template <class D, class EnumI, class ElemI>
class PointerEnumFace : public Face<D, EnumI> {
    static constexpr const char* kIface = Iface<EnumI>::name;

public:
    explicit PointerEnumFace(size_t pos) : pos_(pos) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, ElemI** rgelt, ULONG* fetched) override {
        return this->self()->invoke(
            kIface, "Next", [&] { return countArg(celt); },
            [&] {
                if (rgelt)
                    for (ULONG i = 0; i < celt; ++i) rgelt[i] = nullptr;
                if (fetched) *fetched = 0;
            },
            [&]() -> HRESULT {
                if (!rgelt || (!fetched && celt > 1)) return E_POINTER;
                std::lock_guard<std::mutex> lock(mu_);
                ULONG got = 0;
                while (got < celt && pos_ < this->self()->count()) rgelt[got++] = this->self()->make(pos_++);
                if (fetched) *fetched = got;
                return got == celt ? S_OK : S_FALSE;
            });
    }

    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        return this->self()->invoke(kIface, "Skip", [&] { return countArg(celt); }, [] {}, [&]() -> HRESULT {
            std::lock_guard<std::mutex> lock(mu_);
            const size_t left = this->self()->count() - pos_;
            pos_ += std::min<size_t>(left, celt);
            return celt <= left ? S_OK : S_FALSE;
        });
    }

    HRESULT STDMETHODCALLTYPE Reset() override {
        return this->self()->invoke(kIface, "Reset", [] { return std::string(); }, [] {}, [&]() -> HRESULT {
            std::lock_guard<std::mutex> lock(mu_);
            pos_ = 0;
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE Clone(EnumI** pp) override {
        return this->self()->invoke(kIface, "Clone", [] { return std::string(); }, [&] { if (pp) *pp = nullptr; },
                                    [&]() -> HRESULT {
                                        if (!pp) return E_POINTER;
                                        std::lock_guard<std::mutex> lock(mu_);
                                        *pp = this->self()->cloneAt(pos_);
                                        return S_OK;
                                    });
    }

    HRESULT STDMETHODCALLTYPE GetCount(ULONG* n) override {
        return this->self()->invoke(kIface, "GetCount", [] { return std::string(); }, [&] { if (n) *n = 0; },
                                    [&]() -> HRESULT {
                                        if (!n) return E_POINTER;
                                        *n = static_cast<ULONG>(this->self()->count());
                                        return S_OK;
                                    });
    }

private:
    size_t pos_;
    std::mutex mu_;
};

}  // namespace wiasim
