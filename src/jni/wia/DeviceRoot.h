// Opening a device's root item for a Java handle: the root is created through
// the registered device manager and registered in the interface table. The
// registration is revoked when its owner goes out of scope unless it was kept,
// so that a handle Java never learns does not stay registered.
#pragma once

#include "ComOwners.h"
#include "Flavour.h"
#include "WIAManager.h"

namespace talvek {

class RootRegistration {
public:
    explicit RootRegistration(DWORD cookie) : cookie_(cookie) {}
    ~RootRegistration() {
        IGlobalInterfaceTable* git = Manager().git;
        if (cookie_ != 0 && git != nullptr) git->RevokeInterfaceFromGlobal(cookie_);
    }
    RootRegistration(const RootRegistration&) = delete;
    RootRegistration& operator=(const RootRegistration&) = delete;
    // The cookie, now Java's to release.
    DWORD Keep() {
        DWORD c = cookie_;
        cookie_ = 0;
        return c;
    }

private:
    DWORD cookie_;
};

// Creates the root item of `deviceId` into `root` and registers it in the
// interface table, its cookie into `cookie`; returns the first failure. The
// caller raises it, so that the exception names the native method's file.
inline HRESULT OpenDeviceRoot(BSTR deviceId, ComPtr<WiaItemT>* root, DWORD* cookie) {
    ComPtr<DevMgr> manager;
    HRESULT hr = Git()->GetInterfaceFromGlobal(Manager().managerHandle, kIidDevMgr, manager.PutVoid());
    if (hr == S_OK) hr = CreateDeviceItem(manager.Get(), deviceId, root->Put());
    if (hr == S_OK) hr = Git()->RegisterInterfaceInGlobal(root->Get(), kIidItem, cookie);
    return hr;
}

}  // namespace talvek
