// WIADevice._release: gives a device handle back to the interface table.
#include "Flavour.h"
#include "WIAManager.h"
#include "WIAUtils.h"

namespace talvek {
namespace {

void ReleaseDevice(JNIEnv* env, jlong handle) {
    DWORD cookie = HandleCookie(handle);
    LogTrace(env, "-> ox.orvel.talvek.wia.WIADevice._release(%d)", cookie);
    EnterApartment();
    ComPtr<WiaItemT> root;
    TALVEK_CHECK(Git()->GetInterfaceFromGlobal(cookie, kIidItem, root.PutVoid()));
    TALVEK_CHECK(Git()->RevokeInterfaceFromGlobal(cookie));
    root.Reset();
    LogTrace(env, "<- ox.orvel.talvek.wia.WIADevice._release()");
}

}  // namespace
}  // namespace talvek

extern "C" JNIEXPORT void JNICALL Java_ox_orvel_talvek_wia_WIADevice__1release(JNIEnv* env, jobject, jlong handle) {
    talvek::GuardNativeVoid(env, [&] { talvek::ReleaseDevice(env, handle); });
}
