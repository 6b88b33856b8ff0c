// The natives of ox.orvel.talvek.sim.SimControl: the control API for Java tests.
#include <stdexcept>

#include "wiasim/devices.h"
#include "text.h"
#include "wia_platform.h"
#include "wiasim/control.h"

namespace {

std::string fromJava(JNIEnv* env, jstring s) {
    if (!s) return std::string();
    const jsize n = env->GetStringLength(s);
    const jchar* chars = env->GetStringChars(s, nullptr);
    if (!chars) return std::string();
    std::string out = wiasim::utf16ToUtf8(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(n));
    env->ReleaseStringChars(s, chars);
    return out;
}

jstring toJava(JNIEnv* env, const std::string& utf8) {
    const std::u16string w = wiasim::utf8ToUtf16(utf8);
    return env->NewString(reinterpret_cast<const jchar*>(w.data()), static_cast<jsize>(w.size()));
}

jobjectArray toJava(JNIEnv* env, const std::vector<std::string>& lines) {
    jclass stringClass = env->FindClass("java/lang/String");
    if (!stringClass) return nullptr;
    jobjectArray out = env->NewObjectArray(static_cast<jsize>(lines.size()), stringClass, nullptr);
    env->DeleteLocalRef(stringClass);
    if (!out) return nullptr;
    for (size_t i = 0; i < lines.size(); ++i) {
        jstring s = toJava(env, lines[i]);
        if (!s) return nullptr;
        env->SetObjectArrayElement(out, static_cast<jsize>(i), s);
        env->DeleteLocalRef(s);
    }
    return out;
}

void raise(JNIEnv* env, const char* cls, const std::string& message) {
    if (env->ExceptionCheck()) return;
    jclass c = env->FindClass(cls);
    if (c) {
        env->ThrowNew(c, message.c_str());
        env->DeleteLocalRef(c);
    }
}

// Runs f, turning C++ exceptions into Java ones.
template <class F>
auto guarded(JNIEnv* env, F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const std::invalid_argument& e) {
        raise(env, "java/lang/IllegalArgumentException", e.what());
    } catch (const std::exception& e) {
        raise(env, "java/lang/RuntimeException", e.what());
    }
    return decltype(f())();
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_ox_orvel_talvek_sim_SimControl_reset(JNIEnv* env, jclass) {
    guarded(env, [] { wiasim::reset(); });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_sim_SimControl_loadProfile(JNIEnv* env, jclass, jstring json) {
    guarded(env, [&] { wiasim::loadProfileJson(fromJava(env, json)); });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_sim_SimControl_loadProfileFile(JNIEnv* env, jclass, jstring path) {
    guarded(env, [&] { wiasim::loadProfileFile(fromJava(env, path)); });
}

JNIEXPORT jstring JNICALL Java_ox_orvel_talvek_sim_SimControl_defaultProfile(JNIEnv* env, jclass) {
    return guarded(env, [&] { return toJava(env, wiasim::defaultProfileJson()); });
}

JNIEXPORT jlongArray JNICALL Java_ox_orvel_talvek_sim_SimControl_counts(JNIEnv* env, jclass) {
    const wiasim::Counts c = wiasim::counts();
    const jlong values[] = {c.objects, c.bstrs, c.taskMem, c.local, c.badFrees};
    jlongArray out = env->NewLongArray(5);
    if (out) env->SetLongArrayRegion(out, 0, 5, values);
    return out;
}

JNIEXPORT jobjectArray JNICALL Java_ox_orvel_talvek_sim_SimControl_liveObjects(JNIEnv* env, jclass) {
    return guarded(env, [&] { return toJava(env, wiasim::liveObjects()); });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_sim_SimControl_injectFault(JNIEnv* env, jclass, jstring method,
                                                                      jstring argFilter, jint hr, jint nth, jint times,
                                                                      jboolean afterCall) {
    guarded(env, [&] {
        wiasim::injectFault(fromJava(env, method), fromJava(env, argFilter), hr, nth, times, afterCall == JNI_TRUE);
    });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_sim_SimControl_clearFaults(JNIEnv*, jclass) { wiasim::clearFaults(); }

JNIEXPORT jobjectArray JNICALL Java_ox_orvel_talvek_sim_SimControl_journal(JNIEnv* env, jclass) {
    return guarded(env, [&] { return toJava(env, wiasim::journal()); });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_sim_SimControl_clearJournal(JNIEnv*, jclass) { wiasim::clearJournal(); }

JNIEXPORT jint JNICALL Java_ox_orvel_talvek_sim_SimControl_currentThreadId(JNIEnv*, jclass) {
    return static_cast<jint>(wiasim::currentThreadId());
}

JNIEXPORT jstring JNICALL Java_ox_orvel_talvek_sim_SimControl_currentApartment(JNIEnv* env, jclass) {
    return toJava(env, wiasim::currentApartment());
}

JNIEXPORT jint JNICALL Java_ox_orvel_talvek_sim_SimControl_fireDeviceEvent(JNIEnv* env, jclass, jboolean connected,
                                                                          jstring deviceId, jstring description,
                                                                          jint deviceType) {
    return guarded(env, [&] {
        return static_cast<jint>(wiasim::fireDeviceEvent(connected == JNI_TRUE, fromJava(env, deviceId),
                                                         fromJava(env, description), deviceType));
    });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_sim_SimControl_waitEventsDelivered(JNIEnv*, jclass) {
    wiasim::waitEventsDelivered();
}

JNIEXPORT jint JNICALL Java_ox_orvel_talvek_sim_SimControl_subscriptions(JNIEnv*, jclass) {
    return wiasim::subscriptions();
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_sim_SimControl_addSystemMessage(JNIEnv* env, jclass, jint code,
                                                                           jbyteArray text) {
    guarded(env, [&] {
        std::string bytes;
        if (text) {
            const jsize n = env->GetArrayLength(text);
            bytes.resize(static_cast<size_t>(n));
            if (n) env->GetByteArrayRegion(text, 0, n, reinterpret_cast<jbyte*>(&bytes[0]));
        }
        wiasim::addSystemMessage(static_cast<uint32_t>(code), bytes);
    });
}

JNIEXPORT jlong JNICALL Java_ox_orvel_talvek_sim_SimControl_openDevice(JNIEnv* env, jclass, jstring deviceId,
                                                                      jboolean wia2) {
    return guarded(env, [&] {
        return static_cast<jlong>(wiasim::openDevice(fromJava(env, deviceId), wia2 == JNI_TRUE));
    });
}

JNIEXPORT jint JNICALL Java_ox_orvel_talvek_sim_SimControl_setDevicePlugged(JNIEnv* env, jclass, jstring deviceId,
                                                                           jboolean plugged) {
    return guarded(env, [&] {
        return static_cast<jint>(wiasim::setDevicePlugged(fromJava(env, deviceId), plugged == JNI_TRUE));
    });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_sim_SimControl_holdTransfer(JNIEnv* env, jclass, jstring target,
                                                                       jint band) {
    guarded(env, [&] { wiasim::holdTransfer(fromJava(env, target), band, 0); });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_sim_SimControl_holdTransferInFile(JNIEnv* env, jclass, jstring target,
                                                                             jint file, jint band) {
    guarded(env, [&] { wiasim::holdTransfer(fromJava(env, target), band, file); });
}

JNIEXPORT jboolean JNICALL Java_ox_orvel_talvek_sim_SimControl_awaitTransferHeld(JNIEnv*, jclass, jlong timeoutMs) {
    const jlong capped = timeoutMs < 0 ? 0 : (timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : timeoutMs);
    return wiasim::awaitTransferHeld(static_cast<int>(capped)) ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_sim_SimControl_releaseTransfer(JNIEnv*, jclass) {
    wiasim::releaseTransfer();
}

JNIEXPORT jstring JNICALL Java_ox_orvel_talvek_sim_SimControl_transferFolder(JNIEnv* env, jclass) {
    return guarded(env, [&] { return toJava(env, wiasim::transferFolder()); });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_sim_SimControl_setTransferFolder(JNIEnv* env, jclass, jstring path) {
    guarded(env, [&] { wiasim::setTransferFolder(fromJava(env, path)); });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_sim_SimControl_loadFeeder(JNIEnv* env, jclass, jstring deviceId,
                                                                     jint sheets) {
    guarded(env, [&] { wiasim::loadFeeder(fromJava(env, deviceId), sheets); });
}

}  // extern "C"
