// The two WIA device managers and CoCreateInstance.
#include <vector>

#include "devinfo.h"
#include "events.h"
#include "git.h"
#include "item.h"
#include "object.h"
#include "service.h"
#include "text.h"

namespace wiasim {

namespace {

std::string flagsArg(LONG flags) {
    if (flags == wia::WIA_DEVINFO_ENUM_LOCAL) return "WIA_DEVINFO_ENUM_LOCAL";
    return flags == 0 ? "0" : hexShort(static_cast<uint32_t>(flags));
}

std::string eventArgs(LONG lFlags, BSTR bstrDeviceID, const GUID* pEventGUID) {
    return std::to_string(lFlags) + ", " + bstrArg(bstrDeviceID) + ", " + (pEventGUID ? guidName(*pEventGUID) : "null");
}

HRESULT enumDevices(int version, LONG flags, IEnumWIA_DEV_INFO** pp) {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    std::vector<std::shared_ptr<const profile::Device>> list;
    for (const auto& d : currentProfile()->devices) {
        if (!devicePresent(*d) || !d->visibleTo(version)) continue;
        if ((flags & wia::WIA_DEVINFO_ENUM_LOCAL) && !d->local) continue;
        list.push_back(d);
    }
    *pp = newDeviceEnumerator(std::move(list));
    return S_OK;
}

template <class I>
HRESULT createDevice(int version, BSTR id, I** pp) {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    if (!id) return E_INVALIDARG;
    auto device = findDevice(std::u16string(id, SysStringLen(id)), version);
    if (!device) return wia::WIA_S_NO_DEVICE_AVAILABLE;
    *pp = static_cast<I*>(newRootItem(std::move(device), version));
    return S_OK;
}

class DevMgr2 final : public ComObject, public Face<DevMgr2, IWiaDevMgr2> {
    static constexpr const char* kIface = "IWiaDevMgr2";

public:
    DevMgr2() : ComObject("WiaDevMgr2") {}

    HRESULT STDMETHODCALLTYPE EnumDeviceInfo(LONG lFlags, IEnumWIA_DEV_INFO** pp) override {
        return invoke(kIface, "EnumDeviceInfo", [&] { return flagsArg(lFlags); }, [&] { if (pp) *pp = nullptr; },
                      [&] { return enumDevices(2, lFlags, pp); });
    }
    HRESULT STDMETHODCALLTYPE CreateDevice(LONG lFlags, BSTR bstrDeviceID, IWiaItem2** pp) override {
        return invoke(kIface, "CreateDevice", [&] { return std::to_string(lFlags) + ", " + bstrArg(bstrDeviceID); },
                      [&] { if (pp) *pp = nullptr; }, [&] { return createDevice(2, bstrDeviceID, pp); });
    }
    HRESULT STDMETHODCALLTYPE SelectDeviceDlg(HWND, LONG lDeviceType, LONG lFlags, BSTR* pbstrDeviceID,
                                              IWiaItem2** ppItemRoot) override {
        return invoke(kIface, "SelectDeviceDlg", [&] { return std::to_string(lDeviceType) + ", " + std::to_string(lFlags); },
                      [&] {
                          if (pbstrDeviceID) *pbstrDeviceID = nullptr;
                          if (ppItemRoot) *ppItemRoot = nullptr;
                      },
                      [] { return E_NOTIMPL; });
    }
    HRESULT STDMETHODCALLTYPE SelectDeviceDlgID(HWND, LONG lDeviceType, LONG lFlags, BSTR* pbstrDeviceID) override {
        return invoke(kIface, "SelectDeviceDlgID",
                      [&] { return std::to_string(lDeviceType) + ", " + std::to_string(lFlags); },
                      [&] { if (pbstrDeviceID) *pbstrDeviceID = nullptr; }, [] { return E_NOTIMPL; });
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackInterface(LONG lFlags, BSTR bstrDeviceID, const GUID* pEventGUID,
                                                             IWiaEventCallback* cb, IUnknown** pEventObject) override {
        return invoke(kIface, "RegisterEventCallbackInterface", [&] { return eventArgs(lFlags, bstrDeviceID, pEventGUID); },
                      [&] { if (pEventObject) *pEventObject = nullptr; },
                      [&] { return registerEventCallback(lFlags, bstrDeviceID, pEventGUID, cb, pEventObject); });
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackProgram(LONG lFlags, BSTR bstrDeviceID, const GUID* pEventGUID,
                                                           BSTR, BSTR, BSTR, BSTR, BSTR) override {
        return invoke(kIface, "RegisterEventCallbackProgram", [&] { return eventArgs(lFlags, bstrDeviceID, pEventGUID); },
                      [] {}, [] { return E_NOTIMPL; });
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackCLSID(LONG lFlags, BSTR bstrDeviceID, const GUID* pEventGUID,
                                                         const GUID*, BSTR, BSTR, BSTR) override {
        return invoke(kIface, "RegisterEventCallbackCLSID", [&] { return eventArgs(lFlags, bstrDeviceID, pEventGUID); },
                      [] {}, [] { return E_NOTIMPL; });
    }
    HRESULT STDMETHODCALLTYPE GetImageDlg(LONG lFlags, BSTR bstrDeviceID, HWND, BSTR bstrFolderName, BSTR bstrFilename,
                                          LONG* plNumFiles, BSTR** ppbstrFilePaths, IWiaItem2** ppItem) override {
        return invoke(kIface, "GetImageDlg",
                      [&] {
                          return std::to_string(lFlags) + ", " + bstrArg(bstrDeviceID) + ", " + bstrArg(bstrFolderName) +
                                 ", " + bstrArg(bstrFilename);
                      },
                      [&] {
                          if (plNumFiles) *plNumFiles = 0;
                          if (ppbstrFilePaths) *ppbstrFilePaths = nullptr;
                          if (ppItem) *ppItem = nullptr;
                      },
                      [] { return E_NOTIMPL; });
    }

protected:
    void* findInterface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == wia::IID_IWiaDevMgr2) return static_cast<IWiaDevMgr2*>(this);
        return nullptr;
    }
};

class DevMgr1 final : public ComObject, public Face<DevMgr1, IWiaDevMgr> {
    static constexpr const char* kIface = "IWiaDevMgr";

public:
    DevMgr1() : ComObject("WiaDevMgr") {}

    HRESULT STDMETHODCALLTYPE EnumDeviceInfo(LONG lFlag, IEnumWIA_DEV_INFO** pp) override {
        return invoke(kIface, "EnumDeviceInfo", [&] { return flagsArg(lFlag); }, [&] { if (pp) *pp = nullptr; },
                      [&] { return enumDevices(1, lFlag, pp); });
    }
    HRESULT STDMETHODCALLTYPE CreateDevice(BSTR bstrDeviceID, IWiaItem** pp) override {
        return invoke(kIface, "CreateDevice", [&] { return bstrArg(bstrDeviceID); }, [&] { if (pp) *pp = nullptr; },
                      [&] { return createDevice(1, bstrDeviceID, pp); });
    }
    HRESULT STDMETHODCALLTYPE SelectDeviceDlg(HWND, LONG lDeviceType, LONG lFlags, BSTR* pbstrDeviceID,
                                              IWiaItem** ppItemRoot) override {
        return invoke(kIface, "SelectDeviceDlg", [&] { return std::to_string(lDeviceType) + ", " + std::to_string(lFlags); },
                      [&] {
                          if (pbstrDeviceID) *pbstrDeviceID = nullptr;
                          if (ppItemRoot) *ppItemRoot = nullptr;
                      },
                      [] { return E_NOTIMPL; });
    }
    HRESULT STDMETHODCALLTYPE SelectDeviceDlgID(HWND, LONG lDeviceType, LONG lFlags, BSTR* pbstrDeviceID) override {
        return invoke(kIface, "SelectDeviceDlgID",
                      [&] { return std::to_string(lDeviceType) + ", " + std::to_string(lFlags); },
                      [&] { if (pbstrDeviceID) *pbstrDeviceID = nullptr; }, [] { return E_NOTIMPL; });
    }
    HRESULT STDMETHODCALLTYPE GetImageDlg(HWND, LONG lDeviceType, LONG lFlags, LONG lIntent, IWiaItem*, BSTR bstrFilename,
                                          GUID*) override {
        return invoke(kIface, "GetImageDlg",
                      [&] {
                          return std::to_string(lDeviceType) + ", " + std::to_string(lFlags) + ", " +
                                 std::to_string(lIntent) + ", " + bstrArg(bstrFilename);
                      },
                      [] {}, [] { return E_NOTIMPL; });
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackProgram(LONG lFlags, BSTR bstrDeviceID, const GUID* pEventGUID, BSTR,
                                                           BSTR, BSTR, BSTR) override {
        return invoke(kIface, "RegisterEventCallbackProgram", [&] { return eventArgs(lFlags, bstrDeviceID, pEventGUID); },
                      [] {}, [] { return E_NOTIMPL; });
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackInterface(LONG lFlags, BSTR bstrDeviceID, const GUID* pEventGUID,
                                                             IWiaEventCallback* cb, IUnknown** pEventObject) override {
        return invoke(kIface, "RegisterEventCallbackInterface", [&] { return eventArgs(lFlags, bstrDeviceID, pEventGUID); },
                      [&] { if (pEventObject) *pEventObject = nullptr; },
                      [&] { return registerEventCallback(lFlags, bstrDeviceID, pEventGUID, cb, pEventObject); });
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackCLSID(LONG lFlags, BSTR bstrDeviceID, const GUID* pEventGUID,
                                                         const GUID*, BSTR, BSTR, BSTR) override {
        return invoke(kIface, "RegisterEventCallbackCLSID", [&] { return eventArgs(lFlags, bstrDeviceID, pEventGUID); },
                      [] {}, [] { return E_NOTIMPL; });
    }
    HRESULT STDMETHODCALLTYPE AddDeviceDlg(HWND, LONG lFlags) override {
        return invoke(kIface, "AddDeviceDlg", [&] { return std::to_string(lFlags); }, [] {}, [] { return E_NOTIMPL; });
    }

protected:
    void* findInterface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == wia::IID_IWiaDevMgr) return static_cast<IWiaDevMgr*>(this);
        return nullptr;
    }
};

}  // namespace

}  // namespace wiasim

extern "C" HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    using namespace wiasim;
    Call call(
        "CoCreateInstance",
        [&] { return guidName(rclsid) + ", " + contextName(dwClsContext) + ", " + guidName(riid); }, true);
    return call.run([&] { if (ppv) *ppv = nullptr; }, [&]() -> HRESULT {
        if (!ppv) return E_INVALIDARG;
        *ppv = nullptr;
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        if (rclsid == CLSID_StdGlobalInterfaceTable) {
            if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
            if (riid != IID_IUnknown && riid != IID_IGlobalInterfaceTable) return E_NOINTERFACE;
            IGlobalInterfaceTable* git = globalInterfaceTable();
            {
                InternalScope internal;
                git->AddRef();
            }
            *ppv = git;
            return S_OK;
        }
        const bool v2 = rclsid == wia::CLSID_WiaDevMgr2;
        if (!v2 && rclsid != wia::CLSID_WiaDevMgr) return REGDB_E_CLASSNOTREG;
        const auto profile = currentProfile();
        if (!(v2 ? profile->wia2Registered : profile->wia1Registered)) return REGDB_E_CLASSNOTREG;
        if (!(dwClsContext & CLSCTX_LOCAL_SERVER)) return REGDB_E_CLASSNOTREG;
        if (v2) {
            if (riid != IID_IUnknown && riid != wia::IID_IWiaDevMgr2) return E_NOINTERFACE;
            *ppv = static_cast<IWiaDevMgr2*>(new DevMgr2);
        } else {
            if (riid != IID_IUnknown && riid != wia::IID_IWiaDevMgr) return E_NOINTERFACE;
            *ppv = static_cast<IWiaDevMgr*>(new DevMgr1);
        }
        return S_OK;
    });
}
