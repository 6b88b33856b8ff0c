// IWiaPropertyStorage on top of a PropertyStore, for any service object that
// has properties (D provides `PropertyStore& store()` and `HRESULT writable()`,
// which says why writes are refused now, or S_OK).
#pragma once

#include <memory>

#include "object.h"
#include "property_store.h"
#include "text.h"

namespace wiasim {

// IEnumSTATPROPSTG over a snapshot of a store's entries.
class StatEnum final : public ComObject, public Face<StatEnum, IEnumSTATPROPSTG> {
public:
    explicit StatEnum(std::shared_ptr<const std::vector<StatEntry>> entries, size_t pos = 0);

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, STATPROPSTG* rgelt, ULONG* pceltFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumSTATPROPSTG** ppenum) override;

protected:
    void* findInterface(REFIID riid) override;

private:
    static constexpr const char* kIface = "IEnumSTATPROPSTG";
    std::shared_ptr<const std::vector<StatEntry>> entries_;
    size_t pos_;
    std::mutex mu_;
};

template <class D>
class StorageFace : public Face<D, IWiaPropertyStorage> {
    static constexpr const char* kIface = "IWiaPropertyStorage";

public:
    HRESULT STDMETHODCALLTYPE ReadMultiple(ULONG cpspec, const PROPSPEC rgpspec[], PROPVARIANT rgpropvar[]) override {
        return d()->invoke(
            kIface, "ReadMultiple", [&] { return specsArg(cpspec, rgpspec); },
            [&] {
                if (rgpropvar)
                    for (ULONG i = 0; i < cpspec; ++i) PropVariantInit(&rgpropvar[i]);
            },
            [&]() -> HRESULT {
                if (cpspec == 0) return S_FALSE;
                if (!rgpspec || !rgpropvar) return E_INVALIDARG;
                return d()->store().readMultiple(cpspec, rgpspec, rgpropvar);
            });
    }

    HRESULT STDMETHODCALLTYPE WriteMultiple(ULONG cpspec, const PROPSPEC rgpspec[], const PROPVARIANT rgpropvar[],
                                            PROPID propidNameFirst) override {
        return d()->invoke(
            kIface, "WriteMultiple",
            [&] { return specsWithValuesArg(cpspec, rgpspec, rgpropvar) + ", " + std::to_string(propidNameFirst); },
            [] {},
            [&]() -> HRESULT {
                if (cpspec == 0) return S_OK;
                if (!rgpspec || !rgpropvar) return E_INVALIDARG;
                const HRESULT busy = d()->writable();
                if (FAILED(busy)) return busy;
                return d()->store().writeMultiple(cpspec, rgpspec, rgpropvar);
            });
    }

    HRESULT STDMETHODCALLTYPE DeleteMultiple(ULONG cpspec, const PROPSPEC[]) override {
        return notImplemented("DeleteMultiple", std::to_string(cpspec));
    }

    HRESULT STDMETHODCALLTYPE ReadPropertyNames(ULONG cpropid, const PROPID rgpropid[],
                                                LPOLESTR rglpwstrName[]) override {
        return d()->invoke(
            kIface, "ReadPropertyNames",
            [&] {
                std::string out = std::to_string(cpropid);
                if (rgpropid)
                    for (ULONG i = 0; i < cpropid; ++i) out += ", " + std::to_string(rgpropid[i]);
                return out;
            },
            [&] {
                if (rglpwstrName)
                    for (ULONG i = 0; i < cpropid; ++i) rglpwstrName[i] = nullptr;
            },
            [&]() -> HRESULT {
                if (cpropid == 0) return S_FALSE;
                if (!rgpropid || !rglpwstrName) return E_INVALIDARG;
                return d()->store().readNames(cpropid, rgpropid, rglpwstrName);
            });
    }

    HRESULT STDMETHODCALLTYPE WritePropertyNames(ULONG cpropid, const PROPID[], const LPOLESTR[]) override {
        return notImplemented("WritePropertyNames", std::to_string(cpropid));
    }
    HRESULT STDMETHODCALLTYPE DeletePropertyNames(ULONG cpropid, const PROPID[]) override {
        return notImplemented("DeletePropertyNames", std::to_string(cpropid));
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) override {
        return notImplemented("Commit", hexShort(grfCommitFlags));
    }
    HRESULT STDMETHODCALLTYPE Revert() override { return notImplemented("Revert", ""); }

    HRESULT STDMETHODCALLTYPE Enum(IEnumSTATPROPSTG** ppenum) override {
        return d()->invoke(
            kIface, "Enum", [] { return std::string(); }, [&] { if (ppenum) *ppenum = nullptr; },
            [&]() -> HRESULT {
                if (!ppenum) return E_INVALIDARG;
                auto entries = std::make_shared<const std::vector<StatEntry>>(d()->store().entries());
                *ppenum = new StatEnum(std::move(entries));
                return S_OK;
            });
    }

    HRESULT STDMETHODCALLTYPE SetTimes(const FILETIME*, const FILETIME*, const FILETIME*) override {
        return notImplemented("SetTimes", "");
    }
    HRESULT STDMETHODCALLTYPE SetClass(REFCLSID clsid) override { return notImplemented("SetClass", guidName(clsid)); }
    HRESULT STDMETHODCALLTYPE Stat(STATPROPSETSTG*) override { return notImplemented("Stat", ""); }

    HRESULT STDMETHODCALLTYPE GetPropertyAttributes(ULONG cpspec, PROPSPEC rgpspec[], ULONG rgflags[],
                                                    PROPVARIANT rgpropvar[]) override {
        return d()->invoke(
            kIface, "GetPropertyAttributes", [&] { return specsArg(cpspec, rgpspec); },
            [&] {
                for (ULONG i = 0; i < cpspec; ++i) {
                    if (rgflags) rgflags[i] = 0;
                    if (rgpropvar) PropVariantInit(&rgpropvar[i]);
                }
            },
            [&]() -> HRESULT {
                if (cpspec == 0) return S_FALSE;
                if (!rgpspec || !rgflags || !rgpropvar) return E_INVALIDARG;
                return d()->store().attributes(cpspec, rgpspec, rgflags, rgpropvar);
            });
    }

    HRESULT STDMETHODCALLTYPE GetCount(ULONG* pulNumProps) override {
        return d()->invoke(
            kIface, "GetCount", [] { return std::string(); }, [&] { if (pulNumProps) *pulNumProps = 0; },
            [&]() -> HRESULT {
                if (!pulNumProps) return E_INVALIDARG;
                *pulNumProps = d()->store().reportedCount();
                return S_OK;
            });
    }

    HRESULT STDMETHODCALLTYPE GetPropertyStream(GUID*, IStream** ppIStream) override {
        if (ppIStream) *ppIStream = nullptr;
        return notImplemented("GetPropertyStream", "");
    }
    HRESULT STDMETHODCALLTYPE SetPropertyStream(GUID*, IStream*) override {
        return notImplemented("SetPropertyStream", "");
    }

private:
    D* d() { return static_cast<D*>(this); }
    HRESULT notImplemented(const char* method, const std::string& args) {
        return d()->invoke(kIface, method, [&] { return args; }, [] {}, [] { return E_NOTIMPL; });
    }
};

}  // namespace wiasim
