#include "git.h"

#include <map>
#include <mutex>

#include "object.h"
#include "text.h"

namespace wiasim {

namespace {

class InterfaceTable final : public ComObject, public Face<InterfaceTable, IGlobalInterfaceTable> {
    static constexpr const char* kIface = "IGlobalInterfaceTable";

public:
    InterfaceTable() : ComObject("GlobalInterfaceTable", false) {}

    HRESULT STDMETHODCALLTYPE RegisterInterfaceInGlobal(IUnknown* pUnk, REFIID riid, DWORD* pdwCookie) override {
        return invoke(
            kIface, "RegisterInterfaceInGlobal", [&] { return guidName(riid); },
            [&] { if (pdwCookie) *pdwCookie = 0; },
            [&]() -> HRESULT {
                if (!pdwCookie || !pUnk) return E_INVALIDARG;
                *pdwCookie = 0;
                void* p = nullptr;
                HRESULT hr;
                {
                    InternalScope internal;
                    hr = pUnk->QueryInterface(riid, &p);
                }
                if (FAILED(hr)) return hr;
                if (!p) return E_NOINTERFACE;
                std::lock_guard<std::mutex> lock(mu_);
                const DWORD cookie = next_;
                next_ += 0x100;
                if (next_ == 0) next_ = 0x100;
                entries_[cookie] = {static_cast<IUnknown*>(p), riid};
                *pdwCookie = cookie;
                return S_OK;
            });
    }

    HRESULT STDMETHODCALLTYPE RevokeInterfaceFromGlobal(DWORD dwCookie) override {
        return invoke(kIface, "RevokeInterfaceFromGlobal", [&] { return hexShort(dwCookie); }, [] {},
                      [&]() -> HRESULT {
                          IUnknown* p;
                          {
                              std::lock_guard<std::mutex> lock(mu_);
                              auto it = entries_.find(dwCookie);
                              if (it == entries_.end()) return E_INVALIDARG;
                              p = it->second.ptr;
                              entries_.erase(it);
                          }
                          releaseInternal(p);
                          return S_OK;
                      });
    }

    HRESULT STDMETHODCALLTYPE GetInterfaceFromGlobal(DWORD dwCookie, REFIID riid, void** ppv) override {
        return invoke(
            kIface, "GetInterfaceFromGlobal", [&] { return hexShort(dwCookie) + ", " + guidName(riid); },
            [&] { if (ppv) *ppv = nullptr; },
            [&]() -> HRESULT {
                if (!ppv) return E_INVALIDARG;
                *ppv = nullptr;
                IUnknown* p;
                IID registered;
                {
                    std::lock_guard<std::mutex> lock(mu_);
                    auto it = entries_.find(dwCookie);
                    if (it == entries_.end()) return E_INVALIDARG;
                    p = it->second.ptr;
                    registered = it->second.iid;
                    InternalScope internal;
                    p->AddRef();
                }
                if (riid == registered) {
                    *ppv = p;
                    return S_OK;
                }
                HRESULT hr;
                {
                    InternalScope internal;
                    hr = p->QueryInterface(riid, ppv);
                }
                releaseInternal(p);
                return hr;
            });
    }

protected:
    void* findInterface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == IID_IGlobalInterfaceTable) return static_cast<IGlobalInterfaceTable*>(this);
        return nullptr;
    }

private:
    struct Entry {
        IUnknown* ptr;
        IID iid;
    };
    std::mutex mu_;
    std::map<DWORD, Entry> entries_;
    DWORD next_ = 0x100;
};

}  // namespace

IGlobalInterfaceTable* globalInterfaceTable() {
    static InterfaceTable* table = new InterfaceTable;
    return table;
}

}  // namespace wiasim
