// The Windows smoke test of a library DLL: plays the JVM (fake_jvm.h), loads
// the DLL by name, calls JNI_OnLoad and then a script of native methods, and
// compares what Java saw with what the script expects of the COM runtime it
// runs on (see tests/windows/README.md for what Wine answers).
//
//   talvek-wine-host.exe <directory of the DLL> <DLL name>
//   talvek-wine-host.exe --probe      (answers "probe ok", so that a script
//                                      can tell whether programs of this
//                                      bitness run at all)
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "fake_jvm.h"

namespace {

using host::Jvm;
using host::Obj;
using host::Record;

constexpr int kBits = sizeof(void*) * 8;

// The name under which the JVM looks an entry point up: plain on x86-64, with
// the standard-call decoration on x86.
std::string ExportName(const char* name, int argumentBytes) {
    if (kBits == 64) return name;
    return "_" + std::string(name) + "@" + std::to_string(argumentBytes);
}

using OnLoadFn = jint(JNICALL*)(JavaVM*, void*);
using InitializeFn = jlong(JNICALL*)(JNIEnv*, jobject, jint, jboolean);
using NoArgsFn = void(JNICALL*)(JNIEnv*, jobject);
using HandleFn = void(JNICALL*)(JNIEnv*, jobject, jlong);
using OpenFn = jlong(JNICALL*)(JNIEnv*, jobject, jstring);

struct Entry {
    OnLoadFn onLoad;
    InitializeFn initialize;
    NoArgsFn poll;
    NoArgsFn release;
    HandleFn deviceRelease;
    // Entry points whose steps run when the DLL has them.
    OpenFn scannerOpen;
    OpenFn cameraOpen;
};

template <typename Fn>
bool Resolve(HMODULE dll, const char* name, int bytes, Fn& out, bool required = true) {
    std::string exported = ExportName(name, bytes);
    out = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, exported.c_str())));
    if (out == nullptr && required) std::printf("FAIL the DLL does not export %s\n", exported.c_str());
    return out != nullptr || !required;
}

// One call of the script: what it does, what it must answer, and what Java
// must see, in order. In an expected event, {file:X.cpp} stands for the path
// of the library source X.cpp as the build recorded it, and {line} for a
// line number; within one step every {line} must be the same number.
struct Step {
    std::string title;
    std::function<std::string(JNIEnv*, jobject)> call;  // returns the answer as text
    Obj* receiver;
    std::string answer;
    std::vector<std::string> events;
};

std::string HandleText(jlong handle) {
    if (handle == 0) return "0";
    // A handle is a 32-bit cookie, zero-extended.
    return (static_cast<uint64_t>(handle) >> 32) == 0 ? "a handle" : "a handle with upper bits set";
}

std::string RegexEscape(const std::string& s) {
    static const std::string special = R"(\^$.|?*+()[]{})";
    std::string out;
    for (char c : s) {
        if (special.find(c) != std::string::npos) out += '\\';
        out += c;
    }
    return out;
}

// Matches one event against its pattern; the captured lines go to `lines`.
bool Matches(const std::string& pattern, const std::string& actual, std::vector<std::string>& lines) {
    static const std::regex placeholder(R"(\{file:([A-Za-z0-9_.]+)\}|\{line\})");
    std::string re;
    std::vector<bool> isLine;
    auto begin = std::sregex_iterator(pattern.begin(), pattern.end(), placeholder);
    size_t last = 0;
    for (auto it = begin; it != std::sregex_iterator(); ++it) {
        re += RegexEscape(pattern.substr(last, static_cast<size_t>(it->position()) - last));
        if ((*it)[1].matched) {
            re += R"((?:[^"]*[/\\])?src[/\\]jni[/\\]wia[/\\])" + RegexEscape((*it)[1].str());
        } else {
            re += "([1-9][0-9]*)";
        }
        last = static_cast<size_t>(it->position() + it->length());
    }
    re += RegexEscape(pattern.substr(last));
    std::smatch m;
    if (!std::regex_match(actual, m, std::regex(re))) return false;
    for (size_t k = 1; k < m.size(); ++k) lines.push_back(m[k].str());
    return true;
}

bool Compare(const Step& step, const std::string& answer, const Record& rec) {
    bool ok = answer == step.answer && rec.faults.empty() && rec.events.size() == step.events.size();
    std::vector<std::string> lines;
    for (size_t k = 0; ok && k < rec.events.size(); ++k) ok = Matches(step.events[k], rec.events[k], lines);
    for (size_t k = 1; ok && k < lines.size(); ++k) ok = lines[k] == lines[0];
    return ok;
}

void Report(const char* dll, const Step& step, const std::string& answer, const Record& rec, bool ok) {
    std::printf("%s %s: %s\n", ok ? "ok  " : "FAIL", dll, step.title.c_str());
    for (const std::string& n : rec.notes) std::printf("     note: %s\n", n.c_str());
    if (ok) return;
    std::printf("     answer:   %s (expected %s)\n", answer.c_str(), step.answer.c_str());
    for (const std::string& e : step.events) std::printf("     expected: %s\n", e.c_str());
    for (const std::string& e : rec.events) std::printf("     seen:     %s\n", e.c_str());
    for (const std::string& f : rec.faults) std::printf("     JNI fault: %s\n", f.c_str());
}

// What Wine answers (tests/windows/README.md). Wine's system messages know
// E_INVALIDARG only; for the others the library falls back to "ERROR 0x...".
constexpr const char* kNotImplemented = "80004001";  // E_NOTIMPL, as the library logs it with %x
constexpr const char* kInvalidArg = "TalvekException(0x80070057, \"Invalid parameter.\"";
constexpr const char* kClassNotRegistered = "TalvekException(0x80040154, \"ERROR 0x80040154\"";
constexpr const char* kInvalidObjref = "TalvekException(0x8001011D, \"ERROR 0x8001011d\"";
constexpr const char* kNotImplementedException = "TalvekException(0x80004001, \"Not implemented.\"";

std::string Thrown(const char* exception, const char* file) {
    return std::string("throw ") + exception + ", \"{file:" + file + "}\", {line})";
}

// The warning the library logs before the throw: <- TalvekException("message", "file", line).
std::string Warned(const char* exception, const char* file) {
    std::string e = exception;
    std::string message = e.substr(e.find('"'));
    return "warning: <- TalvekException(" + message + ", \"{file:" + file + "}\", {line})";
}

std::vector<Step> Script(const Entry& e, bool wia2, Obj* manager, Obj* scanner, Obj* camera) {
    const std::string flavour = wia2 ? "(WIA2) " : "(WIA1) ";
    const std::string init = "trace: -> " + flavour + "ox.orvel.talvek.wia.WIAManager._initialize() ";
    const std::string initExit = "trace: <- ox.orvel.talvek.wia.WIAManager._initialize() ";
    const std::string poll = "trace: -> ox.orvel.talvek.wia.WIAManager._poll()";
    const std::string release = "trace: -> ox.orvel.talvek.wia.WIAManager._release()";
    // Only the low 32 bits of a handle count: this one is cookie 2989.
    const jlong bogusDevice = static_cast<jlong>(0x1234567800000BADull);
    const std::string deviceRelease = "trace: -> ox.orvel.talvek.wia.WIADevice._release(2989)";

    auto initialize = [&e](jint mode, bool verbose) {
        return [&e, mode, verbose](JNIEnv* env, jobject self) {
            return HandleText(e.initialize(env, self, mode, verbose ? JNI_TRUE : JNI_FALSE));
        };
    };
    auto poll_ = [&e](JNIEnv* env, jobject self) {
        e.poll(env, self);
        return std::string("void");
    };
    auto release_ = [&e](JNIEnv* env, jobject self) {
        e.release(env, self);
        return std::string("void");
    };
    // A device ID of the usual form; Wine knows no device.
    const char* deviceId = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";
    auto open = [deviceId](OpenFn fn) {
        return [fn, deviceId](JNIEnv* env, jobject self) { return HandleText(fn(env, self, env->NewStringUTF(deviceId))); };
    };
    const std::string scannerOpen = "trace: -> " + flavour + "ox.orvel.talvek.wia.WIAScanner._initialize(\"" + deviceId + "\")";
    const std::string cameraOpen = "trace: -> " + flavour + "ox.orvel.talvek.wia.WIACamera._initialize(\"" + deviceId + "\")";
    auto releaseDevice = [&e, bogusDevice](JNIEnv* env, jobject self) {
        e.deviceRelease(env, self, bogusDevice);
        return std::string("void");
    };

    if (wia2) {
        // No WIA 2.0 device manager: _initialize fails with class-not-registered
        // after it has created the interface table; _release then finds no
        // manager under handle 0.
        std::vector<Step> steps = {
            {"WIAManager._initialize(0, true)", initialize(0, true), manager, "0",
             {init + "0", Warned(kClassNotRegistered, "WIAManager.cpp"),
              Thrown(kClassNotRegistered, "WIAManager.cpp")}},
            {"WIAManager._poll()", poll_, manager, "void", {poll}},
            {"WIADevice._release(0x1234567800000BAD)", releaseDevice, scanner, "void",
             {deviceRelease, Warned(kInvalidArg, "WIADevice.cpp"),
              Thrown(kInvalidArg, "WIADevice.cpp")}},
            {"WIAManager._release()", release_, manager, "void",
             {release, Warned(kInvalidArg, "WIAManager.cpp"),
              Thrown(kInvalidArg, "WIAManager.cpp")}},
        };
        // Opening a device needs the manager, which is not there (handle 0).
        if (e.scannerOpen != nullptr) {
            steps.insert(steps.begin() + 2, {"WIAScanner._initialize(id)", open(e.scannerOpen), scanner, "0",
                                             {scannerOpen, Warned(kInvalidArg, "WIAScanner.cpp"),
                                              Thrown(kInvalidArg, "WIAScanner.cpp")}});
        }
        if (e.cameraOpen != nullptr) {
            steps.insert(steps.begin() + 2, {"WIACamera._initialize(id)", open(e.cameraOpen), camera, "0",
                                             {cameraOpen, Warned(kInvalidArg, "WIACamera.cpp"),
                                              Thrown(kInvalidArg, "WIACamera.cpp")}});
        }
        return steps;
    }
    // A WIA 1.0 device manager with no devices, whose event subscriptions are
    // not implemented, and whose registration in the interface table cannot
    // be revoked: _release fails there, before CoUninitialize.
    std::vector<Step> steps = {
        {"WIAManager._initialize(0, true)", initialize(0, true), manager, "a handle",
         {init + "0", std::string("warning: registering connected event failed ") + kNotImplemented,
          std::string("warning: registering disconnected event failed ") + kNotImplemented,
          initExit + "unregistered"}},
        {"WIAManager._poll() verbose", poll_, manager, "void", {poll}},
        {"WIADevice._release(0x1234567800000BAD)", releaseDevice, scanner, "void",
         {deviceRelease, Warned(kInvalidArg, "WIADevice.cpp"), Thrown(kInvalidArg, "WIADevice.cpp")}},
        {"WIAManager._release()", release_, manager, "void",
         {release, Warned(kInvalidObjref, "WIAManager.cpp"), Thrown(kInvalidObjref, "WIAManager.cpp")}},
        // Again, in a single-threaded apartment (the thread stays in the
        // multithreaded one: _release did not end COM), without events and quiet.
        {"WIAManager._initialize(1, false) again", initialize(1, false), manager, "a handle",
         {init + "1", initExit + "unregistered"}},
        {"WIAManager._poll() quiet", poll_, manager, "void", {}},
        {"WIAManager._release() again", release_, manager, "void",
         {release, Warned(kInvalidObjref, "WIAManager.cpp"), Thrown(kInvalidObjref, "WIAManager.cpp")}},
    };
    // Opening a device: Wine's manager creates none (CreateDevice is not implemented).
    if (e.scannerOpen != nullptr) {
        steps.insert(steps.begin() + 2, {"WIAScanner._initialize(id)", open(e.scannerOpen), scanner, "0",
                                         {scannerOpen, Warned(kNotImplementedException, "WIAScanner.cpp"),
                                          Thrown(kNotImplementedException, "WIAScanner.cpp")}});
    }
    if (e.cameraOpen != nullptr) {
        steps.insert(steps.begin() + 2, {"WIACamera._initialize(id)", open(e.cameraOpen), camera, "0",
                                         {cameraOpen, Warned(kNotImplementedException, "WIACamera.cpp"),
                                          Thrown(kNotImplementedException, "WIACamera.cpp")}});
    }
    return steps;
}

int Run(const char* directory, const char* name) {
    std::string n = name;
    bool wia2 = n.find("W2_") != std::string::npos;
    if (!wia2 && n.find("W1_") == std::string::npos) {
        std::printf("FAIL %s: the name tells no flavour (W1 or W2)\n", name);
        return 2;
    }
    if (n.find("talvek" + std::to_string(kBits)) != 0) {
        std::printf("FAIL %s: this host is %d-bit\n", name, kBits);
        return 2;
    }

    // Loaded by name from the DLL's directory, as the JVM loads a library
    // from java.library.path.
    SetDllDirectoryA(directory);
    HMODULE dll = LoadLibraryA(name);
    if (dll == nullptr) {
        std::printf("FAIL %s: LoadLibrary failed with error %lu\n", name, GetLastError());
        return 1;
    }
    Entry e{};
    bool resolved = Resolve(dll, "JNI_OnLoad", 8, e.onLoad);
    resolved = Resolve(dll, "Java_ox_orvel_talvek_wia_WIAManager__1initialize", 16, e.initialize) && resolved;
    resolved = Resolve(dll, "Java_ox_orvel_talvek_wia_WIAManager__1poll", 8, e.poll) && resolved;
    resolved = Resolve(dll, "Java_ox_orvel_talvek_wia_WIAManager__1release", 8, e.release) && resolved;
    resolved = Resolve(dll, "Java_ox_orvel_talvek_wia_WIADevice__1release", 16, e.deviceRelease) && resolved;
    Resolve(dll, "Java_ox_orvel_talvek_wia_WIAScanner__1initialize", 12, e.scannerOpen, false);
    Resolve(dll, "Java_ox_orvel_talvek_wia_WIACamera__1initialize", 12, e.cameraOpen, false);
    if (!resolved) return 1;
    if (e.scannerOpen == nullptr) std::printf("     (no WIAScanner._initialize in the DLL: its step does not run)\n");
    if (e.cameraOpen == nullptr) std::printf("     (no WIACamera._initialize in the DLL: its step does not run)\n");

    Jvm().SetStaticString("ox/orvel/talvek/Configuration", "IMAGE_DIR", u"C:\\talvek\\images");
    Jvm().SetStaticString("ox/orvel/talvek/Configuration", "FILE_NAME", u"scan");
    Obj* manager = Jvm().NewInstance("ox/orvel/talvek/wia/WIAManager");
    Obj* scanner = Jvm().NewInstance("ox/orvel/talvek/wia/WIAScanner");
    Obj* camera = Jvm().NewInstance("ox/orvel/talvek/wia/WIACamera");

    int failed = 0, passed = 0;
    std::vector<Step> steps;
    steps.push_back({"JNI_OnLoad", [&e](JNIEnv*, jobject) {
                         char text[16];
                         std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(e.onLoad(Jvm().vm(), nullptr)));
                         return std::string(text);
                     },
                     nullptr, "0x10004", {}});
    for (Step& s : Script(e, wia2, manager, scanner, camera)) steps.push_back(std::move(s));

    for (const Step& step : steps) {
        std::string answer;
        Record rec = Jvm().CallNative(step.receiver, [&](JNIEnv* env, jobject self) { answer = step.call(env, self); });
        bool ok = Compare(step, answer, rec);
        Report(name, step, answer, rec, ok);
        (ok ? passed : failed) += 1;
        // A failed JNI_OnLoad leaves nothing to call.
        if (!ok && &step == &steps.front()) return 1;
    }
    std::printf("%s: %d steps passed, %d failed\n", name, passed, failed);
    return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--probe") == 0) {
        std::printf("probe ok %d\n", kBits);
        return 0;
    }
    if (argc != 3) {
        std::printf("usage: %s <directory of the DLL> <DLL name>\n", argv[0]);
        return 2;
    }
    int status = Run(argv[1], argv[2]);
    std::fflush(stdout);
    // Ends without unloading the library, as a JVM does.
    ExitProcess(static_cast<UINT>(status));
}
