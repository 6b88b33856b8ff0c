// Shared pieces of the unit tests of the simulated WIA service.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "wia_platform.h"
#include "wiasim/control.h"

namespace simtest {

// Every test starts from a reset service, holds the process MTA on the test
// thread (unless it asks not to), and ends with the accounting where it found it.
class SimTest : public ::testing::Test {
protected:
    explicit SimTest(bool joinMta = true) : joinMta_(joinMta) {}
    void SetUp() override;
    void TearDown() override;
    // For tests that free bad pointers on purpose.
    void expectBadFrees(int64_t n) { badFreesExpected_ = n; }
    void loadProfile(const std::string& json) { wiasim::loadProfileJson(json); }

private:
    bool joinMta_;
    wiasim::Counts before_{};
    int64_t badFreesExpected_ = 0;
};

std::u16string u16(const std::string& utf8);
std::string u8(const char16_t* s, size_t n);

class Bstr {
public:
    explicit Bstr(const std::string& utf8);
    explicit Bstr(BSTR owned = nullptr) : s_(owned) {}
    ~Bstr() { SysFreeString(s_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return s_; }
    BSTR* out() {
        SysFreeString(s_);
        s_ = nullptr;
        return &s_;
    }

private:
    BSTR s_;
};

// A minimal owning interface pointer.
template <class T>
class Ptr {
public:
    Ptr() = default;
    explicit Ptr(T* p) : p_(p) {}
    ~Ptr() { reset(); }
    Ptr(const Ptr&) = delete;
    Ptr& operator=(const Ptr&) = delete;
    Ptr(Ptr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    Ptr& operator=(Ptr&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = o.detach();
        }
        return *this;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** out() {
        reset();
        return &p_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }
    T* detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

private:
    T* p_ = nullptr;
};

struct PropVar {
    PROPVARIANT v;
    PropVar() { PropVariantInit(&v); }
    ~PropVar() { PropVariantClear(&v); }
    PropVar(const PropVar&) = delete;
    PropVar& operator=(const PropVar&) = delete;
};

PROPSPEC specOf(PROPID id);

// Manager and device helpers (the test thread must be in an apartment).
Ptr<IWiaDevMgr2> manager2();
Ptr<IWiaDevMgr> manager1();
Ptr<IWiaItem2> openRoot2(const std::string& deviceId);
std::vector<Ptr<IWiaItem2>> children2(IWiaItem2* item, const GUID* category = nullptr);
Ptr<IWiaPropertyStorage> storageOf(IUnknown* item);
// Reads one property as text: "I4:300", "BSTR:Flatbed", "CLSID:{...}", "EMPTY".
std::string readText(IWiaPropertyStorage* s, PROPID id);
LONG readLong(IWiaPropertyStorage* s, PROPID id);

// Journal lines whose call name is `name` ("IWiaDevMgr2.CreateDevice").
std::vector<std::string> journalOf(const std::string& name);
// liveObjects() line of the object with this tag ("WiaDevMgr2#1"), or "".
std::string liveLine(const std::string& tag);

// An event callback of the kind the library implements.
class RecordingCallback : public IWiaEventCallback {
public:
    struct Event {
        GUID guid;
        std::string description, deviceId, deviceDescription, fullItemName;
        bool fullItemNameNull;
        DWORD deviceType;
        uint32_t thread;
    };

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // owned by the test, never deleted
    HRESULT STDMETHODCALLTYPE ImageEventCallback(const GUID* pEventGUID, BSTR bstrEventDescription, BSTR bstrDeviceID,
                                                 BSTR bstrDeviceDescription, DWORD dwDeviceType, BSTR bstrFullItemName,
                                                 ULONG* pulEventType, ULONG ulReserved) override;

    std::vector<Event> events();
    ULONG refs() const { return refs_.load(); }
    // Work the callback does while it runs (to widen races).
    std::atomic<int> delayMicros{0};

private:
    std::atomic<ULONG> refs_{1};
    std::mutex mu_;
    std::vector<Event> events_;
};

constexpr const char* kScannerId = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";
constexpr const char* kCameraId = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0001";

}  // namespace simtest
