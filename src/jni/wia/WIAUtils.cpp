#include "WIAUtils.h"

#include <cstdio>
#include <cstring>

#include "Flavour.h"
#include "WIAManager.h"

namespace talvek {

BindingCache g_bindings;
JavaVM* g_vm = nullptr;

namespace {

// Fills the binding cache in table order; false (with the JVM's exception
// pending) at the first class or member that is missing.
class CacheFiller {
public:
    explicit CacheFiller(JNIEnv* env) : env_(env) {}
    bool ok() const { return ok_; }

    jclass Class(const char* name) {
        if (!ok_) return nullptr;
        jclass local = env_->FindClass(name);
        if (local == nullptr) return Fail<jclass>();
        jclass global = static_cast<jclass>(env_->NewGlobalRef(local));
        env_->DeleteLocalRef(local);
        return global != nullptr ? global : Fail<jclass>();
    }
    jmethodID Method(jclass c, const char* name, const char* sig) {
        if (!ok_) return nullptr;
        jmethodID id = env_->GetMethodID(c, name, sig);
        return id != nullptr ? id : Fail<jmethodID>();
    }
    jmethodID StaticMethod(jclass c, const char* name, const char* sig) {
        if (!ok_) return nullptr;
        jmethodID id = env_->GetStaticMethodID(c, name, sig);
        return id != nullptr ? id : Fail<jmethodID>();
    }
    jfieldID Field(jclass c, const char* name, const char* sig) {
        if (!ok_) return nullptr;
        jfieldID id = env_->GetFieldID(c, name, sig);
        return id != nullptr ? id : Fail<jfieldID>();
    }

private:
    template <typename T>
    T Fail() {
        ok_ = false;
        return nullptr;
    }
    JNIEnv* env_;
    bool ok_ = true;
};

bool FillBindingCache(JNIEnv* env) {
    CacheFiller f(env);
    BindingCache& b = g_bindings;
    b.systemClass = f.Class("java/lang/System");
    b.byteClass = f.Class("java/lang/Byte");
    b.shortClass = f.Class("java/lang/Short");
    b.integerClass = f.Class("java/lang/Integer");
    b.floatClass = f.Class("java/lang/Float");
    b.doubleClass = f.Class("java/lang/Double");
    b.booleanClass = f.Class("java/lang/Boolean");
    b.stringClass = f.Class("java/lang/String");
    b.dateClass = f.Class("java/util/Date");
    b.byteValue = f.Method(b.byteClass, "byteValue", "()B");
    b.shortValue = f.Method(b.shortClass, "shortValue", "()S");
    b.intValue = f.Method(b.integerClass, "intValue", "()I");
    b.floatValue = f.Method(b.floatClass, "floatValue", "()F");
    b.doubleValue = f.Method(b.doubleClass, "doubleValue", "()D");
    b.booleanValue = f.Method(b.booleanClass, "booleanValue", "()Z");
    b.dateGetTime = f.Method(b.dateClass, "getTime", "()J");
    b.byteInit = f.Method(b.byteClass, "<init>", "(B)V");
    b.shortInit = f.Method(b.shortClass, "<init>", "(S)V");
    b.integerInit = f.Method(b.integerClass, "<init>", "(I)V");
    b.floatInit = f.Method(b.floatClass, "<init>", "(F)V");
    b.doubleInit = f.Method(b.doubleClass, "<init>", "(D)V");
    b.booleanInit = f.Method(b.booleanClass, "<init>", "(Z)V");
    b.dateInit = f.Method(b.dateClass, "<init>", "(J)V");
    b.managerClass = f.Class("ox/orvel/talvek/wia/WIAManager");
    b.deviceClass = f.Class("ox/orvel/talvek/wia/WIADevice");
    b.cameraClass = f.Class("ox/orvel/talvek/wia/WIACamera");
    b.scannerClass = f.Class("ox/orvel/talvek/wia/WIAScanner");
    b.configurationClass = f.Class("ox/orvel/talvek/Configuration");
    b.bitDepth = f.Field(b.scannerClass, "bitDepth", "I");
    b.resolution = f.Field(b.scannerClass, "resolution", "I");
    b.x = f.Field(b.scannerClass, "x", "I");
    b.y = f.Field(b.scannerClass, "y", "I");
    b.width = f.Field(b.scannerClass, "width", "I");
    b.height = f.Field(b.scannerClass, "height", "I");
    b.brightness = f.Field(b.scannerClass, "brightness", "I");
    b.contrast = f.Field(b.scannerClass, "contrast", "I");
    b.handlingCapab = f.Field(b.scannerClass, "handlingCapab", "I");
    b.handlingSelect = f.Field(b.scannerClass, "handlingSelect", "I");
    b.duplex = f.Field(b.scannerClass, "duplex", "I");
    b.add = f.Method(b.managerClass, "add", "(Ljava/lang/String;ILjava/lang/String;)V");
    b.remove = f.Method(b.managerClass, "remove", "(Ljava/lang/String;Ljava/lang/String;)V");
    b.info = f.StaticMethod(b.managerClass, "info", "(Ljava/lang/String;)V");
    b.warning = f.StaticMethod(b.managerClass, "warning", "(Ljava/lang/String;)V");
    b.error = f.StaticMethod(b.managerClass, "error", "(Ljava/lang/String;)V");
    b.debug = f.StaticMethod(b.managerClass, "debug", "(Ljava/lang/String;)V");
    b.trace = f.StaticMethod(b.managerClass, "trace", "(Ljava/lang/String;)V");
    b.fireTransferDone = f.Method(b.deviceClass, "fireTransferDone", "(Ljava/lang/String;Ljava/lang/String;)V");
    b.fireTransferFailed = f.Method(b.deviceClass, "fireTransferFailed", "(ILjava/lang/String;)V");
    b.fireTransferProgress = f.Method(b.deviceClass, "fireTransferProgress", "(IIJ)V");
    b.addItem = f.Method(b.scannerClass, "addItem", "(Ljava/lang/String;I)V");
    b.addItemProperty = f.Method(b.scannerClass, "addItemProperty", "(IILjava/lang/String;ZII[I)V");
    return f.ok();
}

struct WiaErrorRow {
    int32_t code;
    const char* message;
};

const WiaErrorRow kWiaErrors[] = {
    {(int32_t)0x80210001, "An unknown error has occurred with the Windows Image Acquisition (WIA) device."},
    {(int32_t)0x80210002, "Paper is jammed in the scanner's document feeder."},
    {(int32_t)0x80210003, "The user requested a scan and there are no documents left in the document feeder."},
    {(int32_t)0x80210004, "An unspecified problem occurred with the scanner's document feeder."},
    {(int32_t)0x80210005, "The WIA device is not online."},
    {(int32_t)0x80210006, "The WIA device is busy."},
    {(int32_t)0x80210007, "The WIA device is warming up."},
    {(int32_t)0x80210008, "An unspecified error has occurred with the WIA device that requires user intervention."},
    {(int32_t)0x80210009, "The WIA device was deleted. It can no longer be accessed."},
    {(int32_t)0x8021000A, "An unspecified error occurred during an attempted communication with the WIA device."},
    {(int32_t)0x8021000B, "The device does not support this command."},
    {(int32_t)0x8021000C, "There is an incorrect setting on the WIA device."},
    {(int32_t)0x8021000D, "The scanner head is locked."},
    {(int32_t)0x8021000E, "The device driver threw an exception."},
    {(int32_t)0x8021000F, "The response from the driver is invalid."},
    {(int32_t)0x80210015, "No WIA device of the selected type is available."},
    {kInvalidFunctionalUnit, "Invalid functional unit index"},
    {-1, nullptr},
};

JNIEnv* AttachedEnv() {
    JNIEnv* env = nullptr;
    if (g_vm == nullptr) return nullptr;
    if (g_vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) return nullptr;
    return env;
}

// Formats and hands one line to the level's static method of WIAManager.
void Emit(JNIEnv* env, jmethodID level, const char* fmt, va_list ap) {
    if (env == nullptr || level == nullptr || g_bindings.managerClass == nullptr) return;
    // No Java call may follow an exception that is pending on this thread.
    if (env->ExceptionCheck()) return;
    char line[kLogBufferSize];
    FormatV(line, sizeof line, fmt, ap);
    jstring text = env->NewStringUTF(line);
    if (text == nullptr) {
        env->ExceptionClear();
        return;
    }
    env->CallStaticVoidMethod(g_bindings.managerClass, level, text);
    // A log sink that throws loses its line; it must not disturb the caller.
    if (env->ExceptionCheck()) env->ExceptionClear();
    env->DeleteLocalRef(text);
}

}  // namespace

void Raise(HRESULT hr, const char* file, int line) { throw Exception{static_cast<int32_t>(hr), file, line}; }

void CheckJava(JNIEnv* env) {
    if (env->ExceptionCheck()) throw JavaExceptionPending{};
}

void FireTransferFailed(JNIEnv* env, jobject javaDevice, jint code, const char* text) {
    jstring message = env->NewStringUTF(text);
    CheckJava(env);
    env->CallVoidMethod(javaDevice, g_bindings.fireTransferFailed, code, message);
    env->DeleteLocalRef(message);
    CheckJava(env);
}

const char* WiaErrorMessage(int32_t code) {
    for (const WiaErrorRow* row = kWiaErrors; row->message != nullptr; ++row) {
        if (row->code == code) return row->message;
    }
    return nullptr;
}

jstring BstrToJavaString(JNIEnv* env, BSTR text) {
    static const jchar kEmpty[1] = {0};
    const jchar* chars = text != nullptr ? reinterpret_cast<const jchar*>(text) : kEmpty;
    return env->NewString(chars, static_cast<jsize>(SysStringLen(text)));
}

BSTR JavaStringToBstr(JNIEnv* env, jstring text) {
    if (text == nullptr) return nullptr;
    const jchar* chars = env->GetStringChars(text, nullptr);
    if (chars == nullptr) return nullptr;
    jsize len = env->GetStringLength(text);
    BSTR result = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(chars), static_cast<unsigned>(len));
    env->ReleaseStringChars(text, chars);
    return result;
}

jstring NarrowToJavaString(JNIEnv* env, const char* text) {
    std::string valid = ToModifiedUtf8(text);
    return env->NewStringUTF(valid.c_str());
}

#define TALVEK_EMIT(envExpr, level)            \
    do {                                       \
        va_list ap;                            \
        va_start(ap, fmt);                     \
        Emit((envExpr), (level), fmt, ap);     \
        va_end(ap);                            \
    } while (0)

void LogTrace(JNIEnv* env, const char* fmt, ...) { TALVEK_EMIT(env, g_bindings.trace); }

void LogVerbose(JNIEnv* env, const char* fmt, ...) {
    if (!Verbose()) return;
    TALVEK_EMIT(env, g_bindings.trace);
}

void LogTraceAttached(const char* fmt, ...) { TALVEK_EMIT(AttachedEnv(), g_bindings.trace); }
void LogInfo(const char* fmt, ...) { TALVEK_EMIT(AttachedEnv(), g_bindings.info); }
void LogWarning(const char* fmt, ...) { TALVEK_EMIT(AttachedEnv(), g_bindings.warning); }
void LogDebug(const char* fmt, ...) { TALVEK_EMIT(AttachedEnv(), g_bindings.debug); }
void LogError(const char* fmt, ...) { TALVEK_EMIT(AttachedEnv(), g_bindings.error); }

void LogErrorDetached(const char* fmt, ...) {
    TALVEK_EMIT(AttachedEnv(), g_bindings.error);
    if (g_vm != nullptr) g_vm->DetachCurrentThread();
}

void LogTraceDetached(const char* fmt, ...) {
    TALVEK_EMIT(AttachedEnv(), g_bindings.trace);
    if (g_vm != nullptr) g_vm->DetachCurrentThread();
}

#undef TALVEK_EMIT

void PrintDiagnostic(const char* text, HRESULT code) {
    if (code != 0) {
        std::printf("\n%s: HRESULT: 0x%08X", text, static_cast<unsigned>(code));
    } else {
        std::printf("\n%s", text);
    }
    std::fflush(stdout);
}

void ThrowJavaException(const Exception& e, JNIEnv* env) {
    // A Java exception already pending (a failed lookup, a throwing callback) wins.
    if (env->ExceptionCheck()) return;
    jclass cls = env->FindClass("ox/orvel/talvek/TalvekException");
    if (cls == nullptr) return;
    jmethodID ctor = env->GetMethodID(cls, "<init>", "(ILjava/lang/String;Ljava/lang/String;I)V");
    if (ctor == nullptr) {
        env->DeleteLocalRef(cls);
        return;
    }

    char* systemText = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                      FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, static_cast<DWORD>(e.code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<LPSTR>(&systemText), 0, nullptr);
    char fallback[32];
    const char* message;
    if (length != 0 && systemText != nullptr) {
        // Ends the text at the line break of system messages, and at any
        // byte of 0x80 or above.
        for (char* p = systemText; *p != '\0'; ++p) {
            if (static_cast<signed char>(*p) < 32) {
                *p = '\0';
                break;
            }
        }
        message = systemText;
    } else {
        message = WiaErrorMessage(e.code);
        if (message == nullptr) {
            Format(fallback, sizeof fallback, "ERROR 0x%08x", static_cast<unsigned>(e.code));
            message = fallback;
        }
    }

    const char* file = e.file != nullptr ? e.file : "";
    jstring jmessage = NarrowToJavaString(env, message);
    jstring jfile = NarrowToJavaString(env, file);
    jobject exception = nullptr;
    if (jmessage != nullptr && jfile != nullptr) {
        exception = env->NewObject(cls, ctor, static_cast<jint>(e.code), jmessage, jfile, static_cast<jint>(e.line));
    }
    if (exception != nullptr) LogWarning("<- TalvekException(\"%s\", \"%s\", %d)", message, file, e.line);
    if (systemText != nullptr) LocalFree(systemText);
    if (exception != nullptr) env->Throw(static_cast<jthrowable>(exception));
    env->DeleteLocalRef(jmessage);
    env->DeleteLocalRef(jfile);
    env->DeleteLocalRef(cls);
}

ForeignThreadEnv::ForeignThreadEnv() {
    if (g_vm == nullptr) return;
    if (g_vm->GetEnv(reinterpret_cast<void**>(&env_), JNI_VERSION_1_4) == JNI_OK) return;
    env_ = nullptr;
    if (g_vm->AttachCurrentThread(reinterpret_cast<void**>(&env_), nullptr) == JNI_OK) {
        attached_ = true;
    } else {
        env_ = nullptr;
    }
}

ForeignThreadEnv::~ForeignThreadEnv() {
    if (!attached_) return;
    if (env_->ExceptionCheck()) {
        env_->ExceptionDescribe();
        env_->ExceptionClear();
    }
    g_vm->DetachCurrentThread();
}

// EventCallback

HRESULT STDMETHODCALLTYPE EventCallback::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, wia::IID_IWiaEventCallback)) {
        *ppv = static_cast<IWiaEventCallback*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE EventCallback::AddRef() { return static_cast<ULONG>(++refs_); }

ULONG STDMETHODCALLTYPE EventCallback::Release() {
    LONG count = --refs_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE EventCallback::ImageEventCallback(const GUID* pEventGUID, BSTR, BSTR bstrDeviceID,
                                                            BSTR bstrDeviceDescription, DWORD dwDeviceType, BSTR,
                                                            ULONG*, ULONG) {
    if (pEventGUID == nullptr) return S_OK;
    bool connected = IsEqualGUID(*pEventGUID, wia::WIA_EVENT_DEVICE_CONNECTED);
    bool disconnected = IsEqualGUID(*pEventGUID, wia::WIA_EVENT_DEVICE_DISCONNECTED);
    ForeignThreadEnv thread;
    JNIEnv* env = thread.Get();
    if (env == nullptr || !(connected || disconnected)) return S_OK;

    LockGuard guard(managerLock_);
    // The manager reference is gone once WIAManager._release has run.
    if (manager_ == nullptr) return S_OK;
    jstring id = BstrToJavaString(env, bstrDeviceID);
    jstring description = BstrToJavaString(env, bstrDeviceDescription);
    if (id != nullptr && description != nullptr) {
        if (connected) {
            env->CallVoidMethod(manager_, g_bindings.add, id, static_cast<jint>(dwDeviceType), description);
        } else {
            env->CallVoidMethod(manager_, g_bindings.remove, id, description);
        }
    }
    // A listener that threw is described here: nothing may stay pending on the
    // caller's thread, whichever thread COM chose.
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        env->ExceptionClear();
    }
    if (id != nullptr) env->DeleteLocalRef(id);
    if (description != nullptr) env->DeleteLocalRef(description);
    return S_OK;
}

void EventCallback::SetManager(jobject globalRef) {
    LockGuard guard(managerLock_);
    manager_ = globalRef;
}

void EventCallback::DeleteManager(JNIEnv* env) {
    LockGuard guard(managerLock_);
    if (manager_ != nullptr) env->DeleteGlobalRef(manager_);
    manager_ = nullptr;
}

}  // namespace talvek

using namespace talvek;

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void*) {
    g_vm = vm;
    JNIEnv* env = nullptr;
    if (vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK || env == nullptr) return JNI_ERR;
    // A Java side without one of the bound classes or members cannot be served.
    if (!FillBindingCache(env)) return JNI_ERR;
    return JNI_VERSION_1_4;
}
