// Base of every COM object of the service. One reference count per object,
// shared by all of its interfaces; each interface is a Face that knows its
// published name, so that journal lines say through which interface a call
// came ("IWiaPropertyStorage.Release() = 0x00000001 @WiaItem2#3").
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "journal.h"
#include "wia_platform.h"

namespace wiasim {

template <class I>
struct Iface;

#define WIASIM_IFACE(I, IIDVALUE)                   \
    template <>                                     \
    struct Iface<I> {                               \
        static constexpr const char* name = #I;     \
        static IID iid() { return IIDVALUE; }       \
    }

WIASIM_IFACE(IUnknown, IID_IUnknown);
WIASIM_IFACE(IStream, IID_IStream);
WIASIM_IFACE(IEnumSTATPROPSTG, IID_IEnumSTATPROPSTG);
WIASIM_IFACE(IGlobalInterfaceTable, IID_IGlobalInterfaceTable);
WIASIM_IFACE(IWiaDevMgr, wia::IID_IWiaDevMgr);
WIASIM_IFACE(IWiaDevMgr2, wia::IID_IWiaDevMgr2);
WIASIM_IFACE(IWiaItem, wia::IID_IWiaItem);
WIASIM_IFACE(IWiaItem2, wia::IID_IWiaItem2);
WIASIM_IFACE(IEnumWiaItem, wia::IID_IEnumWiaItem);
WIASIM_IFACE(IEnumWiaItem2, wia::IID_IEnumWiaItem2);
WIASIM_IFACE(IEnumWIA_DEV_INFO, wia::IID_IEnumWIA_DEV_INFO);
WIASIM_IFACE(IWiaPropertyStorage, wia::IID_IWiaPropertyStorage);
WIASIM_IFACE(IWiaTransfer, wia::IID_IWiaTransfer);
WIASIM_IFACE(IWiaDataTransfer, wia::IID_IWiaDataTransfer);

class ComObject {
public:
    // kind names the object in the journal and in liveObjects ("WiaDevMgr2").
    // Objects that are not counted (the interface table) live for ever.
    explicit ComObject(const char* kind, bool counted = true);
    virtual ~ComObject();
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    const std::string& tag() const { return tag_; }
    ULONG refs() const { return refs_.load(); }

    HRESULT comQueryInterface(const char* iface, REFIID riid, void** ppv);
    ULONG comAddRef(const char* iface);
    ULONG comRelease(const char* iface);
    // References the service takes and drops itself: not journalled.
    void addRefInternal() { ++refs_; }

    // Runs a method through the journal; a failed precondition() answers for it.
    template <class Args, class Clear, class Body>
    HRESULT invoke(const char* iface, const char* method, Args&& args, Clear&& clear, Body&& body) {
        Call call(tag_, needsApartment_, iface, method, args, &label_);
        return call.run(clear, [&]() -> HRESULT {
            const HRESULT ready = precondition();
            if (FAILED(ready)) {
                clear();
                return ready;
            }
            return body();
        });
    }

protected:
    // Why the object cannot serve calls now (an unplugged device), or S_OK.
    virtual HRESULT precondition() { return S_OK; }
    // The interface pointer for riid, without a reference; null when unsupported.
    virtual void* findInterface(REFIID riid) = 0;
    bool needsApartment_ = true;
    // Text after the tag in liveObjects (a device ID, an item name).
    void setLabel(const std::string& label);

private:
    friend std::vector<std::string> liveObjectLines();
    std::atomic<ULONG> refs_{1};
    std::string tag_;
    std::string label_;
    bool counted_;
    uint64_t seq_ = 0;
};

template <class D, class I>
class Face : public I {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return self()->comQueryInterface(Iface<I>::name, riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return self()->comAddRef(Iface<I>::name); }
    ULONG STDMETHODCALLTYPE Release() override { return self()->comRelease(Iface<I>::name); }

protected:
    D* self() { return static_cast<D*>(this); }
    const D* self() const { return static_cast<const D*>(this); }
};

// Release of a pointer the service holds, outside the journal.
inline void releaseInternal(IUnknown* p) {
    if (p) {
        InternalScope internal;
        p->Release();
    }
}

int64_t liveObjectCount();
std::vector<std::string> liveObjectLines();
void resetSerials();

// Argument texts used by many methods.
std::string countArg(ULONG n);

}  // namespace wiasim
