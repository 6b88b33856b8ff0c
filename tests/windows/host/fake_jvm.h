// A small stand-in for the Java virtual machine, enough to load a library DLL
// and call its native methods on Windows (or Wine) without a JVM.
//
// It knows the Java classes, methods and fields of the library's contract
// with the front end, answers the JNI functions the library calls, and
// records what Java would see: calls of Java methods (log lines, add, remove,
// ...) and thrown exceptions. It checks the rules that a JVM with -Xcheck:jni
// checks: live references of the right kind, no JNI call but the allowed ones
// while an exception is pending, an environment used only on its own thread,
// method and field identifiers that fit the class and the call, released
// string and array elements, valid modified UTF-8, the local reference
// capacity. A broken rule is a fault of the run. A JNI function it does not
// implement ends the process at once with "unexpected JNI call <slot>".
#pragma once

#include <windows.h>

#include <jni.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace host {

struct ClassInfo;
struct Obj;

struct MethodInfo {
    const ClassInfo* owner;
    std::string name, sig;
    bool isStatic;
};

struct FieldInfo {
    const ClassInfo* owner;
    std::string name, sig;
    bool isStatic;
};

struct ClassInfo {
    std::string name;
    const ClassInfo* super = nullptr;
    std::vector<const ClassInfo*> interfaces;
    bool throwable = false;
    std::vector<MethodInfo*> methods;
    std::vector<FieldInfo*> fields;
    Obj* mirror = nullptr;  // the object that stands for the class
};

// One argument of a Java call or constructor, as the library passed it.
struct Value {
    char type;  // 'Z' 'B' 'C' 'S' 'I' 'J' 'F' 'D', or 'L' for any reference
    jlong i = 0;
    double d = 0;
    Obj* obj = nullptr;
};

// A Java object: a class, a string, an int[] or an instance.
struct Obj {
    enum class Kind { Class, String, IntArray, Instance } kind;
    const ClassInfo* cls = nullptr;  // its class; for Kind::Class the class it stands for
    std::u16string text;
    std::vector<jint> ints;
    std::map<const FieldInfo*, jint> intFields;
    std::vector<Value> ctor;  // an instance made with NewObject: the constructor's arguments
};

// What Java saw of one native call.
struct Record {
    std::vector<std::string> events;  // Java calls and throws, in order
    std::vector<std::string> faults;  // broken JNI rules
    std::vector<std::string> notes;   // what the host had to put right
};

class FakeJvm {
public:
    FakeJvm();
    FakeJvm(const FakeJvm&) = delete;
    FakeJvm& operator=(const FakeJvm&) = delete;

    JavaVM* vm() { return &vm_; }

    // Sets the value of a static String field (Configuration.IMAGE_DIR ...).
    void SetStaticString(const char* className, const char* field, const std::u16string& value);

    // A new instance of a class of the contract, alive for the whole run.
    Obj* NewInstance(const char* className);

    // Runs `body` as Java calling a native method on this thread: a fresh
    // local frame with the receiver (if any) as a local reference. Afterwards
    // the frame's references die, an exception left pending is taken as Java
    // would catch it, and the record holds what Java saw.
    Record CallNative(Obj* receiver, const std::function<void(JNIEnv*, jobject)>& body);

    // ---- the machinery behind the JNI functions ----

    struct Ref {
        Obj* target;
        bool global;
        bool live;
        int frame;  // a local reference: the depth of its frame
        DWORD thread;
    };
    struct ThreadEnv {
        JNIEnv_ env;  // the JNIEnv* the thread's JNI calls carry
        DWORD thread;
        bool javaThread;  // Java called in on it (not attached by the library)
        Obj* pending = nullptr;
        std::vector<size_t> capacity;  // one per local frame
        int baseDepth = 0;             // the frame of the running native method
        int depth() const { return static_cast<int>(capacity.size()); }
    };
    struct Lent {  // memory handed out by Get...Chars / GetIntArrayElements
        std::string what;
        Obj* array;
    };

    CRITICAL_SECTION lock;
    std::map<const void*, Lent> lent;

    // Checks the environment for a call of `function` and returns its thread.
    ThreadEnv* Enter(JNIEnv* env, const char* function, bool allowedWhilePending = false);
    void Fault(const std::string& text);
    void Event(const std::string& text);

    jobject NewLocal(ThreadEnv* t, Obj* target);
    jobject NewGlobal(Obj* target);
    // The object of a reference (null for null); a fault for a bad reference.
    Obj* Deref(ThreadEnv* t, jobject ref, const char* function);
    Ref* KnownRef(jobject ref) const;
    void KillFrames(ThreadEnv* t, int fromDepth);
    size_t LiveLocals(const ThreadEnv* t, int depth) const;

    const ClassInfo* FindClassInfo(const std::string& name) const;
    const MethodInfo* LookupMethod(const ClassInfo* c, const std::string& name, const std::string& sig,
                                   bool isStatic) const;
    const FieldInfo* LookupField(const ClassInfo* c, const std::string& name, const std::string& sig,
                                 bool isStatic) const;
    const MethodInfo* KnownMethod(jmethodID id) const;
    const FieldInfo* KnownField(jfieldID id) const;
    static bool IsA(const ClassInfo* c, const ClassInfo* of);

    // A Java method the library called.
    void JavaCall(const MethodInfo* m, Obj* receiver, const std::vector<Value>& args);
    std::string Describe(const Value& v) const;
    std::string DescribeThrowable(const Obj* e) const;
    // Leaves a Java error pending, as the JVM does for a failed lookup.
    void ThrowError(ThreadEnv* t, const char* className, const std::string& detail);

    Obj* NewString(std::u16string text);
    std::map<const FieldInfo*, Obj*> staticObjects;

    ThreadEnv* CurrentThread();
    ThreadEnv* NewThread(bool javaThread);
    bool Detach(ThreadEnv* t);

private:
    ClassInfo* DefineClass(const char* name, const char* super, bool throwable = false);
    void AddMethod(ClassInfo* c, const char* name, const char* sig, bool isStatic = false);
    void AddField(ClassInfo* c, const char* name, const char* sig, bool isStatic = false);

    JNINativeInterface_ functions_;
    JNIInvokeInterface_ invoke_;
    JavaVM_ vm_;
    std::vector<ClassInfo*> classes_;
    std::set<const MethodInfo*> methods_;
    std::set<const FieldInfo*> fields_;
    std::set<const Ref*> refs_;
    std::map<DWORD, ThreadEnv*> threads_;
    Record* record_ = nullptr;
    Record background_;  // what happens outside any native call
};

FakeJvm& Jvm();

std::string ToUtf8(const std::u16string& s);

}  // namespace host
