// Fault injection, the journal and the accounting of the control API.
#include <regex>

#include "sim_test_support.h"

namespace simtest {
namespace {

class Control : public SimTest {};

// Results of five EnumDeviceInfo calls on one manager under a fault.
std::vector<HRESULT> fiveCalls(IWiaDevMgr2* m, std::vector<bool>* filled = nullptr) {
    std::vector<HRESULT> out;
    for (int i = 0; i < 5; ++i) {
        Ptr<IEnumWIA_DEV_INFO> e;
        out.push_back(m->EnumDeviceInfo(wia::WIA_DEVINFO_ENUM_LOCAL, e.out()));
        if (filled) filled->push_back(bool(e));
    }
    return out;
}

TEST_F(Control, FaultsFireOnceAlwaysOrFromTheNthMatchingCall) {
    const HRESULT F = wia::WIA_ERROR_OFFLINE;
    struct Case {
        const char* what;
        int nth, times;
        bool afterCall;
        std::vector<HRESULT> results;
        std::vector<bool> filled;
    } cases[] = {
        {"once", 1, 1, false, {F, S_OK, S_OK, S_OK, S_OK}, {false, true, true, true, true}},
        {"always", 1, -1, false, {F, F, F, F, F}, {false, false, false, false, false}},
        {"the third", 3, 1, false, {S_OK, S_OK, F, S_OK, S_OK}, {true, true, false, true, true}},
        {"from the second, twice", 2, 2, false, {S_OK, F, F, S_OK, S_OK}, {true, false, false, true, true}},
        {"after the call", 2, 1, true, {S_OK, F, S_OK, S_OK, S_OK}, {true, true, true, true, true}},
    };
    for (const auto& c : cases) {
        auto m = manager2();
        wiasim::clearFaults();
        wiasim::injectFault("IWiaDevMgr2.EnumDeviceInfo", "", F, c.nth, c.times, c.afterCall);
        std::vector<bool> filled;
        EXPECT_EQ(fiveCalls(m.get(), &filled), c.results) << c.what;
        EXPECT_EQ(filled, c.filled) << c.what;
    }
}

TEST_F(Control, AFaultMatchesOnlyItsMethodAndArgumentText) {
    wiasim::injectFault("CoCreateInstance", "CLSID_WiaDevMgr,", REGDB_E_CLASSNOTREG, 1, -1, false);
    wiasim::injectFault("IWiaDevMgr2.RegisterEventCallbackInterface", "WIA_EVENT_DEVICE_DISCONNECTED", E_FAIL, 1, -1,
                        false);
    Ptr<IUnknown> p;
    EXPECT_EQ(CoCreateInstance(wia::CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, wia::IID_IWiaDevMgr, p.outVoid()),
              REGDB_E_CLASSNOTREG);
    auto m = manager2();  // CLSID_WiaDevMgr2 does not match "CLSID_WiaDevMgr,"
    ASSERT_TRUE(m);
    RecordingCallback cb;
    Ptr<IUnknown> a, b;
    EXPECT_EQ(m->RegisterEventCallbackInterface(0, nullptr, &wia::WIA_EVENT_DEVICE_CONNECTED, &cb, a.out()), S_OK);
    EXPECT_EQ(m->RegisterEventCallbackInterface(0, nullptr, &wia::WIA_EVENT_DEVICE_DISCONNECTED, &cb, b.out()), E_FAIL);
    EXPECT_FALSE(b);
    a.reset();
    EXPECT_EQ(cb.refs(), 1u);
}

TEST_F(Control, QueryInterfaceAndFunctionsCanBeFaultedToo) {
    auto root = openRoot2(kScannerId);
    wiasim::injectFault("IWiaItem2.QueryInterface", "IID_IWiaPropertyStorage", E_NOINTERFACE, 1, 1, false);
    Ptr<IWiaPropertyStorage> s;
    EXPECT_EQ(root->QueryInterface(wia::IID_IWiaPropertyStorage, s.outVoid()), E_NOINTERFACE);
    EXPECT_FALSE(s);
    EXPECT_EQ(root->QueryInterface(wia::IID_IWiaPropertyStorage, s.outVoid()), S_OK);

    wiasim::injectFault("FormatMessageA", "", E_FAIL, 1, 1, false);
    char* text = nullptr;
    EXPECT_EQ(FormatMessageA(0x1300, nullptr, 0x80004005, 0x400, reinterpret_cast<LPSTR>(&text), 0, nullptr), 0u);
    EXPECT_EQ(text, nullptr);

    // A ReadMultiple that answers S_FALSE after filling its outputs.
    wiasim::injectFault("IWiaPropertyStorage.ReadMultiple", "", S_FALSE, 1, 1, true);
    PROPSPEC spec = specOf(wia::WIA_DPS_DOCUMENT_HANDLING_CAPABILITIES);
    PropVar v;
    EXPECT_EQ(s->ReadMultiple(1, &spec, &v.v), S_FALSE);
    EXPECT_EQ(v.v.vt, VT_I4);
}

TEST_F(Control, JournalLinesNameTheThreadTheCallTheArgumentsTheResultAndTheObject) {
    wiasim::clearJournal();
    const std::string tid = std::to_string(GetCurrentThreadId());
    {
        auto m = manager2();
        Ptr<IEnumWIA_DEV_INFO> e;
        ASSERT_EQ(m->EnumDeviceInfo(wia::WIA_DEVINFO_ENUM_LOCAL, e.out()), S_OK);
        Ptr<IWiaPropertyStorage> s;
        ASSERT_EQ(e->Next(1, s.out(), nullptr), S_OK);
        PROPSPEC specs[] = {specOf(2), specOf(7), specOf(5)};
        PROPVARIANT v[3];
        ASSERT_EQ(s->ReadMultiple(3, specs, v), S_OK);
        FreePropVariantArray(3, v);
        Bstr bad("nope");
        Ptr<IWiaItem2> none;
        EXPECT_EQ(m->CreateDevice(0, bad.get(), none.out()), wia::WIA_S_NO_DEVICE_AVAILABLE);
        const GUID odd = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
        Ptr<IUnknown> q;
        EXPECT_EQ(m->QueryInterface(odd, q.outVoid()), E_NOINTERFACE);
        m->AddRef();
        m->Release();
    }
    CoUninitialize();
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    const std::vector<std::string> expected = {
        "CoCreateInstance(CLSID_WiaDevMgr2, CLSCTX_LOCAL_SERVER, IID_IWiaDevMgr2) = 0x00000000",
        "IWiaDevMgr2.EnumDeviceInfo(WIA_DEVINFO_ENUM_LOCAL) = 0x00000000 @WiaDevMgr2#1",
        "IEnumWIA_DEV_INFO.Next(1) = 0x00000000 @EnumWIA_DEV_INFO#1",
        "IWiaPropertyStorage.ReadMultiple(3, 2, 7, 5) = 0x00000000 @WiaDevInfo#1",
        "IWiaDevMgr2.CreateDevice(0, \"nope\") = 0x80210015 @WiaDevMgr2#1",
        "IWiaDevMgr2.QueryInterface({01020304-0506-0708-090A-0B0C0D0E0F10}) = 0x80004002 @WiaDevMgr2#1",
        "IWiaDevMgr2.AddRef() = 0x00000002 @WiaDevMgr2#1",
        "IWiaDevMgr2.Release() = 0x00000001 @WiaDevMgr2#1",
        "IWiaPropertyStorage.Release() = 0x00000000 @WiaDevInfo#1",
        "IEnumWIA_DEV_INFO.Release() = 0x00000000 @EnumWIA_DEV_INFO#1",
        "IWiaDevMgr2.Release() = 0x00000000 @WiaDevMgr2#1",
        "CoUninitialize() = 0x00000000",
        "CoInitializeEx(COINIT_MULTITHREADED) = 0x00000000",
    };
    std::vector<std::string> lines = wiasim::journal();
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], tid + " " + expected[i]);
    const std::regex shape(R"(^\d+ [A-Za-z_0-9.]+\(.*\) = 0x[0-9A-F]{8}( @[A-Za-z_0-9]+#\d+)?$)");
    for (const auto& l : lines) EXPECT_TRUE(std::regex_match(l, shape)) << l;
}

TEST_F(Control, LiveObjectsNameEachObjectWithItsReferences) {
    auto m = manager2();
    m->AddRef();
    auto root = openRoot2(kScannerId);
    const auto live = wiasim::liveObjects();
    EXPECT_NE(std::find(live.begin(), live.end(), "WiaDevMgr2#1 - refs=2"), live.end());
    EXPECT_EQ(liveLine("WiaItem2#1"), "WiaItem2#1 0000\\Root refs=1");
    EXPECT_EQ(wiasim::counts().objects, 2) << "the manager that opened the root is gone";
    m->Release();
}

TEST_F(Control, ResetRestoresTheDefaultProfileAndForgetsFaultsAndJournal) {
    loadProfile(R"({"devices": []})");
    wiasim::injectFault("CoCreateInstance", "", E_FAIL, 1, -1, false);
    wiasim::reset();
    EXPECT_TRUE(wiasim::journal().empty());
    auto root = openRoot2(kScannerId);
    EXPECT_TRUE(root) << "default profile and no fault";
    EXPECT_EQ(wiasim::defaultProfileJson().find("Talvek Virtual Camera") != std::string::npos, true);
}

}  // namespace
}  // namespace simtest
