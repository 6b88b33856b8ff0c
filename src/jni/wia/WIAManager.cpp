// The WIAManager natives: COM start-up, the device manager in the interface
// table, the device listing, the device event subscriptions, and the release.
#include "WIAManager.h"

#include "Flavour.h"
#include "WIAUtils.h"

namespace talvek {

ManagerState& Manager() {
    static ManagerState state;
    return state;
}

IGlobalInterfaceTable* Git() {
    IGlobalInterfaceTable* git = Manager().git;
    // Only reached when Java calls a device method outside _initialize .. _release.
    if (git == nullptr) TALVEK_RAISE(CO_E_NOTINITIALIZED);
    return git;
}

void EnterApartment() {
#if defined(TALVEK_WIA1)
    if ((Manager().apartmentMode & 1) != 0) CoInitialize(nullptr);
#endif
}

namespace {

#if defined(TALVEK_WIA2)
// Reads the static String field `name` of Configuration through WIADevice.
BSTR ReadConfigurationString(JNIEnv* env, const char* name) {
    jfieldID field = env->GetStaticFieldID(g_bindings.deviceClass, name, "Ljava/lang/String;");
    CheckJava(env);
    jobject value = env->GetStaticObjectField(g_bindings.configurationClass, field);
    CheckJava(env);
    BSTR text = JavaStringToBstr(env, static_cast<jstring>(value));
    if (value != nullptr) env->DeleteLocalRef(value);
    return text;
}
#endif

// Reports every local device to the Java manager with add(ID, type, name).
void ListDevices(JNIEnv* env, DevMgr* manager, jobject javaManager) {
    ComPtr<IEnumWIA_DEV_INFO> devices;
    TALVEK_CHECK(manager->EnumDeviceInfo(wia::WIA_DEVINFO_ENUM_LOCAL, devices.Put()));

    const PROPSPEC specs[3] = {PropSpecById(wia::WIA_DIP_DEV_ID), PropSpecById(wia::WIA_DIP_DEV_NAME),
                               PropSpecById(wia::WIA_DIP_DEV_TYPE)};
    HRESULT status = S_OK;
    while (status == S_OK) {
        ComPtr<IWiaPropertyStorage> record;
        status = devices->Next(1, record.Put(), nullptr);
        if (status != S_OK) break;

        PropVariantArray<3> values;
        status = record->ReadMultiple(3, specs, values.Get());
        if (status >= 0 && values[0].vt == VT_BSTR && values[1].vt == VT_BSTR && values[2].vt == VT_I4) {
            jstring id = BstrToJavaString(env, values[0].bstrVal);
            jstring name = BstrToJavaString(env, values[1].bstrVal);
            if (id != nullptr && name != nullptr) {
                env->CallVoidMethod(javaManager, g_bindings.add, id, static_cast<jint>(values[2].lVal), name);
            }
            // Deleted at once, so that a long device list does not pile up
            // local references in the calling frame.
            if (id != nullptr) env->DeleteLocalRef(id);
            if (name != nullptr) env->DeleteLocalRef(name);
            CheckJava(env);
        }
    }
}

// Subscribes the callback to one event; S_OK or the failing result.
HRESULT Subscribe(DevMgr* manager, const GUID& event, EventCallback* callback, IUnknown** registration) {
    return manager->RegisterEventCallbackInterface(0, nullptr, &event, callback, registration);
}

// Ends the event subscriptions and gives up the library's callback reference.
void EndEvents(JNIEnv* env) {
    ManagerState& m = Manager();
    // Every registration that was obtained is released, whichever
    // subscription failed, so that no subscription outlives the manager.
    for (IUnknown** registration : {&m.connectedRegistration, &m.disconnectedRegistration}) {
        if (*registration != nullptr) {
            (*registration)->Release();
            *registration = nullptr;
        }
    }
    if (m.eventCallback != nullptr) {
        m.eventCallback->DeleteManager(env);
        m.eventCallback->Release();
        m.eventCallback = nullptr;
    }
    m.eventsFlag = 0;
}

jlong Initialize(JNIEnv* env, jobject self, jint apartmentMode, jboolean verbose) {
    ManagerState& m = Manager();
    LogTrace(env, "-> " TALVEK_FLAVOUR_TAG "ox.orvel.talvek.wia.WIAManager._initialize() %x", apartmentMode);
    m.apartmentMode = apartmentMode;
    m.verbose = verbose ? 1 : 0;
    // A second _initialize without _release first ends the earlier subscriptions.
    EndEvents(env);

#if defined(TALVEK_WIA1)
    const bool singleThreaded = (apartmentMode & 1) != 0;
    const bool events = apartmentMode == 0;
#else
    const bool singleThreaded = false;
    const bool events = true;
#endif
    if (singleThreaded) {
        CoInitialize(nullptr);
    } else {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    }

    if (m.git == nullptr) {
        TALVEK_CHECK(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&m.git)));
    }

    ComPtr<DevMgr> manager;
    TALVEK_CHECK(CoCreateInstance(kClsidDevMgr, nullptr, CLSCTX_LOCAL_SERVER, kIidDevMgr, manager.PutVoid()));
    TALVEK_CHECK(m.git->RegisterInterfaceInGlobal(manager.Get(), kIidDevMgr, &m.managerHandle));

#if defined(TALVEK_WIA2)
    SysFreeString(m.outputFolder);
    m.outputFolder = nullptr;
    m.outputFolder = ReadConfigurationString(env, "IMAGE_DIR");
    SysFreeString(m.nameTemplate);
    m.nameTemplate = nullptr;
    m.nameTemplate = ReadConfigurationString(env, "FILE_NAME");
    LogTrace(env, "Output path   : %ws", m.outputFolder);
    LogTrace(env, "Name template : %ws", m.nameTemplate);
#endif

    ListDevices(env, manager.Get(), self);

    if (events) {
        m.eventsFlag = 1;
        m.eventCallback = new EventCallback();
        m.eventCallback->SetManager(env->NewGlobalRef(self));
        HRESULT hr = Subscribe(manager.Get(), wia::WIA_EVENT_DEVICE_CONNECTED, m.eventCallback,
                               &m.connectedRegistration);
        if (hr != S_OK) {
            LogWarning("registering connected event failed %x", hr);
            m.eventsFlag = 0;
        }
        hr = Subscribe(manager.Get(), wia::WIA_EVENT_DEVICE_DISCONNECTED, m.eventCallback,
                       &m.disconnectedRegistration);
        if (hr != S_OK) LogWarning("registering disconnected event failed %x", hr);
    } else {
        m.eventsFlag = 0;
    }

    LogTrace(env, "<- ox.orvel.talvek.wia.WIAManager._initialize() %s",
             m.eventsFlag == 1 ? "registered" : "unregistered");
    return CookieToHandle(m.managerHandle);
}

void Poll(JNIEnv* env, jobject self) {
    LogVerbose(env, "-> ox.orvel.talvek.wia.WIAManager._poll()");
#if defined(TALVEK_WIA1)
    CoInitialize(nullptr);
    ComPtr<DevMgr> manager;
    TALVEK_CHECK(Git()->GetInterfaceFromGlobal(Manager().managerHandle, kIidDevMgr, manager.PutVoid()));
    ListDevices(env, manager.Get(), self);
#else
    (void)self;
#endif
}

void Release(JNIEnv* env) {
    ManagerState& m = Manager();
    LogTrace(env, "-> ox.orvel.talvek.wia.WIAManager._release()");
    EndEvents(env);
    EnterApartment();
    ComPtr<DevMgr> manager;
    TALVEK_CHECK(Git()->GetInterfaceFromGlobal(m.managerHandle, kIidDevMgr, manager.PutVoid()));
#if defined(TALVEK_WIA2)
    SysFreeString(m.outputFolder);
    SysFreeString(m.nameTemplate);
    m.outputFolder = nullptr;
    m.nameTemplate = nullptr;
#endif
    TALVEK_CHECK(m.git->RevokeInterfaceFromGlobal(m.managerHandle));
    m.managerHandle = 0;
    manager.Reset();
    // The table is created again by the next _initialize: COM may end in the
    // process with the CoUninitialize below.
    m.git->Release();
    m.git = nullptr;
    CoUninitialize();
    LogTrace(env, "<- ox.orvel.talvek.wia.WIAManager._release()");
}

}  // namespace
}  // namespace talvek

using namespace talvek;

extern "C" {

JNIEXPORT jlong JNICALL Java_ox_orvel_talvek_wia_WIAManager__1initialize(JNIEnv* env, jobject self,
                                                                         jint apartmentMode, jboolean verbose) {
    return GuardNative(env, jlong{0}, [&] { return Initialize(env, self, apartmentMode, verbose); });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_wia_WIAManager__1poll(JNIEnv* env, jobject self) {
    GuardNativeVoid(env, [&] { Poll(env, self); });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_wia_WIAManager__1release(JNIEnv* env, jobject) {
    GuardNativeVoid(env, [&] { Release(env); });
}

}  // extern "C"
