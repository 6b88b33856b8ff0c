#include "fake_jvm.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace host {

namespace {

// Holds the lock of the JVM for the scope of one JNI function.
class Locked {
public:
    Locked() { EnterCriticalSection(&Jvm().lock); }
    ~Locked() { LeaveCriticalSection(&Jvm().lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

// ---- unimplemented slots ----

// An unimplemented slot ends the run at once: returning from a function of
// the wrong signature is not safe with the 32-bit standard call.
template <int Slot>
void JNICALL UnexpectedJni() {
    std::printf("FAIL unexpected JNI call %d (slot %d of the JNI function table)\n", Slot, Slot);
    std::fflush(stdout);
    ExitProcess(3);
}

template <int Slot>
void JNICALL UnexpectedInvoke() {
    std::printf("FAIL unexpected JNI call %d (slot %d of the invocation interface)\n", Slot, Slot);
    std::fflush(stdout);
    ExitProcess(3);
}

template <typename Table, template <int> class Stub, int... Slots>
void FillUnexpected(Table& table, std::integer_sequence<int, Slots...>) {
    using Fn = void(JNICALL*)();
    Fn stubs[] = {Stub<Slots>::value...};
    static_assert(sizeof(stubs) == sizeof(Table), "one stub per slot");
    std::memcpy(&table, stubs, sizeof(Table));
}

template <int Slot>
struct JniStub {
    static constexpr void(JNICALL* value)() = &UnexpectedJni<Slot>;
};
template <int Slot>
struct InvokeStub {
    static constexpr void(JNICALL* value)() = &UnexpectedInvoke<Slot>;
};

// ---- text ----

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes modified UTF-8 (NUL as C0 80, supplementary characters as two
// encoded surrogates, no 4-byte forms); false when the text is not that.
bool DecodeModifiedUtf8(const char* text, std::u16string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        unsigned c = *p;
        if (c < 0x80) {
            out += static_cast<char16_t>(c);
            p += 1;
        } else if ((c & 0xE0) == 0xC0) {
            if ((p[1] & 0xC0) != 0x80) return false;
            unsigned v = ((c & 0x1F) << 6) | (p[1] & 0x3F);
            if (v < 0x80 && v != 0) return false;  // overlong, other than NUL
            out += static_cast<char16_t>(v);
            p += 2;
        } else if ((c & 0xF0) == 0xE0) {
            if ((p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80) return false;
            unsigned v = ((c & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
            if (v < 0x800) return false;
            out += static_cast<char16_t>(v);
            p += 3;
        } else {
            return false;
        }
    }
    return true;
}

std::string EncodeModifiedUtf8(const std::u16string& s) {
    std::string out;
    for (char16_t u : s) {
        if (u == 0) {
            out += "\xC0\x80";
        } else {
            AppendUtf8(out, u);  // each surrogate on its own, as modified UTF-8 does
        }
    }
    return out;
}

std::string Hex(unsigned long long v, int digits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%0*llX", digits, v);
    return buf;
}

// The parameter descriptors of a method signature "(...)R", and R.
bool ParseSignature(const std::string& sig, std::vector<std::string>& params, std::string& result) {
    if (sig.empty() || sig[0] != '(') return false;
    size_t i = 1;
    auto one = [&](std::string& out) {
        size_t start = i;
        while (i < sig.size() && sig[i] == '[') ++i;
        if (i >= sig.size()) return false;
        if (sig[i] == 'L') {
            size_t end = sig.find(';', i);
            if (end == std::string::npos) return false;
            i = end + 1;
        } else if (std::strchr("ZBCSIJFDV", sig[i]) != nullptr) {
            ++i;
        } else {
            return false;
        }
        out = sig.substr(start, i - start);
        return true;
    };
    while (i < sig.size() && sig[i] != ')') {
        std::string p;
        if (!one(p)) return false;
        params.push_back(p);
    }
    if (i >= sig.size()) return false;
    ++i;
    return one(result) && i == sig.size();
}

char ValueType(const std::string& descriptor) {
    char c = descriptor[0];
    return (c == 'L' || c == '[') ? 'L' : c;
}

// Reads the arguments of a Java call from the caller's variable arguments.
std::vector<Value> ReadArgs(const std::vector<std::string>& params, va_list ap) {
    std::vector<Value> args;
    for (const std::string& p : params) {
        Value v;
        v.type = ValueType(p);
        switch (v.type) {
            case 'J': v.i = va_arg(ap, jlong); break;
            case 'F':
            case 'D': v.d = va_arg(ap, double); break;
            case 'L': v.obj = reinterpret_cast<Obj*>(va_arg(ap, jobject)); break;  // a reference, resolved later
            default: v.i = va_arg(ap, int); break;                                   // promoted to int
        }
        args.push_back(v);
    }
    return args;
}

std::vector<Value> ReadArgs(const std::vector<std::string>& params, const jvalue* a) {
    std::vector<Value> args;
    for (size_t k = 0; k < params.size(); ++k) {
        Value v;
        v.type = ValueType(params[k]);
        switch (params[k][0]) {
            case 'Z': v.i = a[k].z; break;
            case 'B': v.i = a[k].b; break;
            case 'C': v.i = a[k].c; break;
            case 'S': v.i = a[k].s; break;
            case 'I': v.i = a[k].i; break;
            case 'J': v.i = a[k].j; break;
            case 'F': v.d = a[k].f; break;
            case 'D': v.d = a[k].d; break;
            default: v.obj = reinterpret_cast<Obj*>(a[k].l); break;
        }
        args.push_back(v);
    }
    return args;
}

using Env = FakeJvm::ThreadEnv;

// The thread information block, which begins the thread environment block.
// (GCC 12 takes the segment read in NtCurrentTeb for an out-of-bounds access.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
NT_TIB* ThreadInformationBlock() { return reinterpret_cast<NT_TIB*>(NtCurrentTeb()); }
#pragma GCC diagnostic pop

// Resolves the references among the arguments and checks them against the
// parameter descriptors; false (with a fault) when one does not fit.
bool ResolveArgs(Env* t, const std::vector<std::string>& params, std::vector<Value>& args, const char* function) {
    FakeJvm& jvm = Jvm();
    for (size_t k = 0; k < args.size(); ++k) {
        Value& v = args[k];
        if (v.type == 'Z' && v.i != 0 && v.i != 1) {
            jvm.Fault(std::string(function) + ": boolean argument " + std::to_string(k + 1) + " is " +
                      std::to_string(v.i));
            return false;
        }
        if (v.type != 'L') continue;
        jobject ref = reinterpret_cast<jobject>(v.obj);
        v.obj = jvm.Deref(t, ref, function);
        if (ref != nullptr && v.obj == nullptr) return false;
        if (v.obj == nullptr) continue;
        const std::string& p = params[k];
        bool fits = true;
        if (p == "Ljava/lang/String;") {
            fits = v.obj->kind == Obj::Kind::String;
        } else if (p == "[I") {
            fits = v.obj->kind == Obj::Kind::IntArray;
        } else if (p[0] == 'L') {
            const ClassInfo* want = jvm.FindClassInfo(p.substr(1, p.size() - 2));
            fits = v.obj->kind == Obj::Kind::Instance && want != nullptr && FakeJvm::IsA(v.obj->cls, want);
        }
        if (!fits) {
            jvm.Fault(std::string(function) + ": argument " + std::to_string(k + 1) + " is not a " + p);
            return false;
        }
    }
    return true;
}

Obj* ClassOf(Env* t, jclass clazz, const char* function) {
    Obj* c = Jvm().Deref(t, clazz, function);
    if (c == nullptr || c->kind != Obj::Kind::Class) {
        Jvm().Fault(std::string(function) + ": not a class reference");
        return nullptr;
    }
    return c;
}

// ---- the JNI functions ----

jclass JNICALL FindClass(JNIEnv* env, const char* name) {
    Locked l;
    Env* t = Jvm().Enter(env, "FindClass");
    if (t == nullptr) return nullptr;
    const ClassInfo* c = name != nullptr ? Jvm().FindClassInfo(name) : nullptr;
    if (c == nullptr) {
        Jvm().Fault(std::string("FindClass: no class ") + (name != nullptr ? name : "(null)"));
        Jvm().ThrowError(t, "java/lang/NoClassDefFoundError", name != nullptr ? name : "");
        return nullptr;
    }
    return static_cast<jclass>(Jvm().NewLocal(t, c->mirror));
}

jobject JNICALL NewGlobalRef(JNIEnv* env, jobject obj) {
    Locked l;
    Env* t = Jvm().Enter(env, "NewGlobalRef");
    if (t == nullptr) return nullptr;
    Obj* o = Jvm().Deref(t, obj, "NewGlobalRef");
    return o != nullptr ? Jvm().NewGlobal(o) : nullptr;
}

void JNICALL DeleteGlobalRef(JNIEnv* env, jobject ref) {
    Locked l;
    Env* t = Jvm().Enter(env, "DeleteGlobalRef", true);
    if (t == nullptr || ref == nullptr) return;
    FakeJvm::Ref* r = Jvm().KnownRef(ref);
    if (r == nullptr || !r->global || !r->live) {
        Jvm().Fault("DeleteGlobalRef: not a live global reference");
        return;
    }
    r->live = false;
}

void JNICALL DeleteLocalRef(JNIEnv* env, jobject ref) {
    Locked l;
    Env* t = Jvm().Enter(env, "DeleteLocalRef", true);
    if (t == nullptr || ref == nullptr) return;
    FakeJvm::Ref* r = Jvm().KnownRef(ref);
    if (r == nullptr || r->global || !r->live || r->thread != t->thread) {
        Jvm().Fault("DeleteLocalRef: not a live local reference of this thread");
        return;
    }
    r->live = false;
}

template <bool Static>
jmethodID LookupMethodId(JNIEnv* env, jclass clazz, const char* name, const char* sig, const char* function) {
    Locked l;
    Env* t = Jvm().Enter(env, function);
    if (t == nullptr) return nullptr;
    Obj* c = ClassOf(t, clazz, function);
    if (c == nullptr || name == nullptr || sig == nullptr) return nullptr;
    const MethodInfo* m = Jvm().LookupMethod(c->cls, name, sig, Static);
    if (m == nullptr) {
        std::string what = c->cls->name + "." + name + sig;
        Jvm().Fault(std::string(function) + ": no method " + what);
        Jvm().ThrowError(t, "java/lang/NoSuchMethodError", what);
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(const_cast<MethodInfo*>(m));
}

jmethodID JNICALL GetMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    return LookupMethodId<false>(env, clazz, name, sig, "GetMethodID");
}

jmethodID JNICALL GetStaticMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    return LookupMethodId<true>(env, clazz, name, sig, "GetStaticMethodID");
}

template <bool Static>
jfieldID LookupFieldId(JNIEnv* env, jclass clazz, const char* name, const char* sig, const char* function) {
    Locked l;
    Env* t = Jvm().Enter(env, function);
    if (t == nullptr) return nullptr;
    Obj* c = ClassOf(t, clazz, function);
    if (c == nullptr || name == nullptr || sig == nullptr) return nullptr;
    const FieldInfo* f = Jvm().LookupField(c->cls, name, sig, Static);
    if (f == nullptr) {
        std::string what = c->cls->name + "." + name + " " + sig;
        Jvm().Fault(std::string(function) + ": no field " + what);
        Jvm().ThrowError(t, "java/lang/NoSuchFieldError", what);
        return nullptr;
    }
    return reinterpret_cast<jfieldID>(const_cast<FieldInfo*>(f));
}

jfieldID JNICALL GetFieldID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    return LookupFieldId<false>(env, clazz, name, sig, "GetFieldID");
}

jfieldID JNICALL GetStaticFieldID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    return LookupFieldId<true>(env, clazz, name, sig, "GetStaticFieldID");
}

jobject JNICALL GetStaticObjectField(JNIEnv* env, jclass clazz, jfieldID id) {
    Locked l;
    Env* t = Jvm().Enter(env, "GetStaticObjectField");
    if (t == nullptr) return nullptr;
    Obj* c = ClassOf(t, clazz, "GetStaticObjectField");
    const FieldInfo* f = Jvm().KnownField(id);
    if (c == nullptr) return nullptr;
    if (f == nullptr || !f->isStatic || ValueType(f->sig) != 'L' || !FakeJvm::IsA(c->cls, f->owner)) {
        Jvm().Fault("GetStaticObjectField: the field identifier does not name a static object field of " +
                    c->cls->name);
        return nullptr;
    }
    auto it = Jvm().staticObjects.find(f);
    return it != Jvm().staticObjects.end() && it->second != nullptr ? Jvm().NewLocal(t, it->second) : nullptr;
}

Obj* InstanceField(Env* t, jobject obj, jfieldID id, const char* function, const FieldInfo*& f) {
    Obj* o = Jvm().Deref(t, obj, function);
    f = Jvm().KnownField(id);
    if (o == nullptr || o->kind != Obj::Kind::Instance) {
        Jvm().Fault(std::string(function) + ": not an object");
        return nullptr;
    }
    if (f == nullptr || f->isStatic || f->sig != "I" || !FakeJvm::IsA(o->cls, f->owner)) {
        Jvm().Fault(std::string(function) + ": the field identifier does not name an int field of " + o->cls->name);
        return nullptr;
    }
    return o;
}

jint JNICALL GetIntField(JNIEnv* env, jobject obj, jfieldID id) {
    Locked l;
    Env* t = Jvm().Enter(env, "GetIntField");
    const FieldInfo* f = nullptr;
    Obj* o = t != nullptr ? InstanceField(t, obj, id, "GetIntField", f) : nullptr;
    return o != nullptr ? o->intFields[f] : 0;
}

void JNICALL SetIntField(JNIEnv* env, jobject obj, jfieldID id, jint value) {
    Locked l;
    Env* t = Jvm().Enter(env, "SetIntField");
    const FieldInfo* f = nullptr;
    Obj* o = t != nullptr ? InstanceField(t, obj, id, "SetIntField", f) : nullptr;
    if (o == nullptr) return;
    o->intFields[f] = value;
    Jvm().Event("set " + f->name + " = " + std::to_string(value));
}

// CallVoidMethod and CallStaticVoidMethod, whatever the argument form.
template <bool Static, typename Source>
void CallVoid(JNIEnv* env, jobject target, jmethodID id, Source source, const char* function) {
    Locked l;
    Env* t = Jvm().Enter(env, function);
    if (t == nullptr) return;
    Obj* o = Jvm().Deref(t, target, function);
    const MethodInfo* m = Jvm().KnownMethod(id);
    if (o == nullptr) {
        Jvm().Fault(std::string(function) + ": null receiver");
        return;
    }
    std::vector<std::string> params;
    std::string result;
    if (m == nullptr || m->isStatic != Static || m->name == "<init>" || !ParseSignature(m->sig, params, result)) {
        Jvm().Fault(std::string(function) + (Static ? ": not a static" : ": not an instance") + " method identifier");
        return;
    }
    const ClassInfo* self = Static ? (o->kind == Obj::Kind::Class ? o->cls : nullptr)
                                   : (o->kind == Obj::Kind::Instance ? o->cls : nullptr);
    if (self == nullptr || !FakeJvm::IsA(self, m->owner)) {
        Jvm().Fault(std::string(function) + ": " + m->owner->name + "." + m->name + " called on the wrong " +
                    (Static ? "class" : "object"));
        return;
    }
    if (result != "V") {
        Jvm().Fault(std::string(function) + ": " + m->name + m->sig + " does not return void");
        return;
    }
    std::vector<Value> args = ReadArgs(params, source);
    if (!ResolveArgs(t, params, args, function)) return;
    Jvm().JavaCall(m, Static ? nullptr : o, args);
}

void JNICALL CallVoidMethod(JNIEnv* env, jobject obj, jmethodID id, ...) {
    va_list ap;
    va_start(ap, id);
    CallVoid<false>(env, obj, id, ap, "CallVoidMethod");
    va_end(ap);
}

void JNICALL CallVoidMethodV(JNIEnv* env, jobject obj, jmethodID id, va_list ap) {
    CallVoid<false>(env, obj, id, ap, "CallVoidMethodV");
}

void JNICALL CallVoidMethodA(JNIEnv* env, jobject obj, jmethodID id, const jvalue* args) {
    CallVoid<false>(env, obj, id, args, "CallVoidMethodA");
}

void JNICALL CallStaticVoidMethod(JNIEnv* env, jclass cls, jmethodID id, ...) {
    va_list ap;
    va_start(ap, id);
    CallVoid<true>(env, cls, id, ap, "CallStaticVoidMethod");
    va_end(ap);
}

void JNICALL CallStaticVoidMethodV(JNIEnv* env, jclass cls, jmethodID id, va_list ap) {
    CallVoid<true>(env, cls, id, ap, "CallStaticVoidMethodV");
}

void JNICALL CallStaticVoidMethodA(JNIEnv* env, jclass cls, jmethodID id, const jvalue* args) {
    CallVoid<true>(env, cls, id, args, "CallStaticVoidMethodA");
}

template <typename Source>
jobject Construct(JNIEnv* env, jclass clazz, jmethodID id, Source source, const char* function) {
    Locked l;
    Env* t = Jvm().Enter(env, function);
    if (t == nullptr) return nullptr;
    Obj* c = ClassOf(t, clazz, function);
    const MethodInfo* m = Jvm().KnownMethod(id);
    if (c == nullptr) return nullptr;
    std::vector<std::string> params;
    std::string result;
    if (m == nullptr || m->name != "<init>" || m->owner != c->cls || !ParseSignature(m->sig, params, result)) {
        Jvm().Fault(std::string(function) + ": not a constructor of " + c->cls->name);
        return nullptr;
    }
    std::vector<Value> args = ReadArgs(params, source);
    if (!ResolveArgs(t, params, args, function)) return nullptr;
    Obj* o = new Obj{Obj::Kind::Instance, c->cls, {}, {}, {}, args};
    return Jvm().NewLocal(t, o);
}

jobject JNICALL NewObject(JNIEnv* env, jclass clazz, jmethodID id, ...) {
    va_list ap;
    va_start(ap, id);
    jobject o = Construct(env, clazz, id, ap, "NewObject");
    va_end(ap);
    return o;
}

jobject JNICALL NewObjectV(JNIEnv* env, jclass clazz, jmethodID id, va_list ap) {
    return Construct(env, clazz, id, ap, "NewObjectV");
}

jobject JNICALL NewObjectA(JNIEnv* env, jclass clazz, jmethodID id, const jvalue* args) {
    return Construct(env, clazz, id, args, "NewObjectA");
}

jclass JNICALL GetObjectClass(JNIEnv* env, jobject obj) {
    Locked l;
    Env* t = Jvm().Enter(env, "GetObjectClass");
    if (t == nullptr) return nullptr;
    Obj* o = Jvm().Deref(t, obj, "GetObjectClass");
    if (o == nullptr || o->kind == Obj::Kind::Class) {
        Jvm().Fault("GetObjectClass: not an object of the contract");
        return nullptr;
    }
    return static_cast<jclass>(Jvm().NewLocal(t, o->cls->mirror));
}

// ---- strings ----

Obj* StringOf(Env* t, jstring str, const char* function) {
    Obj* s = Jvm().Deref(t, str, function);
    if (s == nullptr || s->kind != Obj::Kind::String) {
        Jvm().Fault(std::string(function) + ": not a string");
        return nullptr;
    }
    return s;
}

jstring JNICALL NewStringUTF(JNIEnv* env, const char* utf) {
    Locked l;
    Env* t = Jvm().Enter(env, "NewStringUTF");
    if (t == nullptr) return nullptr;
    if (utf == nullptr) {
        Jvm().Fault("NewStringUTF: null text");
        return nullptr;
    }
    std::u16string text;
    if (!DecodeModifiedUtf8(utf, text)) {
        Jvm().Fault(std::string("NewStringUTF: not modified UTF-8: \"") + utf + "\"");
        return nullptr;
    }
    return static_cast<jstring>(Jvm().NewLocal(t, Jvm().NewString(std::move(text))));
}

jstring JNICALL NewString(JNIEnv* env, const jchar* unicode, jsize len) {
    Locked l;
    Env* t = Jvm().Enter(env, "NewString");
    if (t == nullptr) return nullptr;
    if (len < 0 || (len > 0 && unicode == nullptr)) {
        Jvm().Fault("NewString: bad characters or length");
        return nullptr;
    }
    std::u16string text(reinterpret_cast<const char16_t*>(unicode), reinterpret_cast<const char16_t*>(unicode) + len);
    return static_cast<jstring>(Jvm().NewLocal(t, Jvm().NewString(std::move(text))));
}

jsize JNICALL GetStringLength(JNIEnv* env, jstring str) {
    Locked l;
    Env* t = Jvm().Enter(env, "GetStringLength");
    Obj* s = t != nullptr ? StringOf(t, str, "GetStringLength") : nullptr;
    return s != nullptr ? static_cast<jsize>(s->text.size()) : 0;
}

const jchar* JNICALL GetStringChars(JNIEnv* env, jstring str, jboolean* isCopy) {
    Locked l;
    Env* t = Jvm().Enter(env, "GetStringChars");
    Obj* s = t != nullptr ? StringOf(t, str, "GetStringChars") : nullptr;
    if (s == nullptr) return nullptr;
    jchar* chars = new jchar[s->text.size() + 1];
    std::memcpy(chars, s->text.data(), s->text.size() * sizeof(jchar));
    chars[s->text.size()] = 0;
    Jvm().lent[chars] = {"GetStringChars", s};
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    return chars;
}

void JNICALL ReleaseStringChars(JNIEnv* env, jstring str, const jchar* chars) {
    Locked l;
    Env* t = Jvm().Enter(env, "ReleaseStringChars", true);
    Obj* s = t != nullptr ? StringOf(t, str, "ReleaseStringChars") : nullptr;
    auto it = Jvm().lent.find(chars);
    if (s == nullptr) return;
    if (it == Jvm().lent.end() || it->second.what != "GetStringChars" || it->second.array != s) {
        Jvm().Fault("ReleaseStringChars: characters not from GetStringChars of this string");
        return;
    }
    Jvm().lent.erase(it);
    delete[] chars;
}

const char* JNICALL GetStringUTFChars(JNIEnv* env, jstring str, jboolean* isCopy) {
    Locked l;
    Env* t = Jvm().Enter(env, "GetStringUTFChars");
    Obj* s = t != nullptr ? StringOf(t, str, "GetStringUTFChars") : nullptr;
    if (s == nullptr) return nullptr;
    std::string utf = EncodeModifiedUtf8(s->text);
    char* chars = new char[utf.size() + 1];
    std::memcpy(chars, utf.c_str(), utf.size() + 1);
    Jvm().lent[chars] = {"GetStringUTFChars", s};
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    return chars;
}

void JNICALL ReleaseStringUTFChars(JNIEnv* env, jstring str, const char* chars) {
    Locked l;
    Env* t = Jvm().Enter(env, "ReleaseStringUTFChars", true);
    Obj* s = t != nullptr ? StringOf(t, str, "ReleaseStringUTFChars") : nullptr;
    auto it = Jvm().lent.find(chars);
    if (s == nullptr) return;
    if (it == Jvm().lent.end() || it->second.what != "GetStringUTFChars" || it->second.array != s) {
        Jvm().Fault("ReleaseStringUTFChars: characters not from GetStringUTFChars of this string");
        return;
    }
    Jvm().lent.erase(it);
    delete[] chars;
}

// ---- int arrays ----

Obj* IntArrayOf(Env* t, jobject array, const char* function) {
    Obj* a = Jvm().Deref(t, array, function);
    if (a == nullptr || a->kind != Obj::Kind::IntArray) {
        Jvm().Fault(std::string(function) + ": not an int[]");
        return nullptr;
    }
    return a;
}

jintArray JNICALL NewIntArray(JNIEnv* env, jsize len) {
    Locked l;
    Env* t = Jvm().Enter(env, "NewIntArray");
    if (t == nullptr) return nullptr;
    if (len < 0) {
        Jvm().Fault("NewIntArray: negative length");
        return nullptr;
    }
    Obj* a = new Obj{Obj::Kind::IntArray, Jvm().FindClassInfo("[I"), {}, std::vector<jint>(len, 0), {}, {}};
    return static_cast<jintArray>(Jvm().NewLocal(t, a));
}

void JNICALL SetIntArrayRegion(JNIEnv* env, jintArray array, jsize start, jsize len, const jint* buf) {
    Locked l;
    Env* t = Jvm().Enter(env, "SetIntArrayRegion");
    Obj* a = t != nullptr ? IntArrayOf(t, array, "SetIntArrayRegion") : nullptr;
    if (a == nullptr) return;
    if (start < 0 || len < 0 || static_cast<size_t>(start) + static_cast<size_t>(len) > a->ints.size() ||
        (len > 0 && buf == nullptr)) {
        Jvm().Fault("SetIntArrayRegion: region outside the array");
        Jvm().ThrowError(t, "java/lang/ArrayIndexOutOfBoundsException", std::to_string(start));
        return;
    }
    std::memcpy(a->ints.data() + start, buf, static_cast<size_t>(len) * sizeof(jint));
}

jsize JNICALL GetArrayLength(JNIEnv* env, jarray array) {
    Locked l;
    Env* t = Jvm().Enter(env, "GetArrayLength");
    Obj* a = t != nullptr ? IntArrayOf(t, array, "GetArrayLength") : nullptr;
    return a != nullptr ? static_cast<jsize>(a->ints.size()) : 0;
}

jint* JNICALL GetIntArrayElements(JNIEnv* env, jintArray array, jboolean* isCopy) {
    Locked l;
    Env* t = Jvm().Enter(env, "GetIntArrayElements");
    Obj* a = t != nullptr ? IntArrayOf(t, array, "GetIntArrayElements") : nullptr;
    if (a == nullptr) return nullptr;
    jint* elems = new jint[a->ints.size() + 1];
    std::memcpy(elems, a->ints.data(), a->ints.size() * sizeof(jint));
    Jvm().lent[elems] = {"GetIntArrayElements", a};
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    return elems;
}

void JNICALL ReleaseIntArrayElements(JNIEnv* env, jintArray array, jint* elems, jint mode) {
    Locked l;
    Env* t = Jvm().Enter(env, "ReleaseIntArrayElements", true);
    Obj* a = t != nullptr ? IntArrayOf(t, array, "ReleaseIntArrayElements") : nullptr;
    auto it = Jvm().lent.find(elems);
    if (a == nullptr) return;
    if (it == Jvm().lent.end() || it->second.what != "GetIntArrayElements" || it->second.array != a) {
        Jvm().Fault("ReleaseIntArrayElements: elements not from GetIntArrayElements of this array");
        return;
    }
    if (mode != 0 && mode != JNI_COMMIT && mode != JNI_ABORT) {
        Jvm().Fault("ReleaseIntArrayElements: unknown mode " + std::to_string(mode));
        return;
    }
    if (mode != JNI_ABORT) std::memcpy(a->ints.data(), elems, a->ints.size() * sizeof(jint));
    if (mode != JNI_COMMIT) {
        Jvm().lent.erase(it);
        delete[] elems;
    }
}

// ---- exceptions ----

jint JNICALL Throw(JNIEnv* env, jthrowable obj) {
    Locked l;
    Env* t = Jvm().Enter(env, "Throw");
    if (t == nullptr) return JNI_ERR;
    Obj* e = Jvm().Deref(t, obj, "Throw");
    if (e == nullptr || e->kind != Obj::Kind::Instance || !e->cls->throwable) {
        Jvm().Fault("Throw: not a throwable object");
        return JNI_ERR;
    }
    t->pending = e;
    Jvm().Event("throw " + Jvm().DescribeThrowable(e));
    return JNI_OK;
}

jboolean JNICALL ExceptionCheck(JNIEnv* env) {
    Locked l;
    Env* t = Jvm().Enter(env, "ExceptionCheck", true);
    return t != nullptr && t->pending != nullptr ? JNI_TRUE : JNI_FALSE;
}

jthrowable JNICALL ExceptionOccurred(JNIEnv* env) {
    Locked l;
    Env* t = Jvm().Enter(env, "ExceptionOccurred", true);
    if (t == nullptr || t->pending == nullptr) return nullptr;
    return static_cast<jthrowable>(Jvm().NewLocal(t, t->pending));
}

void JNICALL ExceptionClear(JNIEnv* env) {
    Locked l;
    Env* t = Jvm().Enter(env, "ExceptionClear", true);
    if (t != nullptr) t->pending = nullptr;
}

void JNICALL ExceptionDescribe(JNIEnv* env) {
    Locked l;
    Env* t = Jvm().Enter(env, "ExceptionDescribe", true);
    if (t == nullptr || t->pending == nullptr) return;
    Jvm().Event("describe " + Jvm().DescribeThrowable(t->pending));
    t->pending = nullptr;  // as the JVM does
}

// ---- local frames ----

jint JNICALL PushLocalFrame(JNIEnv* env, jint capacity) {
    Locked l;
    Env* t = Jvm().Enter(env, "PushLocalFrame", true);
    if (t == nullptr || capacity < 0) return JNI_ERR;
    t->capacity.push_back(static_cast<size_t>(capacity < 16 ? 16 : capacity));
    return JNI_OK;
}

jobject JNICALL PopLocalFrame(JNIEnv* env, jobject result) {
    Locked l;
    Env* t = Jvm().Enter(env, "PopLocalFrame", true);
    if (t == nullptr) return nullptr;
    if (t->depth() <= t->baseDepth) {
        Jvm().Fault("PopLocalFrame without PushLocalFrame");
        return nullptr;
    }
    Obj* keep = Jvm().Deref(t, result, "PopLocalFrame");
    Jvm().KillFrames(t, t->depth());
    t->capacity.pop_back();
    return keep != nullptr ? Jvm().NewLocal(t, keep) : nullptr;
}

jint JNICALL EnsureLocalCapacity(JNIEnv* env, jint capacity) {
    Locked l;
    Env* t = Jvm().Enter(env, "EnsureLocalCapacity");
    if (t == nullptr || capacity < 0) return JNI_ERR;
    size_t want = Jvm().LiveLocals(t, t->depth()) + static_cast<size_t>(capacity);
    if (t->capacity.back() < want) t->capacity.back() = want;
    return JNI_OK;
}

// ---- the invocation interface ----

jint JNICALL AttachCurrentThread(JavaVM* vm, void** penv, void*) {
    Locked l;
    if (vm != Jvm().vm() || penv == nullptr) {
        Jvm().Fault("AttachCurrentThread: bad arguments");
        return JNI_ERR;
    }
    Env* t = Jvm().CurrentThread();
    if (t == nullptr) t = Jvm().NewThread(false);
    *penv = &t->env;
    return JNI_OK;
}

jint JNICALL DetachCurrentThread(JavaVM* vm) {
    Locked l;
    if (vm != Jvm().vm()) {
        Jvm().Fault("DetachCurrentThread: bad JavaVM");
        return JNI_ERR;
    }
    Env* t = Jvm().CurrentThread();
    if (t == nullptr) return JNI_OK;
    if (t->javaThread) {
        Jvm().Fault("DetachCurrentThread on a Java thread that is running a native method");
        return JNI_ERR;
    }
    return Jvm().Detach(t) ? JNI_OK : JNI_ERR;
}

jint JNICALL GetEnv(JavaVM* vm, void** penv, jint version) {
    Locked l;
    if (vm != Jvm().vm() || penv == nullptr) {
        Jvm().Fault("GetEnv: bad arguments");
        return JNI_ERR;
    }
    static const jint kVersions[] = {JNI_VERSION_1_1, JNI_VERSION_1_2, JNI_VERSION_1_4, JNI_VERSION_1_6,
                                     JNI_VERSION_1_8, JNI_VERSION_9,   JNI_VERSION_10};
    bool known = false;
    for (jint v : kVersions) known = known || v == version;
    if (!known) {
        *penv = nullptr;
        return JNI_EVERSION;
    }
    Env* t = Jvm().CurrentThread();
    *penv = t != nullptr ? &t->env : nullptr;
    return t != nullptr ? JNI_OK : JNI_EDETACHED;
}

}  // namespace

// ---- FakeJvm ----

FakeJvm& Jvm() {
    static FakeJvm* jvm = new FakeJvm();  // never destroyed: the library may call in while the process ends
    return *jvm;
}

FakeJvm::FakeJvm() {
    InitializeCriticalSection(&lock);
    constexpr int kJniSlots = sizeof(JNINativeInterface_) / sizeof(void*);
    constexpr int kInvokeSlots = sizeof(JNIInvokeInterface_) / sizeof(void*);
    FillUnexpected<JNINativeInterface_, JniStub>(functions_, std::make_integer_sequence<int, kJniSlots>{});
    FillUnexpected<JNIInvokeInterface_, InvokeStub>(invoke_, std::make_integer_sequence<int, kInvokeSlots>{});

    JNINativeInterface_& f = functions_;
    f.FindClass = FindClass;
    f.NewGlobalRef = NewGlobalRef;
    f.DeleteGlobalRef = DeleteGlobalRef;
    f.DeleteLocalRef = DeleteLocalRef;
    f.GetMethodID = GetMethodID;
    f.GetStaticMethodID = GetStaticMethodID;
    f.GetFieldID = GetFieldID;
    f.GetStaticFieldID = GetStaticFieldID;
    f.GetStaticObjectField = GetStaticObjectField;
    f.GetIntField = GetIntField;
    f.SetIntField = SetIntField;
    f.CallVoidMethod = CallVoidMethod;
    f.CallVoidMethodV = CallVoidMethodV;
    f.CallVoidMethodA = CallVoidMethodA;
    f.CallStaticVoidMethod = CallStaticVoidMethod;
    f.CallStaticVoidMethodV = CallStaticVoidMethodV;
    f.CallStaticVoidMethodA = CallStaticVoidMethodA;
    f.NewObject = NewObject;
    f.NewObjectV = NewObjectV;
    f.NewObjectA = NewObjectA;
    f.GetObjectClass = GetObjectClass;
    f.NewStringUTF = NewStringUTF;
    f.NewString = host::NewString;
    f.GetStringLength = GetStringLength;
    f.GetStringChars = GetStringChars;
    f.ReleaseStringChars = ReleaseStringChars;
    f.GetStringUTFChars = GetStringUTFChars;
    f.ReleaseStringUTFChars = ReleaseStringUTFChars;
    f.NewIntArray = NewIntArray;
    f.SetIntArrayRegion = SetIntArrayRegion;
    f.GetArrayLength = GetArrayLength;
    f.GetIntArrayElements = GetIntArrayElements;
    f.ReleaseIntArrayElements = ReleaseIntArrayElements;
    f.Throw = Throw;
    f.ExceptionCheck = ExceptionCheck;
    f.ExceptionOccurred = ExceptionOccurred;
    f.ExceptionClear = ExceptionClear;
    f.ExceptionDescribe = ExceptionDescribe;
    f.PushLocalFrame = PushLocalFrame;
    f.PopLocalFrame = PopLocalFrame;
    f.EnsureLocalCapacity = EnsureLocalCapacity;
    invoke_.AttachCurrentThread = AttachCurrentThread;
    invoke_.DetachCurrentThread = DetachCurrentThread;
    invoke_.GetEnv = GetEnv;
    vm_.functions = &invoke_;

    // The Java side of the contract: the classes and members the library may use.
    ClassInfo* object = DefineClass("java/lang/Object", nullptr);
    (void)object;
    DefineClass("java/lang/System", "java/lang/Object");
    DefineClass("java/lang/String", "java/lang/Object");
    DefineClass("[I", "java/lang/Object");
    struct Boxed {
        const char* cls;
        const char* value;
        const char* valueSig;
        const char* initSig;
    };
    const Boxed boxed[] = {{"java/lang/Byte", "byteValue", "()B", "(B)V"},
                           {"java/lang/Short", "shortValue", "()S", "(S)V"},
                           {"java/lang/Integer", "intValue", "()I", "(I)V"},
                           {"java/lang/Float", "floatValue", "()F", "(F)V"},
                           {"java/lang/Double", "doubleValue", "()D", "(D)V"},
                           {"java/lang/Boolean", "booleanValue", "()Z", "(Z)V"},
                           {"java/util/Date", "getTime", "()J", "(J)V"}};
    for (const Boxed& b : boxed) {
        ClassInfo* c = DefineClass(b.cls, "java/lang/Object");
        AddMethod(c, b.value, b.valueSig);
        AddMethod(c, "<init>", b.initSig);
    }
    DefineClass("java/lang/Throwable", "java/lang/Object", true);
    DefineClass("java/lang/Exception", "java/lang/Throwable", true);
    DefineClass("java/lang/Error", "java/lang/Throwable", true);
    for (const char* e : {"java/lang/NoClassDefFoundError", "java/lang/NoSuchMethodError", "java/lang/NoSuchFieldError",
                          "java/lang/ArrayIndexOutOfBoundsException"}) {
        DefineClass(e, "java/lang/Error", true);
    }
    ClassInfo* talvekException = DefineClass("ox/orvel/talvek/TalvekException", "java/lang/Exception", true);
    AddMethod(talvekException, "<init>", "(ILjava/lang/String;Ljava/lang/String;I)V");

    ClassInfo* configuration = DefineClass("ox/orvel/talvek/Configuration", "java/lang/Object");
    AddField(configuration, "IMAGE_DIR", "Ljava/lang/String;", true);
    AddField(configuration, "FILE_NAME", "Ljava/lang/String;", true);

    ClassInfo* manager = DefineClass("ox/orvel/talvek/wia/WIAManager", "java/lang/Object");
    AddMethod(manager, "add", "(Ljava/lang/String;ILjava/lang/String;)V");
    AddMethod(manager, "remove", "(Ljava/lang/String;Ljava/lang/String;)V");
    for (const char* level : {"info", "warning", "error", "debug", "trace"}) {
        AddMethod(manager, level, "(Ljava/lang/String;)V", true);
    }

    ClassInfo* device = DefineClass("ox/orvel/talvek/wia/WIADevice", "java/lang/Object");
    device->interfaces.push_back(configuration);
    AddMethod(device, "fireTransferDone", "(Ljava/lang/String;Ljava/lang/String;)V");
    AddMethod(device, "fireTransferFailed", "(ILjava/lang/String;)V");
    AddMethod(device, "fireTransferProgress", "(IIJ)V");

    DefineClass("ox/orvel/talvek/wia/WIACamera", "ox/orvel/talvek/wia/WIADevice");
    ClassInfo* scanner = DefineClass("ox/orvel/talvek/wia/WIAScanner", "ox/orvel/talvek/wia/WIADevice");
    for (const char* field : {"bitDepth", "resolution", "x", "y", "width", "height", "brightness", "contrast",
                              "handlingCapab", "handlingSelect", "duplex"}) {
        AddField(scanner, field, "I");
    }
    AddMethod(scanner, "addItem", "(Ljava/lang/String;I)V");
    AddMethod(scanner, "addItemProperty", "(IILjava/lang/String;ZII[I)V");

    record_ = &background_;
}

ClassInfo* FakeJvm::DefineClass(const char* name, const char* super, bool throwable) {
    auto* c = new ClassInfo();
    c->name = name;
    c->super = super != nullptr ? FindClassInfo(super) : nullptr;
    c->throwable = throwable;
    c->mirror = new Obj{Obj::Kind::Class, c, {}, {}, {}, {}};
    classes_.push_back(c);
    return c;
}

void FakeJvm::AddMethod(ClassInfo* c, const char* name, const char* sig, bool isStatic) {
    auto* m = new MethodInfo{c, name, sig, isStatic};
    c->methods.push_back(m);
    methods_.insert(m);
}

void FakeJvm::AddField(ClassInfo* c, const char* name, const char* sig, bool isStatic) {
    auto* f = new FieldInfo{c, name, sig, isStatic};
    c->fields.push_back(f);
    fields_.insert(f);
}

void FakeJvm::SetStaticString(const char* className, const char* field, const std::u16string& value) {
    const ClassInfo* c = FindClassInfo(className);
    const FieldInfo* f = c != nullptr ? LookupField(c, field, "Ljava/lang/String;", true) : nullptr;
    if (f == nullptr) {
        std::printf("FAIL the contract has no static String %s.%s\n", className, field);
        ExitProcess(2);
    }
    staticObjects[f] = NewString(value);
}

Obj* FakeJvm::NewInstance(const char* className) {
    const ClassInfo* c = FindClassInfo(className);
    if (c == nullptr) {
        std::printf("FAIL the contract has no class %s\n", className);
        ExitProcess(2);
    }
    return new Obj{Obj::Kind::Instance, c, {}, {}, {}, {}};
}

Obj* FakeJvm::NewString(std::u16string text) {
    return new Obj{Obj::Kind::String, FindClassInfo("java/lang/String"), std::move(text), {}, {}, {}};
}

const ClassInfo* FakeJvm::FindClassInfo(const std::string& name) const {
    for (const ClassInfo* c : classes_) {
        if (c->name == name) return c;
    }
    return nullptr;
}

bool FakeJvm::IsA(const ClassInfo* c, const ClassInfo* of) {
    if (c == nullptr) return false;
    if (c == of) return true;
    for (const ClassInfo* i : c->interfaces) {
        if (IsA(i, of)) return true;
    }
    return IsA(c->super, of);
}

const MethodInfo* FakeJvm::LookupMethod(const ClassInfo* c, const std::string& name, const std::string& sig,
                                        bool isStatic) const {
    for (const ClassInfo* k = c; k != nullptr; k = k->super) {
        for (const MethodInfo* m : k->methods) {
            if (m->name == name && m->sig == sig && m->isStatic == isStatic) return m;
        }
        if (name == "<init>") break;  // constructors are not inherited
    }
    return nullptr;
}

const FieldInfo* FakeJvm::LookupField(const ClassInfo* c, const std::string& name, const std::string& sig,
                                      bool isStatic) const {
    if (c == nullptr) return nullptr;
    // Java's order: the class itself, its interfaces, then its superclass.
    for (const FieldInfo* f : c->fields) {
        if (f->name == name && f->sig == sig && f->isStatic == isStatic) return f;
    }
    if (isStatic) {
        for (const ClassInfo* i : c->interfaces) {
            if (const FieldInfo* f = LookupField(i, name, sig, isStatic)) return f;
        }
    }
    return LookupField(c->super, name, sig, isStatic);
}

const MethodInfo* FakeJvm::KnownMethod(jmethodID id) const {
    auto* m = reinterpret_cast<const MethodInfo*>(id);
    return methods_.count(m) != 0 ? m : nullptr;
}

const FieldInfo* FakeJvm::KnownField(jfieldID id) const {
    auto* f = reinterpret_cast<const FieldInfo*>(id);
    return fields_.count(f) != 0 ? f : nullptr;
}

FakeJvm::ThreadEnv* FakeJvm::CurrentThread() {
    auto it = threads_.find(GetCurrentThreadId());
    return it != threads_.end() ? it->second : nullptr;
}

FakeJvm::ThreadEnv* FakeJvm::NewThread(bool javaThread) {
    auto* t = new ThreadEnv();
    t->env.functions = &functions_;
    t->thread = GetCurrentThreadId();
    t->javaThread = javaThread;
    t->capacity.push_back(16);
    t->baseDepth = 1;
    threads_[t->thread] = t;
    return t;
}

bool FakeJvm::Detach(ThreadEnv* t) {
    if (t->pending != nullptr) Fault("a thread was detached with an exception pending");
    KillFrames(t, 1);
    threads_.erase(t->thread);
    // The ThreadEnv stays allocated: a stale JNIEnv* is then reported as a
    // fault (not a crash) by Enter.
    t->thread = 0;
    return true;
}

FakeJvm::ThreadEnv* FakeJvm::Enter(JNIEnv* env, const char* function, bool allowedWhilePending) {
    ThreadEnv* t = CurrentThread();
    if (t == nullptr || env != &t->env) {
        Fault(std::string(function) + ": the JNIEnv does not belong to the calling thread");
        return nullptr;
    }
    if (t->pending != nullptr && !allowedWhilePending) {
        Fault(std::string(function) + " called with an exception pending (" + DescribeThrowable(t->pending) + ")");
    }
    return t;
}

void FakeJvm::Fault(const std::string& text) { record_->faults.push_back(text); }

void FakeJvm::Event(const std::string& text) { record_->events.push_back(text); }

jobject FakeJvm::NewLocal(ThreadEnv* t, Obj* target) {
    size_t live = LiveLocals(t, t->depth());
    if (live == t->capacity.back()) {
        Fault("more than " + std::to_string(live) + " local references in one frame without EnsureLocalCapacity");
    }
    auto* r = new Ref{target, false, true, t->depth(), t->thread};
    refs_.insert(r);
    return reinterpret_cast<jobject>(r);
}

jobject FakeJvm::NewGlobal(Obj* target) {
    auto* r = new Ref{target, true, true, 0, 0};
    refs_.insert(r);
    return reinterpret_cast<jobject>(r);
}

FakeJvm::Ref* FakeJvm::KnownRef(jobject ref) const {
    auto* r = reinterpret_cast<Ref*>(ref);
    return refs_.count(r) != 0 ? r : nullptr;
}

Obj* FakeJvm::Deref(ThreadEnv* t, jobject ref, const char* function) {
    if (ref == nullptr) return nullptr;
    Ref* r = KnownRef(ref);
    if (r == nullptr) {
        Fault(std::string(function) + ": not a reference");
        return nullptr;
    }
    if (!r->live) {
        Fault(std::string(function) + ": a reference used after it was deleted or its frame ended");
        return nullptr;
    }
    if (!r->global && r->thread != t->thread) {
        Fault(std::string(function) + ": a local reference of another thread");
        return nullptr;
    }
    return r->target;
}

size_t FakeJvm::LiveLocals(const ThreadEnv* t, int depth) const {
    size_t n = 0;
    for (const Ref* r : refs_) {
        if (r->live && !r->global && r->thread == t->thread && r->frame == depth) ++n;
    }
    return n;
}

void FakeJvm::KillFrames(ThreadEnv* t, int fromDepth) {
    for (const Ref* r : refs_) {
        if (r->live && !r->global && r->thread == t->thread && r->frame >= fromDepth) const_cast<Ref*>(r)->live = false;
    }
}

Record FakeJvm::CallNative(Obj* receiver, const std::function<void(JNIEnv*, jobject)>& body) {
    Record rec;
    ThreadEnv* t;
    jobject self = nullptr;
    {
        Locked l;
        t = CurrentThread();
        if (t == nullptr) t = NewThread(true);
        record_ = &rec;
        t->capacity.push_back(16);
        t->baseDepth = t->depth();
        if (receiver != nullptr) self = NewLocal(t, receiver);
    }
    // Wine (8, x86-64) leaves the exception frame of a proxy call that failed
    // in marshalling (IEnumWIA_DEV_INFO::Next with no fetched-count pointer)
    // registered in the thread's exception list; a later C++ throw on the
    // thread is then dispatched to that stale frame and the process dies.
    // x86-64 Windows does not use the list, so the host puts it back as it
    // was after each native call.
    NT_TIB* tib = ThreadInformationBlock();
    _EXCEPTION_REGISTRATION_RECORD* exceptionList = tib->ExceptionList;
    body(&t->env, self);
    bool staleFrame = tib->ExceptionList != exceptionList;
    tib->ExceptionList = exceptionList;
    Locked l;
    if (staleFrame) rec.notes.push_back("the runtime left a stale frame in the thread's exception list; restored");
    if (t->depth() != t->baseDepth) Fault("PushLocalFrame without PopLocalFrame");
    KillFrames(t, t->baseDepth);
    t->capacity.resize(static_cast<size_t>(t->baseDepth - 1));
    t->baseDepth = 1;
    for (const auto& item : lent) Fault(item.second.what + " not released");
    lent.clear();
    t->pending = nullptr;  // Java takes the exception; its throw is in the record
    record_ = &background_;
    if (!background_.faults.empty()) {
        rec.faults.insert(rec.faults.end(), background_.faults.begin(), background_.faults.end());
        background_.faults.clear();
    }
    return rec;
}

void FakeJvm::JavaCall(const MethodInfo* m, Obj*, const std::vector<Value>& args) {
    if (m->isStatic && m->owner->name == "ox/orvel/talvek/wia/WIAManager" && args.size() == 1) {
        // The log methods: "level: text".
        Event(m->name + ": " + (args[0].obj != nullptr ? ToUtf8(args[0].obj->text) : "null"));
        return;
    }
    std::string text = m->name + "(";
    for (size_t k = 0; k < args.size(); ++k) text += (k > 0 ? ", " : "") + Describe(args[k]);
    Event(text + ")");
}

std::string FakeJvm::Describe(const Value& v) const {
    switch (v.type) {
        case 'Z': return v.i != 0 ? "true" : "false";
        case 'F':
        case 'D': {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%g", v.d);
            return buf;
        }
        case 'L': break;
        default: return std::to_string(v.i);
    }
    if (v.obj == nullptr) return "null";
    switch (v.obj->kind) {
        case Obj::Kind::String: return "\"" + ToUtf8(v.obj->text) + "\"";
        case Obj::Kind::IntArray: {
            std::string s = "[";
            for (size_t k = 0; k < v.obj->ints.size(); ++k) s += (k > 0 ? ", " : "") + std::to_string(v.obj->ints[k]);
            return s + "]";
        }
        case Obj::Kind::Class: return "class " + v.obj->cls->name;
        case Obj::Kind::Instance: break;
    }
    return v.obj->cls->name + " object";
}

std::string FakeJvm::DescribeThrowable(const Obj* e) const {
    const std::string& name = e->cls->name;
    std::string text = name.substr(name.rfind('/') + 1) + "(";
    for (size_t k = 0; k < e->ctor.size(); ++k) {
        // A TalvekException's code reads best in hexadecimal, as results are written.
        bool code = k == 0 && e->ctor[k].type == 'I' && name == "ox/orvel/talvek/TalvekException";
        text += (k > 0 ? ", " : "") +
                (code ? Hex(static_cast<uint32_t>(e->ctor[k].i), 8) : Describe(e->ctor[k]));
    }
    return text + ")";
}

void FakeJvm::ThrowError(ThreadEnv* t, const char* className, const std::string& detail) {
    const ClassInfo* c = FindClassInfo(className);
    Value message{'L', 0, 0, NewString(std::u16string(detail.begin(), detail.end()))};
    t->pending = new Obj{Obj::Kind::Instance, c, {}, {}, {}, {message}};
}

std::string ToUtf8(const std::u16string& s) {
    std::string out;
    for (size_t k = 0; k < s.size(); ++k) {
        char32_t c = s[k];
        if (c >= 0xD800 && c < 0xDC00 && k + 1 < s.size() && s[k + 1] >= 0xDC00 && s[k + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[k + 1] - 0xDC00);
            ++k;
        } else if (c >= 0xD800 && c < 0xE000) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
            continue;
        }
        AppendUtf8(out, c);
    }
    return out;
}

}  // namespace host
