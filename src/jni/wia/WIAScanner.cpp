// The WIAScanner natives: opening a scanner and describing its items and
// properties to the Java object.
#include "Flavour.h"
#include "WIAManager.h"
#include "WIAProperties.h"
#include "WIAUtils.h"

namespace talvek {
namespace {

// Undoes the registration of the root item unless the open succeeded: Java
// never learns a handle that the open did not return.
class RootRegistration {
public:
    explicit RootRegistration(DWORD cookie) : cookie_(cookie) {}
    ~RootRegistration() {
        IGlobalInterfaceTable* git = Manager().git;
        if (cookie_ != 0 && git != nullptr) git->RevokeInterfaceFromGlobal(cookie_);
    }
    RootRegistration(const RootRegistration&) = delete;
    RootRegistration& operator=(const RootRegistration&) = delete;
    DWORD Keep() {
        DWORD c = cookie_;
        cookie_ = 0;
        return c;
    }

private:
    DWORD cookie_;
};

// addItemProperty for every entry of the item's property table.
void DescribeProperties(JNIEnv* env, jobject scanner, jint itemIndex, IWiaPropertyStorage* storage,
                        const PropertyTable& table) {
    for (const PropertyTable::Entry& entry : table.entries) {
        Capabilities caps;
        ReadPropertyCapabilities(env, storage, entry.id, &caps);
        const jsize count = static_cast<jsize>(caps.values.size());
        jintArray values = env->NewIntArray(count);
        CheckJava(env);
        if (count > 0) {
            env->SetIntArrayRegion(values, 0, count, reinterpret_cast<const jint*>(caps.values.data()));
        }
        jstring name = env->NewString(reinterpret_cast<const jchar*>(entry.name.c_str()),
                                      static_cast<jsize>(entry.name.size()));
        if (name != nullptr) {
            env->CallVoidMethod(scanner, g_bindings.addItemProperty, itemIndex, static_cast<jint>(entry.id), name,
                                static_cast<jboolean>(entry.isLong ? JNI_TRUE : JNI_FALSE),
                                static_cast<jint>(entry.longValue), static_cast<jint>(caps.flags), values);
        }
        // Each property's references go at once: an item with hundreds of
        // properties must not pile them up in the calling frame.
        if (name != nullptr) env->DeleteLocalRef(name);
        env->DeleteLocalRef(values);
        CheckJava(env);
    }
}

// addItem and the properties of one child item.
void DescribeItem(JNIEnv* env, jobject scanner, jint itemIndex, WiaItemT* child) {
    ComPtr<IWiaPropertyStorage> storage;
    TALVEK_CHECK(child->QueryInterface(wia::IID_IWiaPropertyStorage, storage.PutVoid()));
    PropertyTable table = DeviceDump(env, storage.Get());

    BstrOwner name;
    ReadPropertyBSTR(storage.Get(), wia::WIA_IPA_ITEM_NAME, name.Put());
    jint category = 0;
#if defined(TALVEK_WIA2)
    GUID categoryGuid = GUID_NULL;
    ReadPropertyGuid(child, wia::WIA_IPA_ITEM_CATEGORY, &categoryGuid);
    category = ItemCategoryIndex(categoryGuid);
#endif
    jstring jname = BstrToJavaString(env, name.Get());
    CheckJava(env);
    env->CallVoidMethod(scanner, g_bindings.addItem, jname, category);
    env->DeleteLocalRef(jname);
    CheckJava(env);

    DescribeProperties(env, scanner, itemIndex, storage.Get(), table);
}

jlong Open(JNIEnv* env, jobject scanner, jstring deviceId) {
    BstrOwner id(JavaStringToBstr(env, deviceId));
    LogTrace(env, "-> " TALVEK_FLAVOUR_TAG "ox.orvel.talvek.wia.WIAScanner._initialize(\"%ws\")", id.Get());

    ComPtr<DevMgr> manager;
    TALVEK_CHECK(Git()->GetInterfaceFromGlobal(Manager().managerHandle, kIidDevMgr, manager.PutVoid()));
    ComPtr<WiaItemT> root;
    TALVEK_CHECK(CreateDeviceItem(manager.Get(), id.Get(), root.Put()));
    DWORD cookie = 0;
    TALVEK_CHECK(Git()->RegisterInterfaceInGlobal(root.Get(), kIidItem, &cookie));
    RootRegistration registration(cookie);

    {
        ComPtr<IWiaPropertyStorage> rootStorage;
        TALVEK_CHECK(root->QueryInterface(wia::IID_IWiaPropertyStorage, rootStorage.PutVoid()));
        Dump(env, rootStorage.Get());
        LONG capabilities = 0;
        if (ReadPropertyLong(rootStorage.Get(), wia::WIA_DPS_DOCUMENT_HANDLING_CAPABILITIES, &capabilities) == S_OK) {
            env->SetIntField(scanner, g_bindings.handlingCapab, capabilities);
        }
    }

    ComPtr<EnumItemT> children;
    if (EnumChildren(root.Get(), children.Put()) >= 0 && children) {
        jint itemIndex = 0;
        for (;;) {
            ComPtr<WiaItemT> child;
            if (children->Next(1, child.Put(), nullptr) != S_OK) break;
            DescribeItem(env, scanner, itemIndex, child.Get());
            ++itemIndex;
        }
    }
    children.Reset();

    DWORD handle = registration.Keep();
    LogTrace(env, "<- ox.orvel.talvek.wia.WIAScanner._initialize() -> %d", handle);
    return CookieToHandle(handle);
}

}  // namespace
}  // namespace talvek

using namespace talvek;

extern "C" {

JNIEXPORT jlong JNICALL Java_ox_orvel_talvek_wia_WIAScanner__1initialize(JNIEnv* env, jobject self,
                                                                         jstring deviceId) {
    return GuardNative(env, jlong{0}, [&] { return Open(env, self, deviceId); });
}

}  // extern "C"
