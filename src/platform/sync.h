// A plain mutual-exclusion lock for the library. The mingw toolchains with the
// win32 thread model have no std::mutex, so Windows uses a critical section.
#pragma once

#ifdef _WIN32
namespace talvek {
class Mutex {
public:
    Mutex() { InitializeCriticalSection(&cs_); }
    ~Mutex() { DeleteCriticalSection(&cs_); }
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock() { EnterCriticalSection(&cs_); }
    void unlock() { LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};
}  // namespace talvek
#else
#include <mutex>
namespace talvek {
using Mutex = std::mutex;
}  // namespace talvek
#endif

namespace talvek {
class LockGuard {
public:
    explicit LockGuard(Mutex& m) : m_(m) { m_.lock(); }
    ~LockGuard() { m_.unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Mutex& m_;
};
}  // namespace talvek
