#include "sim_test_support.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace simtest {

void SimTest::SetUp() {
    wiasim::reset();
    before_ = wiasim::counts();
    if (joinMta_) {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    }
}

void SimTest::TearDown() {
    if (joinMta_) CoUninitialize();
    wiasim::waitEventsDelivered();
    const wiasim::Counts after = wiasim::counts();
    EXPECT_EQ(after.objects, before_.objects) << "live objects:\n" << [] {
        std::string all;
        for (const auto& l : wiasim::liveObjects()) all += "  " + l + "\n";
        return all;
    }();
    EXPECT_EQ(after.bstrs, before_.bstrs) << "BSTRs";
    EXPECT_EQ(after.taskMem, before_.taskMem) << "CoTaskMem blocks";
    EXPECT_EQ(after.local, before_.local) << "FormatMessageA buffers";
    EXPECT_EQ(after.badFrees - before_.badFrees, badFreesExpected_) << "bad frees";
    wiasim::reset();
}

std::u16string u16(const std::string& utf8) {
    std::u16string out;
    for (unsigned char c : utf8) out += static_cast<char16_t>(c);  // tests use ASCII
    return out;
}

std::string u8(const char16_t* s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += s[i] < 0x80 ? static_cast<char>(s[i]) : '?';
    return out;
}

Bstr::Bstr(const std::string& utf8) {
    const std::u16string w = u16(utf8);
    s_ = SysAllocStringLen(w.data(), static_cast<uint32_t>(w.size()));
}

PROPSPEC specOf(PROPID id) {
    PROPSPEC s;
    s.ulKind = PRSPEC_PROPID;
    s.propid = id;
    return s;
}

Ptr<IWiaDevMgr2> manager2() {
    Ptr<IWiaDevMgr2> m;
    EXPECT_EQ(CoCreateInstance(wia::CLSID_WiaDevMgr2, nullptr, CLSCTX_LOCAL_SERVER, wia::IID_IWiaDevMgr2, m.outVoid()),
              S_OK);
    return m;
}

Ptr<IWiaDevMgr> manager1() {
    Ptr<IWiaDevMgr> m;
    EXPECT_EQ(CoCreateInstance(wia::CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, wia::IID_IWiaDevMgr, m.outVoid()),
              S_OK);
    return m;
}

Ptr<IWiaItem2> openRoot2(const std::string& deviceId) {
    auto m = manager2();
    Ptr<IWiaItem2> root;
    Bstr id(deviceId);
    EXPECT_EQ(m->CreateDevice(0, id.get(), root.out()), S_OK) << deviceId;
    return root;
}

std::vector<Ptr<IWiaItem2>> children2(IWiaItem2* item, const GUID* category) {
    std::vector<Ptr<IWiaItem2>> out;
    Ptr<IEnumWiaItem2> e;
    EXPECT_EQ(item->EnumChildItems(category, e.out()), S_OK);
    if (!e) return out;
    for (;;) {
        Ptr<IWiaItem2> child;
        if (e->Next(1, child.out(), nullptr) != S_OK) break;
        out.push_back(std::move(child));
    }
    return out;
}

Ptr<IWiaPropertyStorage> storageOf(IUnknown* item) {
    Ptr<IWiaPropertyStorage> s;
    EXPECT_EQ(item->QueryInterface(wia::IID_IWiaPropertyStorage, s.outVoid()), S_OK);
    return s;
}

std::string readText(IWiaPropertyStorage* s, PROPID id) {
    PROPSPEC spec = specOf(id);
    PropVar v;
    const HRESULT hr = s->ReadMultiple(1, &spec, &v.v);
    if (hr != S_OK) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "hr:%08X", static_cast<uint32_t>(hr));
        return buf;
    }
    switch (v.v.vt) {
        case VT_EMPTY: return "EMPTY";
        case VT_I4: return "I4:" + std::to_string(v.v.lVal);
        case VT_UI4: return "UI4:" + std::to_string(v.v.ulVal);
        case VT_BSTR:
            return v.v.bstrVal ? "BSTR:" + u8(v.v.bstrVal, SysStringLen(v.v.bstrVal)) : std::string("BSTR:null");
        case VT_CLSID: {
            char buf[64];
            const GUID& g = *v.v.puuid;
            std::snprintf(buf, sizeof buf, "CLSID:%08X-%04X", g.Data1, g.Data2);
            return buf;
        }
        default: return "VT:" + std::to_string(v.v.vt);
    }
}

LONG readLong(IWiaPropertyStorage* s, PROPID id) {
    PROPSPEC spec = specOf(id);
    PropVar v;
    EXPECT_EQ(s->ReadMultiple(1, &spec, &v.v), S_OK) << id;
    EXPECT_EQ(v.v.vt, VT_I4) << id;
    return v.v.lVal;
}

std::vector<std::string> journalOf(const std::string& name) {
    std::vector<std::string> out;
    for (const auto& line : wiasim::journal()) {
        const size_t sp = line.find(' ');
        if (line.compare(sp + 1, name.size() + 1, name + "(") == 0) out.push_back(line);
    }
    return out;
}

std::string liveLine(const std::string& tag) {
    for (const auto& l : wiasim::liveObjects())
        if (l.compare(0, tag.size() + 1, tag + " ") == 0) return l;
    return std::string();
}

HRESULT RecordingCallback::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == wia::IID_IWiaEventCallback) {
        *ppv = static_cast<IWiaEventCallback*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT RecordingCallback::ImageEventCallback(const GUID* pEventGUID, BSTR bstrEventDescription, BSTR bstrDeviceID,
                                              BSTR bstrDeviceDescription, DWORD dwDeviceType, BSTR bstrFullItemName,
                                              ULONG*, ULONG) {
    if (delayMicros.load()) std::this_thread::sleep_for(std::chrono::microseconds(delayMicros.load()));
    Event e;
    e.guid = *pEventGUID;
    e.description = u8(bstrEventDescription, SysStringLen(bstrEventDescription));
    e.deviceId = u8(bstrDeviceID, SysStringLen(bstrDeviceID));
    e.deviceDescription = u8(bstrDeviceDescription, SysStringLen(bstrDeviceDescription));
    e.fullItemName = u8(bstrFullItemName, SysStringLen(bstrFullItemName));
    e.fullItemNameNull = bstrFullItemName == nullptr;
    e.deviceType = dwDeviceType;
    e.thread = GetCurrentThreadId();
    std::lock_guard<std::mutex> lock(mu_);
    events_.push_back(e);
    return S_OK;
}

std::vector<RecordingCallback::Event> RecordingCallback::events() {
    std::lock_guard<std::mutex> lock(mu_);
    return events_;
}

}  // namespace simtest
