// Apartments, CoCreateInstance, the Global Interface Table and file streams.
#include <fstream>
#include <iterator>
#include <thread>

#include <unistd.h>

#include "sim_test_support.h"

namespace simtest {
namespace {

// These tests manage apartments themselves.
class Apartments : public SimTest {
protected:
    Apartments() : SimTest(false) {}
};

enum Op { Sta, Mta, Ole, Uninit };

struct Step {
    Op op;
    HRESULT expected;  // ignored for Uninit
    const char* apartmentAfter;
};

HRESULT apply(Op op) {
    switch (op) {
        case Sta: return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        case Mta: return CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        case Ole: return CoInitialize(nullptr);
        case Uninit: CoUninitialize(); return S_OK;
    }
    return E_FAIL;
}

TEST_F(Apartments, InitialisationAnswersAsComDoes) {
    const std::vector<std::vector<Step>> scripts = {
        {{Ole, S_OK, "sta"}, {Sta, S_FALSE, "sta"}, {Mta, RPC_E_CHANGED_MODE, "sta"}, {Uninit, S_OK, "sta"},
         {Uninit, S_OK, "none"}},
        {{Mta, S_OK, "mta"}, {Mta, S_FALSE, "mta"}, {Ole, RPC_E_CHANGED_MODE, "mta"}, {Uninit, S_OK, "mta"},
         {Uninit, S_OK, "none"}},
        {{Sta, S_OK, "sta"}, {Uninit, S_OK, "none"}, {Mta, S_OK, "mta"}, {Uninit, S_OK, "none"}},
        {{Uninit, S_OK, "none"}, {Ole, S_OK, "sta"}, {Uninit, S_OK, "none"}},
    };
    for (size_t i = 0; i < scripts.size(); ++i) {
        std::thread([&] {
            for (size_t k = 0; k < scripts[i].size(); ++k) {
                const Step& s = scripts[i][k];
                const HRESULT hr = apply(s.op);
                if (s.op != Uninit) {
                    EXPECT_EQ(hr, s.expected) << "script " << i << " step " << k;
                }
                EXPECT_EQ(wiasim::currentApartment(), s.apartmentAfter) << "script " << i << " step " << k;
            }
        }).join();
    }
}

TEST_F(Apartments, UninitialisedThreadsBelongToTheProcessMtaWhileOneExists) {
    auto tryCreate = [] {
        HRESULT hr = E_FAIL;
        std::string apartment;
        std::thread([&] {
            apartment = wiasim::currentApartment();
            Ptr<IWiaDevMgr2> m;
            hr = CoCreateInstance(wia::CLSID_WiaDevMgr2, nullptr, CLSCTX_LOCAL_SERVER, wia::IID_IWiaDevMgr2,
                                  m.outVoid());
            if (hr != S_OK) {
                EXPECT_FALSE(m) << "no object on failure";
            }
        }).join();
        return std::make_pair(hr, apartment);
    };
    EXPECT_EQ(tryCreate(), std::make_pair(CO_E_NOTINITIALIZED, std::string("none")));

    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(tryCreate(), std::make_pair(S_OK, std::string("mta")));
    // An STA on the creating thread does not make other threads members of anything.
    CoUninitialize();
    std::thread([] { ASSERT_EQ(CoInitialize(nullptr), S_OK); }).join();  // left initialised on a dead thread
    EXPECT_EQ(tryCreate().first, CO_E_NOTINITIALIZED);
}

TEST_F(Apartments, ServiceObjectsRefuseCallsFromThreadsWithoutCom) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    Ptr<IWiaDevMgr2> m = manager2();
    CoUninitialize();  // the process MTA ends with the only member
    Ptr<IEnumWIA_DEV_INFO> e;
    EXPECT_EQ(m->EnumDeviceInfo(0, e.out()), CO_E_NOTINITIALIZED);
    EXPECT_FALSE(e);
    m.reset();  // Release needs no apartment
}

class Creation : public SimTest {};

TEST_F(Creation, CoCreateInstanceKnowsTheTableAndBothManagers) {
    const IID kUnknownClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    RecordingCallback outer;
    IUnknown* outerPtr = &outer;
    struct Case {
        const char* what;
        CLSID clsid;
        IUnknown* outer;
        DWORD context;
        IID iid;
        HRESULT expected;
    } cases[] = {
        {"manager 2", wia::CLSID_WiaDevMgr2, nullptr, CLSCTX_LOCAL_SERVER, wia::IID_IWiaDevMgr2, S_OK},
        {"manager 2, all contexts", wia::CLSID_WiaDevMgr2, nullptr, CLSCTX_ALL, wia::IID_IWiaDevMgr2, S_OK},
        {"manager 1", wia::CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, wia::IID_IWiaDevMgr, S_OK},
        {"manager as IUnknown", wia::CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, S_OK},
        {"table", CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable, S_OK},
        {"table, all contexts", CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_ALL, IID_IGlobalInterfaceTable, S_OK},
        {"manager in process", wia::CLSID_WiaDevMgr2, nullptr, CLSCTX_INPROC_SERVER, wia::IID_IWiaDevMgr2,
         REGDB_E_CLASSNOTREG},
        {"table out of process", CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_LOCAL_SERVER,
         IID_IGlobalInterfaceTable, REGDB_E_CLASSNOTREG},
        {"wrong interface", wia::CLSID_WiaDevMgr2, nullptr, CLSCTX_LOCAL_SERVER, wia::IID_IWiaDevMgr, E_NOINTERFACE},
        {"aggregation", wia::CLSID_WiaDevMgr2, outerPtr, CLSCTX_LOCAL_SERVER, wia::IID_IWiaDevMgr2,
         CLASS_E_NOAGGREGATION},
        {"unknown class", kUnknownClass, nullptr, CLSCTX_ALL, IID_IUnknown, REGDB_E_CLASSNOTREG},
    };
    for (const auto& c : cases) {
        Ptr<IUnknown> p;
        EXPECT_EQ(CoCreateInstance(c.clsid, c.outer, c.context, c.iid, p.outVoid()), c.expected) << c.what;
        EXPECT_EQ(bool(p), c.expected == S_OK) << c.what;
    }
    EXPECT_EQ(CoCreateInstance(wia::CLSID_WiaDevMgr2, nullptr, CLSCTX_ALL, wia::IID_IWiaDevMgr2, nullptr),
              E_INVALIDARG);
}

TEST_F(Creation, EachManagerIsANewObjectAndTheTableIsOne) {
    Ptr<IWiaDevMgr2> a = manager2(), b = manager2();
    EXPECT_NE(a.get(), b.get());
    Ptr<IGlobalInterfaceTable> t1, t2;
    ASSERT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                               t1.outVoid()),
              S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                               t2.outVoid()),
              S_OK);
    EXPECT_EQ(t1.get(), t2.get());
    EXPECT_EQ(wiasim::counts().objects, 2) << "the table is not counted";
}

TEST_F(Creation, AProfileCanLeaveAManagerUnregistered) {
    loadProfile(R"({"service": {"wia2": false}, "devices": []})");
    Ptr<IUnknown> p;
    EXPECT_EQ(CoCreateInstance(wia::CLSID_WiaDevMgr2, nullptr, CLSCTX_LOCAL_SERVER, wia::IID_IWiaDevMgr2, p.outVoid()),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(wia::CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, wia::IID_IWiaDevMgr, p.outVoid()),
              S_OK);
}

class InterfaceTable : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        ASSERT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGlobalInterfaceTable, git.outVoid()),
                  S_OK);
    }
    void TearDown() override {
        git.reset();
        SimTest::TearDown();
    }
    Ptr<IGlobalInterfaceTable> git;
};

TEST_F(InterfaceTable, RegisteringAndGettingAddReferencesAndRevokingReleases) {
    Ptr<IWiaDevMgr2> m = manager2();
    DWORD c1 = 0, c2 = 0;
    ASSERT_EQ(git->RegisterInterfaceInGlobal(m.get(), wia::IID_IWiaDevMgr2, &c1), S_OK);
    ASSERT_EQ(git->RegisterInterfaceInGlobal(m.get(), IID_IUnknown, &c2), S_OK);
    EXPECT_NE(c1, 0u);
    EXPECT_EQ(c2, c1 + 0x100);
    EXPECT_EQ(liveLine("WiaDevMgr2#1"), "WiaDevMgr2#1 - refs=3");

    Ptr<IWiaDevMgr2> got;
    ASSERT_EQ(git->GetInterfaceFromGlobal(c1, wia::IID_IWiaDevMgr2, got.outVoid()), S_OK);
    EXPECT_EQ(got.get(), m.get());
    EXPECT_EQ(liveLine("WiaDevMgr2#1"), "WiaDevMgr2#1 - refs=4");
    got.reset();

    ASSERT_EQ(git->RevokeInterfaceFromGlobal(c1), S_OK);
    ASSERT_EQ(git->RevokeInterfaceFromGlobal(c2), S_OK);
    EXPECT_EQ(liveLine("WiaDevMgr2#1"), "WiaDevMgr2#1 - refs=1");
    m.reset();
    EXPECT_EQ(wiasim::counts().objects, 0);
}

TEST_F(InterfaceTable, UnknownAndRevokedCookiesAndNullOutputsAreRefused) {
    Ptr<IWiaDevMgr2> m = manager2();
    DWORD cookie = 0;
    ASSERT_EQ(git->RegisterInterfaceInGlobal(m.get(), wia::IID_IWiaDevMgr2, &cookie), S_OK);
    ASSERT_EQ(git->RevokeInterfaceFromGlobal(cookie), S_OK);
    Ptr<IUnknown> p;
    for (DWORD bad : {cookie, DWORD(0), DWORD(0xDEAD)}) {
        EXPECT_EQ(git->GetInterfaceFromGlobal(bad, IID_IUnknown, p.outVoid()), E_INVALIDARG) << bad;
        EXPECT_FALSE(p);
        EXPECT_EQ(git->RevokeInterfaceFromGlobal(bad), E_INVALIDARG) << bad;
    }
    EXPECT_EQ(git->RegisterInterfaceInGlobal(m.get(), wia::IID_IWiaDevMgr2, nullptr), E_INVALIDARG);
    EXPECT_EQ(git->RegisterInterfaceInGlobal(nullptr, wia::IID_IWiaDevMgr2, &cookie), E_INVALIDARG);
    EXPECT_EQ(git->RegisterInterfaceInGlobal(m.get(), wia::IID_IWiaItem2, &cookie), E_NOINTERFACE);
    ASSERT_EQ(git->RegisterInterfaceInGlobal(m.get(), wia::IID_IWiaDevMgr2, &cookie), S_OK);
    EXPECT_EQ(git->GetInterfaceFromGlobal(cookie, wia::IID_IWiaDevMgr2, nullptr), E_INVALIDARG);
    EXPECT_EQ(git->GetInterfaceFromGlobal(cookie, wia::IID_IWiaItem2, p.outVoid()), E_NOINTERFACE);
    EXPECT_EQ(liveLine("WiaDevMgr2#1"), "WiaDevMgr2#1 - refs=2") << "failed gets hold nothing";
    EXPECT_EQ(git->RevokeInterfaceFromGlobal(cookie), S_OK);
}

class Streams : public SimTest {
protected:
    std::string path = "/tmp/wiasim-stream-" + std::to_string(::getpid()) + ".bin";
    void TearDown() override {
        std::remove(path.c_str());
        SimTest::TearDown();
    }
};

TEST_F(Streams, AFileStreamTruncatesWritesSeeksAndReads) {
    std::ofstream(path) << "old content that is longer";
    Ptr<IStream> s;
    ASSERT_EQ(SHCreateStreamOnFileA(path.c_str(), STGM_CREATE | STGM_READWRITE, s.out()), S_OK);
    ULONG n = 0;
    ASSERT_EQ(s->Write("hello", 5, &n), S_OK);
    EXPECT_EQ(n, 5u);
    LARGE_INTEGER zero{};
    ULARGE_INTEGER pos{};
    ASSERT_EQ(s->Seek(zero, STREAM_SEEK_SET, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 0u);
    char buf[16] = {};
    EXPECT_EQ(s->Read(buf, sizeof buf, &n), S_FALSE) << "short read";
    EXPECT_EQ(std::string(buf, n), "hello");
    EXPECT_EQ(s->Commit(0), S_OK);
    s.reset();
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "hello");
    EXPECT_EQ(SHCreateStreamOnFileA("/nonexistent-dir/x.bin", STGM_CREATE | STGM_READWRITE, s.out()),
              static_cast<HRESULT>(0x80070002));
    EXPECT_FALSE(s);
}

TEST_F(Streams, ReleasingAFileMediumDeletesTheFileOrReleasesItsOwner) {
    std::ofstream(path) << "x";
    STGMEDIUM m{};
    m.tymed = TYMED_FILE;
    const std::u16string w = u16(path);
    m.lpszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc((w.size() + 1) * 2));
    std::memcpy(m.lpszFileName, w.c_str(), (w.size() + 1) * 2);
    ReleaseStgMedium(&m);
    EXPECT_NE(::access(path.c_str(), F_OK), 0) << "file deleted";
    EXPECT_EQ(wiasim::counts().taskMem, 0) << "name freed";

    std::ofstream(path) << "x";
    RecordingCallback owner;  // any IUnknown
    owner.AddRef();
    STGMEDIUM owned{};
    owned.tymed = TYMED_FILE;
    owned.lpszFileName = const_cast<LPOLESTR>(w.c_str());
    owned.pUnkForRelease = &owner;
    ReleaseStgMedium(&owned);
    EXPECT_EQ(owner.refs(), 1u) << "owner released";
    EXPECT_EQ(::access(path.c_str(), F_OK), 0) << "an owned medium is the owner's affair";
}

}  // namespace
}  // namespace simtest
