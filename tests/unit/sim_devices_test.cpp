// Device listing, device records, opening devices and their item trees.
#include <stdexcept>

#include "sim_test_support.h"
#include "wiasim/control.h"
#include "wiasim/devices.h"

namespace simtest {
namespace {

// Five devices: the usual, two with odd records, one remote, one only WIA 1.0 knows.
const char* kOddDevices = R"({
  "devices": [
    {"id": "dev-a", "name": "Alpha", "type": "scanner", "subtype": 3},
    {"id": "dev-b", "name": "Bravo", "type": "camera",
     "record": [{"id": 7, "type": "VT_I4", "value": 42}]},
    {"id": "dev-c", "name": null, "type": 3,
     "record": [{"id": 5, "type": "VT_UI4", "value": "0x10000"}, {"id": 4, "absent": true}]},
    {"id": "dev-d", "name": "Delta", "local": false},
    {"id": "dev-e", "name": "Echo", "wia": [1]}
  ]
})";

class Devices : public SimTest {};

struct Record {
    std::string id, name, type;
};

std::vector<Record> listDevices(IEnumWIA_DEV_INFO* e) {
    std::vector<Record> out;
    for (;;) {
        Ptr<IWiaPropertyStorage> s;
        if (e->Next(1, s.out(), nullptr) != S_OK) break;
        out.push_back({readText(s.get(), wia::WIA_DIP_DEV_ID), readText(s.get(), wia::WIA_DIP_DEV_NAME),
                       readText(s.get(), wia::WIA_DIP_DEV_TYPE)});
    }
    return out;
}

TEST_F(Devices, EachManagerListsItsDevicesInProfileOrderWithTheirRecords) {
    loadProfile(kOddDevices);
    struct Case {
        int version;
        LONG flags;
        std::vector<std::string> ids;
    } cases[] = {
        {2, wia::WIA_DEVINFO_ENUM_LOCAL, {"BSTR:dev-a", "BSTR:dev-b", "BSTR:dev-c"}},
        {2, 0, {"BSTR:dev-a", "BSTR:dev-b", "BSTR:dev-c", "BSTR:dev-d"}},
        {1, wia::WIA_DEVINFO_ENUM_LOCAL, {"BSTR:dev-a", "BSTR:dev-b", "BSTR:dev-c", "BSTR:dev-e"}},
    };
    for (const auto& c : cases) {
        Ptr<IEnumWIA_DEV_INFO> e;
        if (c.version == 2) {
            ASSERT_EQ(manager2()->EnumDeviceInfo(c.flags, e.out()), S_OK);
        } else {
            ASSERT_EQ(manager1()->EnumDeviceInfo(c.flags, e.out()), S_OK);
        }
        std::vector<std::string> ids;
        for (const auto& r : listDevices(e.get())) ids.push_back(r.id);
        EXPECT_EQ(ids, c.ids) << "WIA " << c.version << " flags " << c.flags;
    }

    Ptr<IEnumWIA_DEV_INFO> e;
    ASSERT_EQ(manager2()->EnumDeviceInfo(wia::WIA_DEVINFO_ENUM_LOCAL, e.out()), S_OK);
    const auto records = listDevices(e.get());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].name, "BSTR:Alpha");
    EXPECT_EQ(records[0].type, "I4:" + std::to_string((1 << 16) | 3)) << "STI type high, subtype low";
    EXPECT_EQ(records[1].name, "I4:42");
    EXPECT_EQ(records[1].type, "I4:" + std::to_string(2 << 16));
    EXPECT_EQ(records[2].name, "BSTR:null");
    EXPECT_EQ(records[2].type, "UI4:65536");
}

TEST_F(Devices, ReadMultipleFillsInOrderAndSaysWhenNothingExists) {
    loadProfile(kOddDevices);
    Ptr<IEnumWIA_DEV_INFO> e;
    ASSERT_EQ(manager2()->EnumDeviceInfo(0, e.out()), S_OK);
    ASSERT_EQ(e->Skip(2), S_OK);
    Ptr<IWiaPropertyStorage> s;
    ASSERT_EQ(e->Next(1, s.out(), nullptr), S_OK);  // dev-c: no description
    PROPSPEC specs[] = {specOf(wia::WIA_DIP_DEV_ID), specOf(wia::WIA_DIP_DEV_DESC), specOf(wia::WIA_DIP_DEV_TYPE)};
    PROPVARIANT v[3];
    ASSERT_EQ(s->ReadMultiple(3, specs, v), S_OK);
    EXPECT_EQ(v[0].vt, VT_BSTR);
    EXPECT_EQ(std::u16string(v[0].bstrVal), u"dev-c");
    EXPECT_EQ(v[1].vt, VT_EMPTY) << "absent";
    EXPECT_EQ(v[2].vt, VT_UI4);
    EXPECT_EQ(FreePropVariantArray(3, v), S_OK);
    PROPSPEC missing[] = {specOf(4), specOf(9999)};
    EXPECT_EQ(s->ReadMultiple(2, missing, v), S_FALSE);
    EXPECT_EQ(v[0].vt, VT_EMPTY);
}

TEST_F(Devices, EnumeratorNextCountsLikeCom) {
    loadProfile(kOddDevices);
    Ptr<IEnumWIA_DEV_INFO> e;
    ASSERT_EQ(manager2()->EnumDeviceInfo(wia::WIA_DEVINFO_ENUM_LOCAL, e.out()), S_OK);
    ULONG n = 99;
    ASSERT_EQ(e->GetCount(&n), S_OK);
    EXPECT_EQ(n, 3u);
    IWiaPropertyStorage* got[4] = {};
    EXPECT_EQ(e->Next(2, got, nullptr), E_POINTER) << "several elements need a fetched count";
    EXPECT_EQ(e->Next(2, got, &n), S_OK);
    EXPECT_EQ(n, 2u);
    for (int i = 0; i < 2; ++i) got[i]->Release();
    EXPECT_EQ(e->Next(4, got, &n), S_FALSE);
    EXPECT_EQ(n, 1u);
    got[0]->Release();
    EXPECT_EQ(e->Next(1, got, &n), S_FALSE);
    EXPECT_EQ(n, 0u);
    Ptr<IEnumWIA_DEV_INFO> clone;
    ASSERT_EQ(e->Reset(), S_OK);
    ASSERT_EQ(e->Clone(clone.out()), S_OK);
    EXPECT_EQ(listDevices(clone.get()).size(), 3u);
}

TEST_F(Devices, CreateDeviceOpensKnownDevicesOnly) {
    loadProfile(kOddDevices);
    auto m2 = manager2();
    auto m1 = manager1();
    struct Case {
        const char* id;
        HRESULT wia2, wia1;
    } cases[] = {
        {"dev-a", S_OK, S_OK},
        {"dev-d", S_OK, S_OK},
        {"dev-e", wia::WIA_S_NO_DEVICE_AVAILABLE, S_OK},
        {"dev-zz", wia::WIA_S_NO_DEVICE_AVAILABLE, wia::WIA_S_NO_DEVICE_AVAILABLE},
    };
    for (const auto& c : cases) {
        Bstr id(c.id);
        Ptr<IWiaItem2> r2;
        Ptr<IWiaItem> r1;
        EXPECT_EQ(m2->CreateDevice(0, id.get(), r2.out()), c.wia2) << c.id;
        EXPECT_EQ(m1->CreateDevice(id.get(), r1.out()), c.wia1) << c.id;
        EXPECT_EQ(bool(r2), c.wia2 == S_OK);
        EXPECT_EQ(bool(r1), c.wia1 == S_OK);
        LONG type = 0;
        if (r1) {
            EXPECT_EQ(r1->GetItemType(&type), S_OK);
            EXPECT_EQ(type, wia::WiaItemTypeRoot | wia::WiaItemTypeFolder | wia::WiaItemTypeDevice);
        }
    }
}

TEST_F(Devices, TheDefaultScannerHasAFlatbedAndAFeederWithRealisticProperties) {
    auto root = openRoot2(kScannerId);
    ASSERT_TRUE(root);
    GUID category{};
    ASSERT_EQ(root->GetItemCategory(&category), S_OK);
    EXPECT_EQ(category, wia::WIA_CATEGORY_ROOT);
    auto rootProps = storageOf(root.get());
    EXPECT_EQ(readLong(rootProps.get(), wia::WIA_DPS_DOCUMENT_HANDLING_CAPABILITIES), 7);
    EXPECT_EQ(readText(rootProps.get(), wia::WIA_DIP_DEV_NAME), "BSTR:Talvek Virtual Scanner");

    auto kids = children2(root.get());
    ASSERT_EQ(kids.size(), 2u);
    struct Expect {
        const char* name;
        GUID category;
    } expected[] = {{"BSTR:Flatbed", wia::WIA_CATEGORY_FLATBED}, {"BSTR:Feeder", wia::WIA_CATEGORY_FEEDER}};
    for (size_t i = 0; i < 2; ++i) {
        auto s = storageOf(kids[i].get());
        EXPECT_EQ(readText(s.get(), wia::WIA_IPA_ITEM_NAME), expected[i].name);
        ASSERT_EQ(kids[i]->GetItemCategory(&category), S_OK);
        EXPECT_EQ(category, expected[i].category);
        EXPECT_EQ(readLong(s.get(), wia::WIA_IPS_XRES), 300);
        EXPECT_EQ(readLong(s.get(), wia::WIA_IPS_XEXTENT), 2550) << "letter width at 300 dpi";
        EXPECT_EQ(readText(s.get(), wia::WIA_IPA_FILENAME_EXTENSION), "BSTR:bmp");
        EXPECT_EQ(readText(s.get(), wia::WIA_IPA_FULL_ITEM_NAME),
                  std::string("BSTR:0000\\Root\\") + (i == 0 ? "Flatbed" : "Feeder"));
    }
    EXPECT_EQ(readText(storageOf(kids[0].get()).get(), wia::WIA_IPS_PAGES), "hr:00000001") << "flatbed has no pages";
    EXPECT_EQ(readLong(storageOf(kids[1].get()).get(), wia::WIA_IPS_PAGES), 1);

    auto feeders = children2(root.get(), &wia::WIA_CATEGORY_FEEDER);
    ASSERT_EQ(feeders.size(), 1u);
    EXPECT_EQ(readText(storageOf(feeders[0].get()).get(), wia::WIA_IPA_ITEM_NAME), "BSTR:Feeder");
    EXPECT_TRUE(children2(root.get(), &wia::WIA_CATEGORY_FILM).empty());
}

TEST_F(Devices, TheDefaultCameraHasThreeFinishedFiles) {
    auto root = openRoot2(kCameraId);
    ASSERT_TRUE(root);
    auto pictures = children2(root.get());
    ASSERT_EQ(pictures.size(), 3u);
    for (auto& p : pictures) {
        GUID category{};
        ASSERT_EQ(p->GetItemCategory(&category), S_OK);
        EXPECT_EQ(category, wia::WIA_CATEGORY_FINISHED_FILE);
        EXPECT_EQ(readText(storageOf(p.get()).get(), wia::WIA_IPA_FILENAME_EXTENSION), "BSTR:jpg");
        Ptr<IEnumWiaItem2> none;
        EXPECT_EQ(p->EnumChildItems(nullptr, none.out()), E_INVALIDARG) << "a picture is no folder";
    }
}

TEST_F(Devices, Wia1ItemsEnumerateTheirChildrenAndOpenedTreesAreIndependent) {
    Bstr id(kScannerId);
    auto m = manager1();
    Ptr<IWiaItem> a, b;
    ASSERT_EQ(m->CreateDevice(id.get(), a.out()), S_OK);
    ASSERT_EQ(m->CreateDevice(id.get(), b.out()), S_OK);
    Ptr<IEnumWiaItem> e;
    ASSERT_EQ(a->EnumChildItems(e.out()), S_OK);
    ULONG n = 0;
    ASSERT_EQ(e->GetCount(&n), S_OK);
    EXPECT_EQ(n, 2u);
    Ptr<IWiaItem> flatbed;
    ASSERT_EQ(e->Next(1, flatbed.out(), nullptr), S_OK);

    // A write through one opened device is not seen by the other.
    auto s = storageOf(flatbed.get());
    PROPSPEC spec = specOf(wia::WIA_IPS_XRES);
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_I4;
    v.lVal = 600;
    ASSERT_EQ(s->WriteMultiple(1, &spec, &v, wia::WIA_IPA_FIRST), S_OK);
    EXPECT_EQ(readLong(s.get(), wia::WIA_IPS_XRES), 600);
    Ptr<IWiaItem> other;
    Bstr fullName("0000\\Root\\Flatbed");
    ASSERT_EQ(b->FindItemByName(0, fullName.get(), other.out()), S_OK);
    EXPECT_EQ(readLong(storageOf(other.get()).get(), wia::WIA_IPS_XRES), 300);
    // The same node reached again within one opened device shares its values.
    Ptr<IWiaItem> again;
    ASSERT_EQ(a->FindItemByName(0, fullName.get(), again.out()), S_OK);
    EXPECT_EQ(readLong(storageOf(again.get()).get(), wia::WIA_IPS_XRES), 600);
}

TEST_F(Devices, OnlyItemsThatTransferGiveTheTransferInterfaceOfTheirVersion) {
    auto root = openRoot2(kScannerId);
    auto kids = children2(root.get());
    ASSERT_FALSE(kids.empty());
    Ptr<IUnknown> p;
    EXPECT_EQ(kids[0]->QueryInterface(wia::IID_IWiaTransfer, p.outVoid()), S_OK);
    EXPECT_EQ(kids[0]->QueryInterface(wia::IID_IWiaDataTransfer, p.outVoid()), E_NOINTERFACE) << "a WIA 1.0 interface";
    EXPECT_EQ(root->QueryInterface(wia::IID_IWiaTransfer, p.outVoid()), E_NOINTERFACE) << "the root does not transfer";
    EXPECT_FALSE(p);
}

TEST_F(Devices, ReleasingTheLastReferenceToARegisteredRootLetsTheDeviceGo) {
    wiasim::clearJournal();
    const uint32_t cookie = wiasim::openDevice(kScannerId, true);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(wiasim::counts().objects, 1) << "the root item, held by the table";
    EXPECT_TRUE(wiasim::journal().empty()) << "control calls are not journalled";
    EXPECT_THROW(wiasim::openDevice("no-such-device", true), std::invalid_argument);

    Ptr<IGlobalInterfaceTable> git;
    ASSERT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                               git.outVoid()),
              S_OK);
    Ptr<IWiaItem2> root;
    ASSERT_EQ(git->GetInterfaceFromGlobal(cookie, wia::IID_IWiaItem2, root.outVoid()), S_OK);
    ASSERT_EQ(git->RevokeInterfaceFromGlobal(cookie), S_OK);
    EXPECT_EQ(wiasim::counts().objects, 1);
    root.reset();
    EXPECT_EQ(wiasim::counts().objects, 0);
    EXPECT_EQ(git->GetInterfaceFromGlobal(cookie, wia::IID_IWiaItem2, root.outVoid()), E_INVALIDARG);
}

TEST_F(Devices, MalformedProfilesAreRefusedWithTheirPlace) {
    const std::pair<const char*, const char*> cases[] = {
        {"{", "not valid JSON"},
        {R"({"devices": [{"name": "x"}]})", "devices[0]: a device needs an \"id\""},
        {R"({"devices": [{"id": "a", "colour": 1}]})", "devices[0]: unknown key \"colour\""},
        {R"({"devices": [{"id": "a"}, {"id": "a"}]})", "given twice"},
        {R"({"devices": [{"id": "a", "type": "printer"}]})", "devices[0].type"},
        {R"({"devices": [{"id": "a", "root": {"properties": [{"id": 6147, "type": "VT_FOO", "value": 1}]}}]})",
         "devices[0].root.properties[0].type: unknown variant type \"VT_FOO\""},
        {R"({"devices": [{"id": "a", "root": {"children": [{"category": "flatbed"}]}}]})",
         "devices[0].root.children[0]: an item needs a \"name\""},
        {R"({"devices": [{"id": "a", "root": {"properties": [{"id": 1, "value": 1, "range": {"min": 0}}]}}]})",
         "a range needs \"max\""},
        {R"({"devices": [{"id": "a", "root": {"children": [{"name": "F", "transfer": {"sheets": 3}}]}}]})",
         "devices[0].root.children[0].transfer: unknown key \"sheets\""},
        {R"({"devices": [{"id": "a", "root": {"transfer": {"failAt": {"file": 1, "result": "WIA_ERROR_NONE"}}}}]})",
         "devices[0].root.transfer.failAt.result: not a result"},
        {R"({"devices": [{"id": "a", "root": {"transfer": {"progress": "smooth"}}}]})",
         "devices[0].root.transfer.progress"},
        {R"({"devices": [{"id": "a", "root": {"transfer": {"pages": -1}}}]})", "devices[0].root.transfer.pages"},
        {R"({"devices": [{"id": "a", "dialog": [{"files": 1}, {"format": "gif"}]}]})", "devices[0].dialog[1].format"},
        {R"({"devices": [{"id": "a", "dialog": []}]})", "devices[0].dialog: a dialog script needs at least one step"},
    };
    for (const auto& c : cases) {
        try {
            wiasim::loadProfileJson(c.first);
            ADD_FAILURE() << "accepted: " << c.first;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(c.second), std::string::npos) << e.what();
        }
    }
    // The service keeps the profile it had.
    EXPECT_TRUE(openRoot2(kScannerId));
}

}  // namespace
}  // namespace simtest
