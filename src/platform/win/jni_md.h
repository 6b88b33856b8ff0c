// The machine-dependent part of the JNI headers for Windows targets (x86 and
// x86-64), which jni.h includes by the name "jni_md.h". The JDK of the build
// machine ships only the one for its own system, so the Windows build finds
// this one on its include path instead.
//
// What it must say for Windows: an exported function is __declspec(dllexport),
// JNI functions use the standard calling convention (__stdcall, which matters
// on 32-bit x86 only), jint is a 32-bit long, jlong a 64-bit integer and jbyte
// a signed char.
#ifndef TALVEK_WIN_JNI_MD_H
#define TALVEK_WIN_JNI_MD_H

#ifndef _WIN32
#error "this jni_md.h is for Windows targets"
#endif

// On 32-bit x86 the export table of the library is written from a module
// definition file (TALVEK_EXPORTS_BY_DEF, src/platform/win/windows.cmake):
// it gives the entry points the decorated names that the JVM looks up
// (_JNI_OnLoad@8). The compiler's own dllexport would add a second,
// differently decorated name (JNI_OnLoad@8) for every entry point.
#if defined(TALVEK_EXPORTS_BY_DEF)
#define JNIEXPORT
#else
#define JNIEXPORT __declspec(dllexport)
#endif
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif  // TALVEK_WIN_JNI_MD_H
