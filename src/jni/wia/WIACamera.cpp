// The WIACamera natives: opening a camera and transferring its pictures.
#include "DeviceRoot.h"
#include "Flavour.h"
#include "WIAManager.h"
#include "WIAProperties.h"
#include "WIATransfer.h"
#include "WIAUtils.h"

namespace talvek {
namespace {

jlong Open(JNIEnv* env, jstring deviceId) {
    BstrOwner id(JavaStringToBstr(env, deviceId));
    LogTrace(env, "-> " TALVEK_FLAVOUR_TAG "ox.orvel.talvek.wia.WIACamera._initialize(\"%ws\")", id.Get());
    ComPtr<WiaItemT> root;
    DWORD cookie = 0;
    TALVEK_CHECK(OpenDeviceRoot(id.Get(), &root, &cookie));
    RootRegistration registration(cookie);
    ComPtr<IWiaPropertyStorage> storage;
    TALVEK_CHECK(root->QueryInterface(wia::IID_IWiaPropertyStorage, storage.PutVoid()));
    Dump(env, storage.Get());
    registration.Keep();
    LogTrace(env, "<- ox.orvel.talvek.wia.WIACamera._initialize() -> %d", cookie);
    return CookieToHandle(cookie);
}

void Transfer(JNIEnv* env, jobject camera, jlong handle, jboolean dialog) {
    const DWORD cookie = HandleCookie(handle);
    LogTrace(env, "-> ox.orvel.talvek.wia.WIACamera._transfer(%d, %s)", cookie, dialog ? "true" : "false");
    EnterApartment();
    ComPtr<WiaItemT> root;
    TALVEK_CHECK(Git()->GetInterfaceFromGlobal(cookie, kIidItem, root.PutVoid()));

    if (dialog) {
#if defined(TALVEK_WIA2)
        DeviceDialog2(env, camera, root.Get(), false);
#else
        DialogSelection selection;
        // A cancelled or failed dialog transfers and reports nothing.
        if (selection.Run(root.Get()) == S_OK) {
            for (LONG i = 0; i < selection.Count(); ++i) {
                IWiaItem* item = selection.Take(i);
                if (item != nullptr) ScanItem(env, camera, item, 0, nullptr, nullptr, false);
            }
        }
#endif
    } else {
        ComPtr<EnumItemT> children;
        if (EnumChildren(root.Get(), children.Put()) >= 0 && children) {
            for (;;) {
                WiaItemT* child = nullptr;
                if (children->Next(1, &child, nullptr) != S_OK) {
                    if (child != nullptr) child->Release();
                    break;
                }
#if defined(TALVEK_WIA2)
                ScanItem2(env, camera, child, 0, nullptr, nullptr, 0, false, 0);
#else
                ScanItem(env, camera, child, 0, nullptr, nullptr, false);
#endif
            }
        }
    }
    LogTrace(env, "<- ox.orvel.talvek.wia.WIACamera._transfer()");
}

}  // namespace
}  // namespace talvek

using namespace talvek;

extern "C" {

JNIEXPORT jlong JNICALL Java_ox_orvel_talvek_wia_WIACamera__1initialize(JNIEnv* env, jobject, jstring deviceId) {
    return GuardNative(env, jlong{0}, [&] { return Open(env, deviceId); });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_wia_WIACamera__1transfer(JNIEnv* env, jobject self, jlong handle,
                                                                     jboolean dialog) {
    GuardNativeVoid(env, [&] { Transfer(env, self, handle, dialog); });
}

}  // extern "C"
