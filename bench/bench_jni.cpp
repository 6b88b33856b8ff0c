// The natives of ScanBench: the simulated service scanning with no library in
// between, inside the benchmark's JVM, so that the library's figures are
// compared with the service's in the same process.
#include <jni.h>

#include <stdexcept>
#include <string>

#include "direct_scan.h"

namespace {

struct Direct {
    bool uninitialize = false;
    bench::DirectScanner* scanner = nullptr;
};

void raise(JNIEnv* env, const char* what) {
    jclass c = env->FindClass("java/lang/IllegalStateException");
    if (c) env->ThrowNew(c, what);
}

std::string utf(JNIEnv* env, jstring s) {
    const char* chars = env->GetStringUTFChars(s, nullptr);
    if (!chars) return std::string();
    std::string out(chars);  // ASCII paths; modified UTF-8 is kept as it is
    env->ReleaseStringUTFChars(s, chars);
    return out;
}

}  // namespace

extern "C" {

JNIEXPORT jstring JNICALL Java_ox_orvel_talvek_bench_ScanBench_profileWithBands(JNIEnv* env, jclass, jint bands) {
    try {
        return env->NewStringUTF(bench::profileWithBands(bands).c_str());
    } catch (const std::exception& e) {
        raise(env, e.what());
        return nullptr;
    }
}

JNIEXPORT jlong JNICALL Java_ox_orvel_talvek_bench_ScanBench_directOpen(JNIEnv* env, jclass) {
    auto* d = new Direct;
    d->uninitialize = CoInitializeEx(nullptr, COINIT_MULTITHREADED) >= 0;
    try {
        d->scanner = new bench::DirectScanner;
    } catch (const std::exception& e) {
        if (d->uninitialize) CoUninitialize();
        delete d;
        raise(env, e.what());
        return 0;
    }
    return reinterpret_cast<jlong>(d);
}

JNIEXPORT jlong JNICALL Java_ox_orvel_talvek_bench_ScanBench_directScan(JNIEnv* env, jclass, jlong handle,
                                                                        jstring path) {
    auto* d = reinterpret_cast<Direct*>(handle);
    if (!d || !path) {
        raise(env, "no scanner or no path");
        return -1;
    }
    const std::string p = utf(env, path);
    if (env->ExceptionCheck()) return -1;
    try {
        return d->scanner->scan(p);
    } catch (const std::exception& e) {
        raise(env, e.what());
        return -1;
    }
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_bench_ScanBench_directClose(JNIEnv*, jclass, jlong handle) {
    auto* d = reinterpret_cast<Direct*>(handle);
    if (!d) return;
    delete d->scanner;
    if (d->uninitialize) CoUninitialize();
    delete d;
}

}  // extern "C"
