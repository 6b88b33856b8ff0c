// The Java bridge of the library: the binding cache, the string conversions,
// the log family, the Exception record and its delivery to Java, and the
// device event callback.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>

#include "ComOwners.h"
#include "Text.h"
#include "wia_platform.h"

namespace talvek {

// Global references and identifiers of the Java classes and members the
// library uses, filled once by JNI_OnLoad in this order.
struct BindingCache {
    jclass systemClass, byteClass, shortClass, integerClass, floatClass, doubleClass, booleanClass, stringClass,
        dateClass;
    jmethodID byteValue, shortValue, intValue, floatValue, doubleValue, booleanValue, dateGetTime;
    jmethodID byteInit, shortInit, integerInit, floatInit, doubleInit, booleanInit, dateInit;
    jclass managerClass, deviceClass, cameraClass, scannerClass, configurationClass;
    jfieldID bitDepth, resolution, x, y, width, height, brightness, contrast, handlingCapab, handlingSelect, duplex;
    jmethodID add, remove;
    jmethodID info, warning, error, debug, trace;
    jmethodID fireTransferDone, fireTransferFailed, fireTransferProgress;
    jmethodID addItem, addItemProperty;
};

extern BindingCache g_bindings;
extern JavaVM* g_vm;

// The record raised inside the library and turned into a TalvekException at
// the boundary of the native method.
struct Exception {
    int32_t code;
    const char* file;
    int32_t line;
};

// Code of the library's own for a functional-unit index out of range.
constexpr int32_t kInvalidFunctionalUnit = -9999;

[[noreturn]] void Raise(HRESULT hr, const char* file, int line);

// Raises Exception with the result of `expr` unless it is S_OK (S_FALSE fails too).
#define TALVEK_CHECK(expr)                                                   \
    do {                                                                     \
        HRESULT talvek_hr_ = (expr);                                         \
        if (talvek_hr_ != S_OK) ::talvek::Raise(talvek_hr_, __FILE__, __LINE__); \
    } while (0)
#define TALVEK_RAISE(hr) ::talvek::Raise((hr), __FILE__, __LINE__)

// Unwinds a native method whose call into Java left an exception pending; the
// exception stays pending for Java to see.
struct JavaExceptionPending {};
// After a call into Java on a Java thread: unwind if it threw.
void CheckJava(JNIEnv* env);

// The text of a WIA error code from the library's table, or null.
const char* WiaErrorMessage(int32_t code);

// String conversions.
jstring BstrToJavaString(JNIEnv* env, BSTR text);
BSTR JavaStringToBstr(JNIEnv* env, jstring text);
// NewStringUTF of narrow text, made valid modified UTF-8 first.
jstring NarrowToJavaString(JNIEnv* env, const char* text);

// fireTransferFailed(code, text) on the Java device object; unwinds if it threw.
void FireTransferFailed(JNIEnv* env, jobject javaDevice, jint code, const char* text);

// The log family. Formats are those of the library's formatter (Text.h).
void LogTrace(JNIEnv* env, const char* fmt, ...);
void LogVerbose(JNIEnv* env, const char* fmt, ...);
void LogTraceAttached(const char* fmt, ...);
void LogInfo(const char* fmt, ...);
void LogWarning(const char* fmt, ...);
void LogDebug(const char* fmt, ...);
void LogError(const char* fmt, ...);
void LogErrorDetached(const char* fmt, ...);
void LogTraceDetached(const char* fmt, ...);
void PrintDiagnostic(const char* text, HRESULT code);

// Turns the record into a pending TalvekException on this thread.
void ThrowJavaException(const Exception& e, JNIEnv* env);

// Runs the body of a native method: an Exception becomes a pending
// TalvekException and the method answers `failed`; a Java exception left by a
// call into Java stays pending. No C++ exception crosses into the JVM.
template <typename R, typename Body>
R GuardNative(JNIEnv* env, R failed, Body&& body) {
    try {
        return body();
    } catch (const Exception& e) {
        ThrowJavaException(e, env);
    } catch (const JavaExceptionPending&) {
    } catch (const std::bad_alloc&) {
        ThrowJavaException(Exception{E_OUTOFMEMORY, __FILE__, __LINE__}, env);
    }
    return failed;
}

template <typename Body>
void GuardNativeVoid(JNIEnv* env, Body&& body) {
    GuardNative(env, 0, [&] {
        body();
        return 0;
    });
}

// The JNI environment of a thread that COM chose. A thread that was not
// attached is attached for the scope and detached after it, with any Java
// exception described and cleared first; a thread that already belonged to
// the JVM is left as it was.
class ForeignThreadEnv {
public:
    ForeignThreadEnv();
    ~ForeignThreadEnv();
    ForeignThreadEnv(const ForeignThreadEnv&) = delete;
    ForeignThreadEnv& operator=(const ForeignThreadEnv&) = delete;
    JNIEnv* Get() const { return env_; }
    bool Attached() const { return attached_; }

private:
    JNIEnv* env_ = nullptr;
    bool attached_ = false;
};

// Receives device connect and disconnect events and reports them to the Java
// WIAManager object that subscribed.
class EventCallback final : public IWiaEventCallback {
public:
    EventCallback() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE ImageEventCallback(const GUID* pEventGUID, BSTR bstrEventDescription, BSTR bstrDeviceID,
                                                 BSTR bstrDeviceDescription, DWORD dwDeviceType, BSTR bstrFullItemName,
                                                 ULONG* pulEventType, ULONG ulReserved) override;

    // Stores the global reference to the Java manager (taken over).
    void SetManager(jobject globalRef);
    // Deletes the global reference; an event delivered afterwards reaches no one.
    void DeleteManager(JNIEnv* env);

private:
    ~EventCallback() = default;

    jobject manager_ = nullptr;
    std::atomic<LONG> refs_{1};
    // Guards manager_ while an event uses it and while it is deleted.
    Mutex managerLock_;
};

}  // namespace talvek
